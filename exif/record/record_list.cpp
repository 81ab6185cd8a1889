// SPDX-License-Identifier: MIT
#include "exif/record/record_list.h"

#include <cstring>
#include <initializer_list>

namespace lf::record {
namespace {

bool TextFits(const LfString& s) { return !s.text || ::strnlen(s.text, kMaxValueBytes + 1) <= kMaxValueBytes; }

template <typename Container>
bool SizeFits(const Container& c) {
  return c.size >= 0 && static_cast<uint32_t>(c.size) <= kMaxValueBytes && (c.size == 0 || c.data);
}

bool Valid(const LfImageDirRecord& r) {
  for (const LfString* s : {&r.dateTime, &r.imageDescription, &r.make, &r.model, &r.software, &r.artist,
                            &r.copyright}) {
    if (!TextFits(*s)) return false;
  }
  return SizeFits(r.stripOffsets) && SizeFits(r.stripByteCounts) && SizeFits(r.printIM);
}

bool Valid(const LfExifDirRecord& r) {
  for (const LfString* s : {&r.relatedSoundFile, &r.dateTimeOriginal, &r.dateTimeDigitized, &r.subSecTime,
                            &r.subSecTimeOriginal, &r.subSecTimeDigitized, &r.spectralSensitivity,
                            &r.interoperability.interoperabilityIndex,
                            &r.interoperability.relatedImageFileFormat}) {
    if (!TextFits(*s)) return false;
  }
  for (const LfByteArray* b : {&r.makerNote, &r.oecf, &r.spatialFrequencyResponse, &r.cfaPattern, &r.userComment,
                               &r.deviceSettingDescription}) {
    if (!SizeFits(*b)) return false;
  }
  return SizeFits(r.isoSpeedRatings) && SizeFits(r.subjectArea);
}

bool Valid(const LfGpsDirRecord& r) {
  for (const LfString* s : {&r.latitudeRef, &r.longitudeRef, &r.satellites, &r.status, &r.measureMode, &r.speedRef,
                            &r.trackRef, &r.imgDirectionRef, &r.mapDatum, &r.destLatitudeRef,
                            &r.destLongitudeRef, &r.destBearingRef, &r.destDistanceRef, &r.dateText}) {
    if (!TextFits(*s)) return false;
  }
  return SizeFits(r.processingData) && SizeFits(r.areaData);
}

template <typename Record>
void TakeFirst(const void* record, const Record** slot) {
  if (!*slot) *slot = static_cast<const Record*>(record);
}

}  // namespace

HRESULT CollectRecords(const LfExifRecord* list, RecordSet* out) {
  *out = {};
  if (!list) return S_OK;
  RecordSet found;
  const bool ring = WalkRecordList(*list, [&](const LfRecordNode& node) {
    switch (node.selector) {
      case LF_SEL_IFD0: TakeFirst(node.record, &found.ifd0); break;
      case LF_SEL_IFD1: TakeFirst(node.record, &found.ifd1); break;
      case LF_SEL_EXIF: TakeFirst(node.record, &found.exif); break;
      case LF_SEL_GPS: TakeFirst(node.record, &found.gps); break;
      default: break;
    }
  });
  if (!ring) return E_INVALIDARG;
  if ((found.ifd0 && !Valid(*found.ifd0)) || (found.ifd1 && !Valid(*found.ifd1)) ||
      (found.exif && !Valid(*found.exif)) || (found.gps && !Valid(*found.gps))) {
    return E_INVALIDARG;
  }
  *out = found;
  return S_OK;
}

}  // namespace lf::record
