// SPDX-License-Identifier: MIT
// The shared loop of every command: each file's work on up to -j threads, the answers printed in
// the order of the inputs (text on stdout, errors on stderr, or one JSON document), a progress
// line on stderr when it is a terminal, and exit status 1 when any file failed.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "cli/file_walk.h"
#include "cli/host.h"
#include "cli/messages.h"

namespace lf::cli {

// What one file's work produced.
struct Outcome {
  bool ok = true;
  std::string text;              // the text answer, whole lines
  std::string error;             // the line reported on stderr when the work failed
  Json record = Json::object();  // this file's fields in the JSON document

  // A failed outcome with the line to report.
  static Outcome Failed(std::string line);
};

// Prints answers in the order they are added.
class Reporter {
 public:
  // `summary` names what a success did ("edited"): with it, a text batch of several files ends
  // with a count line, "2 edited, 0 failed".
  Reporter(const Options& options, size_t total, std::string summary = {});
  Reporter(const Reporter&) = delete;
  Reporter& operator=(const Reporter&) = delete;
  // `file` is empty for an answer about no file (the module itself).
  void Add(const std::string& file, Outcome outcome);
  // Prints the JSON document; the exit status.
  [[nodiscard]] int Finish();

 private:
  void ClearProgress();
  const Options& options_;
  size_t total_, done_ = 0, failed_ = 0;
  std::string summary_;
  bool progress_;
  Json document_ = Json::array();
};

// `index` is the input's place in the list, e.g. to find its destination.
using FileWork = std::function<Outcome(const std::string& file, size_t index)>;

// Runs `work` for every readable input; an input that cannot be opened fails without it.
[[nodiscard]] int RunBatch(const Options& options, const std::vector<Input>& inputs,
                           const FileWork& work, const std::string& summary = {});

// The line for a file that cannot be opened, from errno.
std::string CannotOpen(const std::string& path, int error);

}  // namespace lf::cli
