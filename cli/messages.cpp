// SPDX-License-Identifier: MIT
#include "cli/messages.h"

#include <cstdint>
#include <cstdio>

namespace lf::cli {

namespace {

struct Known {
  LF_RESULT code;
  const char* name;
  const char* read;  // when reading
  const char* edit;  // when editing a file in place or into a copy
};

// Every code the module answers with. The edits answer E_FAIL for every refusal: a layout they
// cannot rewrite without moving or losing data, a value that is not there to patch.
constexpr Known kKnown[] = {
    {LF_S_OK, "S_OK", "done", "done"},
    {1, "S_FALSE", "the value is present but not valid", "nothing to change"},
    {LF_E_NOTIMPL, "E_NOTIMPL", "not supported by this module", "not supported by this module"},
    {LF_E_ABORT, "E_ABORT", "the data is of a kind the module does not read",
     "refused: the data is of a kind the module does not rewrite; the file is unchanged"},
    {LF_E_FAIL, "E_FAIL", "the value is not there or cannot be read",
     "refused: the EXIF data cannot be rewritten without moving or losing data, or the value "
     "to change is not there; the file is unchanged"},
    {LF_E_OUTOFMEMORY, "E_OUTOFMEMORY", "out of memory", "out of memory; the file is unchanged"},
    {LF_E_INVALIDARG, "E_INVALIDARG", "the request does not fit this file",
     "refused: the value does not fit this file; the file is unchanged"},
    {LF_E_NO_EXIF, "E_NO_EXIF", "no EXIF data the module accepts",
     "refused: no EXIF data the module accepts; the file is unchanged"},
    {LF_E_WIN32_NOT_ENOUGH_MEMORY, "E_WIN32_NOT_ENOUGH_MEMORY", "out of memory",
     "out of memory while writing; the file is unchanged"},
    {LF_E_WIN32_OUTOFMEMORY, "E_WIN32_OUTOFMEMORY", "out of memory",
     "out of memory while writing; the file is unchanged"},
    {LF_E_WIN32_ACCESS_DENIED, "E_WIN32_ACCESS_DENIED", "Permission denied",
     "cannot write: Permission denied (the file or its folder is read-only); the file is "
     "unchanged"},
    {LF_E_WIN32_CANNOT_MAKE, "E_WIN32_CANNOT_MAKE", "cannot create a file",
     "cannot create the output file; the file is unchanged"},
};

// Windows error numbers the platform layer makes from errno values.
const char* Win32Text(uint32_t e) {
  switch (e) {
    case 2: return "No such file or directory";
    case 3: return "No such directory";
    case 5: return "Permission denied";
    case 8:
    case 14: return "out of memory";
    case 19: return "Read-only file system";
    case 32:
    case 33: return "the file is in use";
    case 39:
    case 112: return "No space left on device";
    case 80:
    case 183: return "the file already exists";
    case 87: return "invalid argument";
    case 206: return "File name too long";
    default: return nullptr;
  }
}

const Known* Find(LF_RESULT r) {
  for (const Known& k : kKnown) {
    if (k.code == r) return &k;
  }
  return nullptr;
}

}  // namespace

std::string HexResult(LF_RESULT r) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<uint32_t>(r));
  return buf;
}

std::string ResultName(LF_RESULT r) {
  if (const Known* k = Find(r)) return k->name;
  const uint32_t u = static_cast<uint32_t>(r);
  if ((u & 0xFFFF0000u) == 0x80070000u)
    return "HRESULT_FROM_WIN32(" + std::to_string(u & 0xFFFF) + ")";
  if ((u & 0xFF000000u) == 0x82000000u) {
    return "HRESULT_FROM_TOOLKIT(-" + std::to_string(u & 0xFFFFFF) + ")";
  }
  return HexResult(r);
}

std::string Win32ErrorText(uint32_t error) {
  const char* text = Win32Text(error);
  return text ? text : "Windows error " + std::to_string(error);
}

Json ResultJson(LF_RESULT r) { return Json{{"name", ResultName(r)}, {"hex", HexResult(r)}}; }

std::string ResultSentence(LF_RESULT r, Action action) {
  const bool edit = action != Action::kRead;
  const std::string unchanged = action == Action::kEdit ? "; the file is unchanged" : "";
  if (const Known* k = Find(r)) {
    if (action == Action::kWrite && r == LF_E_FAIL) return "the module could not write the file";
    return edit ? k->edit : k->read;
  }
  const uint32_t u = static_cast<uint32_t>(r);
  if ((u & 0xFFFF0000u) == 0x80070000u) {
    return (edit ? "cannot write: " : "cannot read: ") + Win32ErrorText(u & 0xFFFF) + unchanged;
  }
  if ((u & 0xFF000000u) == 0x82000000u) {
    return "the image library failed (" + ResultName(r) + ")" + unchanged;
  }
  return "the module answered " + HexResult(r) + unchanged;
}

std::string DumpJson(const Json& document) {
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace lf::cli
