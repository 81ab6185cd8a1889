// SPDX-License-Identifier: MIT
// ExifTool as an independent reader: one invocation over many files, its JSON output read back
// as one flat map of tag values per file.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace lf::test {

// Tag key ("Group1:Tag"; "Group1:Tag (N)" for its Nth occurrence in that group) to its value as
// text.
// Strings are unescaped, numbers keep ExifTool's spelling, binary values are "base64:...",
// lists are "[a, b]".
using ExifToolTags = std::map<std::string, std::string>;
// File path, exactly as given to ExifTool, to its tags.
using ExifToolDump = std::map<std::string, ExifToolTags>;

// Whether an `exiftool` can be run.
bool ExifToolAvailable();

// Runs `exiftool -j -a -u -G1:4 -n -b -all` (plus `extraArgs`) once over all `paths`, which are
// passed through an argument file so that their number does not matter. Every value is read,
// binary ones included (base64). A file ExifTool could not read is missing from the result.
// `error` (when given) receives a description when ExifTool cannot be run or its output cannot
// be parsed.
ExifToolDump RunExifTool(const std::vector<std::string>& paths,
                         const std::vector<std::string>& extraArgs = {}, std::string* error = nullptr);

// Parses ExifTool's JSON output (an array of flat objects keyed by SourceFile); false on
// malformed input. Nested objects (from -struct) are flattened to "{k=v, ...}".
bool ParseExifToolJson(const std::string& json, ExifToolDump* out, std::string* error = nullptr);

}  // namespace lf::test
