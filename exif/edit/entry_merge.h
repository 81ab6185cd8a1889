// SPDX-License-Identifier: MIT
// Merging small values into a copy of an EXIF block: entries a directory lacks are inserted when
// their values fit inside an entry, entries it has are given a new value of the same size in
// place, DateTime is stamped, and everything else is kept where the copy puts it. The edited
// block is compared with its source before it is handed back.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "exif/edit/raw_entries.h"
#include "exif/model/block_structure.h"
#include "platform/clock.h"

namespace lf::edit {

// A value to merge: its bytes in the block's byte order.
struct EntryValue {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  std::vector<uint8_t> bytes;
};

// What to merge into which directory.
struct EntryMerge {
  // The values offered to each directory, in ascending tag order. Walking a directory's entries
  // in their order, a value is inserted before the first entry whose tag lies above it, when that
  // entry is not one offered too (its value then replaces the old one when it is as long and
  // inline). Values longer than an entry's four bytes are never inserted or replaced, and nothing
  // goes behind the last entry.
  std::vector<std::pair<DirectoryId, std::vector<EntryValue>>> directories;
  bool insert = true;                   // false: values are only replaced, nothing is inserted
  const ExifDateTime* stamp = nullptr;  // the time written into DateTime of IFD0 and IFD1
};

// The edited block and the thumbnail that follows it.
struct MergedBlock {
  std::vector<uint8_t> tiff;
  std::vector<uint8_t> thumbnail;
  uint32_t makerNote = 0;  // the offset of the maker note's value in `tiff` (0: none)
};

// Merges into a copy of the located `block`, the TIFF data of a JPEG's APP1 segment. False when
// the block cannot be copied, a directory cannot be rewritten, or the result names other bytes
// than the source where nothing was asked to change.
[[nodiscard]] bool MergeEntries(const exif::BlockStructure& block, const EntryMerge& merge,
                                MergedBlock* out);

}  // namespace lf::edit
