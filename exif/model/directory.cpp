// SPDX-License-Identifier: MIT
#include "exif/model/directory.h"

#include <algorithm>

namespace lf::exif {

int ScanEntries(ByteView entries, IfdEntry* entry) {
  if (!entry) return 0;
  for (size_t pos = 0; entries.Contains(pos, kEntrySize); pos += kEntrySize) {
    IfdEntry decoded;
    // An invalid entry still has its tag, which is all the scan compares.
    (void)DecodeEntry(entries.span().subspan(pos, kEntrySize), entries.order(), &decoded);
    if (decoded.tag == entry->tag) {
      *entry = decoded;
      return 1;
    }
  }
  return 0;
}

int FilterEntries(ByteView entries, IfdEntryList* list) {
  if (!list) return 0;
  std::vector<uint16_t> wanted;
  wanted.reserve(list->size());
  for (const IfdEntry& e : *list) wanted.push_back(e.tag);
  list->clear();
  int appended = 0;
  for (size_t pos = 0; entries.Contains(pos, kEntrySize); pos += kEntrySize) {
    IfdEntry decoded;
    // An invalid entry is still listed; readers judge its type and count.
    (void)DecodeEntry(entries.span().subspan(pos, kEntrySize), entries.order(), &decoded);
    if (wanted.empty() || std::find(wanted.begin(), wanted.end(), decoded.tag) != wanted.end()) {
      list->push_back(decoded);
      ++appended;
    }
  }
  return appended;
}

bool ApplySummaryEntry(IfdDescriptor* d, const IfdEntry& e) {
  const bool shortOrLong = e.type == kTypeShort || e.type == kTypeLong;
  switch (e.tag) {
    case kTagImageWidth:
      if (shortOrLong) d->imageWidth = e.value;
      return false;
    case kTagImageLength:
      if (shortOrLong) d->imageLength = e.value;
      return false;
    case kTagSamplesPerPixel:
      if (e.type == kTypeShort) d->samplesPerPixel = e.value;
      return false;
    case kTagRowsPerStrip:
      if (shortOrLong) d->rowsPerStrip = e.value;
      return false;
    case kTagPlanarConfiguration:
      if (e.type == kTypeShort) d->planarConfiguration = e.value;
      return false;
    case kTagStripOffsets: return shortOrLong;
    default: return false;
  }
}

void CompleteSummary(IfdDescriptor* d) {
  if (d->planarConfiguration == 0) d->planarConfiguration = 1;
  d->stripsPerImage = d->rowsPerStrip == 0
                          ? 0
                          : static_cast<uint32_t>((uint64_t{d->imageLength} + d->rowsPerStrip - 1) /
                                                  d->rowsPerStrip);
}

bool LocateRawDirectory(ByteView block, uint32_t offset, RawDirectory* dir) {
  *dir = {};
  if (offset == 0 || !block.Contains(offset, 2)) return false;
  const uint16_t count = block.ReadU16(offset);
  if (!block.Contains(uint64_t{offset} + 2, uint64_t{count} * kEntrySize)) return false;
  dir->offset = offset;
  dir->count = count;
  return true;
}

bool ReadEntry(ByteView block, uint64_t pos, IfdEntry* entry) {
  *entry = {};
  const uint8_t* raw = block.Pointer(pos, kEntrySize);
  if (!raw) return false;
  // Callers judge an invalid entry by its type and count.
  (void)DecodeEntry({raw, kEntrySize}, block.order(), entry);
  return true;
}

bool WriteEntry(MutableByteView block, uint64_t pos, const IfdEntry& entry) {
  uint8_t* raw = block.Pointer(pos, kEntrySize);
  if (!raw) return false;
  // An entry without value bytes is written with count 0.
  (void)EncodeEntry({raw, kEntrySize}, block.order(), entry);
  return true;
}

bool FindRawEntry(ByteView block, const RawDirectory& dir, uint16_t tag, IfdEntry* entry,
                  uint64_t* pos) {
  for (uint32_t i = 0; i < dir.count; ++i) {
    const uint64_t at = dir.EntryPos(i);
    if (block.ReadU16(at) == tag) {
      if (pos) *pos = at;
      return ReadEntry(block, at, entry);
    }
  }
  *entry = {};
  return false;
}

PatchResult PatchRawEntry(MutableByteView block, const RawDirectory& dir, const IfdEntry& entry,
                          IfdEntry* old) {
  IfdEntry before;
  uint64_t pos = 0;
  if (!FindRawEntry(block, dir, entry.tag, &before, &pos)) return kTagAbsent;
  if (old) *old = before;
  uint8_t* raw = block.Pointer(pos, kEntrySize);
  return EncodeEntry({raw, kEntrySize}, block.order(), entry) == 1 ? kPatched : kNotEncodable;
}

}  // namespace lf::exif
