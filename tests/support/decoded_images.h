// SPDX-License-Identifier: MIT
// Host images and decoded sizes through the module's own toolkit, for tests that replace pictures.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/toolkit.h"
#include "platform/memory.h"
#include "tests/support/fixture_builder.h"

namespace lf::test {

// A host image decoded from a real JPEG of pseudo-random pixels, as a packed DIB.
inline platform::GlobalBlock NoiseImage(int width, int height, uint32_t seed = 3) {
  const Bytes jpeg = EncodeNoiseJpeg(width, height, 90, seed);
  imaging::ScopedBitmap b;
  if (imaging::LoadMemory(jpeg.data(), jpeg.size(), b.get(), 24) != imaging::kToolkitSuccess)
    return {};
  return platform::GlobalBlock(imaging::ExportPackedDib(b.get()));
}

struct Size {
  int32_t width = 0, height = 0;
};

// What the toolkit decodes of a file's main image.
inline Size DecodedSize(const std::string& path) {
  imaging::ScopedBitmap b;
  if (imaging::LoadFile(path.c_str(), b.get(), 24, nullptr) != imaging::kToolkitSuccess) return {};
  return {b->width, b->height};
}

}  // namespace lf::test
