// SPDX-License-Identifier: MIT
// The failure seam: every file, time and memory service of the platform layer asks here before it
// does its work, so a test can make the n-th call of one service fail with a chosen Windows error
// and then prove that the operation under test leaves the user's files as they were. Only code
// compiled with LF_FAULT_INJECTION (the tests and benchmarks) has it.
#pragma once

#include <cstdint>

namespace lf::platform {

enum class Service : int {
  Open,        // opening or creating a file
  Read,        // reading from an open file
  Write,       // writing to an open file
  Seek,        // moving a file position, taking a length
  Copy,        // moving a new file over its destination
  Create,      // creating a unique temporary file or directory
  Delete,      // deleting a file
  Attributes,  // reading or setting file attributes
  Allocate,    // heap, page and global-block allocation
  Time,        // reading the local clock
  Flush,       // flushing a file or a folder to the disk
  CopyRange,   // copying bytes from one open file to another inside the kernel
  kCount
};

#if defined(LF_FAULT_INJECTION)
// Makes the call number `nth` (1 = the next call) of `service` fail with `win32Error`.
// With `sticky`, every later call of that service fails too (a disk that stays full).
void InjectFault(Service service, uint32_t nth, uint32_t win32Error, bool sticky = false);

// Forgets every injected fault and resets all call counters.
void ClearFaults();

// How many calls `service` has received since the last ClearFaults(); lets a test learn how many
// steps an operation takes and then fail each of them in turn.
[[nodiscard]] uint32_t CallCount(Service service);

// Called by the platform layer at the start of each service call. Returns true, with the last
// error set, when this call must fail.
[[nodiscard]] bool ShouldFail(Service service);
#else
// The shipped module and tool: no seam; every check is a constant false, evaluated while compiling
// (consteval: no call and no symbol remains, even unoptimised).
[[nodiscard]] consteval bool ShouldFail(Service /*service*/) { return false; }
#endif

}  // namespace lf::platform
