// SPDX-License-Identifier: MIT
#include "platform/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "platform/errors.h"
#include "platform/faults.h"
#include "platform/temp_files.h"

namespace lf::platform {

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
// One kernel copy call moves at most this much, so that a signal is seen between calls.
constexpr uint64_t kMaxKernelCopy = uint64_t{1} << 30;
// The block in which file systems share extents between files.
constexpr uint64_t kShareBlock = 4096;

// The kernel declines to copy between these two files (other file systems, an older kernel, a file
// system or file kind without the call): the bytes are then copied through user space.
bool KernelRefusesCopy(int err) {
  return err == EXDEV || err == ENOSYS || err == EOPNOTSUPP || err == EINVAL;
}

bool Fail(int err) {
  SetLastErrorFromErrno(err);
  return false;
}

bool FailWith(uint32_t win32) {
  SetLastError(win32);
  return false;
}

// True when `path` exists as a read-only file (or a directory, which no file write may open).
bool IsReadOnlyFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) return true;
  return (st.st_mode & kWriteBits) == 0;
}

// The directory a new file named `path` would go into.
std::string ParentOf(const std::string& path) {
  const size_t cut = path.find_last_of('/');
  if (cut == std::string::npos) return ".";
  return cut == 0 ? "/" : path.substr(0, cut);
}

// fsync or fdatasync, tried again when a signal interrupts it. A descriptor the file system cannot
// flush (EINVAL: a folder on some network file systems) has nothing to flush: that counts as done.
bool SyncDescriptor(int fd, bool dataOnly) {
  int rc;
  do {
    rc = dataOnly ? ::fdatasync(fd) : ::fsync(fd);
  } while (rc != 0 && errno == EINTR);
  return rc == 0 || errno == EINVAL || Fail(errno);
}

// Flushes a file, or a folder's names, to the disk.
bool SyncPath(const std::string& path, bool directory) {
  if (ShouldFail(Service::Flush)) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (directory ? O_DIRECTORY : 0));
  if (fd < 0) return Fail(errno);
  const bool ok = SyncDescriptor(fd, false);
  ::close(fd);
  return ok;
}

// Puts the complete file `source` in the place of `destination` so that a power cut cannot leave
// an empty or partial destination: `source` is flushed, swapped with an existing destination (or
// renamed to a missing one), and the folder flushed. When the folder cannot be flushed the names go
// back as they were; the old file, left under `source`'s name by the swap, is removed at the end.
bool ReplaceDurably(const std::string& source, const std::string& destination) {
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
  if (!SyncPath(ParentOf(destination), true)) {
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

File::~File() { Close(); }

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), lengthAtOpen_(other.lengthAtOpen_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    lengthAtOpen_ = other.lengthAtOpen_;
  }
  return *this;
}

File File::Open(const std::string& path, Access access, Disposition disposition, Share share) {
  if (ShouldFail(Service::Open)) return File();
  if (path.empty()) {
    FailWith(kErrorPathNotFound);
    return File();
  }
  int flags = O_CLOEXEC;
  switch (access) {
    case Access::Read: flags |= O_RDONLY; break;
    case Access::Write: flags |= O_WRONLY; break;
    case Access::ReadWrite: flags |= O_RDWR; break;
  }
  switch (disposition) {
    case Disposition::OpenExisting: break;
    case Disposition::CreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case Disposition::CreateNew: flags |= O_CREAT | O_EXCL; break;
    case Disposition::OpenAlways: flags |= O_CREAT; break;
  }
  const bool writing = access != Access::Read;
  // Read-only files refuse writers for every user, root included, as on Windows; so does a
  // directory without write permission a new file. A writer of an existing file is judged after
  // the open, from the open file; a creating one before it, as the open may truncate or create.
  const bool creating = disposition != Disposition::OpenExisting;
  if (creating) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
      if (writing && (S_ISDIR(st.st_mode) || (st.st_mode & kWriteBits) == 0)) {
        FailWith(disposition == Disposition::CreateNew ? kErrorFileExists : kErrorAccessDenied);
        return File();
      }
    } else if (DirectoryTakesNoNewFiles(ParentOf(path))) {
      return File();
    }
  }
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == ENOENT) {
      FailWith(Win32ForMissingPath(path.c_str()));
    } else {
      Fail(errno);
    }
    return File();
  }
  struct stat st {};
  const bool sized = ::fstat(fd, &st) == 0;
  if (sized && (S_ISDIR(st.st_mode) || (writing && !creating && (st.st_mode & kWriteBits) == 0))) {
    ::close(fd);
    FailWith(kErrorAccessDenied);
    return File();
  }
  if (writing && share == Share::DenyWrite && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    FailWith(kErrorSharingViolation);
    return File();
  }
  return File(fd, sized ? static_cast<uint64_t>(st.st_size) : kLengthUnknown);
}

bool File::Read(void* buffer, size_t size, size_t* got) {
  *got = 0;
  if (ShouldFail(Service::Read)) return false;
  if (fd_ < 0) return FailWith(kErrorInvalidHandle);
  auto* out = static_cast<unsigned char*>(buffer);
  while (*got < size) {
    const ssize_t n = ::read(fd_, out + *got, size - *got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(errno);
    }
    if (n == 0) break;
    *got += static_cast<size_t>(n);
  }
  return true;
}

bool File::ReadExactAt(uint64_t position, void* buffer, size_t size) {
  if (ShouldFail(Service::Seek) || ShouldFail(Service::Read)) return false;
  if (fd_ < 0) return FailWith(kErrorInvalidHandle);
  if (position > static_cast<uint64_t>(INT64_MAX) - size) return FailWith(kErrorInvalidParameter);
  auto* out = static_cast<unsigned char*>(buffer);
  size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd_, out + got, size - got, static_cast<off_t>(position + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(errno);
    }
    if (n == 0) return FailWith(kErrorHandleEof);
    got += static_cast<size_t>(n);
  }
  return true;
}

bool File::LengthAtOpen(uint64_t* length) const {
  *length = 0;
  if (ShouldFail(Service::Seek)) return false;
  if (fd_ < 0) return FailWith(kErrorInvalidHandle);
  if (lengthAtOpen_ == kLengthUnknown) {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return Fail(errno);
    *length = static_cast<uint64_t>(st.st_size);
    return true;
  }
  *length = lengthAtOpen_;
  return true;
}

bool File::ReadExact(void* buffer, size_t size) {
  size_t got = 0;
  if (!Read(buffer, size, &got)) return false;
  if (got != size) return FailWith(kErrorHandleEof);
  return true;
}

bool File::Write(const void* buffer, size_t size) {
  if (ShouldFail(Service::Write)) return false;
  if (fd_ < 0) return FailWith(kErrorInvalidHandle);
  const auto* in = static_cast<const unsigned char*>(buffer);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, in + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(errno);
    }
    if (n == 0) return FailWith(kErrorDiskFull);
    done += static_cast<size_t>(n);
  }
  return true;
}

bool File::Seek(uint64_t position) {
  if (ShouldFail(Service::Seek)) return false;
  if (fd_ < 0) return FailWith(kErrorInvalidHandle);
  if (position > static_cast<uint64_t>(INT64_MAX)) return FailWith(kErrorInvalidParameter);
  if (::lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0) return Fail(errno);
  return true;
}

bool File::Length(uint64_t* length) {
  *length = 0;
  if (ShouldFail(Service::Seek)) return false;
  if (fd_ < 0) return FailWith(kErrorInvalidHandle);
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return Fail(errno);
  *length = static_cast<uint64_t>(st.st_size);
  return true;
}

bool File::CopyFrom(File& source, uint64_t position, uint64_t length, void* buffer,
                    size_t bufferSize, uint64_t* copied) {
  *copied = 0;
  if (fd_ < 0 || source.fd_ < 0) return FailWith(kErrorInvalidHandle);
  if (position > static_cast<uint64_t>(INT64_MAX) ||
      length > static_cast<uint64_t>(INT64_MAX) - position) {
    return FailWith(kErrorInvalidParameter);
  }
  bool ended = false;
  // Through user space, up to `end` bytes of the range or the end of the source.
  auto copyThroughBuffer = [&](uint64_t end) {
    if (*copied >= end) return true;
    if (!buffer || bufferSize == 0) return FailWith(kErrorNotEnoughMemory);
    if (!source.Seek(position + *copied)) return false;
    while (*copied < end) {
      size_t got = 0;
      if (!source.Read(buffer, static_cast<size_t>(std::min<uint64_t>(end - *copied, bufferSize)),
                       &got)) {
        return false;
      }
      if (got == 0) {
        ended = true;
        return true;
      }
      if (!Write(buffer, got)) return false;
      *copied += got;
    }
    return true;
  };
  // The kernel shares extents in whole blocks, so only when both positions lie at the same place
  // within a block; elsewhere it copies more slowly than user space does. The bytes up to the
  // source's next block boundary go through user space, the rest through the kernel.
  const off_t at = ::lseek(fd_, 0, SEEK_CUR);
  if (at < 0) return Fail(errno);
  if (position % kShareBlock != static_cast<uint64_t>(at) % kShareBlock)
    return copyThroughBuffer(length);
  if (!copyThroughBuffer(std::min(length, (kShareBlock - position % kShareBlock) % kShareBlock)))
    return false;
  // A kernel call may copy less than asked: as many calls as it takes, until the source ends.
  while (*copied < length && !ended) {
    if (ShouldFail(Service::CopyRange)) {
      const uint32_t error = LastError();
      if (error != kErrorNotSupported && error != kErrorInvalidParameter) return false;
      return copyThroughBuffer(length);
    }
    loff_t from = static_cast<loff_t>(position + *copied);
    const size_t want = static_cast<size_t>(std::min(length - *copied, kMaxKernelCopy));
    const ssize_t n = ::copy_file_range(source.fd_, &from, fd_, nullptr, want, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (!KernelRefusesCopy(errno)) return Fail(errno);
      return copyThroughBuffer(length);
    }
    if (n == 0) break;
    *copied += static_cast<uint64_t>(n);
  }
  return true;
}

bool File::FlushData() {
  if (ShouldFail(Service::Flush)) return false;
  if (fd_ < 0) return FailWith(kErrorInvalidHandle);
  return SyncDescriptor(fd_, true);
}

bool File::Close() {
  if (fd_ < 0) return true;
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0 && errno != EINTR) return Fail(errno);
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
  struct stat old {}, fresh {};
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
  struct stat sa {}, sb {};
  if (a.empty() || b.empty()) return false;
  if (a == b) return ::stat(a.c_str(), &sa) == 0;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out, uint64_t maxLength) {
  out->clear();
  File file = File::Open(path, Access::Read, Disposition::OpenExisting);
  if (!file) return false;
  uint64_t length = 0;
  if (!file.Length(&length)) return false;
  if (length > maxLength || length > SIZE_MAX / 2) return FailWith(kErrorNotEnoughMemory);
  try {
    out->resize(static_cast<size_t>(length));
  } catch (const std::bad_alloc&) {
    return FailWith(kErrorNotEnoughMemory);
  }
  if (!file.ReadExact(out->data(), out->size())) {
    std::vector<uint8_t>().swap(*out);
    return false;
  }
  return true;
}

}  // namespace lf::platform
