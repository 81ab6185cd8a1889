// SPDX-License-Identifier: MIT
// Open files: reading, writing, seeking, copying between files and flushing them to the disk.
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
#include "platform/file_support.h"
#include "platform/temp_files.h"

namespace lf::platform {

using detail::Fail;
using detail::FailWith;
using detail::kWriteBits;

namespace {

// One kernel copy call moves at most this much, so that a signal is seen between calls.
constexpr uint64_t kMaxKernelCopy = uint64_t{1} << 30;
// The block in which file systems share extents between files.
constexpr uint64_t kShareBlock = 4096;

// The kernel declines to copy between these two files (other file systems, an older kernel, a file
// system or file kind without the call): the bytes are then copied through user space.
[[nodiscard]] bool KernelRefusesCopy(int err) {
  return err == EXDEV || err == ENOSYS || err == EOPNOTSUPP || err == EINVAL;
}

}  // namespace

// A file closed by going out of scope has no one to report to; writers call Close() and check it.
File::~File() { (void)Close(); }

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), lengthAtOpen_(other.lengthAtOpen_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    (void)Close();  // as in the destructor
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
    } else if (DirectoryTakesNoNewFiles(detail::ParentOf(path))) {
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
  return detail::SyncDescriptor(fd_, true);
}

bool File::Close() {
  if (fd_ < 0) return true;
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0 && errno != EINTR) return Fail(errno);
  return true;
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
