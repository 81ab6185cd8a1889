#include "exif/record/maker_note_reach.h"

#include <algorithm>

#include "exif/makernote/maker_note_layout.h"
#include "exif/model/directory.h"
#include "exif/model/tag_table.h"

namespace lf::record {
namespace {

using exif::ByteView;
using exif::IfdEntry;
using exif::RawDirectory;

// TIFF 6.0 supplement: an offset to a sub-directory, stored like a LONG.
constexpr uint16_t kTypeIfd = 13;
// More than any offset table a maker note keeps (preview start and length pairs and the like).
constexpr uint32_t kMaxArrayValues = 64;

// The maker note's bytes (offset into `tiff`, length) when IFD0 → Exif IFD → MakerNote leads to
// them.
bool FindMakerNote(ByteView tiff, uint32_t* offset, uint32_t* length) {
  RawDirectory ifd0, exifIfd;
  IfdEntry pointer, note;
  if (!exif::LocateRawDirectory(tiff, tiff.ReadU32(4), &ifd0) ||
      !exif::FindRawEntry(tiff, ifd0, exif::kTagExifIfdPointer, &pointer) ||
      !exif::LocateRawDirectory(tiff, pointer.value, &exifIfd) ||
      !exif::FindRawEntry(tiff, exifIfd, exif::kTagMakerNote, &note)) {
    return false;
  }
  *offset = note.value;
  *length = exif::ValueByteCount(note.type, note.count);
  return *length > 4 && tiff.Contains(*offset, *length);
}

}  // namespace

bool MakerNoteNamesImageBehind(ByteView tiff, ByteView behind) {
  uint32_t noteAt = 0, noteLength = 0;
  if (behind.size() < 2 || !tiff.Contains(0, 8) || !FindMakerNote(tiff, &noteAt, &noteLength)) {
    return false;
  }
  const exif::MakerNoteLayout layout = exif::MeasureMakerNote(tiff.Sub(noteAt, noteLength));
  RawDirectory dir;
  if (!layout.located || !exif::LocateRawDirectory(tiff, noteAt + layout.directoryStart, &dir)) {
    return false;
  }

  // A value names the image only where its SOI marker (JPEG, ITU T.81, B.1.1.3) stands, which
  // tells a preview's offset from a number or an offset into the segment.
  auto soiAt = [&](uint64_t at) {
    return at >= tiff.size() && behind.Contains(at - tiff.size(), 2) &&
           behind.ReadU8(at - tiff.size()) == 0xFF && behind.ReadU8(at - tiff.size() + 1) == 0xD8;
  };
  auto names = [&](uint32_t v) { return soiAt(v) || soiAt(uint64_t{noteAt} + v); };
  for (uint32_t i = 0; i < dir.count; ++i) {
    IfdEntry e;
    if (!exif::ReadEntry(tiff, dir.EntryPos(i), &e)) break;
    // The raw value field: an offset to the value, or the value itself when it fits.
    const uint32_t field = tiff.ReadU32(dir.EntryPos(i) + 8);
    const bool longs =
        e.type == exif::kTypeLong || e.type == exif::kTypeSLong || e.type == kTypeIfd;
    const bool outOfLine =
        exif::ValueByteCount(e.type, e.count) > 4 || (e.type == kTypeIfd && e.count > 1);
    if ((outOfLine || (longs && e.count == 1)) && names(field)) return true;
    if (!longs || !outOfLine) continue;
    const uint32_t n = std::min(e.count, kMaxArrayValues);
    for (uint32_t k = 0; k < n && tiff.Contains(field + uint64_t{k} * 4, 4); ++k) {
      if (names(tiff.ReadU32(field + uint64_t{k} * 4))) return true;
    }
  }
  return false;
}

}  // namespace lf::record
