// SPDX-License-Identifier: MIT
// GetExif: the host's one-call summary of a photograph: shooting data from IFD0 and the Exif IFD,
// the GPS position, and the camera settings kept in a maker note of the Kestrelon dialect. Each
// summary record begins with a tag list that is the request on input and the list of delivered
// tags on output; one table per record says where each tag's value goes and how it is delivered.
#include <cstddef>
#include <cstring>
#include <span>
#include <string>

#include "exif/makernote/host_containers.h"
#include "exif/makernote/maker_note_reader.h"
#include "exif/model/date_text.h"
#include "plugin/operations.h"

namespace lf::exif {
namespace {

enum class Delivery : uint8_t {
  kValue,         // native values, at most the field's size
  kText,          // an LfString, the value up to its first NUL
  kCalendarDate,  // an ExifDateTime, zeroed when the text is no calendar date
  kDate,          // an ExifDateTime as the text says, not validated
  kBytes,         // an LfByteArray sized to the value
  kFlag,          // a u32: 1 when the entry has values
};

struct SummaryField {
  uint16_t tag;
  DirectoryId directory;
  Delivery delivery;
  size_t offset;
  uint32_t size;
};

#define LF_SUMMARY_FIELD(record, member) offsetof(record, member), sizeof(record::member)
#define LF_EXIF_FIELD(member) LF_SUMMARY_FIELD(LfExifSummary, member)
#define LF_GPS_FIELD(member) LF_SUMMARY_FIELD(LfGpsSummary, member)
#define LF_MAKER_FIELD(member) LF_SUMMARY_FIELD(LfMakerNoteSummary, member)

using enum Delivery;

// In the order of the default request.
constexpr SummaryField kExifFields[] = {
    {0x0112, kIfd0, kValue, LF_EXIF_FIELD(orientation)},
    {0x010F, kIfd0, kText, LF_EXIF_FIELD(make)},
    {0x0110, kIfd0, kText, LF_EXIF_FIELD(model)},
    {0xC6D2, kIfd0, kText, LF_EXIF_FIELD(titleText)},
    {0x9000, kExifIfd, kValue, LF_EXIF_FIELD(exifVersion)},
    {0x9003, kExifIfd, kCalendarDate, LF_EXIF_FIELD(dateTimeOriginal)},
    {0x829A, kExifIfd, kValue, LF_EXIF_FIELD(exposureTime)},
    {0x829D, kExifIfd, kValue, LF_EXIF_FIELD(fNumber)},
    {0x8827, kExifIfd, kValue, LF_EXIF_FIELD(isoSpeedRatings)},
    {0x9201, kExifIfd, kValue, LF_EXIF_FIELD(shutterSpeedValue)},
    {0x9202, kExifIfd, kValue, LF_EXIF_FIELD(apertureValue)},
    {0x9204, kExifIfd, kValue, LF_EXIF_FIELD(exposureBiasValue)},
    {0x9209, kExifIfd, kValue, LF_EXIF_FIELD(flash)},
    {0xA402, kExifIfd, kValue, LF_EXIF_FIELD(exposureMode)},
    {0xA403, kExifIfd, kValue, LF_EXIF_FIELD(whiteBalance)},
    {0xA406, kExifIfd, kValue, LF_EXIF_FIELD(sceneCaptureType)},
    {0xA40C, kExifIfd, kValue, LF_EXIF_FIELD(subjectDistanceRange)},
    {0x920A, kExifIfd, kValue, LF_EXIF_FIELD(focalLength)},
    {0xA405, kExifIfd, kValue, LF_EXIF_FIELD(focalLengthIn35mmFilm)},
    {0x9207, kExifIfd, kValue, LF_EXIF_FIELD(meteringMode)},
    {0xA404, kExifIfd, kValue, LF_EXIF_FIELD(digitalZoomRatio)},
};

constexpr SummaryField kGpsFields[] = {
    {0x0000, kGpsIfd, kValue, LF_GPS_FIELD(versionID)},
    {0x0001, kGpsIfd, kValue, LF_GPS_FIELD(latitudeRef)},
    {0x0002, kGpsIfd, kValue, LF_GPS_FIELD(latitude)},
    {0x0003, kGpsIfd, kValue, LF_GPS_FIELD(longitudeRef)},
    {0x0004, kGpsIfd, kValue, LF_GPS_FIELD(longitude)},
    {0x0005, kGpsIfd, kValue, LF_GPS_FIELD(altitudeRef)},
    {0x0006, kGpsIfd, kValue, LF_GPS_FIELD(altitude)},
    {0x0007, kGpsIfd, kValue, LF_GPS_FIELD(timeStamp)},
    {0x0012, kGpsIfd, kText, LF_GPS_FIELD(mapDatum)},
    {0x001B, kGpsIfd, kBytes, LF_GPS_FIELD(processingMethod)},
    {0x001C, kGpsIfd, kBytes, LF_GPS_FIELD(areaInformation)},
    {0x001D, kGpsIfd, kText, LF_GPS_FIELD(dateStamp)},
};

constexpr SummaryField kMakerNoteFields[] = {
    {0x0001, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0001)},
    {0x0002, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0002)},
    {0x0003, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0003)},
    {0x0007, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0007)},
    {0x000F, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag000F)},
    {0x001A, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag001A)},
    {0x001C, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag001C)},
    {0x001F, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag001F)},
    {0x0020, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0020)},
    {0x0021, kMakerNoteIfd, kFlag, LF_MAKER_FIELD(has0021)},
    {0x0022, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0022)},
    {0x0026, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0026)},
    {0x0027, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0027)},
    {0x0028, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0028)},
    {0x002A, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag002A)},
    {0x002B, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag002B)},
    {0x002D, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag002D)},
    {0x0032, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0032)},
    {0x0033, kMakerNoteIfd, kDate, LF_MAKER_FIELD(dateTime0033)},
    {0x0042, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0042)},
    {0x0044, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0044)},
    {0x0051, kMakerNoteIfd, kText, LF_MAKER_FIELD(text0051)},
    {0x0E00, kMakerNoteIfd, kFlag, LF_MAKER_FIELD(has0E00)},
    {0x4950, kMakerNoteIfd, kFlag, LF_MAKER_FIELD(has4950)},
    {0x0036, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0036)},
    {0x003D, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag003D)},
    {0x003F, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag003F)},
    {0x0043, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0043)},
    {0x0023, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0023)},
    {0x004D, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag004D)},
    {0x0034, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0034)},
    {0x0053, kMakerNoteIfd, kText, LF_MAKER_FIELD(text0053)},
    {0x0055, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0055)},
    {0x004F, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag004F)},
    {0x0061, kMakerNoteIfd, kValue, LF_MAKER_FIELD(tag0061)},
};

#undef LF_MAKER_FIELD
#undef LF_GPS_FIELD
#undef LF_EXIF_FIELD
#undef LF_SUMMARY_FIELD

// The largest fixed-size field: maker-note tag 0x0061's 148 bytes.
constexpr uint32_t kLargestValueField = sizeof(LfMakerNoteSummary::tag0061);
constexpr bool FitsScratch(std::span<const SummaryField> fields) {
  for (const SummaryField& f : fields) {
    if (f.size > kLargestValueField) return false;
  }
  return true;
}
static_assert(FitsScratch(kExifFields) && FitsScratch(kGpsFields) && FitsScratch(kMakerNoteFields));

const SummaryField* FieldOf(std::span<const SummaryField> fields, DirectoryId directory,
                            uint16_t tag) {
  for (const SummaryField& f : fields) {
    if (f.tag == tag && f.directory == directory) return &f;
  }
  return nullptr;
}

// The record's request, or the default request (every field's tag) when it asks for nothing.
IfdEntryList RequestOf(const LfU16List& tags, std::span<const SummaryField> fields) {
  IfdEntryList request = RequestFrom(tags);
  if (request.empty()) {
    for (const SummaryField& f : fields) request.push_back(IfdEntry{f.tag});
  }
  return request;
}

// The part of a request that has fields in `directory`. A part that ends up empty is passed on
// empty and so collects the whole directory.
IfdEntryList SplitFor(const IfdEntryList& request, std::span<const SummaryField> fields,
                      DirectoryId directory) {
  IfdEntryList part;
  for (const IfdEntry& e : request) {
    if (FieldOf(fields, directory, e.tag)) part.push_back(e);
  }
  return part;
}

// A value's text (up to its first NUL) as ReadEntryValue delivers it into entry.count bytes. A
// count that the loaded data cannot hold is refused before anything is allocated for it.
bool ReadText(ExifReader& reader, const IfdEntry& entry, std::string* text) {
  if (entry.count == 0 || (entry.count > kInlineValueBytes && entry.count > reader.loadedSize())) {
    return false;
  }
  std::string buffer(entry.count, '\0');
  if (reader.ReadEntryValue(entry, buffer.data(), entry.count) == 0) return false;
  buffer.resize(strnlen(buffer.data(), buffer.size()));
  *text = std::move(buffer);
  return true;
}

// Puts one collected entry into its field; true when the tag counts as delivered.
[[nodiscard]] bool Deliver(MakerNoteReader& reader, const SummaryField& f, const IfdEntry& entry,
                           uint8_t* record) {
  uint8_t* field = record + f.offset;
  switch (f.delivery) {
    case kValue: {
      // Delivered through a scratch copy: a read that fails clears what it was given, and the
      // field of a tag not delivered keeps what the host put there.
      uint8_t scratch[kLargestValueField];
      const uint32_t n = f.directory == kMakerNoteIfd
                             ? reader.ReadMakerNoteValue(entry, scratch, f.size)
                             : reader.ReadEntryValue(entry, scratch, f.size);
      if (n != 0) std::memcpy(field, scratch, f.size);
      return n != 0;
    }
    case kText: {
      std::string text;
      if (!ReadText(reader, entry, &text)) return false;
      SetText(reinterpret_cast<LfString*>(field), text);
      return true;
    }
    case kCalendarDate:
    case kDate: {
      std::string text;
      ExifDateTime parsed{};
      if (!ReadText(reader, entry, &text) || !ParseExifDateTime(text, "", &parsed)) return false;
      // A date that is there but names no calendar day (a camera without a clock writes blanks)
      // is reported as present, with its value zeroed.
      if (f.delivery == kCalendarDate && !platform::IsValidCalendarDateTime(parsed)) parsed = {};
      std::memcpy(field, &parsed, sizeof parsed);
      return true;
    }
    case kBytes: {
      auto* bytes = reinterpret_cast<LfByteArray*>(field);
      if (entry.count > kInlineValueBytes && entry.count > reader.loadedSize()) return false;
      if (!LfByteArrayResize(bytes, static_cast<int32_t>(entry.count))) throw std::bad_alloc();
      if (bytes->data && reader.ReadEntryValue(entry, bytes->data, entry.count) != 0) return true;
      LfByteArrayFree(bytes);  // as emptied before the directory was read
      return false;
    }
    case kFlag: {
      const uint32_t flag = entry.count != 0 ? 1 : 0;
      std::memcpy(field, &flag, sizeof flag);
      return true;
    }
  }
  return false;
}

// Collects the requested entries of one directory and delivers them in directory order,
// appending each delivered tag to the record's list.
void FillFrom(MakerNoteReader& reader, DirectoryId directory, IfdEntryList request,
              std::span<const SummaryField> fields, void* record, LfU16List* tags) {
  const int collected = directory == kMakerNoteIfd ? reader.CollectMakerNoteEntries(&request)
                                                   : reader.CollectEntries(directory, &request);
  if (collected <= 0) return;
  for (const IfdEntry& entry : request) {
    const SummaryField* f = FieldOf(fields, directory, entry.tag);
    if (f && Deliver(reader, *f, entry, static_cast<uint8_t*>(record))) Append(tags, entry.tag);
  }
}

[[nodiscard]] bool FillExifSummary(MakerNoteReader& reader, LfExifSummary* s) {
  const IfdEntryList request = RequestOf(s->tags, kExifFields);
  IfdEntryList ifd0 = SplitFor(request, kExifFields, kIfd0);
  IfdEntryList exif = SplitFor(request, kExifFields, kExifIfd);
  EmptyList(&s->tags);
  FillFrom(reader, kIfd0, std::move(ifd0), kExifFields, s, &s->tags);
  FillFrom(reader, kExifIfd, std::move(exif), kExifFields, s, &s->tags);
  return s->tags.size > 0;
}

[[nodiscard]] bool FillGpsSummary(MakerNoteReader& reader, LfGpsSummary* s) {
  IfdEntryList request = RequestOf(s->tags, kGpsFields);
  EmptyList(&s->tags);
  LfByteArrayFree(&s->processingMethod);
  LfByteArrayFree(&s->areaInformation);
  FillFrom(reader, kGpsIfd, std::move(request), kGpsFields, s, &s->tags);
  return s->tags.size > 0;
}

[[nodiscard]] bool FillMakerNoteSummary(MakerNoteReader& reader, LfMakerNoteSummary* s) {
  IfdEntryList request = RequestOf(s->tags, kMakerNoteFields);
  EmptyList(&s->tags);
  LfStringFree(&s->header);
  s->has0021 = 0;
  s->has0E00 = 0;
  s->tag0036 = 0xFFFF;
  s->tag003D = 0;
  s->tag003F = 0;
  // Other makers' notes use the same tag numbers for other things: only this dialect is read.
  if (!reader.IsKestrelon()) return false;
  SetText(&s->header, reader.GetMakerNoteHeader());
  FillFrom(reader, kMakerNoteIfd, std::move(request), kMakerNoteFields, s, &s->tags);
  return s->tags.size > 0;
}

}  // namespace
}  // namespace lf::exif

namespace lf::ops {

HRESULT GetExif(const char* path, LfExifSummary* exif, LfGpsSummary* gps,
                LfMakerNoteSummary* makerNote) {
  exif::MakerNoteReader reader(path, /*loadBlock=*/true);
  if (!reader.IsExif()) return E_NO_EXIF;
  bool delivered = false;
  if (exif && exif::FillExifSummary(reader, exif)) delivered = true;
  if (gps && exif::FillGpsSummary(reader, gps)) delivered = true;
  if (makerNote && exif::FillMakerNoteSummary(reader, makerNote)) delivered = true;
  return delivered ? S_OK : E_FAIL;
}

}  // namespace lf::ops
