// SPDX-License-Identifier: MIT
// Files the tool writes itself (an extracted thumbnail, a decoded or drawn picture): written to a
// temporary file beside the destination, flushed, then moved over it in one step, so a failure
// never leaves a partial file.
#pragma once

#include <cstdio>
#include <string>

namespace lf::cli {

class PendingFile {
 public:
  // Opens the temporary file; `f` is null when it cannot be made.
  explicit PendingFile(const std::string& path);
  ~PendingFile();  // deletes the temporary file unless committed
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  // Flushes the written bytes to the disk and moves the file into place.
  [[nodiscard]] bool Commit();
  FILE* f = nullptr;

 private:
  std::string path_, temp_;
};

// The whole file at once. False with the reason in *error.
[[nodiscard]] bool WriteNewFile(const std::string& path, const std::string& bytes,
                                std::string* error);

}  // namespace lf::cli
