// SPDX-License-Identifier: MIT
// Operations on single entries and directories of the output block, the date stamp, and the
// measuring and relocation of image data.
#include "exif/edit/output_layout.h"

#include <algorithm>
#include <cstdio>

#include "exif/edit/date_stamp.h"
#include "exif/makernote/maker_note_layout.h"

namespace lf::edit {

using exif::kTypeLong;
using exif::kTypeShort;

void OutputLayout::Reset() {
  out_.Reset();
  thumbnail_.Reset();
  order_ = exif::kLittleEndian;
  isTiff_ = isJpeg_ = pinned_ = imageInBlock_ = false;
  edits_ = {};
  sourceIfd0_ = sourceIfd1_ = ifd0_ = ifd1_ = {};
  exif_ = gps_ = interop_ = makerNote_ = {};
  makerNoteTail_ = 0;
  makerNoteOffset_ = makerNoteLength_ = 0;
  mainImageSize_ = thumbnailImageSize_ = 0;
}

IfdDescriptor* OutputLayout::Descriptor(DirectoryId id) {
  if (id == exif::kIfd0) return &ifd0_;
  if (id == exif::kIfd1) return &ifd1_;
  return nullptr;
}

IfdLocation* OutputLayout::Slot(DirectoryId id) {
  switch (id) {
    case exif::kIfd0: return &ifd0_.location;
    case exif::kIfd1: return &ifd1_.location;
    case exif::kExifIfd: return &exif_;
    case exif::kGpsIfd: return &gps_;
    case exif::kInteropIfd: return &interop_;
    case exif::kMakerNoteIfd: return &makerNote_;
    default: return nullptr;
  }
}

uint32_t OutputLayout::StripCount(DirectoryId id, uint32_t entryCount) const {
  return StripValueCount(id == exif::kIfd1 ? sourceIfd1_ : sourceIfd0_, entryCount);
}

int OutputLayout::LocateMakerNoteDirectory(IfdLocation* out) {
  if (makerNote_.offset == 0 && makerNoteOffset_ != 0 && makerNoteLength_ != 0 &&
      exif::InRange(out_.length(), makerNoteOffset_, makerNoteLength_)) {
    const ByteView view = View();
    const exif::MakerNoteLayout layout =
        exif::MeasureMakerNote(view.Sub(makerNoteOffset_, makerNoteLength_));
    const uint32_t start = makerNoteOffset_ + layout.directoryStart;
    const uint64_t end = uint64_t{makerNoteOffset_} + makerNoteLength_;
    RawDirectory dir;
    if (layout.located && LocateRawDirectory(view, start, &dir) && dir.count != 0 &&
        dir.LinkPos() <= out_.length()) {
      makerNote_ = {dir.offset, dir.count};
      makerNoteTail_ = static_cast<uint16_t>(std::min<uint64_t>(0xFFFF, end - start));
    } else {
      makerNote_ = {};
      makerNoteTail_ = 0;
    }
  }
  *out = makerNote_;
  return 1;
}

int OutputLayout::LocateOutputDirectory(DirectoryId id, IfdLocation* out) {
  *out = {};
  if (id == exif::kMakerNoteIfd) return LocateMakerNoteDirectory(out);
  IfdLocation* slot = Slot(id);
  if (!slot) return 0;
  if (slot->offset != 0 && slot->entryCount == 0) {
    const ByteView view = View();
    if (!view.Contains(slot->offset, 2)) return 0;
    slot->entryCount = view.ReadU16(slot->offset);
  }
  *out = *slot;
  return 1;
}

bool OutputLayout::Directory(DirectoryId id, RawDirectory* dir) {
  IfdLocation where;
  if (LocateOutputDirectory(id, &where) != 1) return false;
  return LocateRawDirectory(View(), where.offset, dir) && dir->count != 0;
}

exif::Lookup OutputLayout::FindOutputEntry(DirectoryId id, IfdEntry* entry) {
  IfdLocation where;
  if (!Slot(id) || LocateOutputDirectory(id, &where) != 1) return exif::kCannotLocate;
  RawDirectory dir;
  if (!Directory(id, &dir)) return exif::kAbsent;
  return FindRawEntry(View(), dir, entry->tag, entry) ? exif::kFound : exif::kAbsent;
}

int OutputLayout::CollectOutputEntries(DirectoryId id, IfdEntryList* list) {
  IfdLocation where;
  if (!list || !Slot(id) || LocateOutputDirectory(id, &where) != 1) return -1;
  RawDirectory dir;
  if (!Directory(id, &dir)) return 0;
  const uint8_t* raw = View().Pointer(dir.offset + 2, uint64_t{dir.count} * exif::kEntrySize);
  return exif::FilterEntries(ByteView(raw, uint64_t{dir.count} * exif::kEntrySize, order_), list);
}

exif::Lookup OutputLayout::UpdateOutputEntry(DirectoryId id, const IfdEntry& entry) {
  return PatchOutputEntry(id, entry, true);
}

exif::Lookup OutputLayout::PatchOutputEntry(DirectoryId id, const IfdEntry& entry, bool record) {
  if (entry.tag == 0) return exif::kAbsent;
  IfdLocation where;
  if (!Slot(id) || LocateOutputDirectory(id, &where) != 1) return exif::kCannotLocate;
  RawDirectory dir;
  if (!Directory(id, &dir)) return exif::kAbsent;
  IfdEntry old;
  if (exif::PatchRawEntry(out_.View(order_), dir, entry, &old) == exif::kTagAbsent)
    return exif::kAbsent;
  if (record && !(old == entry)) edits_.Add(id, entry.tag);
  return exif::kFound;
}

int OutputLayout::RemoveOutputEntries(DirectoryId id, uint16_t tag) {
  RawDirectory dir;
  if (!Directory(id, &dir) || !View().Contains(dir.LinkPos(), 4)) return 0;
  const MutableByteView view = out_.View(order_);
  const uint32_t link = view.view().ReadU32(dir.LinkPos());
  uint32_t kept = 0;
  for (uint32_t i = 0; i < dir.count; ++i) {
    IfdEntry e;
    // The entry lies inside the directory just located.
    (void)ReadEntry(view, dir.EntryPos(i), &e);
    if (e.tag == tag) continue;
    if (kept != i) {
      // Moved whole, so an entry of an unknown type keeps its raw value field.
      const uint8_t* from = view.Pointer(dir.EntryPos(i), exif::kEntrySize);
      uint8_t raw[exif::kEntrySize];
      std::copy(from, from + exif::kEntrySize, raw);
      // The positions lie inside the directory just located.
      (void)view.WriteBytes(dir.EntryPos(kept), raw, exif::kEntrySize);
    }
    ++kept;
  }
  const uint32_t removed = dir.count - kept;
  if (removed == 0) return 0;
  edits_.Add(id, tag);
  // The positions lie inside the directory just located.
  (void)view.WriteU16(dir.offset, static_cast<uint16_t>(kept));
  const RawDirectory shorter{dir.offset, static_cast<uint16_t>(kept)};
  (void)view.WriteU32(shorter.LinkPos(), link);
  (void)view.Fill(shorter.LinkPos() + 4, 0, uint64_t{removed} * exif::kEntrySize);
  if (IfdLocation* slot = Slot(id)) slot->entryCount = static_cast<uint16_t>(kept);
  return static_cast<int>(removed);
}

void OutputLayout::StampDateTime() {
  ExifDateTime now{};
  // Without a clock the old stamp stays: the edit itself does not depend on it.
  if (platform::LocalTime(&now)) StampDateTime(now);
}

void OutputLayout::StampDateTime(const ExifDateTime& now, bool includeIfd1) {
  if (edit::StampDateTime(out_.View(order_), ifd0_.location.offset, now))
    edits_.Add(exif::kIfd0, kTagDateTime);
  if (includeIfd1 && ifd1_.location.offset != 0 &&
      edit::StampDateTime(out_.View(order_), ifd1_.location.offset, now)) {
    edits_.Add(exif::kIfd1, kTagDateTime);
  }
}

bool OutputLayout::HoldsJpegThumbnail(DirectoryId id) {
  if (id != exif::kIfd1) return false;
  if (!isTiff_) return isJpeg_;
  // A TIFF's IFD1 may hold its thumbnail as a JPEG stream instead of strips (EXIF 2.2, 4.5.5).
  IfdEntry at{exif::kTagJpegInterchangeFormat}, strips{exif::kTagStripOffsets};
  return FindOutputEntry(id, &at) == exif::kFound && FindOutputEntry(id, &strips) != exif::kFound;
}

bool OutputLayout::MeasureImageData(DirectoryId id, uint32_t* size) {
  *size = 0;
  if (HoldsJpegThumbnail(id)) {
    *size = thumbnail_.length();
    return true;
  }
  if (!isTiff_) return !isJpeg_;
  IfdEntry offsets{exif::kTagStripOffsets}, counts{exif::kTagStripByteCounts};
  if (FindOutputEntry(id, &offsets) != exif::kFound || FindOutputEntry(id, &counts) != exif::kFound)
    return false;
  uint32_t first = 0, last = 0, firstCount = 0, lastCount = 0;
  const ByteView view = View();
  if (!FirstAndLastValue(view, offsets, StripCount(id, offsets.count), &first, &last) ||
      !FirstAndLastValue(view, counts, StripCount(id, counts.count), &firstCount, &lastCount)) {
    return false;
  }
  const uint64_t end = uint64_t{last} + lastCount;
  if (end < first || end - first > UINT32_MAX) return false;
  *size = static_cast<uint32_t>(end - first);
  return true;
}

bool OutputLayout::MeasureMainImage() {
  uint32_t size = 0;
  if (!MeasureImageData(exif::kIfd0, &size)) return false;
  mainImageSize_ = size;
  return true;
}

bool OutputLayout::RelocateImageData(DirectoryId id, uint32_t* newOffset) {
  if (*newOffset & 1) ++*newOffset;
  IfdDescriptor* descriptor = Descriptor(id);
  if (!descriptor) return false;
  if (HoldsJpegThumbnail(id)) {
    // Either entry may be missing from IFD1: the one that is there names the new place.
    static_cast<void>(
        PatchOutputEntry(id, {exif::kTagJpegInterchangeFormat, kTypeLong, 1, *newOffset}, false));
    static_cast<void>(PatchOutputEntry(
        id, {exif::kTagJpegInterchangeFormatLength, kTypeLong, 1, thumbnail_.length()}, false));
    descriptor->firstStripOffset = *newOffset;
    return true;
  }
  if (!isTiff_) return false;
  IfdEntry offsets{exif::kTagStripOffsets};
  if (FindOutputEntry(id, &offsets) != exif::kFound) return false;
  const uint32_t count = StripCount(id, offsets.count);
  uint32_t first = 0, last = 0;
  if (!FirstAndLastValue(View(), offsets, count, &first, &last)) return false;
  const int64_t delta = int64_t{*newOffset} - first;
  auto moved = [&](uint32_t v, uint32_t limit, uint32_t* out) {
    const int64_t m = int64_t{v} + delta;
    if (m < 0 || m > limit) return false;
    *out = static_cast<uint32_t>(m);
    return true;
  };
  if (!HasOutOfLineValue(offsets)) {
    uint32_t second = 0;
    if (offsets.type == kTypeShort && offsets.count == 2) {
      if (*newOffset > 0xFFFF || !moved(last, 0xFFFF, &second)) return false;
      offsets.value = (*newOffset << 16) | second;
    } else {
      if (offsets.type == kTypeShort && *newOffset > 0xFFFF) return false;
      offsets.value = *newOffset;
    }
    if (PatchOutputEntry(id, offsets, false) != exif::kFound) return false;
  } else {
    const uint32_t size = exif::FieldTypeSize(offsets.type);
    const MutableByteView view = out_.View(order_);
    if (!view.Contains(offsets.value, uint64_t{count} * size)) return false;
    // Check every element before changing any, so a failure leaves the array as it was.
    for (int pass = 0; pass < 2; ++pass) {
      for (uint32_t i = 0; i < count; ++i) {
        const uint64_t at = offsets.value + uint64_t{i} * size;
        uint32_t v = size == 2 ? view.view().ReadU16(at) : view.view().ReadU32(at);
        if (!moved(v, size == 2 ? 0xFFFF : UINT32_MAX, &v)) return false;
        if (pass == 1) {
          // The whole array was range-checked above.
          if (size == 2)
            (void)view.WriteU16(at, static_cast<uint16_t>(v));
          else
            (void)view.WriteU32(at, v);
        }
      }
    }
  }
  descriptor->firstStripOffset = *newOffset;
  return true;
}

}  // namespace lf::edit
