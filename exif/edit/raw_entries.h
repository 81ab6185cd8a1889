// SPDX-License-Identifier: MIT
// Directories and entries as the editing code meets them inside a block: a directory validated
// once when located, reading and writing entries at a position, and the first and last values of
// offset arrays. Everything goes through the range-checked byte views.
#pragma once

#include <cstdint>

#include "exif/model/byte_reader.h"
#include "exif/model/directory.h"
#include "exif/model/field_types.h"

namespace lf::edit {

using exif::ByteOrder;
using exif::ByteView;
using exif::DirectoryId;
using exif::FindRawEntry;
using exif::IfdDescriptor;
using exif::IfdEntry;
using exif::IfdEntryList;
using exif::IfdLocation;
using exif::kDirectoryOverhead;
using exif::LocateRawDirectory;
using exif::MutableByteView;
using exif::PatchRawEntry;
using exif::RawDirectory;
using exif::ReadEntry;
using exif::WriteEntry;

// Tags the editor interprets beyond the directory vocabulary (numbers from the tag table).
using exif::kTagDateTime;
using exif::kTagDateTimeDigitized;
using exif::kTagDateTimeOriginal;
using exif::kTagSubSecTimeDigitized;
using exif::kTagSubSecTimeOriginal;

// Bytes of an entry's value; 0 for an unsupported type, a zero count or an impossible size.
inline uint32_t ValueBytes(uint16_t type, uint32_t count) {
  return exif::ValueByteCount(type, count);
}
inline bool HasOutOfLineValue(const IfdEntry& e) { return ValueBytes(e.type, e.count) > 4; }

// The first and last of `count` values of a SHORT or LONG array (StripOffsets and the like),
// inline or read from the block. An inline single value is both. False for another type or a
// value outside the block.
[[nodiscard]] bool FirstAndLastValue(ByteView block, const IfdEntry& entry, uint32_t count,
                                     uint32_t* first, uint32_t* last);

// The number of StripOffsets/StripByteCounts values of IFD0 or IFD1 as the descriptor of the
// directory they come from gives it (TIFF 6.0: StripsPerImage, times SamplesPerPixel for planar
// configuration 2), or the entry's own count when the descriptor is empty.
uint32_t StripValueCount(const IfdDescriptor& descriptor, uint32_t entryCount);

// Reads the summary of IFD0 or IFD1 from a block (the tags the strip rules need).
IfdDescriptor DescribeDirectory(ByteView block, uint32_t offset);

class CutList;
// Shifts such an inline SHORT or LONG offset (each half of a SHORT pair) by `cuts`.
void ShiftInlineOffset(IfdEntry* e, const CutList& cuts);
// Shifts every element of the out-of-line SHORT or LONG array of `e` (the array already at its
// new place e.value) by `cuts`; false when it does not lie in the block or a value would leave
// its type's range.
[[nodiscard]] bool ShiftOffsetArray(MutableByteView block, const IfdEntry& e, uint32_t count,
                                    const CutList& cuts);
// Shifts the value offset of the raw entry at `pos` when its type is one the module does not
// interpret but whose size is known (SBYTE, SSHORT, FLOAT, DOUBLE) and the value is out of line.
void ShiftOpaqueValue(MutableByteView block, uint64_t pos, const CutList& cuts);

}  // namespace lf::edit
