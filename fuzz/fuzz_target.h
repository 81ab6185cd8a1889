// SPDX-License-Identifier: MIT
// One fuzz target is one small file under fuzz/targets/:
//
//   LF_FUZZ_TARGET(exif_queries, "jpg tif") { ...feed data/size to a parser...; return 0; }
//
// The second argument names the seed kinds the target starts from (file extensions of the real
// files, and of the fixtures that `lumenframe_fuzz seeds` writes). In a libFuzzer build each
// target file becomes its own fuzzer; in every build all targets are also registered with the
// replay driver, which runs them over kept inputs without libFuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lf::fuzz {

using EntryFunction = int (*)(const uint8_t* data, size_t size);

struct Target {
  const char* name;
  const char* seedKinds;
  EntryFunction entry;
};

// Every target linked into this program, in registration order.
std::vector<Target>& Targets();

struct Registration {
  Registration(const char* name, const char* seedKinds, EntryFunction entry) {
    Targets().push_back({name, seedKinds, entry});
  }
};

// Writes the input as a file named `name` in the process's private scratch directory (in memory
// where /dev/shm is writable) and returns its path. The directory goes away at exit.
std::string PutFile(const std::string& name, const uint8_t* data, size_t size);
// A path in the scratch directory that does not exist (for outputs); any old file is removed.
std::string FreshPath(const std::string& name);
// "tif" when the bytes start as a TIFF header does, else "jpg": EXIF readers pick by extension.
const char* ExifExtension(const uint8_t* data, size_t size);

}  // namespace lf::fuzz

#ifdef LF_FUZZ_LIBFUZZER
#define LF_FUZZ_ENTRY_POINT(fn) \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return fn(data, size); }
#else
#define LF_FUZZ_ENTRY_POINT(fn)
#endif

#define LF_FUZZ_TARGET(name, seedKinds)                                                        \
  static int FuzzOne_##name(const uint8_t* data, size_t size);                                 \
  static const ::lf::fuzz::Registration registration_##name(#name, seedKinds, FuzzOne_##name); \
  LF_FUZZ_ENTRY_POINT(FuzzOne_##name)                                                          \
  static int FuzzOne_##name(const uint8_t* data, size_t size)
