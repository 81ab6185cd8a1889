// SPDX-License-Identifier: MIT
#include "exif/edit/block_values.h"

#include "exif/edit/entry_list.h"
#include "exif/model/date_text.h"
#include "exif/model/jpeg_segments.h"
#include "platform/file.h"

namespace lf::edit {

using exif::ExifReader;
using exif::kTagExifIfdPointer;
using exif::kTagGpsIfdPointer;
using exif::kTagInteropIfdPointer;
using exif::kTypeAscii;
using exif::kTypeRational;

namespace {

constexpr uint16_t kTagImageDescription = exif::TagNumber("ImageDescription");
constexpr uint16_t kTagMake = exif::TagNumber("Make");
constexpr uint16_t kTagModel = exif::TagNumber("Model");
constexpr uint16_t kTagXResolution = exif::TagNumber("XResolution");
constexpr uint16_t kTagYResolution = exif::TagNumber("YResolution");
constexpr uint16_t kTagSoftware = exif::TagNumber("Software");

std::string Text(const LfString& s) { return s.text ? s.text : ""; }

}  // namespace
using exif::TagRole;

uint32_t InlineVersion(uint32_t version) {
  return (version >> 24) | ((version >> 8) & 0xFF00u) | ((version << 8) & 0xFF0000u) |
         (version << 24);
}

std::vector<uint8_t> DateStampBytes(const ExifDateTime& when) {
  std::string text = "    :  :     :  :  ";
  // The template always has the 19 characters the formatter needs.
  (void)exif::FormatExifDateTime(&text, nullptr, when);
  text.resize(exif::kExifDateTextLength + 1, '\0');
  return {text.begin(), text.end()};
}

bool NamesSourceBytes(DirectoryId id, const IfdEntry& e, bool keepStrips) {
  switch (exif::RoleOf(id, e.tag)) {
    case TagRole::kDirectoryPointer:
    case TagRole::kSubDirectories:
    case TagRole::kImageDataOffset:
    case TagRole::kImageDataLength:
    case TagRole::kTileOffsets:
    case TagRole::kTileByteCounts:
    case TagRole::kFreeOffsets:
    case TagRole::kFreeByteCounts:
    case TagRole::kMakerNote: return true;
    case TagRole::kStripOffsets:
    case TagRole::kStripByteCounts: return !keepStrips;
    default:
      // A pointer the table does not know in this directory (the GPS pointer inside IFD1, say).
      return e.tag == kTagExifIfdPointer || e.tag == kTagGpsIfdPointer ||
             e.tag == kTagInteropIfdPointer;
  }
}

IfdEntryList SourceEntries(ExifReader& reader, DirectoryId from, DirectoryId to, bool keepStrips) {
  IfdEntryList list;
  if (reader.CollectEntries(from, &list) <= 0) return {};
  SortEntries(&list);
  IfdEntryList kept;
  for (const IfdEntry& e : list) {
    // An entry of a type whose values cannot be read cannot be carried either.
    if (ValueBytes(e.type, e.count) == 0 || NamesSourceBytes(to, e, keepStrips)) continue;
    kept.push_back(e);
  }
  return kept;
}

IfdEntry AsciiEntry(uint16_t tag, const std::string& text) {
  IfdEntry e{tag, kTypeAscii, static_cast<uint32_t>(text.size() + 1), 0};
  if (e.count <= exif::kInlineValueBytes) {
    for (size_t i = 0; i < text.size(); ++i)
      e.value |= static_cast<uint32_t>(static_cast<uint8_t>(text[i])) << (8 * i);
  }
  return e;
}

[[nodiscard]] bool LoadThumbnailData(ExifReader& thumb, bool tiff, OutputBuffer* data) {
  data->Reset();
  std::vector<uint8_t> file;
  if (!platform::ReadWholeFile(thumb.path(), &file)) return false;
  const uint8_t* bytes = file.data();
  if (tiff) {
    const IfdDescriptor& d = thumb.ifd0();
    if (d.imageWidth != kThumbnailWidth || d.imageLength != kThumbnailHeight) return false;
    const uint64_t first = d.firstStripOffset;
    if (first < 8 || first >= file.size()) return false;
    const uint64_t end = first < thumb.ifd0Offset() ? thumb.ifd0Offset() : file.size();
    return data->Append(bytes + first, end - first);
  }
  if (thumb.sofWidth() != kThumbnailWidth || thumb.sofHeight() != kThumbnailHeight) return false;
  exif::MemorySource source(ByteView(bytes, file.size(), exif::kBigEndian));
  exif::JpegSegmentScanner scan(source, {.requireFfPrefix = true, .standaloneSoi = true});
  exif::JpegSegment s;
  while (scan.Next(&s)) {
    if (s.marker == exif::kJpegSoi) {
      if (s.offset != 0 || !data->Append(bytes, 2)) break;
      continue;
    }
    if (s.marker == exif::kJpegSos || s.marker == exif::kJpegEoi) {
      // The scan, and everything behind it, unchanged.
      return !data->empty() && data->Append(bytes + s.offset, file.size() - s.offset);
    }
    if (!s.hasLength || s.length < 2 || s.offset + 2 + s.length > file.size()) break;
    if (s.marker >= exif::kJpegApp0 && s.marker <= exif::kJpegApp0 + 15) continue;
    if (!data->Append(bytes + s.offset, 2u + s.length)) break;
  }
  data->Reset();
  return false;
}

GeneratedValues::GeneratedValues(exif::ExifReader& source, const LfExifWriteParams& params,
                                 bool jpeg)
    : source_(source), params_(params), jpeg_(jpeg) {
  haveClock_ = platform::LocalTime(&now_);
}

bool GeneratedValues::Generate(DirectoryId id, const IfdEntry& e, ByteOrder order,
                               std::vector<uint8_t>* bytes) const {
  auto text = [&](const std::string& s) {
    if (e.type != kTypeAscii || e.count != s.size() + 1) return false;
    bytes->assign(s.begin(), s.end());
    bytes->push_back(0);
    return true;
  };
  auto stamp = [&](const ExifDateTime& when) {
    if (e.type != kTypeAscii || e.count != exif::kExifDateTextLength + 1) return false;
    *bytes = DateStampBytes(when);
    return true;
  };
  if (id == exif::kIfd0 || id == exif::kIfd1) {
    if (e.tag == kTagXResolution || e.tag == kTagYResolution) {
      uint32_t numerator = 0, denominator = 0;
      Resolution(e.tag, &numerator, &denominator);
      bytes->assign(8, 0);
      const MutableByteView v(bytes->data(), bytes->size(), order);
      return v.WriteU32(0, numerator) && v.WriteU32(4, denominator);
    }
    if (e.value != 0) return false;
    switch (e.tag) {
      case kTagImageDescription: return text(Text(params_.imageDescription));
      case kTagMake: return text(Text(params_.make));
      case kTagModel: return text(Text(params_.model));
      case kTagSoftware: return text(Text(params_.software));
      case kTagDateTime: return haveClock_ && stamp(now_);
      default: return false;
    }
  }
  if (id == exif::kExifIfd && e.value == 0) {
    if (e.tag == exif::kTagDateTimeOriginal) {
      // A date of year 0 is no date: the picture is taken now.
      if (params_.dateTimeOriginal.year != 0) return stamp(params_.dateTimeOriginal);
      return haveClock_ && stamp(now_);
    }
    if (e.tag == exif::kTagDateTimeDigitized) return haveClock_ && stamp(now_);
  }
  return false;
}

void GeneratedValues::Resolution(uint16_t tag, uint32_t* numerator, uint32_t* denominator) const {
  *numerator = 0;
  *denominator = 1;
  if (jpeg_) *numerator = tag == kTagXResolution ? source_.jfifXDensity() : source_.jfifYDensity();
  if (*numerator == 0) {
    IfdEntry entry{tag};
    uint32_t value[2] = {};
    if (source_.FindEntry(exif::kIfd0, &entry) == exif::kFound && entry.type == kTypeRational &&
        entry.count == 1 && source_.ReadEntryValue(entry, value, sizeof value) == 1) {
      *numerator = value[0];
      *denominator = value[1];
    }
  }
  if (*numerator == 0 || *denominator == 0) {
    *numerator = 72;
    *denominator = 1;
  }
}

}  // namespace lf::edit
