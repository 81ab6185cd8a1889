// SPDX-License-Identifier: MIT
// The embedded thumbnail: a JPEG stream named by IFD1 of a JPEG's EXIF data, or for a TIFF the
// whole block re-headed so that its first directory is IFD1.
#include "exif/model/exif_reader.h"

#include <algorithm>
#include <cstring>

namespace lf::exif {

int ExifReader::LocateThumbnail(uint32_t* offset, uint32_t* length) {
  uint32_t start = 0;
  uint32_t size = 0;
  if (IsExifJpeg()) {
    // EXIF 2.2, 4.6.4 C: JPEGInterchangeFormat and JPEGInterchangeFormatLength of IFD1.
    IfdEntryList list{IfdEntry{kTagJpegInterchangeFormat},
                      IfdEntry{kTagJpegInterchangeFormatLength}};
    if (CollectEntries(kIfd1, &list) == 2) {
      for (const IfdEntry& e : list) {
        if (e.type != kTypeLong) continue;
        if (e.tag == kTagJpegInterchangeFormat) start = e.value;
        if (e.tag == kTagJpegInterchangeFormatLength) size = e.value;
      }
      // A declared length that runs past the block is cut at its end.
      if (start <= blockLength_) {
        size = std::min(size, blockLength_ - start);
      } else {
        start = size = 0;
      }
    }
  } else if (IsExifTiff()) {
    IfdLocation location;
    IfdEntry strips;
    strips.tag = kTagStripOffsets;
    if (LocateDirectory(kIfd1, &location) && location.offset != 0 && location.entryCount != 0 &&
        FindEntry(kIfd1, &strips) == kFound &&
        (strips.type == kTypeShort || strips.type == kTypeLong)) {
      uint32_t first = 0;
      bool known = true;
      if (!IsInline(strips)) {
        const uint16_t valueSize = FieldTypeSize(strips.type);
        const ByteView value = BlockBytes(strips.value, valueSize);
        known = !value.empty() && InRange(blockLength_, strips.value, valueSize);
        if (known) first = valueSize == 2 ? value.ReadU16(0) : value.ReadU32(0);
      } else {
        first = strips.type == kTypeShort && strips.count == 2 ? strips.value >> 16 : strips.value;
      }
      if (known && first != 0 && first < blockLength_) {
        start = 0;
        size = blockLength_;
      }
    }
  }
  if (offset) *offset = start;
  if (length) *length = size;
  return size != 0 ? 1 : 0;
}

int ExifReader::CopyThumbnail(uint8_t* dest, size_t destSize, uint32_t offset, uint32_t length) {
  if (!block_ || !dest || destSize < length) return 0;
  std::memset(dest, 0, length);
  if (!InRange(loadedSize(), offset, length)) return 0;
  const ByteView bytes = BlockBytes(offset, length);
  if (length != 0 && bytes.empty()) return 0;
  if (IsExifJpeg()) {
    // The range was checked above.
    (void)bytes.Copy(0, dest, length);
    return 1;
  }
  if (IsExifTiff()) {
    (void)bytes.Copy(0, dest, length);
    // The copy's header names IFD1 as its first directory, making it a TIFF of the thumbnail; one
    // too short for a header is delivered as it is.
    (void)MutableByteView(dest, length, byteOrder_).WriteU32(4, ifd1_.location.offset);
    return 1;
  }
  return 0;
}

uint32_t ExifReader::GetThumbnail(platform::HeapPtr<uint8_t>* out) {
  if (!out) return 0;
  out->reset();
  if (!HasExifDirectory() || !block_) return 0;
  // The thumbnail is looked for in the block, also by a reader that answers from the file.
  NarrowToBlock();
  uint32_t offset = 0;
  uint32_t length = 0;
  uint32_t result = 0;
  if (LocateThumbnail(&offset, &length) == 1) {
    platform::HeapPtr<uint8_t> copy(static_cast<uint8_t*>(platform::HeapAlloc(length)));
    if (copy && CopyThumbnail(copy.get(), length, offset, length)) {
      *out = std::move(copy);
      result = length;
    }
  }
  return result;
}

}  // namespace lf::exif
