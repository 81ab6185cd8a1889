// SPDX-License-Identifier: MIT
#include "platform/errors.h"

#include <sys/stat.h>

#include <cerrno>
#include <string>

namespace lf::platform {

namespace {
// Initial-exec TLS: the module is loaded with dlopen(), and a dynamically allocated TLS block
// would be created on first use; four bytes from the static TLS reserve avoid that (and the leak
// checker's trouble walking such blocks).
[[gnu::tls_model("initial-exec")]] thread_local uint32_t t_lastError = kErrorSuccess;
}  // namespace

uint32_t Win32FromErrno(int err) {
  switch (err) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EEXIST: return kErrorFileExists;
    case EBUSY:
    case EWOULDBLOCK: return kErrorSharingViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return kErrorDiskFull;
    case ENAMETOOLONG: return kErrorFilenameTooLong;
    case EINVAL: return kErrorInvalidParameter;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case EIO: return kErrorWriteFault;
    case ELOOP: return kErrorInvalidName;
    default: return kErrorCannotMake;
  }
}

uint32_t Win32ForMissingPath(const char* path) {
  const std::string p = path ? path : "";
  const size_t cut = p.find_last_of('/');
  if (cut == std::string::npos || cut == 0) return kErrorFileNotFound;
  struct stat st {};
  const std::string parent = p.substr(0, cut);
  return (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? kErrorFileNotFound
                                                                   : kErrorPathNotFound;
}

uint32_t LastError() { return t_lastError; }

void SetLastError(uint32_t error) { t_lastError = error; }

uint32_t SetLastErrorFromErrno(int err) {
  t_lastError = Win32FromErrno(err);
  return t_lastError;
}

}  // namespace lf::platform
