// SPDX-License-Identifier: MIT
// ExifTool as an independent reader: one invocation over many files, its `-args` output read back
// as one flat map of tag values per file, and the checks that judge an edit by those maps.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/support/fixture_builder.h"

namespace lf::test {

// Tag key ("Group1:Tag"; "Group1:Tag (N)" for its Nth occurrence) to its value as ExifTool prints
// it with -n, control characters escaped (-ec). A binary value holds its bytes, read in a second
// `-b` pass (lists of offsets too long for ExifTool to print are binary values as well).
using ExifToolTags = std::map<std::string, std::string>;
// File path, exactly as given to ExifTool, to its tags.
using ExifToolDump = std::map<std::string, ExifToolTags>;

// Whether an `exiftool` can be run.
[[nodiscard]] bool ExifToolAvailable();

// Runs `exiftool -args -a -u -G1 -n -ec` (plus `extraArgs`, e.g. other group families) over all
// `paths` through an argument file, so that their number does not matter. A file ExifTool could
// not read is missing from the result; `error` (when given) says why nothing could be read.
ExifToolDump RunExifTool(const std::vector<std::string>& paths,
                         const std::vector<std::string>& extraArgs = {},
                         std::string* error = nullptr);

// "IFD0:StripOffsets (2)" -> group "IFD0", tag "StripOffsets", occurrence " (2)".
std::string GroupOf(const std::string& key);
std::string TagOf(const std::string& key);
std::string Occurrence(const std::string& key);

// Whether `key` is a file offset of a TIFF directory or a maker note that may change when the data
// it names moves (strips, tiles, thumbnail, previews).
bool MayMove(const std::string& key);
// Whether the pieces named by `offsetKey` in `before` hold the same bytes as those it names in
// `after`; "" when they do, else a description. Pieces outside the original file are not judged.
std::string NamesSameBytes(const std::string& offsetKey, const ExifToolTags& beforeTags,
                           const Bytes& beforeFile, const ExifToolTags& afterTags,
                           const Bytes& afterFile);

}  // namespace lf::test
