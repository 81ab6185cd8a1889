// SPDX-License-Identifier: MIT
// The values of the record fields as TIFF entries, both ways, by the rows of the record-field
// table: a present field encoded as the entry the writers lay, an entry read into its field.
#pragma once

#include <cstdint>
#include <vector>

#include "exif/edit/entry_merge.h"
#include "exif/model/byte_reader.h"
#include "exif/model/directory.h"
#include "exif/model/field_types.h"
#include "exif/record/record_table.h"
#include "lumenframe/lumenframe.h"

namespace lf::record {

// One present field as an entry: its value bytes in the file's byte order.
using FieldValue = edit::EntryValue;

// Every field of the record of `selector` whose presence bit is set, in ascending tag order (the
// record list has been checked by CollectRecords). The Exif record yields the Interoperability
// pointer slot (value 0) when that directory is present.
std::vector<FieldValue> PresentFields(uint32_t selector, const void* record, exif::ByteOrder order);

// Reads the value of `entry` (its `value` the offset of the value bytes in `tiff`, inline ones
// included) into the field of `record` and sets its presence bit. The Interoperability pointer
// reads the directory it names into the embedded record.
void ReadField(const RecordField& field, void* record, exif::ByteView tiff,
               const exif::IfdEntry& entry);

// The entry at `pos` with entry->value the offset of its value bytes (inline ones included);
// false when the entry or its value does not lie inside the data.
[[nodiscard]] inline bool EntryValueAt(exif::ByteView tiff, uint64_t pos, exif::IfdEntry* e) {
  if (!exif::ReadEntry(tiff, pos, e)) return false;
  const uint64_t bytes = uint64_t{exif::FieldTypeSize(e->type)} * e->count;
  e->value =
      bytes <= exif::kInlineValueBytes ? static_cast<uint32_t>(pos + 8) : tiff.ReadU32(pos + 8);
  return tiff.Contains(e->value, bytes);
}

// Calls fn(entry) for each of `count` entries from `first` whose value lies inside the data, with
// entry.value the offset of its value bytes (inline ones included); the walk ends at the first
// entry whose 12 bytes do not.
template <typename Fn>
void ForEachEntry(exif::ByteView tiff, uint64_t first, uint64_t count, Fn&& fn) {
  for (uint64_t i = 0; i < count; ++i) {
    exif::IfdEntry e;
    if (!exif::ReadEntry(tiff, first + exif::kEntrySize * i, &e)) return;
    if (EntryValueAt(tiff, first + exif::kEntrySize * i, &e)) fn(e);
  }
}

// Reads the `count` entries from `first` of a directory of `tiff` into the record of `selector`:
// each entry of a tag the record has whose value lies inside the data. The walk ends at the first
// entry that does not.
void ReadDirectoryFields(uint32_t selector, void* record, exif::ByteView tiff, uint64_t first,
                         uint64_t count);

}  // namespace lf::record
