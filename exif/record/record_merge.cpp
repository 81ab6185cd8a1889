// SPDX-License-Identifier: MIT
#include "exif/record/record_merge.h"

#include <algorithm>
#include <cstring>

#include "exif/edit/date_stamp.h"
#include "exif/edit/layout_check.h"
#include "exif/edit/output_layout.h"
#include "exif/edit/trailer_references.h"
#include "exif/record/record_writer.h"

namespace lf::record {
namespace {

using exif::ByteView;
using exif::DirectoryId;
using exif::IfdEntry;
using exif::IfdEntryList;

// The tags each directory may receive from its record. JPEGInterchangeFormat and its length are
// not among them: they name the thumbnail bytes of this segment, which the layout keeps pointing
// at wherever they move, and the record's values name bytes of the file it was read from.
constexpr uint16_t kImageTags[] = {0x0100, 0x0101, 0x0103, 0x0106, 0x0112, 0x0115, 0x0116,
                                   0x011C, 0x0128, 0x0213, 0xC4A5};
constexpr uint16_t kExifTags[] = {0x8822, 0x8828, 0x9207, 0x9208, 0x9209, 0x927C, 0x9286, 0xA001, 0xA002,
                                  0xA003, 0xA20C, 0xA210, 0xA217, 0xA302, 0xA401, 0xA402, 0xA403, 0xA405,
                                  0xA406, 0xA407, 0xA408, 0xA409, 0xA40A, 0xA40B, 0xA40C};
constexpr uint16_t kGpsTags[] = {0x0028};

template <size_t N>
std::vector<FieldValue> Only(std::vector<FieldValue> fields, const uint16_t (&tags)[N]) {
  fields.erase(std::remove_if(fields.begin(), fields.end(),
                              [&](const FieldValue& f) { return std::find(tags, tags + N, f.tag) == tags + N; }),
               fields.end());
  return fields;
}

// The value size by the field type's unit size (0 for a type without one).
uint64_t ValueSize(uint16_t type, uint32_t count) { return uint64_t{exif::FieldTypeSize(type)} * count; }

// An entry with the given tag, type and count holding `bytes` (at most 4) as its inline value.
IfdEntry InlineEntry(uint16_t tag, uint16_t type, uint32_t count, const std::vector<uint8_t>& bytes,
                     exif::ByteOrder order) {
  uint8_t raw[exif::kEntrySize] = {};
  const exif::MutableByteView view(raw, sizeof raw, order);
  view.WriteU16(0, tag);
  view.WriteU16(2, type);
  view.WriteU32(4, count);
  view.WriteBytes(8, bytes.data(), std::min<size_t>(bytes.size(), exif::kInlineValueBytes));
  IfdEntry e;
  exif::DecodeEntry(raw, order, &e);
  return e;
}

// Inserts and replaces the candidates of one directory. Walking the old entries in their order, a
// candidate is inserted before the first old entry whose tag lies above it, when that entry is not
// one the record also carries (its own value then replaces the old one when it is as long and
// inline). Values longer than an entry's four bytes are never inserted or replaced, and nothing
// goes behind the last old entry; with `insert` false nothing is inserted at all. False when the
// directory cannot be rewritten.
bool MergeDirectory(edit::OutputLayout* layout, DirectoryId id,
                    const std::vector<FieldValue>& candidates, bool insert) {
  if (candidates.empty()) return true;
  IfdEntryList old;
  if (layout->CollectOutputEntries(id, &old) < 0) return false;
  const exif::ByteOrder order = layout->order();
  auto has = [&](uint16_t tag) {
    return std::any_of(old.begin(), old.end(), [&](const IfdEntry& e) { return e.tag == tag; });
  };
  IfdEntryList adds;
  std::vector<uint16_t> added;
  uint16_t prevTag = 0;
  for (const IfdEntry& e : old) {
    const auto same = std::find_if(candidates.begin(), candidates.end(), [&](const FieldValue& c) { return c.tag == e.tag; });
    if (same == candidates.end()) {
      for (const FieldValue& c : candidates) {
        if (insert && c.tag > prevTag && c.tag < e.tag &&
            c.bytes.size() <= exif::kInlineValueBytes && !has(c.tag) &&
            std::find(added.begin(), added.end(), c.tag) == added.end()) {
          adds.push_back(InlineEntry(c.tag, c.type, c.count, c.bytes, order));
          added.push_back(c.tag);
        }
      }
    } else if (same->bytes.size() <= exif::kInlineValueBytes && ValueSize(e.type, e.count) == same->bytes.size()) {
      // Decoded entries compare only the value's own bytes: an equal value is no change, and
      // the unused bytes of the value field (which some cameras fill) stay as they were.
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

// The selector whose record feeds each directory.
struct DirectoryRecord {
  DirectoryId id;
  uint32_t selector;
};
constexpr DirectoryRecord kMergedDirectories[] = {
    {exif::kIfd0, LF_SEL_IFD0}, {exif::kExifIfd, LF_SEL_EXIF}, {exif::kGpsIfd, LF_SEL_GPS}, {exif::kIfd1, LF_SEL_IFD1}};

// The words of the maker note that name the start of a JPEG stream (a preview) behind the segment,
// whose TIFF data `tiff` begins at file offset `tiffAt` of `file`. False when a word names a
// stream from more than one base: which reading is the offset is then unknown.
[[nodiscard]] bool PreviewWords(ByteView file, uint64_t tiffAt, const exif::BlockStructure& tiff,
                                std::vector<edit::TrailerReference>* words) {
  const std::vector<edit::TrailerReference> refs =
      edit::FindTrailerReferences(tiff, tiff, tiffAt, tiffAt + tiff.tiff.size(), file.size());
  exif::MemorySource source(file);
  return edit::FindPreviewReadings(refs, source, edit::PreviewRule::kAtMostOne, words);
}

// Moves each preview word by the segment's growth `added` in `segment` (the new segment, its TIFF
// data at offset 10), where the maker note now lies. A word counted from the TIFF header or the
// file start moves by the growth alone; one counted from a base inside the note also by the
// note's own move inside the block. False when a word is not where it was copied to, or would
// not fit 32 bits.
bool MovePreviewWords(const std::vector<edit::TrailerReference>& words, uint64_t tiffAt,
                      edit::OutputLayout& layout, int64_t added, std::vector<uint8_t>* segment) {
  if (words.empty() || added == 0) return true;
  IfdEntry note{exif::kTagMakerNote};
  if (layout.FindOutputEntry(exif::kExifIfd, &note) != exif::kFound) return false;
  for (const edit::TrailerReference& w : words) {
    const uint64_t pos = 10 + uint64_t{note.value} + (w.at - w.noteAt);
    const exif::MutableByteView view(segment->data(), segment->size(), w.order);
    if (!view.Contains(pos, 4) || view.view().ReadU32(pos) != w.value) return false;
    const bool baseInNote = !w.fromFileStart && w.target - w.value != tiffAt;
    const int64_t moved =
        int64_t{w.value} + added - (baseInNote ? int64_t{note.value} - int64_t{w.noteAt} : 0);
    if (moved < 0 || moved > int64_t{UINT32_MAX}) return false;
    view.WriteU32(pos, static_cast<uint32_t>(moved));
  }
  return true;
}

}  // namespace

std::vector<FieldValue> BuildMissingEntries(const RecordSet& records, uint32_t selector, exif::ByteOrder order) {
  switch (selector) {
    case LF_SEL_IFD0: return records.ifd0 ? Only(PresentFields(*records.ifd0, order), kImageTags) : std::vector<FieldValue>{};
    case LF_SEL_IFD1: return records.ifd1 ? Only(PresentFields(*records.ifd1, order), kImageTags) : std::vector<FieldValue>{};
    case LF_SEL_EXIF: return records.exif ? Only(PresentFields(*records.exif, order), kExifTags) : std::vector<FieldValue>{};
    case LF_SEL_GPS: return records.gps ? Only(PresentFields(*records.gps, order), kGpsTags) : std::vector<FieldValue>{};
    default: return {};
  }
}

bool MergeRecordIntoApp1(ByteView file, uint64_t at, const RecordSet& records,
                         const ExifDateTime* now, MergedSegment* out) {
  *out = {};
  const ByteView segment = file.From(at);
  // The marker, the length, "Exif" and its two zero bytes, then at least a TIFF header.
  const ByteView head(segment.data(), segment.size(), exif::kBigEndian);
  if (!head.Contains(0, 18) || head.ReadU16(0) != 0xFFE1 || std::memcmp(segment.data() + 4, "Exif", 4) != 0) {
    return false;
  }
  const uint16_t oldLength = head.ReadU16(2);
  if (oldLength < 16 || !head.Contains(2, oldLength)) return false;
  const uint16_t mark = head.ReadU16(10);
  if (mark != 0x4949 && mark != 0x4D4D) return false;
  const ByteView tiff(segment.data() + 10, oldLength - 8u, mark == 0x4D4D ? exif::kBigEndian : exif::kLittleEndian);
  if (tiff.ReadU16(2) != 42 || tiff.ReadU32(4) < 8) return false;

  const exif::BlockStructure located = exif::Locate(tiff);
  edit::EditSource source;
  source.block = &located;
  source.isJpeg = true;
  source.ifd0 = edit::DescribeDirectory(tiff, tiff.ReadU32(4));
  exif::RawDirectory ifd0;
  if (exif::LocateRawDirectory(tiff, tiff.ReadU32(4), &ifd0) && tiff.Contains(ifd0.LinkPos(), 4)) {
    source.ifd1 = edit::DescribeDirectory(tiff, tiff.ReadU32(ifd0.LinkPos()));
  }
  edit::OutputLayout layout;
  if (layout.CopyBlockForEdit(source, true, false) != 1) return false;

  // A preview behind the segment that the maker note names moves with the segment's growth, and
  // the words naming it move with it. Where a word's reading is ambiguous the segment keeps its
  // length: values are then replaced in place and nothing is inserted.
  std::vector<edit::TrailerReference> previews;
  const bool keepLength = !PreviewWords(file, at + 10, located, &previews);
  for (const DirectoryRecord& d : kMergedDirectories) {
    exif::IfdLocation where;
    if (layout.LocateOutputDirectory(d.id, &where) != 1 || where.offset == 0) continue;
    if (!MergeDirectory(&layout, d.id, BuildMissingEntries(records, d.selector, tiff.order()),
                        !keepLength)) {
      return false;
    }
  }
  if (now) {
    layout.StampDateTime(*now);
    const uint32_t ifd1 = layout.outIfd1().location.offset;
    if (ifd1 != 0 && edit::StampDateTime(layout.block().View(layout.order()), ifd1, *now)) {
      layout.mutableEdits().Add(exif::kIfd1, exif::kTagDateTime);
    }
  }
  // Everything the merge was not asked to change must still be there, named by its offsets.
  if (!edit::CheckEditedBlock(located, exif::Locate(layout.View()), layout).empty()) return false;
  std::vector<uint8_t> bytes = MakeApp1Segment(layout);
  if (bytes.empty() || (keepLength && bytes.size() != 2u + oldLength)) return false;
  const int32_t added = static_cast<int32_t>(bytes.size()) - 2 - oldLength;
  if (!MovePreviewWords(previews, at + 10, layout, added, &bytes)) return false;
  out->oldLength = oldLength;
  out->added = added;
  out->bytes = std::move(bytes);
  return true;
}

}  // namespace lf::record
