// SPDX-License-Identifier: MIT
// Result codes as the tool reports them: in JSON one form for every command ({"name", "hex"}), on
// stderr a sentence in plain words that says what happened to the file.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "lumenframe/lumenframe.h"

namespace lf::cli {

using Json = nlohmann::ordered_json;

// What the command was doing when the module answered; the same code means different things.
enum class Action { kRead, kEdit, kWrite };

// A short name for a result code ("S_OK", "E_FAIL", "HRESULT_FROM_WIN32(5)").
std::string ResultName(LF_RESULT r);
// "0x80004005"
std::string HexResult(LF_RESULT r);
// {"name": "E_FAIL", "hex": "0x80004005"}
Json ResultJson(LF_RESULT r);
// Why a call failed, e.g. "refused: ...; the file is unchanged".
std::string ResultSentence(LF_RESULT r, Action action);

// A Windows error number as the platform layer sets it, in words ("Permission denied").
std::string Win32ErrorText(uint32_t error);

// A document as the tool prints it: invalid UTF-8 in file names or EXIF texts is replaced, never
// written raw.
std::string DumpJson(const Json& document);

}  // namespace lf::cli
