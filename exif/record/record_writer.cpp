// SPDX-License-Identifier: MIT
#include "exif/record/record_writer.h"

#include <algorithm>
#include <cstring>

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

// The entry as it stands in a directory: an inline value decoded from its bytes, an out-of-line
// one with offset 0 until the layout places it.
IfdEntry ToEntry(const FieldValue& f, exif::ByteOrder order) {
  uint8_t raw[exif::kEntrySize] = {};
  const exif::MutableByteView view(raw, sizeof raw, order);
  view.WriteU16(0, f.tag);
  view.WriteU16(2, f.type);
  view.WriteU32(4, f.count);
  if (f.bytes.size() <= exif::kInlineValueBytes) view.WriteBytes(8, f.bytes.data(), f.bytes.size());
  IfdEntry e;
  exif::DecodeEntry(raw, order, &e);
  if (f.bytes.size() > exif::kInlineValueBytes) e.value = 0;
  return e;
}

// Hands the layout the value bytes of the fields of one directory.
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
                               [&](const FieldValue& f) { return std::find(tags.begin(), tags.end(), f.tag) != tags.end(); }),
                fields->end());
}

// Lays one directory and points its parent at it; false when either fails.
bool Lay(edit::OutputLayout* layout, exif::DirectoryId id, std::vector<FieldValue> fields) {
  std::stable_sort(fields.begin(), fields.end(), [](const FieldValue& a, const FieldValue& b) { return a.tag < b.tag; });
  IfdEntryList entries;
  for (const FieldValue& f : fields) entries.push_back(ToEntry(f, kLittleEndian));
  FieldValues values(fields);
  const uint32_t at = layout->LayDirectory(id, entries, &values, edit::ValueSpacing::kRecord);
  return at != 0 && layout->SetDirectoryPointer(id, at);
}

// The thumbnail is made only where IFD1's JPEGInterchangeFormat (bit 19) will name it.
bool NamesThumbnail(const RecordSet& records) {
  return records.ifd1 && LfPresenceHas(&records.ifd1->presence, 19);
}

}  // namespace

bool BuildTiffFromRecord(const RecordSet& records, const std::vector<uint8_t>& thumbnail,
                         edit::OutputLayout* layout) {
  if (!records.ifd0 || !records.exif) return false;
  const bool hasExif = LfPresenceAny(&records.exif->presence);
  const bool hasGps = records.gps && LfPresenceAny(&records.gps->presence);
  if (!layout->StartBlock(kLittleEndian, false, true)) return false;

  // IFD0 names the thumbnail of IFD1 only; its sub-directory pointers are set when those are laid.
  std::vector<FieldValue> ifd0 = PresentFields(*records.ifd0, kLittleEndian);
  Drop(&ifd0, {exif::kTagJpegInterchangeFormat, exif::kTagJpegInterchangeFormatLength});
  if (hasExif) AddPointer(exif::kTagExifIfdPointer, &ifd0);
  if (hasGps) AddPointer(exif::kTagGpsIfdPointer, &ifd0);
  if (!Lay(layout, exif::kIfd0, std::move(ifd0))) return false;

  if (hasExif) {
    if (!Lay(layout, exif::kExifIfd, PresentFields(*records.exif, kLittleEndian))) return false;
    // Bit 41: the Interoperability directory, which the Exif directory's 0xA005 entry names.
    if (LfPresenceHas(&records.exif->presence, 41) &&
        !Lay(layout, exif::kInteropIfd, PresentFields(records.exif->interoperability, kLittleEndian))) {
      return false;
    }
  }
  if (hasGps && !Lay(layout, exif::kGpsIfd, PresentFields(*records.gps, kLittleEndian))) return false;
  if (!records.ifd1) return true;

  std::vector<FieldValue> ifd1 = PresentFields(*records.ifd1, kLittleEndian);
  Drop(&ifd1, {exif::kTagPrintIm});
  if (ifd1.empty()) return true;  // a record without fields is no IFD1
  if (!Lay(layout, exif::kIfd1, std::move(ifd1))) return false;
  if (!NamesThumbnail(records)) return true;
  edit::OutputBuffer& data = layout->mutableThumbnailData();
  data.Reset();
  if (!data.Append(thumbnail.data(), thumbnail.size()) || !layout->PadToEven()) return false;
  layout->set_thumbnailImageSize(static_cast<uint32_t>(thumbnail.size()));
  uint32_t at = layout->outLength();
  return layout->RelocateImageData(exif::kIfd1, &at);
}

std::vector<uint8_t> MakeApp1Segment(const edit::OutputLayout& layout) {
  const size_t tiff = layout.outLength();
  const size_t thumbnail = layout.thumbnailData().length();
  const size_t length = sizeof kApp1Header - 2 + tiff + thumbnail;
  if (length > kMaxSegmentLength) return {};
  std::vector<uint8_t> segment(kApp1Header, kApp1Header + sizeof kApp1Header);
  segment[2] = static_cast<uint8_t>(length >> 8);
  segment[3] = static_cast<uint8_t>(length);
  segment.insert(segment.end(), layout.block().data(), layout.block().data() + tiff);
  if (thumbnail) {
    const uint8_t* t = layout.thumbnailData().data();
    segment.insert(segment.end(), t, t + thumbnail);
  }
  return segment;
}

std::vector<uint8_t> BuildExifApp1(LF_HGLOBAL image, const RecordSet& records, const std::string& scratchDir) {
  if (!image || !records.ifd0 || !records.exif) return {};
  std::vector<uint8_t> thumbnail;
  if (NamesThumbnail(records)) {
    const std::string path = scratchDir + "__TMP__.002";
    if (imaging::MakeThumbnailFile(path.c_str(), LF_ENC_JPEG, image, kThumbnailQuality) != S_OK ||
        !platform::ReadWholeFile(path, &thumbnail, kMaxWholeFile)) {
      return {};
    }
  }
  edit::OutputLayout layout;
  if (!BuildTiffFromRecord(records, thumbnail, &layout)) return {};
  return MakeApp1Segment(layout);
}

}  // namespace lf::record
