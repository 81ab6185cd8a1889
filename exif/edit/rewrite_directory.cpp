// SPDX-License-Identifier: MIT
// Re-laying one directory of the output block with entries removed, replaced or added: the old
// directory and its values are cut out, the new directory and its value area are inserted at the
// old place, and every offset in the block is corrected for the difference.
#include <algorithm>
#include <cstring>
#include <vector>

#include "exif/edit/output_layout.h"

namespace lf::edit {

namespace {

struct Item {
  IfdEntry entry;
  uint8_t raw[exif::kEntrySize] = {};
  bool opaque = false;  // an entry of a type the module does not interpret: kept byte for byte
  bool added = false;   // from entriesToAdd
  bool laid = false;    // its value was laid in the new value area
  IfdEntry requested;   // the added entry as the caller gave it
};

bool IsPointerTag(uint16_t tag) {
  return tag == exif::kTagExifIfdPointer || tag == exif::kTagGpsIfdPointer ||
         tag == exif::kTagInteropIfdPointer;
}

}  // namespace

int OutputLayout::RewriteDirectory(DirectoryId id, const std::vector<uint16_t>* tagsToRemove,
                                   const IfdEntryList* entriesToAdd, ValueProvider* provider,
                                   bool* failed) {
  if (failed) *failed = true;
  if (!IsBuilt() || id == exif::kMakerNoteIfd || !Slot(id)) return 0;
  IfdLocation where;
  RawDirectory dir;
  if (LocateOutputDirectory(id, &where) != 1 || where.offset == 0 ||
      !LocateRawDirectory(View(), where.offset, &dir)) {
    return 0;
  }
  if (tagsToRemove) {
    for (uint16_t tag : *tagsToRemove) edits_.Add(id, tag);
  }
  if (entriesToAdd) {
    for (const IfdEntry& add : *entriesToAdd) edits_.Add(id, add.tag);
  }
  if (pinned_) {
    const int grown = AppendDirectory(id, dir, tagsToRemove, entriesToAdd, provider);
    if (failed && grown != kAppendFailed) *failed = false;
    return grown == kAppendFailed ? 0 : grown;
  }
  const ByteView old = View();
  const uint32_t length = out_.length();
  const bool stripDirectory = id == exif::kIfd0 || id == exif::kIfd1;

  CutList cuts;
  ProtectStructureStarts(exif::Locate(old), &cuts);
  cuts.AddCut(dir.offset, dir.Size());
  std::vector<Item> items;
  items.reserve(dir.count + (entriesToAdd ? entriesToAdd->size() : 0));
  for (uint32_t i = 0; i < dir.count; ++i) {
    Item item;
    // The entry lies inside the directory just located.
    (void)old.Copy(dir.EntryPos(i), item.raw, exif::kEntrySize);
    (void)ReadEntry(old, dir.EntryPos(i), &item.entry);
    item.opaque = ValueBytes(item.entry.type, item.entry.count) == 0;
    if (!item.opaque && HasOutOfLineValue(item.entry)) {
      IfdEntry& e = item.entry;
      if (stripDirectory &&
          (e.tag == exif::kTagStripOffsets || e.tag == exif::kTagStripByteCounts)) {
        e.count = StripCount(id, e.count);
      }
      const uint32_t bytes = ValueBytes(e.type, e.count);
      if (bytes != 0 && e.value != 0 && old.Contains(e.value, bytes)) {
        cuts.AddCut(e.value, bytes);
      }
    }
    items.push_back(item);
  }

  bool changed = false;
  if (tagsToRemove) {
    for (uint16_t tag : *tagsToRemove) {
      for (auto it = items.begin(); it != items.end();) {
        if (it->entry.tag != tag) {
          ++it;
          continue;
        }
        // An emptied sub-directory goes with its pointer.
        if (stripDirectory && IsPointerTag(tag) && it->entry.value != 0) {
          RawDirectory sub;
          if (LocateRawDirectory(old, it->entry.value, &sub) && sub.count == 0) {
            cuts.AddCut(sub.offset, kDirectoryOverhead);
          }
        }
        it = items.erase(it);
        changed = true;
      }
    }
  }
  if (entriesToAdd) {
    for (const IfdEntry& add : *entriesToAdd) {
      Item item;
      item.entry = add;
      item.requested = add;
      item.added = true;
      if (HasOutOfLineValue(add)) item.entry.value = 0;
      auto same = std::find_if(items.begin(), items.end(),
                               [&](const Item& x) { return x.entry.tag == add.tag; });
      if (same != items.end())
        *same = item;
      else
        items.push_back(item);
      changed = true;
    }
  }
  if (changed) {
    std::stable_sort(items.begin(), items.end(),
                     [](const Item& a, const Item& b) { return a.entry.tag < b.entry.tag; });
    // Of two entries with one tag the first is kept.
    items.erase(
        std::unique(items.begin(), items.end(),
                    [](const Item& a, const Item& b) { return a.entry.tag == b.entry.tag; }),
        items.end());
  }
  if (items.size() > 0xFFFF) return 0;
  cuts.Normalize(length);

  const uint32_t newPos = ShiftedOffset(dir.offset, cuts);
  const uint32_t count = static_cast<uint32_t>(items.size());
  const uint32_t dirBytes = kDirectoryOverhead + exif::kEntrySize * count;
  const uint64_t valueBase = uint64_t{newPos} + dirBytes;

  // The value area, laid in entry order, each value on a word boundary of the block: behind a
  // directory that starts on an odd offset (a writer that did not pad) the area starts with a pad
  // byte, and its length is made even, so the insertion stays even and nothing behind it changes
  // alignment.
  OutputBuffer area;
  ValueArea values(&area, valueBase, order_, ValueSpacing::kEven);
  if (!values.AlignToWord()) return 0;
  for (Item& item : items) {
    IfdEntry& e = item.entry;
    if (item.opaque || !HasOutOfLineValue(e)) continue;
    if (!item.added) {
      const uint32_t bytes = ValueBytes(e.type, e.count);
      if (e.value == 0 || !old.Contains(e.value, bytes)) continue;  // kept, shifted below
      if (!values.Copy(old.data() + e.value, bytes, &e.value)) return 0;
    } else {
      if (!values.Deliver(provider, item.requested, &e)) return 0;
      if (e.count == 0) continue;
    }
    item.laid = true;
  }
  if (!values.AlignToWord() || !area.PadToEven()) return 0;

  OutputBuffer cutCopy;
  if (!cutCopy.Reserve(uint64_t{length} + dirBytes + area.length() + 65536) ||
      !CopyWithoutCuts(old, cuts, &cutCopy) || newPos > cutCopy.length()) {
    return 0;
  }
  OutputBuffer fresh;
  if (!fresh.Reserve(uint64_t{cutCopy.length()} + dirBytes + area.length() + 65536) ||
      !fresh.Append(cutCopy.data(), newPos) || !fresh.AppendZeros(dirBytes) ||
      !fresh.Append(area.data(), area.length()) ||
      !fresh.Append(cutCopy.data() + newPos, cutCopy.length() - newPos)) {
    return 0;
  }
  cuts.AddInsertion(dir.offset, dirBytes + area.length());
  cuts.Normalize(length);

  // The directory itself: pointers and kept values outside the cut ranges move with the block.
  const MutableByteView view = fresh.View(order_);
  // The new directory was sized for every entry.
  (void)view.WriteU16(newPos, static_cast<uint16_t>(count));
  IfdDescriptor* descriptor = Descriptor(id);
  for (uint32_t i = 0; i < count; ++i) {
    Item& item = items[i];
    const uint64_t pos = uint64_t{newPos} + 2 + uint64_t{i} * exif::kEntrySize;
    if (item.opaque) {
      // Kept byte for byte; an out-of-line value of a known size follows the block.
      ShiftOpaqueValue(MutableByteView(item.raw, exif::kEntrySize, order_), 0, cuts);
      // The new directory was sized for every entry.
      (void)view.WriteBytes(pos, item.raw, exif::kEntrySize);
      continue;
    }
    IfdEntry& e = item.entry;
    if (!item.added) {
      const uint32_t bytes = ValueBytes(e.type, e.count);
      if (bytes > 4 && e.value != 0 && !item.laid) {
        e.value = ShiftedOffset(e.value, cuts);
      } else if (bytes <= 4 && exif::HoldsFollowedOffset(id, e.tag)) {
        ShiftInlineOffset(&e, cuts);
      }
    }
    // A thumbnail in strips inside the block moved with it; the array was laid anew above.
    if (id == exif::kIfd1 && e.tag == exif::kTagStripOffsets && item.laid && !isTiff_ &&
        !ShiftOffsetArray(view, e, e.count, cuts)) {
      return 0;
    }
    // The new directory was sized for every entry.
    (void)WriteEntry(view, pos, e);
    if (descriptor && !HasOutOfLineValue(e)) exif::ApplySummaryEntry(descriptor, e);
  }
  uint32_t link = old.Contains(dir.LinkPos(), 4) ? old.ReadU32(dir.LinkPos()) : 0;
  if (link != 0) link = ShiftedOffset(link, cuts);
  // The new directory was sized for every entry.
  (void)view.WriteU32(uint64_t{newPos} + 2 + uint64_t{count} * exif::kEntrySize, link);

  out_.Swap(fresh);
  *Slot(id) = {newPos, static_cast<uint16_t>(count)};
  if (descriptor && isTiff_ && descriptor->rowsPerStrip != 0) {
    descriptor->stripsPerImage =
        static_cast<uint32_t>((uint64_t{descriptor->imageLength} + descriptor->rowsPerStrip - 1) /
                              descriptor->rowsPerStrip);
  }
  CorrectAll(cuts, true, newPos);
  if (!RelocateAfterGrowth()) return 0;
  if (failed) *failed = false;
  return static_cast<int>(count) - static_cast<int>(dir.count);
}

bool OutputLayout::RelocateAfterGrowth() {
  if (thumbnailImageSize_ != 0 && !thumbnail_.empty()) {
    if (!out_.PadToEven()) return false;
    uint32_t at = out_.length();
    // Unmovable strips keep their offsets; the write has always gone ahead then.
    (void)RelocateImageData(exif::kIfd1, &at);
  }
  if (isTiff_ && mainImageSize_ != 0) {
    uint32_t at = out_.length() + thumbnail_.length();
    (void)RelocateImageData(exif::kIfd0, &at);
  }
  return true;
}

bool OutputLayout::SetDirectoryPointer(DirectoryId id, uint32_t offset) {
  const MutableByteView view = out_.View(order_);
  switch (id) {
    case exif::kIfd0: return view.WriteU32(4, offset);
    case exif::kIfd1: {
      RawDirectory ifd0;
      return Directory(exif::kIfd0, &ifd0) && view.WriteU32(ifd0.LinkPos(), offset);
    }
    case exif::kExifIfd:
      return PatchOutputEntry(exif::kIfd0, {exif::kTagExifIfdPointer, exif::kTypeLong, 1, offset},
                              false) == exif::kFound;
    case exif::kGpsIfd:
      return PatchOutputEntry(exif::kIfd0, {exif::kTagGpsIfdPointer, exif::kTypeLong, 1, offset},
                              false) == exif::kFound;
    case exif::kInteropIfd:
      return PatchOutputEntry(exif::kExifIfd,
                              {exif::kTagInteropIfdPointer, exif::kTypeLong, 1, offset},
                              false) == exif::kFound;
    default: return false;
  }
}

int OutputLayout::AppendDirectory(DirectoryId id, const RawDirectory& dir,
                                  const std::vector<uint16_t>* tagsToRemove,
                                  const IfdEntryList* entriesToAdd, ValueProvider* values) {
  // Kept entries stay byte for byte, their values where they are.
  const ByteView old = View();
  std::vector<PlannedEntry> plan(dir.count);
  for (uint32_t i = 0; i < dir.count; ++i) {
    if (!old.Copy(dir.EntryPos(i), plan[i].raw.data(), exif::kEntrySize)) return kAppendFailed;
    plan[i].entry.tag = old.ReadU16(dir.EntryPos(i));
    plan[i].keepRaw = true;
  }
  const uint32_t link = old.Contains(dir.LinkPos(), 4) ? old.ReadU32(dir.LinkPos()) : 0;
  bool changed = false;
  if (tagsToRemove) {
    for (uint16_t tag : *tagsToRemove) {
      const auto gone = std::remove_if(plan.begin(), plan.end(),
                                       [&](const PlannedEntry& p) { return p.entry.tag == tag; });
      changed = changed || gone != plan.end();
      plan.erase(gone, plan.end());
    }
  }
  if (entriesToAdd) {
    for (const IfdEntry& add : *entriesToAdd) {
      PlannedEntry p;
      p.entry = add;
      auto same = std::find_if(plan.begin(), plan.end(),
                               [&](const PlannedEntry& x) { return x.entry.tag == add.tag; });
      if (same != plan.end())
        *same = p;
      else
        plan.push_back(p);
      changed = true;
    }
  }
  if (changed) {
    std::stable_sort(plan.begin(), plan.end(), [](const PlannedEntry& a, const PlannedEntry& b) {
      return a.entry.tag < b.entry.tag;
    });
    plan.erase(std::unique(plan.begin(), plan.end(),
                           [](const PlannedEntry& a, const PlannedEntry& b) {
                             return a.entry.tag == b.entry.tag;
                           }),
               plan.end());
  }
  const uint32_t newPos =
      EmitDirectory(&out_, order_, id, &plan, link, values, ValueSpacing::kEven);
  if (newPos == 0 || !out_.PadToEven() || !SetDirectoryPointer(id, newPos)) return kAppendFailed;
  const uint32_t count = static_cast<uint32_t>(plan.size());
  // The old directory is left unreferenced; its bytes are cleared so no stale entry survives.
  const MutableByteView view = out_.View(order_);
  // The new directory was sized for every entry.
  (void)view.Fill(dir.offset, 0, std::min<uint64_t>(dir.Size(), view.size() - dir.offset));
  *Slot(id) = {newPos, static_cast<uint16_t>(count)};
  if (IfdDescriptor* descriptor = Descriptor(id)) {
    for (uint32_t i = 0; i < count; ++i) {
      IfdEntry e;
      if (ReadEntry(view, uint64_t{newPos} + 2 + uint64_t{i} * exif::kEntrySize, &e) &&
          !HasOutOfLineValue(e)) {
        exif::ApplySummaryEntry(descriptor, e);
      }
    }
    if (isTiff_) exif::CompleteSummary(descriptor);
  }
  if (!RelocateAfterGrowth()) return kAppendFailed;
  return static_cast<int>(count) - static_cast<int>(dir.count);
}

}  // namespace lf::edit
