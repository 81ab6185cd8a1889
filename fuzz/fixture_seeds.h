// SPDX-License-Identifier: MIT
// Seeds for the fuzz targets made from scratch: camera-like JPEGs and EXIF TIFFs from the fixture
// builder in both byte orders, and small real images of every format from the module's writers.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tests/support/fixture_builder.h"

namespace lf::fuzz {

// (name, bytes) pairs for one seed kind: "jpg", "tif", "png", "gif", "bmp" or "dib".
std::vector<std::pair<std::string, test::Bytes>> FixtureSeeds(const std::string& kind);

}  // namespace lf::fuzz
