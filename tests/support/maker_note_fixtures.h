// SPDX-License-Identifier: MIT
// Camera files with a Kestrelon maker note, its values addressed from the TIFF header.
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
  Ifd note;  // the maker-note entries, in the order given
  // When set, the note's bytes instead, given where they land (their size must not depend on it).
  std::function<Bytes(uint32_t at)> rawNote;
  bool fullExif = true;  // every shooting tag GetExif summarises, in IFD0 and the Exif IFD
  bool withGps = true;   // every GPS tag GetExif summarises
  std::string dateTimeOriginal = "2021:07:14 09:26:53";
  bool withJfif = false;
  Ifd extraExif;  // entries added at the end of the Exif IFD
};

struct MakerNoteFile {
  Bytes file;                   // a whole JPEG
  uint32_t tiffBase = 0;        // file offset of the TIFF header
  uint32_t noteOffset = 0;      // TIFF offset of the maker note
  uint32_t dateTimeOffset = 0;  // TIFF offset of IFD0 DateTime's 20-byte value
  // TIFF offset of each maker-note entry's 12 bytes, by tag.
  std::map<uint16_t, uint32_t> entryOffsets;
};

MakerNoteFile MakeMakerNoteFile(const MakerNoteRecipe& recipe);

// A maker note of every entry kind the summary reads, and two RATIONALs (0x0062) it does not.
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
