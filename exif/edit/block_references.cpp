// SPDX-License-Identifier: MIT
#include "exif/edit/block_references.h"

#include "exif/makernote/maker_note_layout.h"

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
      case kTagDngPrivateData:
        return false;
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
      default:
        break;
    }
  }
  return true;
}

// A directory named by a pointer: absent (0) is fine, one that cannot be located is not, and
// neither is a link to a further directory the editor would not follow.
bool KnownDirectoryAt(ByteView block, uint32_t offset, DirectoryId id, bool isTiff, RawDirectory* dir) {
  *dir = {};
  if (offset == 0) return true;
  if (!LocateRawDirectory(block, offset, dir) || !EntriesAreKnown(block, *dir, id, isTiff)) return false;
  const uint32_t link = block.Contains(dir->LinkPos(), 4) ? block.ReadU32(dir->LinkPos()) : 0;
  return id == exif::kIfd0 || link == 0;
}

uint32_t PointerValue(ByteView block, const RawDirectory& dir, uint16_t tag) {
  IfdEntry e;
  if (dir.count == 0 || !FindRawEntry(block, dir, tag, &e)) return 0;
  return e.type == exif::kTypeLong && e.count == 1 ? e.value : UINT32_MAX;
}

bool MakerNoteIsKnown(ByteView block, const RawDirectory& exifDir) {
  IfdEntry note;
  if (exifDir.count == 0 || !FindRawEntry(block, exifDir, exif::kTagMakerNote, &note)) return true;
  const uint32_t bytes = exif::StoredByteCount(note.type, note.count);
  if (bytes <= 4) return true;  // too short to hold a directory: plain bytes
  const ByteView value = block.Sub(note.value, bytes);
  if (value.empty()) return false;
  const exif::MakerNoteLayout layout = exif::MeasureMakerNote(value);
  if (!layout.IsKestrelon() || !layout.located) return false;
  RawDirectory dir;
  return LocateRawDirectory(value, layout.directoryStart, &dir) &&
         EntriesAreKnown(block, {note.value + layout.directoryStart, dir.count}, exif::kMakerNoteIfd, false);
}

}  // namespace

bool EveryReferenceIsKnown(ByteView block, bool isTiff) {
  RawDirectory ifd0, ifd1, exifDir, gps, interop;
  if (!KnownDirectoryAt(block, block.ReadU32(4), exif::kIfd0, isTiff, &ifd0) || ifd0.count == 0) return false;
  const uint32_t link = block.Contains(ifd0.LinkPos(), 4) ? block.ReadU32(ifd0.LinkPos()) : 0;
  return KnownDirectoryAt(block, link, exif::kIfd1, isTiff, &ifd1) &&
         KnownDirectoryAt(block, PointerValue(block, ifd0, exif::kTagExifIfdPointer), exif::kExifIfd, isTiff, &exifDir) &&
         KnownDirectoryAt(block, PointerValue(block, ifd0, exif::kTagGpsIfdPointer), exif::kGpsIfd, isTiff, &gps) &&
         KnownDirectoryAt(block, PointerValue(block, exifDir, exif::kTagInteropIfdPointer), exif::kInteropIfd, isTiff, &interop) &&
         MakerNoteIsKnown(block, exifDir);
}

}  // namespace lf::edit
