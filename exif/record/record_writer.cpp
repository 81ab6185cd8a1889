// SPDX-License-Identifier: MIT
#include "exif/record/record_writer.h"

#include <algorithm>
#include <cstring>

#include "exif/edit/directory_emitter.h"
#include "exif/record/record_fields.h"
#include "exif/record/record_reader.h"
#include "imaging/picture_files.h"
#include "platform/file.h"

namespace lf::record {
namespace {

using exif::IfdEntry;
using exif::IfdEntryList;
using exif::kLittleEndian;

// The thumbnail is saved at the quality photo cameras use for theirs.
constexpr int32_t kThumbnailQuality = 75;
constexpr uint8_t kApp1Header[10] = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
// A JPEG segment length counts itself and is 16 bits wide (JPEG, ITU T.81, B.1.1.4).
constexpr size_t kMaxSegmentLength = 0xFFFF;
// Room for the directories of a segment, so most builds never grow the buffer.
constexpr size_t kBlockCapacity = 65536;

// The entry as it stands in a directory: an inline value decoded from its bytes, an out-of-line
// one with offset 0 until the layout places it.
IfdEntry ToEntry(const FieldValue& f, exif::ByteOrder order) {
  uint8_t raw[exif::kEntrySize] = {};
  const exif::MutableByteView view(raw, sizeof raw, order);
  // Every write fits the 12 bytes of one entry.
  (void)view.WriteU16(0, f.tag);
  (void)view.WriteU16(2, f.type);
  (void)view.WriteU32(4, f.count);
  if (f.bytes.size() <= exif::kInlineValueBytes)
    (void)view.WriteBytes(8, f.bytes.data(), f.bytes.size());
  IfdEntry e;
  // The field keeps its tag, type and count even when the type does not decode.
  (void)exif::DecodeEntry(raw, order, &e);
  if (f.bytes.size() > exif::kInlineValueBytes) e.value = 0;
  return e;
}

// Hands the emitter the value bytes of the fields of one directory.
class FieldValues : public edit::ValueProvider {
 public:
  explicit FieldValues(const std::vector<FieldValue>& fields) : fields_(fields) {}
  uint32_t ValueSize(const IfdEntry& requested) override {
    const FieldValue* f = Find(requested.tag);
    return f ? static_cast<uint32_t>(f->bytes.size()) : 0;
  }
  uint32_t DeliverValue(const IfdEntry& requested, exif::MutableByteView dest) override {
    const FieldValue* f = Find(requested.tag);
    if (!f || !dest.WriteBytes(0, f->bytes.data(), f->bytes.size())) return 0;
    return f->count;
  }

 private:
  const FieldValue* Find(uint16_t tag) const {
    for (const FieldValue& f : fields_) {
      if (f.tag == tag) return &f;
    }
    return nullptr;
  }
  const std::vector<FieldValue>& fields_;
};

void AddPointer(uint16_t tag, std::vector<FieldValue>* fields) {
  FieldValue f{tag, exif::kTypeLong, 1, std::vector<uint8_t>(4, 0)};
  fields->push_back(std::move(f));
}

void Drop(std::vector<FieldValue>* fields, std::initializer_list<uint16_t> tags) {
  fields->erase(std::remove_if(fields->begin(), fields->end(),
                               [&](const FieldValue& f) {
                                 return std::find(tags.begin(), tags.end(), f.tag) != tags.end();
                               }),
                fields->end());
}

// Lays one directory of `fields` (sorted by tag) at the end of the block; its offset, or 0.
uint32_t Lay(edit::OutputBuffer* block, exif::DirectoryId id, std::vector<FieldValue> fields) {
  std::stable_sort(fields.begin(), fields.end(),
                   [](const FieldValue& a, const FieldValue& b) { return a.tag < b.tag; });
  std::vector<edit::PlannedEntry> plan(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) plan[i].entry = ToEntry(fields[i], kLittleEndian);
  FieldValues values(fields);
  return edit::EmitDirectory(block, kLittleEndian, id, &plan, 0, &values,
                             edit::ValueSpacing::kRecord);
}

// Sets the LONG entry `tag` of the directory at `parent` to `value`; false when it is not there.
bool SetEntry(edit::OutputBuffer* block, uint32_t parent, uint16_t tag, uint32_t value) {
  const exif::MutableByteView view = block->View(kLittleEndian);
  exif::RawDirectory dir;
  return exif::LocateRawDirectory(view, parent, &dir) &&
         exif::PatchRawEntry(view, dir, {tag, exif::kTypeLong, 1, value}) != exif::kTagAbsent;
}

// The thumbnail is made only where IFD1's JPEGInterchangeFormat will name it.
bool NamesThumbnail(const RecordSet& records) {
  return records.ifd1 && LfPresenceHas(&records.ifd1->presence, image_bit::kJpegInterchangeFormat);
}

}  // namespace

bool BuildTiffFromRecord(const RecordSet& records, const std::vector<uint8_t>& thumbnail,
                         RecordBlock* out) {
  edit::OutputBuffer& block = out->tiff;
  block.Reset();
  out->thumbnail.Reset();
  if (!records.ifd0 || !records.exif) return false;
  const bool hasExif = LfPresenceAny(&records.exif->presence);
  const bool hasGps = records.gps && LfPresenceAny(&records.gps->presence);
  // TIFF 6.0, Section 2: the byte-order mark, 42, and the offset of IFD0.
  const uint8_t header[8] = {'I', 'I', 42, 0, 8, 0, 0, 0};
  if (!block.Reserve(kBlockCapacity) || !block.Append(header, sizeof header)) return false;

  // IFD0 names the thumbnail of IFD1 only; its sub-directory pointers are set when those are laid.
  std::vector<FieldValue> ifd0Fields = PresentFields(LF_SEL_IFD0, records.ifd0, kLittleEndian);
  Drop(&ifd0Fields, {exif::kTagJpegInterchangeFormat, exif::kTagJpegInterchangeFormatLength});
  if (hasExif) AddPointer(exif::kTagExifIfdPointer, &ifd0Fields);
  if (hasGps) AddPointer(exif::kTagGpsIfdPointer, &ifd0Fields);
  const uint32_t ifd0 = Lay(&block, exif::kIfd0, std::move(ifd0Fields));
  if (ifd0 == 0 || !block.View(kLittleEndian).WriteU32(4, ifd0)) return false;

  if (hasExif) {
    const uint32_t exifAt =
        Lay(&block, exif::kExifIfd, PresentFields(LF_SEL_EXIF, records.exif, kLittleEndian));
    if (exifAt == 0 || !SetEntry(&block, ifd0, exif::kTagExifIfdPointer, exifAt)) return false;
    // The Interoperability directory, which the Exif directory's pointer entry names.
    if (LfPresenceHas(&records.exif->presence, exif_bit::kInteroperability)) {
      const uint32_t interop =
          Lay(&block, exif::kInteropIfd,
              PresentFields(LF_SEL_INTEROP, &records.exif->interoperability, kLittleEndian));
      if (interop == 0 || !SetEntry(&block, exifAt, exif::kTagInteropIfdPointer, interop))
        return false;
    }
  }
  if (hasGps) {
    const uint32_t gps =
        Lay(&block, exif::kGpsIfd, PresentFields(LF_SEL_GPS, records.gps, kLittleEndian));
    if (gps == 0 || !SetEntry(&block, ifd0, exif::kTagGpsIfdPointer, gps)) return false;
  }
  if (!records.ifd1) return true;

  std::vector<FieldValue> ifd1Fields = PresentFields(LF_SEL_IFD1, records.ifd1, kLittleEndian);
  Drop(&ifd1Fields, {exif::kTagPrintIm});
  if (ifd1Fields.empty()) return true;  // a record without fields is no IFD1
  const uint32_t ifd1 = Lay(&block, exif::kIfd1, std::move(ifd1Fields));
  exif::RawDirectory first;
  if (ifd1 == 0 || !exif::LocateRawDirectory(block.View(kLittleEndian), ifd0, &first) ||
      !block.View(kLittleEndian).WriteU32(first.LinkPos(), ifd1)) {
    return false;
  }
  if (!NamesThumbnail(records)) return true;
  // The thumbnail directly behind the block, on a word boundary, named by IFD1.
  if (!out->thumbnail.Append(thumbnail.data(), thumbnail.size()) || !block.PadToEven())
    return false;
  (void)SetEntry(&block, ifd1, exif::kTagJpegInterchangeFormat, block.length());
  (void)SetEntry(&block, ifd1, exif::kTagJpegInterchangeFormatLength, out->thumbnail.length());
  return true;
}

std::vector<uint8_t> MakeApp1Segment(exif::ByteView tiff, exif::ByteView thumbnail) {
  const size_t length = sizeof kApp1Header - 2 + tiff.size() + thumbnail.size();
  if (length > kMaxSegmentLength) return {};
  std::vector<uint8_t> segment(kApp1Header, kApp1Header + sizeof kApp1Header);
  segment[2] = static_cast<uint8_t>(length >> 8);
  segment[3] = static_cast<uint8_t>(length);
  segment.insert(segment.end(), tiff.data(), tiff.data() + tiff.size());
  segment.insert(segment.end(), thumbnail.data(), thumbnail.data() + thumbnail.size());
  return segment;
}

std::vector<uint8_t> BuildExifApp1(LF_HGLOBAL image, const RecordSet& records,
                                   const std::string& scratchDir) {
  if (!image || !records.ifd0 || !records.exif) return {};
  std::vector<uint8_t> thumbnail;
  if (NamesThumbnail(records)) {
    const std::string path = scratchDir + "__TMP__.002";
    if (imaging::MakeThumbnailFile(path.c_str(), LF_ENC_JPEG, image, kThumbnailQuality) != S_OK ||
        !platform::ReadWholeFile(path, &thumbnail, kMaxWholeFile)) {
      return {};
    }
  }
  RecordBlock block;
  if (!BuildTiffFromRecord(records, thumbnail, &block)) return {};
  return MakeApp1Segment(block.tiff.View(kLittleEndian), block.thumbnail.View(kLittleEndian));
}

}  // namespace lf::record
