// The vocabulary of the document model's directories: which directory (DirectoryId), where it lies
// (IfdLocation), the summary kept for IFD0 and IFD1 (IfdDescriptor), the entry list that serves as
// request and result, and the two scanning cores over raw 12-byte entries.
#pragma once

#include <cstdint>
#include <vector>

#include "exif/model/byte_reader.h"
#include "exif/model/field_types.h"

namespace lf::exif {

using DirectoryId = uint32_t;
inline constexpr DirectoryId kIfd0 = 1;
inline constexpr DirectoryId kExifIfd = 2;
inline constexpr DirectoryId kGpsIfd = 3;
inline constexpr DirectoryId kInteropIfd = 4;
inline constexpr DirectoryId kMakerNoteIfd = 17;  // the writer's maker-note directory
inline constexpr DirectoryId kIfd1 = 257;

// Tags that locate directories and image data.
inline constexpr uint16_t kTagImageWidth = 0x0100;
inline constexpr uint16_t kTagImageLength = 0x0101;
inline constexpr uint16_t kTagStripOffsets = 0x0111;
inline constexpr uint16_t kTagOrientation = 0x0112;
inline constexpr uint16_t kTagSamplesPerPixel = 0x0115;
inline constexpr uint16_t kTagRowsPerStrip = 0x0116;
inline constexpr uint16_t kTagStripByteCounts = 0x0117;
inline constexpr uint16_t kTagPlanarConfiguration = 0x011C;
inline constexpr uint16_t kTagJpegInterchangeFormat = 0x0201;
inline constexpr uint16_t kTagJpegInterchangeFormatLength = 0x0202;
inline constexpr uint16_t kTagExifIfdPointer = 0x8769;
inline constexpr uint16_t kTagGpsIfdPointer = 0x8825;
inline constexpr uint16_t kTagInteropIfdPointer = 0xA005;
inline constexpr uint16_t kTagMakerNote = 0x927C;
inline constexpr uint16_t kTagPrintIm = 0xC4A5;

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
int ScanEntries(ByteView entries, IfdEntry* entry);

// Replaces the request in *list by the matching entries in directory order (every entry when the
// request is empty; a tag present twice comes back twice). Returns the number appended.
int FilterEntries(ByteView entries, IfdEntryList* list);

}  // namespace lf::exif
