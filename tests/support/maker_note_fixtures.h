// SPDX-License-Identifier: MIT
// Camera files whose maker note is of the Kestrelon dialect with a directory of any entries:
// a header text, a NUL, two bytes, the entry count, the entries, a zero link and then the
// out-of-line values, which are addressed from the TIFF header of the whole EXIF block.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "lumenframe/lumenframe.h"
#include "tests/support/fixture_builder.h"

namespace lf::test {

struct MakerNoteRecipe {
  Order order = Order::Little;
  std::string header = "Kestrelon";
  Ifd note;                   // the maker-note entries, in the order given
  // When set, the maker note's bytes instead, given the TIFF offset where they land (their size
  // must not depend on it).
  std::function<Bytes(uint32_t at)> rawNote;
  bool fullExif = true;       // every shooting tag GetExif summarises, in IFD0 and the Exif IFD
  bool withGps = true;        // every GPS tag GetExif summarises
  std::string dateTimeOriginal = "2021:07:14 09:26:53";
  bool withJfif = false;
  Ifd extraExif;  // entries added at the end of the Exif IFD
};

struct MakerNoteFile {
  Bytes file;                 // a whole JPEG
  uint32_t tiffBase = 0;      // file offset of the TIFF header
  uint32_t noteOffset = 0;    // TIFF offset of the maker note
  uint32_t dateTimeOffset = 0;  // TIFF offset of IFD0 DateTime's 20-byte value
  // TIFF offset of each maker-note entry's 12 bytes, by tag.
  std::map<uint16_t, uint32_t> entryOffsets;
};

MakerNoteFile MakeMakerNoteFile(const MakerNoteRecipe& recipe);

// A maker note holding one entry of each kind the summary reads: SHORT, LONG (tag 0x0002),
// presence flags, a date text, texts, a 16-byte and a 148-byte UNDEFINED value out of line, and
// two RATIONALs (tag 0x0062) that the summary does not read.
Ifd FullKestrelonNote();

// GetMakerNoteValue's three outputs, freed at the end of the scope.
struct MakerNoteLists {
  LfString header{};
  LfU16List tags{};
  LfU32List values{};
  MakerNoteLists() = default;
  MakerNoteLists(const MakerNoteLists&) = delete;
  MakerNoteLists& operator=(const MakerNoteLists&) = delete;
  ~MakerNoteLists() {
    LfStringFree(&header);
    LfU16ListFree(&tags);
    LfU32ListFree(&values);
  }
  [[nodiscard]] LF_RESULT Read(const std::string& path) {
    return GetMakerNoteValue(path.c_str(), &header, &tags, &values);
  }
  std::string Header() const { return header.text ? header.text : ""; }
};

}  // namespace lf::test
