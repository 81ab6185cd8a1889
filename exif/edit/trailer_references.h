// SPDX-License-Identifier: MIT
// Words of an EXIF block that may name bytes behind the image of its JPEG file (a trailer:
// preview images, second pictures, padding). When the EXIF segment of a rewritten file grows or
// shrinks, the trailer moves with the rest of the file, so every word that names it must be one
// the writer can move with it; a word it cannot classify stops the rewrite.
#pragma once

#include <cstdint>
#include <vector>

#include "exif/edit/raw_entries.h"
#include "exif/model/block_structure.h"
#include "exif/model/byte_source.h"

namespace lf::edit {

// One word of the block that reads as an offset into the trailer.
struct TrailerReference {
  uint32_t at = 0;  // position of the word inside the block
  ByteOrder order = exif::kLittleEndian;
  uint32_t value = 0;   // the word as stored
  uint64_t target = 0;  // the file offset it names in the source file
  bool fromFileStart =
      false;                 // counts from the start of the file, not from a base inside the block
  bool inMakerNote = false;  // lies inside the MakerNote value
  uint32_t noteAt = 0;       // where the MakerNote value starts in the block, when inside it
};

// Every word of `block` (whose TIFF header lies at file offset `tiffBase`; made from `source`
// without moving what exists) that names a byte of
// the file range [from, to), counted from the TIFF header, from the start of the file, from the
// start of the maker note or from a TIFF header of its own inside it. Directory structure (counts,
// tags, types, counts, links), the thumbnail's compressed data and values of types that cannot
// hold a 32-bit offset (text, SHORT, rationals, floats) are passed over; any other four bytes, at
// any alignment, are read as a word.
[[nodiscard]] std::vector<TrailerReference> FindTrailerReferences(
    const exif::BlockStructure& block, const exif::BlockStructure& source, uint64_t tiffBase,
    uint64_t from, uint64_t to);

// How many readings of one word may name a preview: a rewrite that moves the trailer must know
// each word's meaning; a merge that moves only previews leaves words naming none alone.
enum class PreviewRule { kExactlyOne, kAtMostOne };

// The readings among `refs` (those of one word adjacent, as found) that lie in the maker note and
// name the start of a JPEG stream in `file` (a preview image), into *previews. False when a word
// breaks `rule`: which reading is the offset is then unknown.
[[nodiscard]] bool FindPreviewReadings(const std::vector<TrailerReference>& refs,
                                       exif::ByteSource& file, PreviewRule rule,
                                       std::vector<TrailerReference>* previews);

}  // namespace lf::edit
