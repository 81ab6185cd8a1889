// SPDX-License-Identifier: MIT
#include "exif/model/block_structure.h"

namespace lf::exif {

namespace {

constexpr uint16_t kLittleEndianMark = 0x4949;  // "II"
constexpr uint16_t kBigEndianMark = 0x4D4D;     // "MM"
constexpr uint16_t kTiffMagic = 42;

LocatedEntry FindIn(ByteView block, const RawDirectory& dir, uint16_t tag) {
  LocatedEntry found;
  if (dir.count != 0) found.found = FindRawEntry(block, dir, tag, &found.entry, &found.pos);
  return found;
}

LocatedDirectory DirectoryAt(ByteView block, uint32_t offset) {
  LocatedDirectory d;
  d.named = offset;
  d.located = LocateRawDirectory(block, offset, &d.dir);
  if (d.located) {
    d.hasLink = block.Contains(d.dir.LinkPos(), 4);
    d.next = d.hasLink ? block.ReadU32(d.dir.LinkPos()) : 0;
  }
  return d;
}

LocatedMakerNote MakerNoteOf(ByteView block, const RawDirectory& exifDir) {
  LocatedMakerNote note;
  note.entry = FindIn(block, exifDir, kTagMakerNote);
  if (!note.entry.found) return note;
  note.bytes = StoredByteCount(note.entry.entry.type, note.entry.entry.count);
  if (note.bytes <= kInlineValueBytes) return note;
  note.value = block.Sub(note.entry.entry.value, note.bytes);
  if (note.value.empty()) return note;
  note.layout = MeasureMakerNote(note.value);
  RawDirectory inNote;
  note.located =
      note.layout.located && LocateRawDirectory(note.value, note.layout.directoryStart, &inNote);
  if (note.located) note.dir = {note.entry.entry.value + note.layout.directoryStart, inNote.count};
  return note;
}

}  // namespace

TiffHeader ReadTiffHeader(ByteView bytes) {
  TiffHeader h;
  const uint16_t mark = bytes.ReadU16BE(0);
  if (!bytes.Contains(0, kTiffHeaderSize) || (mark != kLittleEndianMark && mark != kBigEndianMark))
    return h;
  h.order = mark == kLittleEndianMark ? kLittleEndian : kBigEndian;
  const ByteView ordered = bytes.WithOrder(h.order);
  if (ordered.ReadU16(2) != kTiffMagic) {
    h.status = TiffHeaderStatus::kNotTiff;
    return h;
  }
  h.status = TiffHeaderStatus::kValid;
  h.ifd0Offset = ordered.ReadU32(4);
  return h;
}

const LocatedDirectory& BlockStructure::Of(DirectoryId id) const {
  static const LocatedDirectory kNone;
  switch (id) {
    case kIfd0: return ifd0;
    case kIfd1: return ifd1;
    case kExifIfd: return exif;
    case kGpsIfd: return gps;
    case kInteropIfd: return interop;
    default: return kNone;
  }
}

BlockStructure Locate(ByteView tiff) {
  BlockStructure s;
  s.header = ReadTiffHeader(tiff);
  if (!s.header.valid()) return s;
  const ByteView b = tiff.WithOrder(s.header.order);
  s.tiff = b;
  s.ifd0 = DirectoryAt(b, s.header.ifd0Offset);
  if (!s.ifd0.located) return s;
  s.ifd1 = DirectoryAt(b, s.ifd0.next);
  s.exifPointer = FindIn(b, s.ifd0.dir, kTagExifIfdPointer);
  s.gpsPointer = FindIn(b, s.ifd0.dir, kTagGpsIfdPointer);
  s.exif = DirectoryAt(b, s.exifPointer.LongValue());
  s.gps = DirectoryAt(b, s.gpsPointer.LongValue());
  s.interopPointer = FindIn(b, s.exif.dir, kTagInteropIfdPointer);
  s.interop = DirectoryAt(b, s.interopPointer.LongValue());
  s.thumbnailOffset = FindIn(b, s.ifd1.dir, kTagJpegInterchangeFormat);
  s.thumbnailLength = FindIn(b, s.ifd1.dir, kTagJpegInterchangeFormatLength);
  s.stripOffsets0 = FindIn(b, s.ifd0.dir, kTagStripOffsets);
  s.stripCounts0 = FindIn(b, s.ifd0.dir, kTagStripByteCounts);
  s.stripOffsets1 = FindIn(b, s.ifd1.dir, kTagStripOffsets);
  s.stripCounts1 = FindIn(b, s.ifd1.dir, kTagStripByteCounts);
  s.makerNote = MakerNoteOf(b, s.exif.dir);
  return s;
}

}  // namespace lf::exif
