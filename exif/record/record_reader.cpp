// SPDX-License-Identifier: MIT
#include "exif/record/record_reader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "exif/model/exif_reader.h"
#include "exif/model/field_types.h"
#include "exif/model/jpeg_segments.h"
#include "exif/model/tag_table.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "plugin/file_kind.h"

namespace lf::record {
namespace {

using exif::ByteView;
using exif::TagNumber;

constexpr uint16_t kTiffLittle = 0x4949;
constexpr uint16_t kTiffBig = 0x4D4D;
// The last four GPS fields: the record codec's own numbers for them.
constexpr uint16_t kGpsProcessingData = 0x0028;
constexpr uint16_t kGpsAreaData = 0x0029;
constexpr uint16_t kGpsDateText = 0x002A;
constexpr uint16_t kGpsDifferential = 0x002B;

// One usable directory entry: its tag, type, count and where its value lies.
struct Entry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  uint32_t value;  // offset of the value in the TIFF data
  uint64_t bytes;  // FieldTypeSize × count
};

// Calls fn(entry) for each of `count` entries from `first` whose value lies inside the data; the
// walk ends at the first entry whose 12 bytes do not.
template <typename Fn>
void ForEachEntry(ByteView tiff, uint64_t first, uint64_t count, Fn&& fn) {
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t e = first + 12 * i;
    if (!tiff.Contains(e, 12)) return;
    Entry entry;
    entry.tag = tiff.ReadU16(e);
    entry.type = tiff.ReadU16(e + 2);
    entry.count = tiff.ReadU32(e + 4);
    entry.bytes = uint64_t{exif::FieldTypeSize(entry.type)} * entry.count;
    entry.value = entry.bytes <= 4 ? static_cast<uint32_t>(e + 8) : tiff.ReadU32(e + 8);
    if (!tiff.Contains(entry.value, entry.bytes)) continue;
    fn(entry);
  }
}

// Values of `width` bytes the data holds from `off`, at most `wanted`.
uint32_t Available(ByteView tiff, uint64_t off, uint64_t wanted, uint32_t width) {
  if (off >= tiff.size()) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(wanted, (tiff.size() - off) / width));
}

void SetString(LfString* out, ByteView tiff, const Entry& e) {
  uint32_t n = Available(tiff, e.value, e.count, 1);
  const uint8_t* p = tiff.Pointer(e.value, n);
  size_t len = p ? strnlen(reinterpret_cast<const char*>(p), n) : 0;
  char* text = static_cast<char*>(malloc(len + 1));
  if (!text) return;
  if (len) memcpy(text, p, len);
  text[len] = 0;
  free(out->text);
  out->text = text;
}

void SetBlob(LfByteArray* out, ByteView tiff, const Entry& e) {
  LfByteArrayFree(out);
  const uint8_t* p = tiff.Pointer(e.value, e.count);
  if (!p || e.count == 0 || e.count > INT32_MAX) return;
  auto* data = static_cast<uint8_t*>(malloc(e.count));
  if (!data) return;
  memcpy(data, p, e.count);
  out->data = data;
  out->size = out->capacity = static_cast<int32_t>(e.count);
}

void SetRaw4(uint8_t out[4], ByteView tiff, const Entry& e) {
  uint32_t n = std::min<uint32_t>(4, e.count);
  tiff.Copy(e.value, out, n);
}

void SetU16List(LfU16List* out, ByteView tiff, uint32_t at, uint32_t wanted) {
  LfU16ListFree(out);
  uint32_t n = Available(tiff, at, wanted, 2);
  if (n == 0) return;
  auto* data = static_cast<uint16_t*>(malloc(size_t{n} * 2));
  if (!data) return;
  for (uint32_t i = 0; i < n; ++i) data[i] = tiff.ReadU16(at + 2ull * i);
  out->data = data;
  out->size = out->capacity = static_cast<int32_t>(n);
}

// u16 values when the type is SHORT, else u32.
void SetU32List(LfU32List* out, ByteView tiff, const Entry& e) {
  LfU32ListFree(out);
  uint32_t width = e.type == exif::kTypeShort ? 2 : 4;
  uint32_t n = Available(tiff, e.value, e.count, width);
  if (n == 0) return;
  auto* data = static_cast<uint32_t*>(malloc(size_t{n} * 4));
  if (!data) return;
  for (uint32_t i = 0; i < n; ++i) {
    data[i] = width == 2 ? tiff.ReadU16(e.value + 2ull * i) : tiff.ReadU32(e.value + 4ull * i);
  }
  out->data = data;
  out->size = out->capacity = static_cast<int32_t>(n);
}

// A fixed number of u16 values, never more than the entry holds.
void ReadFixedU16(uint16_t* out, uint32_t fixed, ByteView tiff, const Entry& e) {
  uint32_t n = std::min(fixed, e.count);
  for (uint32_t i = 0; i < n; ++i) out[i] = tiff.ReadU16(e.value + 2ull * i);
}
// A fixed number of rationals (two u32 each), never more than the entry holds.
template <typename T>
void ReadRationals(T* out, uint32_t fixed, ByteView tiff, const Entry& e) {
  uint32_t n = std::min(fixed, e.count);
  for (uint32_t i = 0; i < 2 * n; ++i) out[i] = static_cast<T>(tiff.ReadU32(e.value + 4ull * i));
}
uint32_t ReadTyped(ByteView tiff, const Entry& e) {
  return e.type == exif::kTypeShort ? tiff.ReadU16(e.value) : tiff.ReadU32(e.value);
}

void ReadImageTag(LfImageDirRecord* r, ByteView t, const Entry& e) {
  LfPresenceMask* m = &r->presence;
  switch (e.tag) {
    case TagNumber("ImageWidth"): r->imageWidth = ReadTyped(t, e); r->imageWidthType = e.type; LfPresenceSet(m, 0); break;
    case TagNumber("ImageLength"): r->imageLength = ReadTyped(t, e); r->imageLengthType = e.type; LfPresenceSet(m, 1); break;
    case TagNumber("RowsPerStrip"): r->rowsPerStrip = ReadTyped(t, e); r->rowsPerStripType = e.type; LfPresenceSet(m, 13); break;
    case TagNumber("StripOffsets"): SetU32List(&r->stripOffsets, t, e); r->stripOffsetsType = e.type; LfPresenceSet(m, 12); break;
    case TagNumber("StripByteCounts"): SetU32List(&r->stripByteCounts, t, e); r->stripByteCountsType = e.type; LfPresenceSet(m, 14); break;
    case TagNumber("BitsPerSample"): ReadFixedU16(r->bitsPerSample, 3, t, e); LfPresenceSet(m, 2); break;
    case TagNumber("YCbCrSubSampling"): ReadFixedU16(r->yCbCrSubSampling, 2, t, e); LfPresenceSet(m, 7); break;
    case TagNumber("TransferFunction"): ReadFixedU16(r->transferFunction, 768, t, e); LfPresenceSet(m, 16); break;
    case TagNumber("Compression"): r->compression = t.ReadU16(e.value); LfPresenceSet(m, 3); break;
    case TagNumber("PhotometricInterpretation"): r->photometricInterpretation = t.ReadU16(e.value); LfPresenceSet(m, 4); break;
    case TagNumber("Orientation"): r->orientation = t.ReadU16(e.value); LfPresenceSet(m, 5); break;
    case TagNumber("SamplesPerPixel"): r->samplesPerPixel = t.ReadU16(e.value); LfPresenceSet(m, 6); break;
    case TagNumber("PlanarConfiguration"): r->planarConfiguration = t.ReadU16(e.value); LfPresenceSet(m, 15); break;
    case TagNumber("ResolutionUnit"): r->resolutionUnit = t.ReadU16(e.value); LfPresenceSet(m, 11); break;
    case TagNumber("YCbCrPositioning"): r->yCbCrPositioning = t.ReadU16(e.value); LfPresenceSet(m, 8); break;
    case TagNumber("XResolution"): ReadRationals(r->xResolution, 1, t, e); LfPresenceSet(m, 9); break;
    case TagNumber("YResolution"): ReadRationals(r->yResolution, 1, t, e); LfPresenceSet(m, 10); break;
    case TagNumber("WhitePoint"): ReadRationals(r->whitePoint, 2, t, e); LfPresenceSet(m, 17); break;
    case TagNumber("PrimaryChromaticities"): ReadRationals(r->primaryChromaticities, 6, t, e); LfPresenceSet(m, 18); break;
    case TagNumber("YCbCrCoefficients"): ReadRationals(r->yCbCrCoefficients, 3, t, e); LfPresenceSet(m, 21); break;
    case TagNumber("ReferenceBlackWhite"): ReadRationals(r->referenceBlackWhite, 6, t, e); LfPresenceSet(m, 22); break;
    case TagNumber("JPEGInterchangeFormat"): r->jpegInterchangeFormat = t.ReadU32(e.value); LfPresenceSet(m, 19); break;
    case TagNumber("JPEGInterchangeFormatLength"): r->jpegInterchangeFormatLength = t.ReadU32(e.value); LfPresenceSet(m, 20); break;
    case TagNumber("DateTime"): SetString(&r->dateTime, t, e); LfPresenceSet(m, 23); break;
    case TagNumber("ImageDescription"): SetString(&r->imageDescription, t, e); LfPresenceSet(m, 24); break;
    case TagNumber("Make"): SetString(&r->make, t, e); LfPresenceSet(m, 25); break;
    case TagNumber("Model"): SetString(&r->model, t, e); LfPresenceSet(m, 26); break;
    case TagNumber("Software"): SetString(&r->software, t, e); LfPresenceSet(m, 27); break;
    case TagNumber("Artist"): SetString(&r->artist, t, e); LfPresenceSet(m, 28); break;
    case TagNumber("Copyright"): SetString(&r->copyright, t, e); LfPresenceSet(m, 29); break;
    case TagNumber("PrintIM"): SetBlob(&r->printIM, t, e); LfPresenceSet(m, 32); break;
    default: break;
  }
}

void ReadExifTag(LfExifDirRecord* r, ByteView t, const Entry& e) {
  LfPresenceMask* m = &r->presence;
  switch (e.tag) {
    case TagNumber("ExifVersion"): SetRaw4(r->exifVersion, t, e); LfPresenceSet(m, 0); break;
    case TagNumber("FlashpixVersion"): SetRaw4(r->flashpixVersion, t, e); LfPresenceSet(m, 1); break;
    case TagNumber("ColorSpace"): r->colorSpace = t.ReadU16(e.value); LfPresenceSet(m, 2); break;
    case TagNumber("ComponentsConfiguration"): SetRaw4(r->componentsConfiguration, t, e); LfPresenceSet(m, 3); break;
    case TagNumber("CompressedBitsPerPixel"): ReadRationals(r->compressedBitsPerPixel, 1, t, e); LfPresenceSet(m, 4); break;
    case TagNumber("PixelXDimension"): r->pixelXDimension = ReadTyped(t, e); r->pixelXDimensionType = e.type; LfPresenceSet(m, 5); break;
    case TagNumber("PixelYDimension"): r->pixelYDimension = ReadTyped(t, e); r->pixelYDimensionType = e.type; LfPresenceSet(m, 6); break;
    case TagNumber("MakerNote"): SetBlob(&r->makerNote, t, e); LfPresenceSet(m, 7); break;
    case TagNumber("RelatedSoundFile"): SetString(&r->relatedSoundFile, t, e); LfPresenceSet(m, 8); break;
    case TagNumber("DateTimeOriginal"): SetString(&r->dateTimeOriginal, t, e); LfPresenceSet(m, 9); break;
    case TagNumber("DateTimeDigitized"): SetString(&r->dateTimeDigitized, t, e); LfPresenceSet(m, 10); break;
    case TagNumber("SubSecTime"): SetString(&r->subSecTime, t, e); LfPresenceSet(m, 11); break;
    case TagNumber("SubSecTimeOriginal"): SetString(&r->subSecTimeOriginal, t, e); LfPresenceSet(m, 12); break;
    case TagNumber("SubSecTimeDigitized"): SetString(&r->subSecTimeDigitized, t, e); LfPresenceSet(m, 13); break;
    case TagNumber("ExposureTime"): ReadRationals(r->exposureTime, 1, t, e); LfPresenceSet(m, 14); break;
    case TagNumber("FNumber"): ReadRationals(r->fNumber, 1, t, e); LfPresenceSet(m, 15); break;
    case TagNumber("ExposureProgram"): r->exposureProgram = t.ReadU16(e.value); LfPresenceSet(m, 16); break;
    case TagNumber("SpectralSensitivity"): SetString(&r->spectralSensitivity, t, e); LfPresenceSet(m, 17); break;
    case TagNumber("ISOSpeedRatings"): SetU16List(&r->isoSpeedRatings, t, e.value, e.count); LfPresenceSet(m, 18); break;
    case TagNumber("OECF"): SetBlob(&r->oecf, t, e); LfPresenceSet(m, 19); break;
    case TagNumber("ShutterSpeedValue"): ReadRationals(r->shutterSpeedValue, 1, t, e); LfPresenceSet(m, 20); break;
    case TagNumber("ApertureValue"): ReadRationals(r->apertureValue, 1, t, e); LfPresenceSet(m, 21); break;
    case TagNumber("BrightnessValue"): ReadRationals(r->brightnessValue, 1, t, e); LfPresenceSet(m, 22); break;
    case TagNumber("ExposureBiasValue"): ReadRationals(r->exposureBiasValue, 1, t, e); LfPresenceSet(m, 23); break;
    case TagNumber("MaxApertureValue"): ReadRationals(r->maxApertureValue, 1, t, e); LfPresenceSet(m, 24); break;
    case TagNumber("SubjectDistance"): ReadRationals(r->subjectDistance, 1, t, e); LfPresenceSet(m, 25); break;
    case TagNumber("MeteringMode"): r->meteringMode = t.ReadU16(e.value); LfPresenceSet(m, 26); break;
    case TagNumber("LightSource"): r->lightSource = t.ReadU16(e.value); LfPresenceSet(m, 27); break;
    case TagNumber("Flash"): r->flash = t.ReadU16(e.value); LfPresenceSet(m, 28); break;
    case TagNumber("FocalLength"): ReadRationals(r->focalLength, 1, t, e); LfPresenceSet(m, 29); break;
    case TagNumber("FlashEnergy"): ReadRationals(r->flashEnergy, 1, t, e); LfPresenceSet(m, 30); break;
    case TagNumber("SpatialFrequencyResponse"): SetBlob(&r->spatialFrequencyResponse, t, e); LfPresenceSet(m, 31); break;
    case TagNumber("FocalPlaneXResolution"): ReadRationals(r->focalPlaneXResolution, 1, t, e); LfPresenceSet(m, 32); break;
    case TagNumber("FocalPlaneYResolution"): ReadRationals(r->focalPlaneYResolution, 1, t, e); LfPresenceSet(m, 33); break;
    case TagNumber("FocalPlaneResolutionUnit"): r->focalPlaneResolutionUnit = t.ReadU16(e.value); LfPresenceSet(m, 34); break;
    case TagNumber("SubjectLocation"): ReadFixedU16(r->subjectLocation, 2, t, e); LfPresenceSet(m, 35); break;
    case TagNumber("ExposureIndex"): ReadRationals(r->exposureIndex, 1, t, e); LfPresenceSet(m, 36); break;
    case TagNumber("SensingMethod"): r->sensingMethod = t.ReadU16(e.value); LfPresenceSet(m, 37); break;
    case TagNumber("FileSource"): r->fileSource = t.ReadU8(e.value); LfPresenceSet(m, 38); break;
    case TagNumber("SceneType"): r->sceneType = t.ReadU8(e.value); LfPresenceSet(m, 39); break;
    case TagNumber("CFAPattern"): SetBlob(&r->cfaPattern, t, e); LfPresenceSet(m, 40); break;
    case TagNumber("UserComment"): SetBlob(&r->userComment, t, e); LfPresenceSet(m, 42); break;
    case TagNumber("CustomRendered"): r->customRendered = t.ReadU16(e.value); LfPresenceSet(m, 43); break;
    case TagNumber("ExposureMode"): r->exposureMode = t.ReadU16(e.value); LfPresenceSet(m, 44); break;
    case TagNumber("WhiteBalance"): r->whiteBalance = t.ReadU16(e.value); LfPresenceSet(m, 45); break;
    case TagNumber("DigitalZoomRatio"): ReadRationals(r->digitalZoomRatio, 1, t, e); LfPresenceSet(m, 46); break;
    case TagNumber("FocalLengthIn35mmFilm"): r->focalLengthIn35mmFilm = t.ReadU16(e.value); LfPresenceSet(m, 47); break;
    case TagNumber("SceneCaptureType"): r->sceneCaptureType = t.ReadU16(e.value); LfPresenceSet(m, 48); break;
    case TagNumber("GainControl"): r->gainControl = t.ReadU16(e.value); LfPresenceSet(m, 49); break;
    case TagNumber("Contrast"): r->contrast = t.ReadU16(e.value); LfPresenceSet(m, 50); break;
    case TagNumber("Saturation"): r->saturation = t.ReadU16(e.value); LfPresenceSet(m, 51); break;
    case TagNumber("Sharpness"): r->sharpness = t.ReadU16(e.value); LfPresenceSet(m, 52); break;
    case TagNumber("DeviceSettingDescription"): SetBlob(&r->deviceSettingDescription, t, e); LfPresenceSet(m, 53); break;
    case TagNumber("SubjectDistanceRange"): r->subjectDistanceRange = t.ReadU16(e.value); LfPresenceSet(m, 54); break;
    case TagNumber("SubjectArea"): SetU16List(&r->subjectArea, t, e.value, e.count); LfPresenceSet(m, 55); break;
    case TagNumber("InteroperabilityIFDPointer"): {
      uint32_t sub = t.ReadU32(e.value);
      uint64_t end = uint64_t{sub} + 2;
      if (end > t.size() || end + 12ull * t.ReadU16(sub) > t.size()) break;
      if (ReadInteropDirectory(&r->interoperability, t.ReadU16(sub), t, sub + 2) == S_OK) {
        LfPresenceSet(m, 41);
      }
      break;
    }
    default: break;
  }
}

void ReadGpsTag(LfGpsDirRecord* r, ByteView t, const Entry& e) {
  LfPresenceMask* m = &r->presence;
  switch (e.tag) {
    case TagNumber("GPSVersionID"): SetRaw4(r->versionID, t, e); LfPresenceSet(m, 0); break;
    case TagNumber("GPSLatitudeRef"): SetString(&r->latitudeRef, t, e); LfPresenceSet(m, 1); break;
    case TagNumber("GPSLatitude"): ReadRationals(r->latitude, 3, t, e); LfPresenceSet(m, 2); break;
    case TagNumber("GPSLongitudeRef"): SetString(&r->longitudeRef, t, e); LfPresenceSet(m, 3); break;
    case TagNumber("GPSLongitude"): ReadRationals(r->longitude, 3, t, e); LfPresenceSet(m, 4); break;
    case TagNumber("GPSAltitudeRef"): r->altitudeRef = t.ReadU8(e.value); LfPresenceSet(m, 5); break;
    case TagNumber("GPSAltitude"): ReadRationals(r->altitude, 1, t, e); LfPresenceSet(m, 6); break;
    case TagNumber("GPSTimeStamp"): ReadRationals(r->timeStamp, 3, t, e); LfPresenceSet(m, 7); break;
    case TagNumber("GPSSatellites"): SetString(&r->satellites, t, e); LfPresenceSet(m, 8); break;
    case TagNumber("GPSStatus"): SetString(&r->status, t, e); LfPresenceSet(m, 9); break;
    case TagNumber("GPSMeasureMode"): SetString(&r->measureMode, t, e); LfPresenceSet(m, 10); break;
    case TagNumber("GPSDOP"): ReadRationals(r->dop, 1, t, e); LfPresenceSet(m, 11); break;
    case TagNumber("GPSSpeedRef"): SetString(&r->speedRef, t, e); LfPresenceSet(m, 12); break;
    case TagNumber("GPSSpeed"): ReadRationals(r->speed, 1, t, e); LfPresenceSet(m, 13); break;
    case TagNumber("GPSTrackRef"): SetString(&r->trackRef, t, e); LfPresenceSet(m, 14); break;
    case TagNumber("GPSTrack"): ReadRationals(r->track, 1, t, e); LfPresenceSet(m, 15); break;
    case TagNumber("GPSImgDirectionRef"): SetString(&r->imgDirectionRef, t, e); LfPresenceSet(m, 16); break;
    case TagNumber("GPSImgDirection"): ReadRationals(r->imgDirection, 1, t, e); LfPresenceSet(m, 17); break;
    case TagNumber("GPSMapDatum"): SetString(&r->mapDatum, t, e); LfPresenceSet(m, 18); break;
    case TagNumber("GPSDestLatitudeRef"): SetString(&r->destLatitudeRef, t, e); LfPresenceSet(m, 19); break;
    case TagNumber("GPSDestLatitude"): ReadRationals(r->destLatitude, 3, t, e); LfPresenceSet(m, 20); break;
    case TagNumber("GPSDestLongitudeRef"): SetString(&r->destLongitudeRef, t, e); LfPresenceSet(m, 21); break;
    case TagNumber("GPSDestLongitude"): ReadRationals(r->destLongitude, 3, t, e); LfPresenceSet(m, 22); break;
    case TagNumber("GPSDestBearingRef"): SetString(&r->destBearingRef, t, e); LfPresenceSet(m, 23); break;
    case TagNumber("GPSDestBearing"): ReadRationals(r->destBearing, 1, t, e); LfPresenceSet(m, 24); break;
    case TagNumber("GPSDestDistanceRef"): SetString(&r->destDistanceRef, t, e); LfPresenceSet(m, 25); break;
    case TagNumber("GPSDestDistance"): ReadRationals(r->destDistance, 1, t, e); LfPresenceSet(m, 26); break;
    case kGpsProcessingData: SetBlob(&r->processingData, t, e); LfPresenceSet(m, 27); break;
    case kGpsAreaData: SetBlob(&r->areaData, t, e); LfPresenceSet(m, 28); break;
    case kGpsDateText: SetString(&r->dateText, t, e); LfPresenceSet(m, 29); break;
    case kGpsDifferential: r->differential = t.ReadU16(e.value); LfPresenceSet(m, 30); break;
    default: break;  // 0x1B to 0x27 and everything above 0x2B
  }
}

// True when the sub-directory at `sub` (its count word and all its entries) lies inside the data.
bool SubDirectoryFits(ByteView t, uint32_t sub) {
  uint64_t first = uint64_t{sub} + 2;
  return first < t.size() && first + 12ull * t.ReadU16(sub) <= t.size();
}

// Unlinks and frees the nodes appended after the list held `count` entries (records untouched).
void TruncateList(LfExifRecord* list, uint32_t count) {
  while (list->head && list->count > count) {
    LfRecordNode* last = list->head->prev;
    last->prev->next = list->head;
    list->head->prev = last->prev;
    free(last);
    --list->count;
  }
}

}  // namespace

int64_t FindJpegMarker(uint16_t marker, ByteView bytes) {
  exif::MemorySource source(bytes);
  exif::JpegSegmentScanner scan(source, {.standaloneSoi = true});
  exif::JpegSegment segment;
  uint64_t at = 0;  // where the walk looks next
  while (scan.Next(&segment)) {
    if (segment.marker == marker) return static_cast<int64_t>(segment.offset);
    if (segment.marker == exif::kJpegSos) {
      // Only the end of the image lies behind the scan: the first 0xFF 0xD9 in its data.
      if (marker != exif::kJpegEoi) return -1;
      const exif::JpegImageEnd end =
          exif::FindJpegImageEnd(bytes, segment.offset + 2, exif::ScanMarkers::kAny);
      return end.found() ? static_cast<int64_t>(end.eoi()) : -1;
    }
    at = segment.next;
  }
  // A marker whose length word the end of the data cuts is still the marker looked for.
  if (scan.end() == exif::JpegScanEnd::kCutLength && bytes.ReadU16BE(at) == marker) {
    return static_cast<int64_t>(at);
  }
  return -1;
}

HRESULT ParseApp1ToRecord(ByteView segment, LfExifRecord* list, uint32_t mask) {
  if (segment.empty() || !list || !(mask & LF_SEL_ALLOWED)) return E_INVALIDARG;
  const uint8_t* tag = segment.Pointer(4, 4);
  if (segment.ReadU16BE(0) != exif::kJpegApp1 || !tag || memcmp(tag, "Exif", 4) != 0) return E_FAIL;
  uint32_t declared = (uint32_t{segment.ReadU16BE(2)} - 8) & 0xFFFF;
  ByteView tiff = segment.From(10);
  return ParseTiffToRecord(ByteView(tiff.data(), std::min<size_t>(declared, tiff.size())), list, mask);
}

HRESULT ParseTiffToRecord(ByteView data, LfExifRecord* list, uint32_t mask) {
  if (data.empty() || !list || !(mask & LF_SEL_ALLOWED)) return E_INVALIDARG;
  // The byte order is read from the header and carried by the view from here on.
  uint16_t mark = data.WithOrder(exif::kLittleEndian).ReadU16(0);
  if (mark != kTiffLittle && mark != kTiffBig) return E_FAIL;
  ByteView tiff = data.WithOrder(mark == kTiffBig ? exif::kBigEndian : exif::kLittleEndian);
  uint32_t first = tiff.ReadU32(4);
  if (tiff.ReadU16(2) == 0x2A00 || first < 8) return E_FAIL;

  LfImageDirRecord* ifd0 = (mask & LF_SEL_IFD0) ? LfImageDirRecordNew() : nullptr;
  LfExifDirRecord* exifDir = (mask & LF_SEL_EXIF) ? LfExifDirRecordNew() : nullptr;
  LfGpsDirRecord* gps = (mask & LF_SEL_GPS) ? LfGpsDirRecordNew() : nullptr;
  LfImageDirRecord* ifd1 = nullptr;
  auto freeAll = [&] {
    LfImageDirRecordFree(ifd0);
    LfExifDirRecordFree(exifDir);
    LfGpsDirRecordFree(gps);
    LfImageDirRecordFree(ifd1);
  };

  int64_t end = WalkImageDirectory(tiff, first, {ifd0, exifDir, gps});
  if (end < 0) {
    freeAll();
    return E_FAIL;
  }
  if (mask & LF_SEL_IFD1) {
    uint32_t link = tiff.ReadU32(static_cast<uint64_t>(end));
    if (link != 0) {
      ifd1 = LfImageDirRecordNew();
      if (WalkImageDirectory(tiff, link, {ifd1, nullptr, nullptr}) < 0) {
        freeAll();
        return E_FAIL;
      }
    }
  }

  const uint32_t before = list->count;
  const std::pair<uint32_t, void*> made[] = {
      {LF_SEL_IFD0, ifd0}, {LF_SEL_EXIF, exifDir}, {LF_SEL_GPS, gps}, {LF_SEL_IFD1, ifd1}};
  for (const auto& [selector, record] : made) {
    if (record && !LfRecordListAppend(list, selector, record)) {
      TruncateList(list, before);
      freeAll();
      return E_OUTOFMEMORY;
    }
  }
  return S_OK;
}

int64_t WalkImageDirectory(ByteView tiff, uint32_t offset, const RecordTargets& targets) {
  const uint64_t size = tiff.size();
  if (tiff.empty() || size <= uint64_t{offset} + 2) return -1;
  const uint64_t count = tiff.ReadU16(offset);
  const uint64_t end = uint64_t{offset} + 2 + 12 * count;
  if (size <= end) return -1;
  if (count == 0) return static_cast<int64_t>(offset) + 2;
  ForEachEntry(tiff, uint64_t{offset} + 2, count, [&](const Entry& e) {
    if (targets.image) ReadImageTag(targets.image, tiff, e);
    if (e.tag == TagNumber("ExifIFDPointer") && targets.exif) {
      uint32_t sub = tiff.ReadU32(e.value);
      if (SubDirectoryFits(tiff, sub) &&
          ReadExifDirectory(targets.exif, tiff.ReadU16(sub), tiff, sub + 2) == S_OK &&
          targets.image) {
        LfPresenceSet(&targets.image->presence, 30);
      }
    } else if (e.tag == TagNumber("GPSInfoIFDPointer") && targets.gps) {
      uint32_t sub = tiff.ReadU32(e.value);
      if (SubDirectoryFits(tiff, sub) &&
          ReadGpsDirectory(targets.gps, tiff.ReadU16(sub), tiff, sub + 2) == S_OK &&
          targets.image) {
        LfPresenceSet(&targets.image->presence, 31);
      }
    }
  });
  return static_cast<int64_t>(end);
}

HRESULT ReadExifDirectory(LfExifDirRecord* record, uint32_t count, ByteView tiff,
                          uint32_t firstEntry) {
  if (!record || tiff.empty()) return E_INVALIDARG;
  ForEachEntry(tiff, firstEntry, count, [&](const Entry& e) { ReadExifTag(record, tiff, e); });
  return S_OK;
}

HRESULT ReadInteropDirectory(LfInteropRecord* record, uint32_t count, ByteView tiff,
                             uint32_t firstEntry) {
  if (!record || tiff.empty()) return E_INVALIDARG;
  ForEachEntry(tiff, firstEntry, count, [&](const Entry& e) {
    LfPresenceMask* m = &record->presence;
    switch (e.tag) {
      case TagNumber("InteroperabilityIndex"): SetString(&record->interoperabilityIndex, tiff, e); LfPresenceSet(m, 0); break;
      case TagNumber("InteroperabilityVersion"): SetRaw4(record->interoperabilityVersion, tiff, e); LfPresenceSet(m, 1); break;
      case TagNumber("RelatedImageFileFormat"): SetString(&record->relatedImageFileFormat, tiff, e); LfPresenceSet(m, 2); break;
      case TagNumber("RelatedImageWidth"): record->relatedImageWidth = ReadTyped(tiff, e); LfPresenceSet(m, 3); break;
      case TagNumber("RelatedImageLength"): record->relatedImageLength = ReadTyped(tiff, e); LfPresenceSet(m, 4); break;
      default: break;
    }
  });
  return S_OK;
}

HRESULT ReadGpsDirectory(LfGpsDirRecord* record, uint32_t count, ByteView tiff,
                         uint32_t firstEntry) {
  if (!record || tiff.empty()) return E_INVALIDARG;
  ForEachEntry(tiff, firstEntry, count, [&](const Entry& e) { ReadGpsTag(record, tiff, e); });
  return S_OK;
}

namespace {

// A JPEG's records come from its first APP1 segment alone: the marker walk reads the segment
// headers from the file, and only the bytes the segment parser may look at are loaded (the TIFF
// data its length word declares, within the file), not the image data behind them.
bool ReadApp1Segment(const char* path, std::vector<uint8_t>* segment) {
  platform::File file =
      platform::File::Open(path, platform::Access::Read, platform::Disposition::OpenExisting);
  uint64_t length = 0;
  if (!file || !file.Length(&length)) return false;
  exif::FileSource source(file, length);
  exif::JpegSegmentScanner scan(source, {.standaloneSoi = true});
  exif::JpegSegment record;
  uint64_t at = 0;  // where the walk looks next
  bool found = false;
  while (!found && scan.Next(&record)) {
    if (record.marker == exif::kJpegSos) return false;
    found = record.marker == exif::kJpegApp1;
    at = found ? record.offset : record.next;
  }
  uint8_t head[4] = {};
  const size_t headSize = static_cast<size_t>(std::min<uint64_t>(4, length - std::min(at, length)));
  if (!file.ReadExactAt(at, head, headSize) || headSize < 2 || (head[0] << 8 | head[1]) != exif::kJpegApp1) {
    return false;
  }
  // A marker whose length word the end of the file cuts is still the segment looked for.
  if (!found && scan.end() != exif::JpegScanEnd::kCutLength) return false;
  const uint32_t declared = headSize < 4 ? 0 : ((uint32_t{head[2]} << 8 | head[3]) - 8) & 0xFFFF;
  const uint64_t size = std::min<uint64_t>(10 + uint64_t{declared}, length - at);
  try {
    segment->assign(static_cast<size_t>(size), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return file.ReadExactAt(at, segment->data(), segment->size());
}

}  // namespace

HRESULT ReadExifRecord(const char* path, LfExifRecord* list, uint32_t mask) {
  if (!path || !*path || !list || !(mask & LF_SEL_ALLOWED)) return E_INVALIDARG;
  uint32_t isExif = 0;
  HRESULT probe = exif::ProbeExif(path, &isExif);
  if (probe < 0) return probe;
  if (!isExif) return E_NO_EXIF;

  FileKind kind = GetFileKind(path);
  if (kind != KIND_TIFF && kind != KIND_JPEG) return E_FAIL;
  std::vector<uint8_t> bytes;
  HRESULT result;
  if (kind == KIND_TIFF) {
    if (!platform::ReadWholeFile(path, &bytes, kMaxWholeFile)) return E_FAIL;
    result = ParseTiffToRecord(ByteView(bytes.data(), bytes.size()), list, mask);
  } else {
    if (!ReadApp1Segment(path, &bytes)) return E_FAIL;
    result = ParseApp1ToRecord(ByteView(bytes.data(), bytes.size()), list, mask);
  }
  return result < 0 ? E_FAIL : S_OK;
}

}  // namespace lf::record
