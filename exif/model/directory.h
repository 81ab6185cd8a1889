// SPDX-License-Identifier: MIT
// The vocabulary of the document model's directories: where a directory lies (IfdLocation), the
// summary kept for IFD0 and IFD1 (IfdDescriptor), the entry list that serves as request and result,
// and the two scanning cores over raw 12-byte entries. Which directory (DirectoryId) and the tag
// numbers come from the tag table.
#pragma once

#include <cstdint>
#include <vector>

#include "exif/model/byte_reader.h"
#include "exif/model/field_types.h"
#include "exif/model/tag_table.h"

namespace lf::exif {

// The outcome of a lookup in a directory: kFound, kAbsent (no such entry, an empty directory, or
// one that does not lie inside the data), or kCannotLocate, which callers must tell from an
// absent directory (an unknown directory id, a directory whose entry count cannot be read).
enum Lookup : int { kCannotLocate = -1, kAbsent = 0, kFound = 1 };

// Where a directory lies: the offset of its entry-count word relative to the TIFF header
// (0 = absent) and its entry count (0 = not read yet, or empty).
struct IfdLocation {
  uint32_t offset = 0;
  uint16_t entryCount = 0;
};

// The summary of IFD0 or IFD1.
struct IfdDescriptor {
  IfdLocation location;
  uint32_t imageWidth = 0;
  uint32_t imageLength = 0;
  uint32_t samplesPerPixel = 0;
  uint32_t planarConfiguration = 0;  // 1 after parsing when absent or 0
  uint32_t rowsPerStrip = 0;
  uint32_t stripsPerImage = 0;  // ceil(imageLength / rowsPerStrip), 0 without rowsPerStrip
  uint32_t firstStripOffset = 0;

  bool IsParsed() const { return location.entryCount != 0 && planarConfiguration != 0; }
};

// A directory as it lies in a block: located once (its entry count and 12·n entry bytes checked
// to lie inside the bytes; the 4-byte link may be missing at the very end), then indexed freely.
inline constexpr uint32_t kDirectoryOverhead = 6;  // entry count word and next-IFD link
struct RawDirectory {
  uint32_t offset = 0;
  uint16_t count = 0;
  uint64_t EntryPos(uint32_t i) const { return uint64_t{offset} + 2 + uint64_t{i} * kEntrySize; }
  uint64_t LinkPos() const { return EntryPos(count); }
  uint32_t Size() const { return kDirectoryOverhead + kEntrySize * count; }
};
[[nodiscard]] bool LocateRawDirectory(ByteView block, uint32_t offset, RawDirectory* dir);

// Decodes the entry at `pos` (tag, type and count also for an entry of unsupported type); false
// when its 12 bytes are not all inside the block.
[[nodiscard]] bool ReadEntry(ByteView block, uint64_t pos, IfdEntry* entry);
// Encodes an entry at `pos`; false when it does not fit.
[[nodiscard]] bool WriteEntry(MutableByteView block, uint64_t pos, const IfdEntry& entry);
// The first entry with `tag`, and its position when asked.
[[nodiscard]] bool FindRawEntry(ByteView block, const RawDirectory& dir, uint16_t tag,
                                IfdEntry* entry, uint64_t* pos = nullptr);
// The one entry patcher: re-encodes the first entry with entry.tag in place from the given tag,
// type, count and value, with what it held before in *old. kPatched, kNotEncodable (an entry of no
// value bytes, written with count 0 as EncodeEntry does) or kTagAbsent.
enum PatchResult : int { kTagAbsent = -1, kNotEncodable = 0, kPatched = 1 };
[[nodiscard]] PatchResult PatchRawEntry(MutableByteView block, const RawDirectory& dir,
                                        const IfdEntry& entry, IfdEntry* old = nullptr);

// Applies one entry of IFD0 or IFD1 to its summary (ImageWidth, ImageLength, SamplesPerPixel,
// RowsPerStrip, PlanarConfiguration). True when the entry is a SHORT or LONG StripOffsets, whose
// first value the caller reads into firstStripOffset (it may lie outside the directory).
bool ApplySummaryEntry(IfdDescriptor* d, const IfdEntry& e);
// Completes a summary after its entries: PlanarConfiguration 1 when absent, and StripsPerImage.
void CompleteSummary(IfdDescriptor* d);

// File offset and length of Print Image Matching data.
struct PrintImLocation {
  uint32_t offset = 0;
  uint16_t length = 0;
};

// Entries by tag: as a request only the tags are read (empty = all); as a result whole entries.
using IfdEntryList = std::vector<IfdEntry>;

// Bytes scanned for a directory of `entryCount` entries. The product is taken modulo 65536, as the
// directory services have always done; it never exceeds the bytes the caller checked.
inline uint32_t ScanLength(uint16_t entryCount) {
  return (static_cast<uint32_t>(entryCount) * kEntrySize) & 0xFFFFu;
}

// Finds the first entry whose tag equals entry->tag among the raw entries (entries.size() bytes,
// in entries.order(), walked in 12-byte strides). The tag is compared whatever the decode result,
// so an entry of an unsupported type is still found, with value 0. 1 found (type, count and value
// filled), 0 not found.
[[nodiscard]] int ScanEntries(ByteView entries, IfdEntry* entry);

// Replaces the request in *list by the matching entries in directory order (every entry when the
// request is empty; a tag present twice comes back twice). Returns the number appended.
[[nodiscard]] int FilterEntries(ByteView entries, IfdEntryList* list);

}  // namespace lf::exif
