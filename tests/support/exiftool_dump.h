// SPDX-License-Identifier: MIT
// ExifTool as an independent reader: its `-args` output as one flat map of tag values per file.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/support/fixture_builder.h"

namespace lf::test {

// "Group1:Tag" ("Group1:Tag (N)" for its Nth occurrence) to its -n -ec value; binary values hold
// their bytes, read in a second `-b` pass.
using ExifToolTags = std::map<std::string, std::string>;
using ExifToolDump = std::map<std::string, ExifToolTags>;

[[nodiscard]] bool ExifToolAvailable();

// `exiftool -args -a -u -G1 -n -ec` plus `extraArgs` over `paths`; an unreadable file is missing.
ExifToolDump RunExifTool(const std::vector<std::string>& paths,
                         const std::vector<std::string>& extraArgs = {},
                         std::string* error = nullptr);

// "IFD0:StripOffsets (2)" -> group "IFD0", tag "StripOffsets", occurrence " (2)".
std::string GroupOf(const std::string& key);
std::string TagOf(const std::string& key);
std::string Occurrence(const std::string& key);

// Whether `key` is a strip, tile, thumbnail or preview offset that may move with its data.
bool MayMove(const std::string& key);
// "" when the pieces `offsetKey` names after hold the bytes it named before, else why not.
std::string NamesSameBytes(const std::string& offsetKey, const ExifToolTags& beforeTags,
                           const Bytes& beforeFile, const ExifToolTags& afterTags,
                           const Bytes& afterFile);

}  // namespace lf::test
