// SPDX-License-Identifier: MIT
// The file layer's work on paths: attributes, replacing a file durably, deleting, following links.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/errors.h"
#include "platform/faults.h"
#include "platform/file.h"
#include "platform/file_support.h"

namespace lf::platform {

using detail::Fail;
using detail::FailWith;
using detail::kWriteBits;

namespace {

// True when `path` exists as a read-only file (or a directory, which no file write may open).
[[nodiscard]] bool IsReadOnlyFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) return true;
  return (st.st_mode & kWriteBits) == 0;
}

// Flushes a file, or a folder's names, to the disk.
[[nodiscard]] bool SyncPath(const std::string& path, bool directory) {
  if (ShouldFail(Service::Flush)) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (directory ? O_DIRECTORY : 0));
  if (fd < 0) return Fail(errno);
  const bool ok = detail::SyncDescriptor(fd, false);
  ::close(fd);
  return ok;
}

// Puts the complete file `source` in the place of `destination` so that a power cut cannot leave
// an empty or partial destination: `source` is flushed, swapped with an existing destination (or
// renamed to a missing one), and the folder flushed. When the folder cannot be flushed the names go
// back as they were; the old file, left under `source`'s name by the swap, is removed at the end.
[[nodiscard]] bool ReplaceDurably(const std::string& source, const std::string& destination) {
  if (!SyncPath(source, false)) return false;
  const bool swapped =
      ::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_EXCHANGE) == 0;
  bool created = false;
  if (!swapped) {
    // No destination to swap with, or a file system that cannot swap: a plain rename.
    if (errno != ENOENT && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
      return Fail(errno);
    }
    created = errno == ENOENT;
    if (::rename(source.c_str(), destination.c_str()) != 0) return Fail(errno);
  }
  if (!SyncPath(detail::ParentOf(destination), true)) {
    const uint32_t error = LastError();
    if (swapped) {
      ::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_EXCHANGE);
    } else if (created) {
      ::rename(destination.c_str(), source.c_str());
    }
    return FailWith(error);
  }
  if (swapped) ::unlink(source.c_str());
  return true;
}

}  // namespace

bool DirectoryTakesNoNewFiles(const std::string& dir) {
  struct stat st {};
  if (::stat(dir.empty() ? "." : dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if ((st.st_mode & kWriteBits) != 0) return false;
  SetLastError(kErrorAccessDenied);
  return true;
}

bool GetFileAttributes(const std::string& path, FileAttributes* attributes) {
  *attributes = {};
  if (ShouldFail(Service::Attributes)) return false;
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return Fail(path.empty() ? ENOENT : errno);
  attributes->mode = st.st_mode & 07777;
  if (S_ISDIR(st.st_mode)) attributes->flags |= kAttributeDirectory;
  if ((st.st_mode & kWriteBits) == 0) attributes->flags |= kAttributeReadOnly;
  if (attributes->flags == 0) attributes->flags = kAttributeNormal;
  return true;
}

bool SetFileAttributes(const std::string& path, const FileAttributes& attributes) {
  if (ShouldFail(Service::Attributes)) return false;
  if (::chmod(path.c_str(), static_cast<mode_t>(attributes.mode)) != 0) return Fail(errno);
  return true;
}

bool SetFileAttributesNormal(const std::string& path) {
  if (ShouldFail(Service::Attributes)) return false;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Fail(errno);
  if ((st.st_mode & kWriteBits) != 0) return true;
  if (::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0) return Fail(errno);
  return true;
}

bool SetFileReadOnly(const std::string& path) {
  if (ShouldFail(Service::Attributes)) return false;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Fail(errno);
  if (::chmod(path.c_str(), (st.st_mode & 07777) & ~kWriteBits) != 0) return Fail(errno);
  return true;
}

bool MoveFileOver(const std::string& source, const std::string& destination) {
  if (ShouldFail(Service::Copy)) return false;
  if (source.empty() || destination.empty()) return FailWith(kErrorPathNotFound);
  if (IsReadOnlyFile(destination)) return FailWith(kErrorAccessDenied);
  // The replacement keeps the owner of the file it replaces where the process may give it (an
  // administrator editing a user's photo); elsewhere the owner is the process's anyway.
  struct stat old {
  }, fresh{};
  if (::stat(destination.c_str(), &old) == 0 && ::stat(source.c_str(), &fresh) == 0 &&
      (old.st_uid != fresh.st_uid || old.st_gid != fresh.st_gid)) {
    if (::chown(source.c_str(), old.st_uid, old.st_gid) != 0) {
      // Not permitted: the file is still replaced, owned by the process.
    }
  }
  return ReplaceDurably(source, destination);
}

std::string FollowLinks(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return path;
  std::string target(resolved);
  ::free(resolved);
  return target;
}

bool DeleteFile(const std::string& path) {
  if (ShouldFail(Service::Delete)) return false;
  if (path.empty()) return FailWith(kErrorFileNotFound);
  if (::unlink(path.c_str()) != 0) return Fail(errno);
  return true;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (a.empty() || b.empty()) return false;
  if (a == b) return ::stat(a.c_str(), &sa) == 0;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace lf::platform
