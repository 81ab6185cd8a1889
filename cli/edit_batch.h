// The shared loop of the editing commands: one edit per file with a progress line, one report
// line (or JSON record) per file, and exit status 1 when any file failed.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "cli/host.h"

namespace lf::cli {

// Where each file's result goes: the file itself, `output` for a single file, or `output`/NAME
// when `output` is a directory. False (with a message) when -o names a file for several inputs.
bool DestinationsFor(const std::vector<std::string>& files, const std::string& output,
                     std::vector<std::string>* targets);

int RunEditBatch(const std::vector<std::string>& files, const Options& o, const std::string& what,
                 const std::function<LF_RESULT(size_t)>& edit);

}  // namespace lf::cli
