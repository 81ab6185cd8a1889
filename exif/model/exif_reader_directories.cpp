// SPDX-License-Identifier: MIT
// The directory services of ExifReader: locate, parse, find, collect, and deliver values, all from
// the reader's bytes.
#include "exif/model/exif_reader.h"

#include <algorithm>

namespace lf::exif {

namespace {

// Directory offsets below the end of the TIFF header cannot be real.
constexpr uint32_t kMinDirectoryOffset = 8;

}  // namespace

IfdLocation* ExifReader::Slot(DirectoryId id) {
  switch (id) {
    case kIfd0: return &ifd0_.location;
    case kExifIfd: return &exif_;
    case kGpsIfd: return &gps_;
    case kInteropIfd: return &interop_;
    case kIfd1: return &ifd1_.location;
    default: return nullptr;
  }
}

int ExifReader::LocateDirectory(DirectoryId id, IfdLocation* out) {
  if (out) *out = IfdLocation{};
  IfdLocation* slot = Slot(id);
  if (!slot) return 0;
  if (id == kInteropIfd && !interopLooked_) {
    // The Interop IFD is reached through its pointer in the Exif IFD (EXIF 2.2, 4.6.3).
    interopLooked_ = true;
    IfdEntry pointer;
    pointer.tag = kTagInteropIfdPointer;
    if (FindEntry(kExifIfd, &pointer) == kFound && pointer.type == kTypeLong &&
        pointer.count == 1 && pointer.value >= kMinDirectoryOffset) {
      interop_.offset = pointer.value;
    }
  }
  if (slot->offset != 0 && slot->entryCount == 0) {
    const ByteView count = BlockBytes(slot->offset, 2);
    if (count.empty()) return 0;
    slot->entryCount = count.ReadU16(0);
  }
  if (out) *out = *slot;
  return 1;
}

Lookup ExifReader::DirectoryEntries(DirectoryId id, ByteView* entries) {
  IfdLocation location;
  if (!LocateDirectory(id, &location)) return kCannotLocate;
  if (location.offset == 0 || location.entryCount == 0) return kAbsent;
  const ByteView all =
      BlockBytes(uint64_t{location.offset} + 2, uint64_t{location.entryCount} * kEntrySize);
  if (all.empty()) return kAbsent;
  *entries = all.Sub(0, ScanLength(location.entryCount));
  return kFound;
}

Lookup ExifReader::FindEntry(DirectoryId id, IfdEntry* entry) {
  if (!entry) return kCannotLocate;
  ByteView entries;
  const Lookup located = DirectoryEntries(id, &entries);
  if (located != kFound) return located;
  return ScanEntries(entries, entry) ? kFound : kAbsent;
}

int ExifReader::CollectEntries(DirectoryId id, IfdEntryList* list) {
  if (!list) return -1;
  ByteView entries;
  const Lookup located = DirectoryEntries(id, &entries);
  if (located != kFound) return located;
  return FilterEntries(entries, list);
}

uint32_t ExifReader::ReadEntryValue(const IfdEntry& entry, void* buffer, uint32_t bufferSize) {
  if (!buffer || bufferSize < FieldTypeSize(entry.type)) return 0;
  const std::span<uint8_t> out(static_cast<uint8_t*>(buffer), bufferSize);
  const uint32_t n = ValueByteCount(entry.type, entry.count);
  if (n <= kInlineValueBytes) return CopyInlineValue(entry, n, out);
  const ByteView value = BlockBytes(entry.value, n);
  if (value.empty()) {
    std::fill(out.begin(), out.end(), 0);
    return 0;
  }
  return ConvertValueArray(value, entry.type, out);
}

int ExifReader::ParseDirectory(uint32_t* linkOffset, IfdDescriptor* descriptor,
                               uint32_t* exifOffset, uint32_t* gpsOffset,
                               PrintImLocation* printIm) {
  if (!linkOffset || !descriptor) return 0;
  const uint32_t offset = *linkOffset;
  if (offset < kMinDirectoryOffset) return 0;

  const ByteView countWord = BlockBytes(offset, 2);
  if (countWord.empty()) return 0;
  const uint16_t count = countWord.ReadU16(0);
  descriptor->location = IfdLocation{offset, count};
  if (count == 0) {
    // An empty directory has no link worth following; returning the offset unchanged would make
    // the caller take the directory as its own successor.
    *linkOffset = 0;
    return 1;
  }

  // The count word, the entries and the 4-byte link, modulo 65536 as the walk has always been.
  const uint32_t size = (static_cast<uint32_t>(count) * kEntrySize + 6) & 0xFFFFu;
  const ByteView dir = BlockBytes(offset, size);
  if (dir.empty()) return 0;

  uint32_t pos = 2;
  for (; pos + kEntrySize + 4 <= size; pos += kEntrySize) {
    IfdEntry e;
    // Only summary tags are used, and those are judged by their type.
    (void)DecodeEntry(dir.span().subspan(pos, kEntrySize), byteOrder_, &e);
    if (ApplySummaryEntry(descriptor, e)) {
      if (IsInline(e)) {
        descriptor->firstStripOffset =
            e.type == kTypeShort && e.count == 2 ? e.value >> 16 : e.value;
      } else {
        // An unreadable strip table leaves the field; the directory itself was read.
        const uint16_t size1 = FieldTypeSize(e.type);
        if (const ByteView v = BlockBytes(e.value, size1); !v.empty()) {
          descriptor->firstStripOffset = size1 == 2 ? v.ReadU16(0) : v.ReadU32(0);
        }
      }
      continue;
    }
    switch (e.tag) {
      case kTagExifIfdPointer:
        if (e.type == kTypeLong && e.count == 1 && exifOffset) *exifOffset = e.value;
        break;
      case kTagGpsIfdPointer:
        if (e.type == kTypeLong && e.count == 1 && gpsOffset) *gpsOffset = e.value;
        break;
      case kTagPrintIm:
        if (e.type == kTypeUndefined && printIm) {
          printIm->offset = static_cast<uint32_t>(TiffOffsetToFile(e.value));
          printIm->length = static_cast<uint16_t>(std::min<uint32_t>(e.count, 0xFFFF));
        }
        break;
      default: break;
    }
  }
  CompleteSummary(descriptor);
  // The next-IFD link follows the last entry (TIFF 6.0, Section 2).
  *linkOffset = dir.ReadU32(pos);
  return 1;
}

int ExifReader::GetDirectoryDescriptor(DirectoryId id, IfdDescriptor* out) {
  if (!out) return 0;
  *out = IfdDescriptor{};
  if (id != kIfd0 && id != kIfd1) return 0;
  IfdDescriptor& descriptor = id == kIfd0 ? ifd0_ : ifd1_;
  if (descriptor.location.offset == 0 || descriptor.IsParsed()) {
    *out = descriptor;
    return 1;
  }
  int result = 1;
  if (IsTiffImage()) {
    uint32_t link = descriptor.location.offset;
    result = ParseDirectory(&link, &descriptor);
  }
  *out = descriptor;
  return result;
}

}  // namespace lf::exif
