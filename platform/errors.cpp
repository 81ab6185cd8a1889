#include "platform/errors.h"

#include <cerrno>

namespace lf::platform {

namespace {
thread_local uint32_t t_lastError = kErrorSuccess;
}

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

uint32_t LastError() { return t_lastError; }

void SetLastError(uint32_t error) { t_lastError = error; }

uint32_t SetLastErrorFromErrno(int err) {
  t_lastError = Win32FromErrno(err);
  return t_lastError;
}

}  // namespace lf::platform
