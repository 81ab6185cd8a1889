// SPDX-License-Identifier: MIT
#include "platform/temp_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/errors.h"
#include "platform/faults.h"
#include "platform/file.h"

namespace lf::platform {

namespace {

// Each attempt takes the next 16-bit number after a per-process starting point, as Windows does,
// so names in one directory rarely collide and a collision costs one more try.
uint32_t NextUnique() {
  static std::atomic<uint32_t> counter{static_cast<uint32_t>(
      (static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
       (static_cast<uint64_t>(::getpid()) << 16)) &
      0xFFFF)};
  uint32_t n = counter.fetch_add(1) & 0xFFFF;
  if (n == 0) n = counter.fetch_add(1) & 0xFFFF;
  return n;
}

std::string MakeName(const std::string& dir, const std::string& prefix, uint32_t unique) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%X", unique);
  return dir + prefix.substr(0, 3) + digits + ".TMP";
}

template <typename CreateFn>
[[nodiscard]] bool TryUniqueNames(const std::string& dir, const std::string& prefix,
                                  std::string* path, CreateFn create) {
  path->clear();
  if (ShouldFail(Service::Create)) return false;
  for (int attempt = 0; attempt < 0x10000; ++attempt) {
    const std::string name = MakeName(dir, prefix, NextUnique());
    if (create(name)) {
      *path = name;
      return true;
    }
    if (errno != EEXIST) {
      if (errno == ENOENT) {
        SetLastError(Win32ForMissingPath(name.c_str()));
      } else {
        SetLastErrorFromErrno(errno);
      }
      return false;
    }
  }
  SetLastError(kErrorFileExists);
  return false;
}

}  // namespace

std::string TempDirectory() {
  const char* env = std::getenv("TMPDIR");
  std::string dir = (env && *env) ? env : "/tmp";
  if (dir.back() != '/') dir.push_back('/');
  return dir;
}

std::string DirectoryOf(const std::string& path) {
  const size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

int CreateUniqueFile(const std::string& dir, const std::string& prefix, std::string* path,
                     unsigned mode) {
  if (DirectoryTakesNoNewFiles(dir)) return -1;
  int fd = -1;
  const bool ok = TryUniqueNames(dir, prefix, path, [&](const std::string& name) {
    fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
    return fd >= 0;
  });
  return ok ? fd : -1;
}

bool CreateTempFile(const std::string& dir, const std::string& prefix, std::string* path) {
  std::string name;
  // Windows gives a temporary file the usual permissions: the process's umask applies, as the
  // kernel applies it at creation (reading the umask would mean changing it, for every thread).
  const int fd = CreateUniqueFile(dir, prefix, &name, 0666);
  if (fd < 0) return false;
  ::close(fd);
  *path = name;
  return true;
}

ScopedTempFile::~ScopedTempFile() {
  // A delete refused once (a virus scanner, an injected fault) is tried again so that nothing is
  // left behind.
  if (!path_.empty() && !DeleteFile(path_)) (void)DeleteFile(path_);
}

bool ScopedTempFile::Create(const std::string& dir, const std::string& prefix) {
  if (!path_.empty()) return false;
  return CreateTempFile(dir, prefix, &path_);
}

bool ScopedTempFile::CreateUnnamed(const std::string& dir, File* file) {
  if (!path_.empty() || ShouldFail(Service::Create) || DirectoryTakesNoNewFiles(dir)) return false;
  // Naming the file later goes through its /proc link (a link from the bare descriptor needs a
  // privilege the process may not have).
  if (::access("/proc/self/fd", X_OK) != 0) {
    SetLastError(kErrorNotSupported);
    return false;
  }
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
      SetLastError(kErrorNotSupported);
    } else if (errno == ENOENT) {
      SetLastError(Win32ForMissingPath((dir + "x").c_str()));
    } else {
      SetLastErrorFromErrno(errno);
    }
    return false;
  }
  *file = File(fd, 0);
  return true;
}

bool ScopedTempFile::Name(const File& file, const std::string& dir, const std::string& prefix) {
  if (!path_.empty() || file.fd_ < 0) return false;
  const std::string link = "/proc/self/fd/" + std::to_string(file.fd_);
  return TryUniqueNames(dir, prefix, &path_, [&](const std::string& name) {
    return ::linkat(AT_FDCWD, link.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
  });
}

bool CreateTempDirectory(const std::string& dir, const std::string& prefix, std::string* path) {
  const bool ok = TryUniqueNames(
      dir, prefix, path, [](const std::string& name) { return ::mkdir(name.c_str(), 0700) == 0; });
  if (ok) path->push_back('/');
  return ok;
}

bool RemoveTempDirectory(const std::string& path) {
  if (DIR* d = ::opendir(path.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      std::string full = path;
      if (full.back() != '/') full.push_back('/');
      ::unlink((full + name).c_str());
    }
    ::closedir(d);
  }
  if (::rmdir(path.c_str()) != 0) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  return true;
}

ScopedTempDir::~ScopedTempDir() {
  // As for a file: tried twice, then left.
  if (!path_.empty() && !RemoveTempDirectory(path_)) (void)RemoveTempDirectory(path_);
}

bool ScopedTempDir::Create(const std::string& prefix) {
  if (!path_.empty()) return false;
  return CreateTempDirectory(TempDirectory(), prefix, &path_);
}

}  // namespace lf::platform
