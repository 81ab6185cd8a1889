// SPDX-License-Identifier: MIT
// What the two halves of the file layer share: open files (file.cpp) and paths (file_paths.cpp).
// Private to platform/.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/errors.h"

namespace lf::platform::detail {

inline constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

// Set the last error and give false, for `return Fail(errno);`.
inline bool Fail(int err) {
  SetLastErrorFromErrno(err);
  return false;
}

inline bool FailWith(uint32_t win32) {
  SetLastError(win32);
  return false;
}

// The directory a new file named `path` would go into.
inline std::string ParentOf(const std::string& path) {
  const size_t cut = path.find_last_of('/');
  if (cut == std::string::npos) return ".";
  return cut == 0 ? "/" : path.substr(0, cut);
}

// fsync or fdatasync, tried again when a signal interrupts it. A descriptor the file system cannot
// flush (EINVAL: a folder on some network file systems) has nothing to flush: that counts as done.
[[nodiscard]] inline bool SyncDescriptor(int fd, bool dataOnly) {
  int rc;
  do {
    rc = dataOnly ? ::fdatasync(fd) : ::fsync(fd);
  } while (rc != 0 && errno == EINTR);
  return rc == 0 || errno == EINVAL || Fail(errno);
}

}  // namespace lf::platform::detail
