// SPDX-License-Identifier: MIT
// Where the directory of a maker note lies inside its bytes, and which dialect it is. A maker note
// opens either with its directory, or with a short identification text (the maker's name), a NUL
// and two bytes in front of the entry count. The reader, the summary and the editor all locate
// maker notes here.
#pragma once

#include <cstdint>
#include <string_view>

#include "exif/model/byte_reader.h"
#include "exif/model/field_types.h"

namespace lf::exif {

// The identification text of the dialect whose value offsets count from the TIFF header of the
// whole EXIF block, exactly like the main directories' (and so can be corrected when it moves).
inline constexpr std::string_view kKestrelonHeader = "Kestrelon";

struct MakerNoteLayout {
  std::string_view header;      // the leading text, without its NUL (empty: none, or one character)
  uint32_t textLength = 0;      // characters before the first NUL (at most kMaxHeaderText)
  uint32_t directoryStart = 0;  // offset of the entry count inside the maker note
  bool located = false;         // false: the text leaves no room for a directory
  bool IsKestrelon() const { return header == kKestrelonHeader; }
};

inline constexpr uint32_t kMaxHeaderText = 63;

// The text rule: a text of two or more characters puts the entry count at text + 3 (the NUL and
// two bytes between), provided the count and one entry's worth of room remain; a shorter text is
// no header and the directory starts at the first byte.
MakerNoteLayout MeasureMakerNote(ByteView note);

// How a maker note's directory is read. Most makers follow the text rule above, in the file's
// byte order, with value offsets counted from the TIFF header of the whole block. Some open with a
// signature that says otherwise: a byte order of their own, the directory elsewhere, or value
// offsets counted from the maker note itself (or from a TIFF header inside it).
struct MakerNoteDialect {
  uint32_t countAt = 0;  // offset of the entry count inside the maker note
  ByteOrder order = kLittleEndian;
  bool offsetsFromNote = false;  // value offsets count from valueBase inside the note ...
  uint32_t valueBase = 0;        // ... rather than from the block's TIFF header
  bool located = false;          // false: no directory can be where the note says
};

// `note` in the file's byte order.
MakerNoteDialect ReadMakerNoteDialect(ByteView note);

// Whether one entry (its value field as stored) can belong to the directory: a TIFF type, and a
// value that lies inside the note (offsets from the note) or inside the first `blockLength` bytes
// after the TIFF header.
[[nodiscard]] bool EntryFitsMakerNote(const IfdEntry& stored, const MakerNoteDialect& dialect,
                                      ByteView note, uint64_t blockLength);

// Whether the bytes at dialect.countAt read as a directory: a non-zero entry count whose entries
// lie inside the note, each fitting it as above. A maker note the rules above misread fails here,
// so that nothing reads or rewrites bytes that are no directory.
[[nodiscard]] bool DirectoryReads(ByteView note, const MakerNoteDialect& dialect,
                                  uint64_t blockLength);

}  // namespace lf::exif
