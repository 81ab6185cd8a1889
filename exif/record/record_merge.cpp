// SPDX-License-Identifier: MIT
#include "exif/record/record_merge.h"

#include <algorithm>
#include <cstring>

#include "exif/edit/entry_merge.h"
#include "exif/edit/trailer_references.h"
#include "exif/record/record_writer.h"

namespace lf::record {
namespace {

using exif::ByteView;
using exif::DirectoryId;
using exif::IfdEntry;
using exif::IfdEntryList;

// The selector whose record feeds each directory.
struct DirectoryRecord {
  DirectoryId id;
  uint32_t selector;
};
constexpr DirectoryRecord kMergedDirectories[] = {{exif::kIfd0, LF_SEL_IFD0},
                                                  {exif::kExifIfd, LF_SEL_EXIF},
                                                  {exif::kGpsIfd, LF_SEL_GPS},
                                                  {exif::kIfd1, LF_SEL_IFD1}};

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
                      uint32_t noteAt, int64_t added, std::vector<uint8_t>* segment) {
  if (words.empty() || added == 0) return true;
  if (noteAt == 0) return false;
  for (const edit::TrailerReference& w : words) {
    const uint64_t pos = 10 + uint64_t{noteAt} + (w.at - w.noteAt);
    const exif::MutableByteView view(segment->data(), segment->size(), w.order);
    if (!view.Contains(pos, 4) || view.view().ReadU32(pos) != w.value) return false;
    const bool baseInNote = !w.fromFileStart && w.target - w.value != tiffAt;
    const int64_t moved =
        int64_t{w.value} + added - (baseInNote ? int64_t{noteAt} - int64_t{w.noteAt} : 0);
    if (moved < 0 || moved > int64_t{UINT32_MAX}) return false;
    if (!view.WriteU32(pos, static_cast<uint32_t>(moved))) return false;
  }
  return true;
}

}  // namespace

std::vector<FieldValue> BuildMissingEntries(const RecordSet& records, uint32_t selector,
                                            exif::ByteOrder order) {
  const void* record = nullptr;
  switch (selector) {
    case LF_SEL_IFD0: record = records.ifd0; break;
    case LF_SEL_IFD1: record = records.ifd1; break;
    case LF_SEL_EXIF: record = records.exif; break;
    case LF_SEL_GPS: record = records.gps; break;
    default: break;
  }
  if (!record) return {};
  // JPEGInterchangeFormat and its length are never taken: they name the thumbnail bytes of this
  // segment, which the layout keeps pointing at wherever they move, and the record's values name
  // bytes of the file it was read from.
  std::vector<FieldValue> fields = PresentFields(selector, record, order);
  const std::span<const RecordField> rows = FieldsOf(selector);
  std::erase_if(fields, [&](const FieldValue& f) { return !FindField(rows, f.tag)->mergeable; });
  return fields;
}

bool MergeRecordIntoApp1(ByteView file, uint64_t at, const RecordSet& records,
                         const ExifDateTime* now, MergedSegment* out) {
  *out = {};
  const ByteView segment = file.From(at);
  // The marker, the length, "Exif" and its two zero bytes, then at least a TIFF header.
  const ByteView head(segment.data(), segment.size(), exif::kBigEndian);
  if (!head.Contains(0, 18) || head.ReadU16(0) != 0xFFE1 ||
      std::memcmp(segment.data() + 4, "Exif", 4) != 0) {
    return false;
  }
  const uint16_t oldLength = head.ReadU16(2);
  if (oldLength < 16 || !head.Contains(2, oldLength)) return false;
  // The segment's TIFF data, located once for the merge.
  const exif::BlockStructure block = exif::Locate(ByteView(segment.data() + 10, oldLength - 8u));
  if (!block.header.valid() || block.header.ifd0Offset < 8) return false;
  const ByteView tiff = block.tiff;

  // A preview behind the segment that the maker note names moves with the segment's growth, and
  // the words naming it move with it. Where a word's reading is ambiguous the segment keeps its
  // length: values are then replaced in place and nothing is inserted.
  std::vector<edit::TrailerReference> previews;
  const bool keepLength = !PreviewWords(file, at + 10, block, &previews);
  edit::EntryMerge merge;
  merge.insert = !keepLength;
  merge.stamp = now;
  for (const DirectoryRecord& d : kMergedDirectories) {
    merge.directories.emplace_back(d.id, BuildMissingEntries(records, d.selector, tiff.order()));
  }
  edit::MergedBlock merged;
  if (!edit::MergeEntries(block, merge, &merged)) return false;
  std::vector<uint8_t> bytes =
      MakeApp1Segment(exif::ByteView(merged.tiff.data(), merged.tiff.size()),
                      exif::ByteView(merged.thumbnail.data(), merged.thumbnail.size()));
  if (bytes.empty() || (keepLength && bytes.size() != 2u + oldLength)) return false;
  const int32_t added = static_cast<int32_t>(bytes.size()) - 2 - oldLength;
  if (!MovePreviewWords(previews, at + 10, merged.makerNote, added, &bytes)) return false;
  out->oldLength = oldLength;
  out->added = added;
  out->bytes = std::move(bytes);
  return true;
}

}  // namespace lf::record
