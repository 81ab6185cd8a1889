// SPDX-License-Identifier: MIT
// The files a command works on: the paths given, with folders replaced by the supported files in
// them (one level deep, or every level with -r). Dot-folders inside a walk are skipped, symbolic
// links to folders are not followed (so a walk cannot loop), and a folder that cannot be read is
// an input of its own that fails.
#pragma once

#include <string>
#include <vector>

#include "cli/module.h"

namespace lf::cli {

struct Input {
  std::string path;
  std::string error;  // set when the path could not be walked: the line to report
};

std::vector<Input> ExpandInputs(const Module& module, const std::vector<std::string>& args,
                                bool recursive);

}  // namespace lf::cli
