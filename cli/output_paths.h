// SPDX-License-Identifier: MIT
// Where the commands that write put their results. Without -o a file is edited in place. -o DIR/
// (or an existing folder) puts each result under its own name in DIR, which is created; -o FILE
// takes one input. A destination that exists is never replaced unless --overwrite is given, two
// inputs that map to one destination stop the run before anything is written, and -P keeps the
// source's modification time.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch.h"

namespace lf::cli {

struct WriteOptions {
  std::string output;
  bool overwrite = false;
  bool keepTime = false;
};

// Declares -o, --overwrite and -P on a command. `outputHelp` describes -o.
void AddWriteOptions(CLI::App& app, WriteOptions& options, const std::string& outputHelp,
                     bool required = false);

// The destination of each input, in order; the folder of -o DIR/ is created. On a usage error or a
// collision the reason is printed and the exit status returned.
std::optional<int> PlanDestinations(const std::vector<Input>& inputs, const WriteOptions& options,
                                    std::vector<std::string>* targets);

// The line that refuses to replace `target`, or nothing when it may be written. An edit of
// `source` may write over `source` itself; a new picture (source "") never replaces a file
// unasked, its own input included.
std::optional<std::string> RefuseExisting(const std::string& target, const std::string& source,
                                          bool overwrite);

// One edit of `source` into `target` by `edit`, reported with `done` on success. Refuses an
// existing destination first; keeps the modification time with -P.
Outcome EditFile(const std::string& source, const std::string& target, const WriteOptions& options,
                 const std::string& done, const std::function<LF_RESULT()>& edit);

}  // namespace lf::cli

namespace lf::cli {

using EditWork = std::function<LF_RESULT(const std::string& target, const std::string& source)>;

// Plans the destinations of every input, then edits each with EditFile.
[[nodiscard]] int RunEdits(const Options& options, const std::vector<Input>& inputs,
                           const WriteOptions& write, const std::string& done,
                           const EditWork& edit);

}  // namespace lf::cli
