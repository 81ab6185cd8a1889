// SPDX-License-Identifier: MIT
#include "exif/edit/entry_merge.h"

#include <algorithm>

#include "exif/edit/date_stamp.h"
#include "exif/edit/layout_check.h"
#include "exif/edit/output_layout.h"

namespace lf::edit {
namespace {

// An entry with the given tag, type and count holding `bytes` (at most 4) as its inline value.
IfdEntry InlineEntry(uint16_t tag, uint16_t type, uint32_t count, const std::vector<uint8_t>& bytes,
                     ByteOrder order) {
  uint8_t raw[exif::kEntrySize] = {};
  const MutableByteView view(raw, sizeof raw, order);
  // Every write fits the 12 bytes of one entry.
  (void)view.WriteU16(0, tag);
  (void)view.WriteU16(2, type);
  (void)view.WriteU32(4, count);
  (void)view.WriteBytes(8, bytes.data(), std::min<size_t>(bytes.size(), exif::kInlineValueBytes));
  IfdEntry e;
  // An entry of an unknown type keeps its tag, type and count.
  (void)exif::DecodeEntry(raw, order, &e);
  return e;
}

// Inserts and replaces the candidates of one directory (see EntryMerge). False when the
// directory cannot be rewritten.
bool MergeDirectory(OutputLayout* layout, DirectoryId id, const std::vector<EntryValue>& candidates,
                    bool insert) {
  if (candidates.empty()) return true;
  IfdEntryList old;
  if (layout->CollectOutputEntries(id, &old) < 0) return false;
  const ByteOrder order = layout->order();
  auto has = [&](uint16_t tag) {
    return std::any_of(old.begin(), old.end(), [&](const IfdEntry& e) { return e.tag == tag; });
  };
  IfdEntryList adds;
  std::vector<uint16_t> added;
  uint16_t prevTag = 0;
  for (const IfdEntry& e : old) {
    const auto same = std::find_if(candidates.begin(), candidates.end(),
                                   [&](const EntryValue& c) { return c.tag == e.tag; });
    if (same == candidates.end()) {
      for (const EntryValue& c : candidates) {
        if (insert && c.tag > prevTag && c.tag < e.tag &&
            c.bytes.size() <= exif::kInlineValueBytes && !has(c.tag) &&
            std::find(added.begin(), added.end(), c.tag) == added.end()) {
          adds.push_back(InlineEntry(c.tag, c.type, c.count, c.bytes, order));
          added.push_back(c.tag);
        }
      }
    } else if (same->bytes.size() <= exif::kInlineValueBytes &&
               uint64_t{exif::FieldTypeSize(e.type)} * e.count == same->bytes.size()) {
      // Decoded entries compare only the value's own bytes: an equal value is no change, and the
      // unused bytes of the value field (which some cameras fill) stay as they were.
      const IfdEntry replaced = InlineEntry(e.tag, e.type, e.count, same->bytes, order);
      if (!(replaced == e) && layout->UpdateOutputEntry(id, replaced) != exif::kFound) return false;
    }
    prevTag = e.tag;
  }
  if (adds.empty()) return true;
  bool failed = false;
  layout->RewriteDirectory(id, nullptr, &adds, nullptr, &failed);
  return !failed;
}

}  // namespace

bool MergeEntries(const exif::BlockStructure& block, const EntryMerge& merge, MergedBlock* out) {
  *out = {};
  const ByteView tiff = block.tiff;
  EditSource source;
  source.block = &block;
  source.isJpeg = true;
  source.ifd0 = DescribeDirectory(tiff, block.header.ifd0Offset);
  if (block.ifd0.hasLink) source.ifd1 = DescribeDirectory(tiff, block.ifd0.next);
  OutputLayout layout;
  if (layout.CopyBlockForEdit(source, true, false) != 1) return false;
  for (const auto& [id, candidates] : merge.directories) {
    IfdLocation where;
    if (layout.LocateOutputDirectory(id, &where) != 1 || where.offset == 0) continue;
    if (!MergeDirectory(&layout, id, candidates, merge.insert)) return false;
  }
  if (merge.stamp) layout.StampDateTime(*merge.stamp, true);
  // Everything the merge was not asked to change must still be there, named by its offsets.
  if (!CheckEditedBlock(block, exif::Locate(layout.View()), layout).empty()) return false;
  const uint8_t* bytes = layout.block().data();
  const uint8_t* thumbnail = layout.thumbnailData().data();
  out->tiff.assign(bytes, bytes + layout.outLength());
  out->thumbnail.assign(thumbnail, thumbnail + layout.thumbnailData().length());
  IfdEntry note{exif::kTagMakerNote};
  if (layout.FindOutputEntry(exif::kExifIfd, &note) == exif::kFound) out->makerNote = note.value;
  return true;
}

}  // namespace lf::edit
