// SPDX-License-Identifier: MIT
#include "exif/edit/raw_entries.h"

namespace lf::edit {

bool FirstAndLastValue(ByteView block, const IfdEntry& entry, uint32_t count, uint32_t* first,
                       uint32_t* last) {
  *first = *last = 0;
  if (count == 0 || (entry.type != exif::kTypeShort && entry.type != exif::kTypeLong)) return false;
  const uint32_t size = exif::FieldTypeSize(entry.type);
  const uint32_t bytes = ValueBytes(entry.type, entry.count);
  if (bytes == 0) return false;
  if (bytes <= 4) {
    if (entry.type == exif::kTypeLong || entry.count == 1) {
      *first = *last = entry.value;
    } else {
      *first = entry.value >> 16;
      *last = entry.value & 0xFFFF;
    }
    return true;
  }
  const uint64_t lastPos = uint64_t{entry.value} + uint64_t{count - 1} * size;
  if (!block.Contains(entry.value, size) || !block.Contains(lastPos, size)) return false;
  *first = size == 2 ? block.ReadU16(entry.value) : block.ReadU32(entry.value);
  *last = size == 2 ? block.ReadU16(lastPos) : block.ReadU32(lastPos);
  return true;
}

uint32_t StripValueCount(const IfdDescriptor& d, uint32_t entryCount) {
  if (d.location.entryCount == 0) return entryCount;
  if (d.planarConfiguration == 1) return d.stripsPerImage;
  if (d.planarConfiguration == 2) {
    uint32_t n = 0;
    return exif::CheckedMul(d.samplesPerPixel, d.stripsPerImage, &n) ? n : entryCount;
  }
  return entryCount;
}

IfdDescriptor DescribeDirectory(ByteView block, uint32_t offset) {
  IfdDescriptor d;
  RawDirectory dir;
  if (!LocateRawDirectory(block, offset, &dir)) return d;
  d.location = {dir.offset, dir.count};
  for (uint32_t i = 0; i < dir.count; ++i) {
    IfdEntry e;
    if (!ReadEntry(block, dir.EntryPos(i), &e)) break;
    uint32_t last = 0;
    if (exif::ApplySummaryEntry(&d, e))
      (void)FirstAndLastValue(block, e, 1, &d.firstStripOffset, &last);
  }
  exif::CompleteSummary(&d);
  return d;
}

}  // namespace lf::edit
