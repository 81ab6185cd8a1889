// Where the directory of a maker note lies inside its bytes, and which dialect it is. A maker note
// opens either with its directory, or with a short identification text (the maker's name), a NUL
// and two bytes in front of the entry count. The reader, the summary and the editor all locate
// maker notes here.
#pragma once

#include <cstdint>
#include <string_view>

#include "exif/model/byte_reader.h"

namespace lf::exif {

// The identification text of the dialect whose value offsets count from the TIFF header of the
// whole EXIF block, exactly like the main directories' (and so can be corrected when it moves).
inline constexpr std::string_view kKestrelonHeader = "Kestrelon";

struct MakerNoteLayout {
  std::string_view header;     // the leading text, without its NUL (empty: none, or one character)
  uint32_t textLength = 0;     // characters before the first NUL (at most kMaxHeaderText)
  uint32_t directoryStart = 0; // offset of the entry count inside the maker note
  bool located = false;        // false: the text leaves no room for a directory
  bool IsKestrelon() const { return header == kKestrelonHeader; }
};

inline constexpr uint32_t kMaxHeaderText = 63;

// The text rule: a text of two or more characters puts the entry count at text + 3 (the NUL and
// two bytes between), provided the count and one entry's worth of room remain; a shorter text is
// no header and the directory starts at the first byte.
MakerNoteLayout MeasureMakerNote(ByteView note);

}  // namespace lf::exif
