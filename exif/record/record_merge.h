// SPDX-License-Identifier: MIT
// Enriching a JPEG's existing APP1 "Exif" segment from a host's records: tags a directory lacks
// are inserted when their values fit inside an entry, small values of tags it has are replaced,
// IFD0's and IFD1's DateTime get the time of the call, and everything else is kept, a maker note
// wherever it lies included. The segment is copied into the shared output layout, which moves
// every value and corrects every offset that names it; the edited block is compared with the old
// one before it is handed back. Words of a maker note that name a JPEG preview behind the segment
// (after the image) are moved by the segment's growth, as that preview moves with the file; where
// such a word reads ambiguously, nothing is inserted and the segment keeps its length.
#pragma once

#include <cstdint>
#include <vector>

#include "exif/model/byte_reader.h"
#include "exif/record/record_fields.h"
#include "exif/record/record_list.h"
#include "platform/clock.h"

namespace lf::record {

// The entries the merge may take from the record of `selector` (SEL_IFD0, SEL_IFD1, SEL_EXIF,
// SEL_GPS), in ascending tag order, encoded in `order`; empty when that record is missing.
std::vector<FieldValue> BuildMissingEntries(const RecordSet& records, uint32_t selector,
                                            exif::ByteOrder order);

struct MergedSegment {
  std::vector<uint8_t> bytes;  // the new segment from its marker on
  uint16_t oldLength = 0;      // the old segment's length field
  int32_t added = 0;           // new length minus old length
};

// The segment starts with the APP1 marker at offset `at` of `file`. `now` (may be null: no
// stamp) is the time written into DateTime. False when the segment is not an "Exif" segment with
// a usable TIFF header, the merge would lose or misplace a byte, or the result does not fit a
// segment.
[[nodiscard]] bool MergeRecordIntoApp1(exif::ByteView file, uint64_t at, const RecordSet& records,
                                       const ExifDateTime* now, MergedSegment* out);

}  // namespace lf::record
