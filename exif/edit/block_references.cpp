// SPDX-License-Identifier: MIT
#include "exif/edit/block_references.h"

namespace lf::edit {

namespace {

// Private data of raw-image writers, whose inner offsets count from the TIFF header.
constexpr uint16_t kTagDngPrivateData = 0xC634;

// The entries of one directory: every type of known size, and the offset-carrying tags only in
// the directories where the editor corrects them.
bool EntriesAreKnown(ByteView block, const RawDirectory& dir, DirectoryId id, bool isTiff) {
  for (uint32_t i = 0; i < dir.count; ++i) {
    IfdEntry e;
    if (!ReadEntry(block, dir.EntryPos(i), &e)) return false;
    if (e.count != 0 && exif::StoredTypeSize(e.type) == 0) return false;
    switch (e.tag) {
      case exif::kTagSubIfds:
      case exif::kTagTileOffsets:
      case kTagDngPrivateData: return false;
      case exif::kTagExifIfdPointer:
      case exif::kTagGpsIfdPointer:
        if (id != exif::kIfd0) return false;
        break;
      case exif::kTagInteropIfdPointer:
        if (id != exif::kExifIfd) return false;
        break;
      case exif::kTagJpegInterchangeFormat:
        if (id != exif::kIfd1) return false;
        break;
      case exif::kTagStripOffsets:
        if (id != exif::kIfd1 && !(id == exif::kIfd0 && isTiff)) return false;
        break;
      default: break;
    }
  }
  return true;
}

// A directory named by a link or a pointer: absent (0) is fine, one that cannot be located is
// not, and neither is a link to a further directory the editor would not follow.
bool KnownDirectory(ByteView block, const exif::LocatedDirectory& d, DirectoryId id, bool isTiff) {
  if (d.named == 0) return true;
  if (!d.located || !EntriesAreKnown(block, d.dir, id, isTiff)) return false;
  return id == exif::kIfd0 || d.next == 0;
}

// A pointer entry of another form than a LONG of count 1 names nothing the editor could follow.
bool PointerIsKnown(const exif::LocatedEntry& pointer) {
  return !pointer.found || (pointer.entry.type == exif::kTypeLong && pointer.entry.count == 1);
}

bool MakerNoteIsKnown(const exif::BlockStructure& s) {
  const exif::LocatedMakerNote& note = s.makerNote;
  if (!note.entry.found || note.bytes <= 4)
    return true;  // too short to hold a directory: plain bytes
  if (note.value.empty()) return false;
  if (!note.layout.IsKestrelon() || !note.located) return false;
  return EntriesAreKnown(s.tiff, note.dir, exif::kMakerNoteIfd, false);
}

}  // namespace

bool EveryReferenceIsKnown(const exif::BlockStructure& s, bool isTiff) {
  const ByteView block = s.tiff;
  if (s.ifd0.named == 0 || !KnownDirectory(block, s.ifd0, exif::kIfd0, isTiff) ||
      s.ifd0.dir.count == 0) {
    return false;
  }
  return KnownDirectory(block, s.ifd1, exif::kIfd1, isTiff) && PointerIsKnown(s.exifPointer) &&
         KnownDirectory(block, s.exif, exif::kExifIfd, isTiff) && PointerIsKnown(s.gpsPointer) &&
         KnownDirectory(block, s.gps, exif::kGpsIfd, isTiff) && PointerIsKnown(s.interopPointer) &&
         KnownDirectory(block, s.interop, exif::kInteropIfd, isTiff) && MakerNoteIsKnown(s);
}

}  // namespace lf::edit
