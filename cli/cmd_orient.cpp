// SPDX-License-Identifier: MIT
// lumenframe orient FILE... N [-o OUT] [--rebuild]: sets the EXIF Orientation of each file (main
// image and thumbnail) to N (1-8). Files are patched in place, or written to -o. --rebuild lets
// the module rebuild the EXIF block when the thumbnail has no Orientation entry to patch.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/output_paths.h"

namespace lf::cli {
namespace {

struct OrientArgs {
  std::vector<std::string> files;
  bool rebuild = false;
  WriteOptions write;
};

Runner Declare(CLI::App& app) {
  auto a = std::make_shared<OrientArgs>();
  app.add_option("args", a->files, "files or folders, then the orientation N (1 to 8)")->required();
  app.add_flag("--rebuild", a->rebuild,
               "rebuild the EXIF block when the thumbnail has no Orientation entry to patch");
  AddWriteOptions(app, a->write, "write to this file, or into this folder/ (created)");
  return [a](const Module& m, const Options& o) {
    std::vector<std::string> files = a->files;
    const std::string n = files.back();
    files.pop_back();
    if (files.empty() || n.size() != 1 || n[0] < '1' || n[0] > '8') {
      std::fprintf(stderr, "lumenframe orient: give FILE... N, with N from 1 to 8 (not \"%s\")\n",
                   n.c_str());
      return kExitUsage;
    }
    const int32_t orientation = n[0] - '0';
    return RunEdits(o, ExpandInputs(m, files, o.recursive), a->write, "orientation " + n,
                    [&](const std::string& target, const std::string& source) {
                      return m.SetOrientation(target.c_str(), source.c_str(), orientation,
                                              a->rebuild ? 1 : 0);
                    });
  };
}

LF_CLI_COMMAND({"orient", "set the EXIF orientation (1-8) of photos", Declare});

}  // namespace
}  // namespace lf::cli
