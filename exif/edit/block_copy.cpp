// SPDX-License-Identifier: MIT
// Copying a source EXIF block into the output block with byte ranges cut out, and correcting
// every offset of every directory for the cuts.
#include <algorithm>
#include <vector>

#include "exif/edit/block_references.h"
#include "exif/edit/output_layout.h"

namespace lf::edit {

namespace {

using exif::kTypeLong;
using exif::kTypeShort;
using exif::kTypeUndefined;

// Room for the directories and values an edit adds, so most edits never grow the buffer.
constexpr uint32_t kEditMargin = 65536;

// Cuts the image data named by a directory's StripOffsets and StripByteCounts: one range from
// the first strip to the end of the last.
void CutStrips(ByteView block, const exif::LocatedEntry& offsets, const exif::LocatedEntry& counts,
               const IfdDescriptor& descriptor, CutList* cuts) {
  if (!offsets.found || !counts.found) return;
  uint32_t first = 0, last = 0, firstCount = 0, lastCount = 0;
  if (!FirstAndLastValue(block, offsets.entry, StripValueCount(descriptor, offsets.entry.count),
                         &first, &last) ||
      !FirstAndLastValue(block, counts.entry, StripValueCount(descriptor, counts.entry.count),
                         &firstCount, &lastCount)) {
    return;
  }
  const uint64_t end = uint64_t{last} + lastCount;
  if (end <= first || first >= block.size()) return;
  cuts->AddCut(first, static_cast<uint32_t>(std::min<uint64_t>(end, block.size()) - first));
}

// Cuts every out-of-line value of a directory (strip arrays counted by the strip rule).
void CutValues(ByteView block, const RawDirectory& dir, const IfdDescriptor& descriptor,
               CutList* cuts) {
  for (uint32_t i = 0; i < dir.count; ++i) {
    IfdEntry e;
    if (!ReadEntry(block, dir.EntryPos(i), &e) || !HasOutOfLineValue(e)) continue;
    uint32_t count = e.count;
    if (e.tag == exif::kTagStripOffsets || e.tag == exif::kTagStripByteCounts) {
      count = StripValueCount(descriptor, e.count);
    }
    const uint32_t bytes = ValueBytes(e.type, count);
    if (bytes != 0 && block.Contains(e.value, bytes)) {
      cuts->AddCut(e.value, bytes);
    }
  }
}

// Protects a located directory and every out-of-line value it names.
void ProtectDirectory(ByteView block, const exif::LocatedDirectory& d, CutList* cuts) {
  if (!d.located) return;
  cuts->Protect(d.dir.offset);
  for (uint32_t i = 0; i < d.dir.count; ++i) {
    IfdEntry e;
    if (ReadEntry(block, d.dir.EntryPos(i), &e) && HasOutOfLineValue(e)) cuts->Protect(e.value);
  }
}

}  // namespace

void ProtectStructureStarts(const exif::BlockStructure& s, CutList* cuts) {
  if (!s.ifd0.located) return;
  const ByteView block = s.tiff;
  ProtectDirectory(block, s.ifd0, cuts);
  if (s.ifd1.located) {
    ProtectDirectory(block, s.ifd1, cuts);
    if (const uint32_t thumbnail = s.thumbnailOffset.LongValue()) cuts->Protect(thumbnail);
  }
  ProtectDirectory(block, s.gps, cuts);
  if (s.exif.located) {
    ProtectDirectory(block, s.exif, cuts);
    ProtectDirectory(block, s.interop, cuts);
  }
  for (const exif::LocatedEntry* strips : {&s.stripOffsets0, &s.stripOffsets1}) {
    uint32_t first = 0, last = 0;
    if (strips->found && FirstAndLastValue(block, strips->entry, 1, &first, &last))
      cuts->Protect(first);
  }
}

void ShiftInlineOffset(IfdEntry* e, const CutList& cuts) {
  if (e->type == kTypeLong && e->count == 1) {
    e->value = ShiftedOffset(e->value, cuts);
  } else if (e->type == kTypeShort && e->count == 1) {
    e->value = std::min<uint32_t>(0xFFFF, ShiftedOffset(e->value, cuts));
  } else if (e->type == kTypeShort && e->count == 2) {
    const uint32_t hi = std::min<uint32_t>(0xFFFF, ShiftedOffset(e->value >> 16, cuts));
    const uint32_t lo = std::min<uint32_t>(0xFFFF, ShiftedOffset(e->value & 0xFFFF, cuts));
    e->value = (hi << 16) | lo;
  }
}

bool ShiftOffsetArray(MutableByteView block, const IfdEntry& e, uint32_t count,
                      const CutList& cuts) {
  const uint32_t size = exif::FieldTypeSize(e.type);
  if ((e.type != kTypeShort && e.type != kTypeLong) ||
      !block.Contains(e.value, uint64_t{count} * size)) {
    return false;
  }
  const uint32_t limit = size == 2 ? 0xFFFF : UINT32_MAX;
  // Every element is checked before any changes, so a failure leaves the array as it was.
  for (int pass = 0; pass < 2; ++pass) {
    for (uint32_t i = 0; i < count; ++i) {
      const uint64_t at = e.value + uint64_t{i} * size;
      const uint32_t old = size == 2 ? block.view().ReadU16(at) : block.view().ReadU32(at);
      const uint32_t moved = ShiftedOffset(old, cuts);
      if (moved > limit) return false;
      if (pass == 1) {
        // The whole array was range-checked above.
        if (size == 2)
          (void)block.WriteU16(at, static_cast<uint16_t>(moved));
        else
          (void)block.WriteU32(at, moved);
      }
    }
  }
  return true;
}

void ShiftOpaqueValue(MutableByteView block, uint64_t pos, const CutList& cuts) {
  const ByteView raw = block.view().Sub(pos, exif::kEntrySize);
  if (raw.empty()) return;
  const uint32_t bytes = exif::StoredByteCount(raw.ReadU16(2), raw.ReadU32(4));
  // The position was range-checked when the directory was located.
  if (bytes > 4) (void)block.WriteU32(pos + 8, ShiftedOffset(raw.ReadU32(8), cuts));
}

// The directories corrected in one pass, so a directory named twice (a hostile file's GPS pointer
// equal to its Exif pointer) is never shifted twice.
struct OutputLayout::CorrectionPass {
  std::vector<uint32_t> done;
  [[nodiscard]] bool Claim(uint32_t offset) {
    if (std::find(done.begin(), done.end(), offset) != done.end()) return false;
    done.push_back(offset);
    return true;
  }
};

int OutputLayout::CorrectDirectory(DirectoryId id, const CutList& cuts) {
  return CorrectAt(id, cuts, false);
}

int OutputLayout::CorrectAt(DirectoryId id, const CutList& cuts, bool alreadyFinal) {
  RawDirectory dir;
  if (!Directory(id, &dir)) return 0;
  const MutableByteView view = out_.View(order_);
  int rewritten = 0;
  for (uint32_t i = 0; i < dir.count; ++i) {
    IfdEntry e;
    if (!ReadEntry(view, dir.EntryPos(i), &e)) break;
    const uint32_t bytes = ValueBytes(e.type, e.count);
    if (bytes == 0) {
      // A type the module does not interpret still has its value found and moved.
      if (!alreadyFinal) ShiftOpaqueValue(view, dir.EntryPos(i), cuts);
      continue;
    }
    const IfdEntry before = e;
    if (bytes > 4) {
      if (!alreadyFinal && e.value != 0) e.value = ShiftedOffset(e.value, cuts);
      // A thumbnail in strips inside the block: the strips moved with the block.
      if (!alreadyFinal && id == exif::kIfd1 && e.tag == exif::kTagStripOffsets && !isTiff_) {
        // Offsets that cannot be shifted stay; the layout check judges the result.
        (void)ShiftOffsetArray(view, e, StripCount(id, e.count), cuts);
      }
    } else if (exif::HoldsFollowedOffset(id, e.tag) && !alreadyFinal) {
      ShiftInlineOffset(&e, cuts);
    }
    // Where the pointers of this directory reveal the next ones.
    const bool pointer = e.type == kTypeLong && e.count == 1;
    if (id == exif::kIfd0 && pointer && e.tag == exif::kTagExifIfdPointer) exif_ = {e.value, 0};
    if (id == exif::kIfd0 && pointer && e.tag == exif::kTagGpsIfdPointer) gps_ = {e.value, 0};
    if (id == exif::kExifIfd && pointer && e.tag == exif::kTagInteropIfdPointer)
      interop_ = {e.value, 0};
    if (id == exif::kExifIfd && e.tag == exif::kTagMakerNote && e.type == kTypeUndefined &&
        bytes > 4) {
      makerNoteOffset_ = e.value;
      makerNoteLength_ = e.count;
      makerNote_ = {};
      makerNoteTail_ = 0;
    }
    if ((id == exif::kIfd0 || id == exif::kIfd1) && e.tag == exif::kTagStripOffsets) {
      uint32_t last = 0;
      // An unreadable strip offset leaves the summary value as it was.
      (void)FirstAndLastValue(view, e, 1, &Descriptor(id)->firstStripOffset, &last);
    }
    if (id == exif::kIfd1 && e.tag == exif::kTagJpegInterchangeFormat)
      ifd1_.firstStripOffset = e.value;
    if (!(e == before)) {
      // The position lies inside the directory just located.
      (void)WriteEntry(view, dir.EntryPos(i), e);
      ++rewritten;
    }
  }
  if (id != exif::kMakerNoteIfd && view.Contains(dir.LinkPos(), 4)) {
    uint32_t link = view.view().ReadU32(dir.LinkPos());
    if (link != 0 && !alreadyFinal) {
      link = ShiftedOffset(link, cuts);
      // The position was range-checked when the directory was located.
      (void)view.WriteU32(dir.LinkPos(), link);
    }
    if (id == exif::kIfd0) ifd1_.location = {link, 0};
  }
  return rewritten;
}

void OutputLayout::CorrectAll(const CutList& cuts, bool includeIfd1, uint32_t finalOffset) {
  const MutableByteView view = out_.View(order_);
  // The header's IFD0 offset moves too when something in front of IFD0 was cut (a TIFF whose
  // strips precede its directories).
  uint32_t ifd0 = view.view().ReadU32(4);
  if (ifd0 != finalOffset) ifd0 = ShiftedOffset(ifd0, cuts);
  // The position was range-checked when the directory was located.
  (void)view.WriteU32(4, ifd0);
  ifd0_.location = {ifd0, 0};
  exif_ = gps_ = interop_ = makerNote_ = {};
  makerNoteOffset_ = makerNoteLength_ = 0;
  makerNoteTail_ = 0;

  CorrectionPass pass;
  for (DirectoryId id : {exif::kIfd0, exif::kExifIfd, exif::kGpsIfd, exif::kInteropIfd,
                         exif::kMakerNoteIfd, exif::kIfd1}) {
    if (id == exif::kIfd1 && !includeIfd1) break;
    IfdLocation where;
    // An unlocatable directory leaves where.offset 0, skipped below.
    (void)LocateOutputDirectory(id, &where);
    if (where.offset == 0 || !pass.Claim(where.offset)) continue;
    CorrectAt(id, cuts, where.offset == finalOffset);
  }
  // A maker note is moved only when it is of the dialect whose directory is found here (every
  // other block is pinned), so its offsets were corrected with the rest.
}

int OutputLayout::CopyBlockForEdit(const EditSource& source, bool keepThumbnail,
                                   bool removeInterop) {
  if (!source.block) return 0;
  const exif::BlockStructure& located = *source.block;
  const ByteView block = located.tiff;
  if (block.empty() || block.size() < 8 || block.size() > UINT32_MAX - kEditMargin) return 0;
  if (!keepThumbnail && IsBuilt()) return 0;
  Reset();
  order_ = block.order();
  isTiff_ = source.isTiff;
  isJpeg_ = source.isJpeg;
  sourceIfd0_ = source.ifd0;
  sourceIfd1_ = source.ifd1;
  // Where something may hold an offset the editor cannot correct, the bytes that exist keep their
  // offsets: what an edit removes is blanked instead of cut, and what it adds goes at the end.
  pinned_ = !EveryReferenceIsKnown(located, isTiff_);
  if (!out_.Reserve(block.size() + kEditMargin)) return 0;
  const uint32_t size = static_cast<uint32_t>(block.size());

  CutList cuts;
  if (pinned_) cuts.KeepExactLengths();
  ProtectStructureStarts(located, &cuts);
  const bool hasIfd0 = located.ifd0.located;
  if (isTiff_ && hasIfd0 && size != source.ifd0.firstStripOffset) {
    // The main image lies inside the block. A pinned block keeps it there.
    if (pinned_) {
      imageInBlock_ = true;
    } else {
      CutStrips(block, located.stripOffsets0, located.stripCounts0, sourceIfd0_, &cuts);
    }
  }
  const RawDirectory& ifd1 = located.ifd1.dir;
  if (!keepThumbnail && located.ifd1.located) {
    cuts.AddCut(ifd1.offset, ifd1.Size());
    CutValues(block, ifd1, sourceIfd1_, &cuts);
    if (isTiff_) CutStrips(block, located.stripOffsets1, located.stripCounts1, sourceIfd1_, &cuts);
    // A JPEG thumbnail, in a JPEG file or a TIFF file.
    const IfdEntry& at = located.thumbnailOffset.entry;
    const IfdEntry& length = located.thumbnailLength.entry;
    if (located.thumbnailOffset.found && located.thumbnailLength.found && at.type == kTypeLong &&
        length.type == kTypeLong && at.value < size) {
      cuts.AddCut(at.value, std::min(length.value, size - at.value));
    }
    edits_.thumbnailDropped = true;
  }
  cuts.Normalize(size);
  const bool copied =
      pinned_ ? CopyBlanking(block, cuts, &out_) : CopyWithoutCuts(block, cuts, &out_);
  if (!copied) {
    Reset();
    return 0;
  }
  if (out_.length() > 8) {
    CorrectAll(pinned_ ? CutList{} : cuts, keepThumbnail, 0);
    // The layout keeps the source's descriptors for the image summary; the offsets are the new
    // ones.
    const IfdLocation at0 = ifd0_.location, at1 = ifd1_.location;
    const uint32_t strip0 = ifd0_.firstStripOffset, strip1 = ifd1_.firstStripOffset;
    ifd0_ = sourceIfd0_;
    ifd0_.location = at0;
    ifd0_.firstStripOffset = strip0;
    if (keepThumbnail) {
      ifd1_ = sourceIfd1_;
      ifd1_.location = at1;
      ifd1_.firstStripOffset = strip1;
    }
  }
  if (!keepThumbnail) {
    RawDirectory out0;
    // The position was range-checked when the directory was located.
    if (Directory(exif::kIfd0, &out0)) (void)out_.View(order_).WriteU32(out0.LinkPos(), 0);
    ifd1_ = {};
    if (removeInterop && interop_.offset != 0) {
      RemoveOutputEntries(exif::kExifIfd, exif::kTagInteropIfdPointer);
      interop_ = {};
    }
    if (isTiff_ && !imageInBlock_ && MeasureImageData(exif::kIfd0, &mainImageSize_) == 1 &&
        mainImageSize_ != 0) {
      uint32_t at = out_.length();
      // Unmovable strips keep their offsets; the write has always gone ahead then.
      (void)RelocateImageData(exif::kIfd0, &at);
    }
  }
  return 1;
}

}  // namespace lf::edit
