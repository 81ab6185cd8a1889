// SPDX-License-Identifier: MIT
// Judging edits of real files by ExifTool: the corpus files an editor must handle, ExifTool's
// keys taken apart, and the comparison of ExifTool's full dump of a file before and after an edit,
// in which only what the edit accounts for may differ and every pointer that moved must still
// name the same bytes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tests/support/corpus_manifest.h"
#include "tests/support/exiftool_dump.h"
#include "tests/support/fixture_builder.h"

namespace lf::test {

// Files ExifTool found EXIF in: the camera JPEGs and TIFFs of the corpus.
std::vector<CorpusFile> ExifCorpusFiles();

// "0x80004005"
std::string HexCode(int32_t r);
// ".jpg" for "a/b.jpg", "" without an extension.
std::string Extension(const std::string& path);

// "IFD0:StripOffsets (2)" -> group "IFD0", tag "StripOffsets", occurrence " (2)".
std::string GroupOf(const std::string& key);
std::string TagOf(const std::string& key);
std::string Occurrence(const std::string& key);

// A value shortened for a message; a pair shown around its first difference.
std::string Shown(const std::string& v, size_t from = 0);
std::string ShownPair(const std::string& a, const std::string& b);

// The digits of a value, its other characters, and whether it reads as "YYYY:MM:DD HH:MM:SS".
std::string Digits(const std::string& v);
std::string Separators(const std::string& v);
bool LooksLikeDateTime(const std::string& v);

// Whether the value of `key` is a file offset that may change when the data it names moves (strip,
// tile, thumbnail and preview offsets of the TIFF directories).
bool MayMove(const std::string& key);
// Whether the pieces named by `offsetKey` in `before` hold the same bytes as those it names in
// `after`; "" when they do, else a description. Pieces outside the original file are not judged.
std::string NamesSameBytes(const std::string& offsetKey, const ExifToolTags& beforeTags, const Bytes& beforeFile,
                           const ExifToolTags& afterTags, const Bytes& afterFile);

// Whether an edit accounts for a key that differs: its value before (null when it was absent) and
// after (null when it is gone).
using Explains = std::function<bool(const std::string& key, const std::string* was, const std::string* now)>;

// The differences between ExifTool's dumps of a file before and after a successful edit that
// `explained` does not account for, one line each. Every edit may stamp IFD0 ModifyDate; moved
// offsets must name the same bytes.
std::vector<std::string> UnexplainedChanges(const ExifToolTags& before, const Bytes& beforeFile,
                                            const ExifToolTags& after, const Bytes& afterFile,
                                            const Explains& explained);

}  // namespace lf::test
