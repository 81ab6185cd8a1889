// SPDX-License-Identifier: MIT
// Windows error numbers are the module's error contract: every operating-system failure is
// reported as the Win32 number it would have on Windows, through a per-thread last error.
#pragma once

#include <cstdint>

namespace lf::platform {

inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorPathNotFound = 3;
inline constexpr uint32_t kErrorTooManyOpenFiles = 4;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorNotEnoughMemory = 8;
inline constexpr uint32_t kErrorInvalidData = 13;
inline constexpr uint32_t kErrorOutOfMemory = 14;
inline constexpr uint32_t kErrorWriteFault = 29;
inline constexpr uint32_t kErrorReadFault = 30;
inline constexpr uint32_t kErrorSharingViolation = 32;
inline constexpr uint32_t kErrorHandleEof = 38;
inline constexpr uint32_t kErrorNotSupported = 50;
inline constexpr uint32_t kErrorFileExists = 80;
inline constexpr uint32_t kErrorCannotMake = 82;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorDiskFull = 112;
inline constexpr uint32_t kErrorInvalidName = 123;
inline constexpr uint32_t kErrorDirNotEmpty = 145;
inline constexpr uint32_t kErrorAlreadyExists = 183;
inline constexpr uint32_t kErrorFilenameTooLong = 206;

// Maps an errno value to the Win32 error number of the same meaning.
uint32_t Win32FromErrno(int err);

// Windows tells a missing file (2) from a missing directory on the way to it (3); errno does not.
uint32_t Win32ForMissingPath(const char* path);

// The calling thread's last error, as GetLastError() reports it on Windows.
uint32_t LastError();
void SetLastError(uint32_t error);
// Sets the last error from errno and returns it.
uint32_t SetLastErrorFromErrno(int err);

}  // namespace lf::platform
