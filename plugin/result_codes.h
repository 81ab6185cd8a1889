// SPDX-License-Identifier: MIT
// Result codes of the module and the mapping of Windows error numbers onto them.
#pragma once

#include <cstdint>

namespace lf {

using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_NO_EXIF = static_cast<HRESULT>(0x8878000Bu);
inline constexpr HRESULT E_WIN32_NOT_ENOUGH_MEMORY = static_cast<HRESULT>(0x8878000Cu);
inline constexpr HRESULT E_WIN32_OUTOFMEMORY = static_cast<HRESULT>(0x8878000Du);
inline constexpr HRESULT E_WIN32_ACCESS_DENIED = static_cast<HRESULT>(0x8878000Eu);
inline constexpr HRESULT E_WIN32_CANNOT_MAKE = static_cast<HRESULT>(0x8878000Fu);

// A positive Windows error number e becomes 0x80070000 | (e & 0xFFFF); 0 or less is kept as it is.
[[nodiscard]] constexpr HRESULT HRESULT_FROM_WIN32(int64_t e) {
  return e > 0 ? static_cast<HRESULT>(0x80070000u | (static_cast<uint32_t>(e) & 0xFFFFu))
               : static_cast<HRESULT>(e);
}

// A toolkit result r <= 0 becomes 0x82000000 | (-r); r = 0 gives 0x82000000 itself.
[[nodiscard]] constexpr HRESULT HRESULT_FROM_TOOLKIT(int32_t r) {
  return static_cast<HRESULT>(0x82000000u | static_cast<uint32_t>(-static_cast<int64_t>(r)));
}

// The file writers' own errors 8, 14, 5 and 82 have module codes; any other error maps as usual.
[[nodiscard]] constexpr HRESULT ModuleCodeFromWin32(int64_t e) {
  switch (e) {
    case 8: return E_WIN32_NOT_ENOUGH_MEMORY;
    case 14: return E_WIN32_OUTOFMEMORY;
    case 5: return E_WIN32_ACCESS_DENIED;
    case 82: return E_WIN32_CANNOT_MAKE;
    default: return HRESULT_FROM_WIN32(e);
  }
}

[[nodiscard]] constexpr bool Failed(HRESULT r) { return r < 0; }
[[nodiscard]] constexpr bool Succeeded(HRESULT r) { return r >= 0; }

}  // namespace lf
