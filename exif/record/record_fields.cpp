// SPDX-License-Identifier: MIT
#include "exif/record/record_fields.h"

#include <cstring>

#include "exif/model/field_types.h"
#include "exif/record/record_list.h"

namespace lf::record {
namespace {

using exif::ByteOrder;

// Fills a FieldValue: the entry's type and count, its value bytes in the file's order.
class FieldEncoder {
 public:
  FieldEncoder(ByteOrder order, FieldValue* out) : order_(order), out_(out) {}

  void Shorts(const uint16_t* v, size_t n) {
    Start(exif::kTypeShort, n, 2);
    for (size_t i = 0; i < n; ++i) View().WriteU16(2 * i, v[i]);
  }
  void Short(uint16_t v) { Shorts(&v, 1); }
  void Longs(const uint32_t* v, size_t n) {
    Start(exif::kTypeLong, n, 4);
    for (size_t i = 0; i < n; ++i) View().WriteU32(4 * i, v[i]);
  }
  void Long(uint32_t v) { Longs(&v, 1); }
  // SHORT when the field was read as SHORT, LONG otherwise.
  void ShortOrLong(uint32_t v, uint16_t type) {
    if (type == exif::kTypeShort) Short(static_cast<uint16_t>(v)); else Long(v);
  }
  void ShortOrLongArray(const LfU32List& a, uint16_t type) {
    const size_t n = static_cast<size_t>(a.size);
    if (type == exif::kTypeShort) {
      Start(exif::kTypeShort, n, 2);
      for (size_t i = 0; i < n; ++i) View().WriteU16(2 * i, static_cast<uint16_t>(a.data[i]));
    } else {
      Longs(a.data, n);
    }
  }
  void ShortArray(const LfU16List& a) { Shorts(a.data, static_cast<size_t>(a.size)); }
  // `n` rationals: numerator and denominator of each.
  void Rationals(const uint32_t* v, size_t n, uint16_t type = exif::kTypeRational) {
    Start(type, n, 8);
    for (size_t i = 0; i < 2 * n; ++i) View().WriteU32(4 * i, v[i]);
  }
  void SRational(const int32_t* v) {
    const uint32_t u[2] = {static_cast<uint32_t>(v[0]), static_cast<uint32_t>(v[1])};
    Rationals(u, 1, exif::kTypeSRational);
  }
  // The text and its terminating NUL.
  void Ascii(const LfString& s) {
    const size_t n = s.text ? ::strnlen(s.text, kMaxValueBytes) : 0;
    Start(exif::kTypeAscii, n + 1, 1);
    if (n) std::memcpy(out_->bytes.data(), s.text, n);
  }
  void Bytes(const uint8_t* p, size_t n, uint16_t type = exif::kTypeUndefined) {
    Start(type, n, 1);
    if (n) std::memcpy(out_->bytes.data(), p, n);
  }
  void Blob(const LfByteArray& a) { Bytes(a.data, static_cast<size_t>(a.size)); }

 private:
  void Start(uint16_t type, size_t count, size_t width) {
    out_->type = type;
    out_->count = static_cast<uint32_t>(count);
    out_->bytes.assign(count * width, 0);
  }
  exif::MutableByteView View() const { return {out_->bytes.data(), out_->bytes.size(), order_}; }

  ByteOrder order_;
  FieldValue* out_;
};

template <typename Record>
struct Field {
  uint16_t tag;
  uint8_t bit;
  void (*encode)(const Record&, FieldEncoder&);
};

template <typename Record, size_t N>
std::vector<FieldValue> Present(const Record& r, const Field<Record> (&table)[N], ByteOrder order) {
  std::vector<FieldValue> out;
  for (const Field<Record>& f : table) {
    if (!LfPresenceHas(&r.presence, f.bit)) continue;
    FieldValue v;
    v.tag = f.tag;
    FieldEncoder encoder(order, &v);
    f.encode(r, encoder);
    out.push_back(std::move(v));
  }
  return out;
}

using Image = LfImageDirRecord;
const Field<Image> kImageFields[] = {
    {0x0100, 0, [](const Image& r, FieldEncoder& e) { e.ShortOrLong(r.imageWidth, r.imageWidthType); }},
    {0x0101, 1, [](const Image& r, FieldEncoder& e) { e.ShortOrLong(r.imageLength, r.imageLengthType); }},
    {0x0102, 2, [](const Image& r, FieldEncoder& e) { e.Shorts(r.bitsPerSample, 3); }},
    {0x0103, 3, [](const Image& r, FieldEncoder& e) { e.Short(r.compression); }},
    {0x0106, 4, [](const Image& r, FieldEncoder& e) { e.Short(r.photometricInterpretation); }},
    {0x010E, 24, [](const Image& r, FieldEncoder& e) { e.Ascii(r.imageDescription); }},
    {0x010F, 25, [](const Image& r, FieldEncoder& e) { e.Ascii(r.make); }},
    {0x0110, 26, [](const Image& r, FieldEncoder& e) { e.Ascii(r.model); }},
    {0x0111, 12, [](const Image& r, FieldEncoder& e) { e.ShortOrLongArray(r.stripOffsets, r.stripOffsetsType); }},
    {0x0112, 5, [](const Image& r, FieldEncoder& e) { e.Short(r.orientation); }},
    {0x0115, 6, [](const Image& r, FieldEncoder& e) { e.Short(r.samplesPerPixel); }},
    {0x0116, 13, [](const Image& r, FieldEncoder& e) { e.ShortOrLong(r.rowsPerStrip, r.rowsPerStripType); }},
    {0x0117, 14, [](const Image& r, FieldEncoder& e) { e.ShortOrLongArray(r.stripByteCounts, r.stripByteCountsType); }},
    {0x011A, 9, [](const Image& r, FieldEncoder& e) { e.Rationals(r.xResolution, 1); }},
    {0x011B, 10, [](const Image& r, FieldEncoder& e) { e.Rationals(r.yResolution, 1); }},
    {0x011C, 15, [](const Image& r, FieldEncoder& e) { e.Short(r.planarConfiguration); }},
    {0x0128, 11, [](const Image& r, FieldEncoder& e) { e.Short(r.resolutionUnit); }},
    {0x012D, 16, [](const Image& r, FieldEncoder& e) { e.Shorts(r.transferFunction, 768); }},
    {0x0131, 27, [](const Image& r, FieldEncoder& e) { e.Ascii(r.software); }},
    {0x0132, 23, [](const Image& r, FieldEncoder& e) { e.Ascii(r.dateTime); }},
    {0x013B, 28, [](const Image& r, FieldEncoder& e) { e.Ascii(r.artist); }},
    {0x013E, 17, [](const Image& r, FieldEncoder& e) { e.Rationals(r.whitePoint, 2); }},
    {0x013F, 18, [](const Image& r, FieldEncoder& e) { e.Rationals(r.primaryChromaticities, 6); }},
    {0x0201, 19, [](const Image& r, FieldEncoder& e) { e.Long(r.jpegInterchangeFormat); }},
    {0x0202, 20, [](const Image& r, FieldEncoder& e) { e.Long(r.jpegInterchangeFormatLength); }},
    {0x0211, 21, [](const Image& r, FieldEncoder& e) { e.Rationals(r.yCbCrCoefficients, 3); }},
    {0x0212, 7, [](const Image& r, FieldEncoder& e) { e.Shorts(r.yCbCrSubSampling, 2); }},
    {0x0213, 8, [](const Image& r, FieldEncoder& e) { e.Short(r.yCbCrPositioning); }},
    {0x0214, 22, [](const Image& r, FieldEncoder& e) { e.Rationals(r.referenceBlackWhite, 6); }},
    {0x8298, 29, [](const Image& r, FieldEncoder& e) { e.Ascii(r.copyright); }},
    {0xC4A5, 32, [](const Image& r, FieldEncoder& e) { e.Blob(r.printIM); }},
};

using Exif = LfExifDirRecord;
const Field<Exif> kExifFields[] = {
    {0x829A, 14, [](const Exif& r, FieldEncoder& e) { e.Rationals(r.exposureTime, 1); }},
    {0x829D, 15, [](const Exif& r, FieldEncoder& e) { e.Rationals(r.fNumber, 1); }},
    {0x8822, 16, [](const Exif& r, FieldEncoder& e) { e.Short(r.exposureProgram); }},
    {0x8824, 17, [](const Exif& r, FieldEncoder& e) { e.Ascii(r.spectralSensitivity); }},
    {0x8827, 18, [](const Exif& r, FieldEncoder& e) { e.ShortArray(r.isoSpeedRatings); }},
    {0x8828, 19, [](const Exif& r, FieldEncoder& e) { e.Blob(r.oecf); }},
    {0x9000, 0, [](const Exif& r, FieldEncoder& e) { e.Bytes(r.exifVersion, 4); }},
    {0x9003, 9, [](const Exif& r, FieldEncoder& e) { e.Ascii(r.dateTimeOriginal); }},
    {0x9004, 10, [](const Exif& r, FieldEncoder& e) { e.Ascii(r.dateTimeDigitized); }},
    {0x9101, 3, [](const Exif& r, FieldEncoder& e) { e.Bytes(r.componentsConfiguration, 4); }},
    {0x9102, 4, [](const Exif& r, FieldEncoder& e) { e.Rationals(r.compressedBitsPerPixel, 1); }},
    {0x9201, 20, [](const Exif& r, FieldEncoder& e) { e.SRational(r.shutterSpeedValue); }},
    {0x9202, 21, [](const Exif& r, FieldEncoder& e) { e.Rationals(r.apertureValue, 1); }},
    {0x9203, 22, [](const Exif& r, FieldEncoder& e) { e.SRational(r.brightnessValue); }},
    {0x9204, 23, [](const Exif& r, FieldEncoder& e) { e.SRational(r.exposureBiasValue); }},
    {0x9205, 24, [](const Exif& r, FieldEncoder& e) { e.Rationals(r.maxApertureValue, 1); }},
    {0x9206, 25, [](const Exif& r, FieldEncoder& e) { e.Rationals(r.subjectDistance, 1); }},
    {0x9207, 26, [](const Exif& r, FieldEncoder& e) { e.Short(r.meteringMode); }},
    {0x9208, 27, [](const Exif& r, FieldEncoder& e) { e.Short(r.lightSource); }},
    {0x9209, 28, [](const Exif& r, FieldEncoder& e) { e.Short(r.flash); }},
    {0x920A, 29, [](const Exif& r, FieldEncoder& e) { e.Rationals(r.focalLength, 1); }},
    {0x9214, 55, [](const Exif& r, FieldEncoder& e) { e.ShortArray(r.subjectArea); }},
    {0x927C, 7, [](const Exif& r, FieldEncoder& e) { e.Blob(r.makerNote); }},
    {0x9286, 42, [](const Exif& r, FieldEncoder& e) { e.Blob(r.userComment); }},
    {0x9290, 11, [](const Exif& r, FieldEncoder& e) { e.Ascii(r.subSecTime); }},
    {0x9291, 12, [](const Exif& r, FieldEncoder& e) { e.Ascii(r.subSecTimeOriginal); }},
    {0x9292, 13, [](const Exif& r, FieldEncoder& e) { e.Ascii(r.subSecTimeDigitized); }},
    {0xA000, 1, [](const Exif& r, FieldEncoder& e) { e.Bytes(r.flashpixVersion, 4); }},
    {0xA001, 2, [](const Exif& r, FieldEncoder& e) { e.Short(r.colorSpace); }},
    {0xA002, 5, [](const Exif& r, FieldEncoder& e) { e.ShortOrLong(r.pixelXDimension, r.pixelXDimensionType); }},
    {0xA003, 6, [](const Exif& r, FieldEncoder& e) { e.ShortOrLong(r.pixelYDimension, r.pixelYDimensionType); }},
    {0xA004, 8, [](const Exif& r, FieldEncoder& e) { e.Ascii(r.relatedSoundFile); }},
    // The Interoperability pointer: its value is where that directory is laid.
    {0xA005, 41, [](const Exif&, FieldEncoder& e) { e.Long(0); }},
    {0xA20B, 30, [](const Exif& r, FieldEncoder& e) { e.Rationals(r.flashEnergy, 1); }},
    {0xA20C, 31, [](const Exif& r, FieldEncoder& e) { e.Blob(r.spatialFrequencyResponse); }},
    {0xA20E, 32, [](const Exif& r, FieldEncoder& e) { e.Rationals(r.focalPlaneXResolution, 1); }},
    {0xA20F, 33, [](const Exif& r, FieldEncoder& e) { e.Rationals(r.focalPlaneYResolution, 1); }},
    {0xA210, 34, [](const Exif& r, FieldEncoder& e) { e.Short(r.focalPlaneResolutionUnit); }},
    {0xA214, 35, [](const Exif& r, FieldEncoder& e) { e.Shorts(r.subjectLocation, 2); }},
    {0xA215, 36, [](const Exif& r, FieldEncoder& e) { e.Rationals(r.exposureIndex, 1); }},
    {0xA217, 37, [](const Exif& r, FieldEncoder& e) { e.Short(r.sensingMethod); }},
    {0xA300, 38, [](const Exif& r, FieldEncoder& e) { e.Bytes(&r.fileSource, 1); }},
    {0xA301, 39, [](const Exif& r, FieldEncoder& e) { e.Bytes(&r.sceneType, 1); }},
    {0xA302, 40, [](const Exif& r, FieldEncoder& e) { e.Blob(r.cfaPattern); }},
    {0xA401, 43, [](const Exif& r, FieldEncoder& e) { e.Short(r.customRendered); }},
    {0xA402, 44, [](const Exif& r, FieldEncoder& e) { e.Short(r.exposureMode); }},
    {0xA403, 45, [](const Exif& r, FieldEncoder& e) { e.Short(r.whiteBalance); }},
    {0xA404, 46, [](const Exif& r, FieldEncoder& e) { e.Rationals(r.digitalZoomRatio, 1); }},
    {0xA405, 47, [](const Exif& r, FieldEncoder& e) { e.Short(r.focalLengthIn35mmFilm); }},
    {0xA406, 48, [](const Exif& r, FieldEncoder& e) { e.Short(r.sceneCaptureType); }},
    {0xA407, 49, [](const Exif& r, FieldEncoder& e) { e.Short(r.gainControl); }},
    {0xA408, 50, [](const Exif& r, FieldEncoder& e) { e.Short(r.contrast); }},
    {0xA409, 51, [](const Exif& r, FieldEncoder& e) { e.Short(r.saturation); }},
    {0xA40A, 52, [](const Exif& r, FieldEncoder& e) { e.Short(r.sharpness); }},
    {0xA40B, 53, [](const Exif& r, FieldEncoder& e) { e.Blob(r.deviceSettingDescription); }},
    {0xA40C, 54, [](const Exif& r, FieldEncoder& e) { e.Short(r.subjectDistanceRange); }},
};

using Interop = LfInteropRecord;
const Field<Interop> kInteropFields[] = {
    {0x0001, 0, [](const Interop& r, FieldEncoder& e) { e.Ascii(r.interoperabilityIndex); }},
    {0x0002, 1, [](const Interop& r, FieldEncoder& e) { e.Bytes(r.interoperabilityVersion, 4); }},
    {0x1000, 2, [](const Interop& r, FieldEncoder& e) { e.Ascii(r.relatedImageFileFormat); }},
    {0x1001, 3, [](const Interop& r, FieldEncoder& e) { e.Long(r.relatedImageWidth); }},
    {0x1002, 4, [](const Interop& r, FieldEncoder& e) { e.Long(r.relatedImageLength); }},
};

using Gps = LfGpsDirRecord;
const Field<Gps> kGpsFields[] = {
    {0x0000, 0, [](const Gps& r, FieldEncoder& e) { e.Bytes(r.versionID, 4, exif::kTypeByte); }},
    {0x0001, 1, [](const Gps& r, FieldEncoder& e) { e.Ascii(r.latitudeRef); }},
    {0x0002, 2, [](const Gps& r, FieldEncoder& e) { e.Rationals(r.latitude, 3); }},
    {0x0003, 3, [](const Gps& r, FieldEncoder& e) { e.Ascii(r.longitudeRef); }},
    {0x0004, 4, [](const Gps& r, FieldEncoder& e) { e.Rationals(r.longitude, 3); }},
    {0x0005, 5, [](const Gps& r, FieldEncoder& e) { e.Bytes(&r.altitudeRef, 1, exif::kTypeByte); }},
    {0x0006, 6, [](const Gps& r, FieldEncoder& e) { e.Rationals(r.altitude, 1); }},
    {0x0007, 7, [](const Gps& r, FieldEncoder& e) { e.Rationals(r.timeStamp, 3); }},
    {0x0008, 8, [](const Gps& r, FieldEncoder& e) { e.Ascii(r.satellites); }},
    {0x0009, 9, [](const Gps& r, FieldEncoder& e) { e.Ascii(r.status); }},
    {0x000A, 10, [](const Gps& r, FieldEncoder& e) { e.Ascii(r.measureMode); }},
    {0x000B, 11, [](const Gps& r, FieldEncoder& e) { e.Rationals(r.dop, 1); }},
    {0x000C, 12, [](const Gps& r, FieldEncoder& e) { e.Ascii(r.speedRef); }},
    {0x000D, 13, [](const Gps& r, FieldEncoder& e) { e.Rationals(r.speed, 1); }},
    {0x000E, 14, [](const Gps& r, FieldEncoder& e) { e.Ascii(r.trackRef); }},
    {0x000F, 15, [](const Gps& r, FieldEncoder& e) { e.Rationals(r.track, 1); }},
    {0x0010, 16, [](const Gps& r, FieldEncoder& e) { e.Ascii(r.imgDirectionRef); }},
    {0x0011, 17, [](const Gps& r, FieldEncoder& e) { e.Rationals(r.imgDirection, 1); }},
    {0x0012, 18, [](const Gps& r, FieldEncoder& e) { e.Ascii(r.mapDatum); }},
    {0x0013, 19, [](const Gps& r, FieldEncoder& e) { e.Ascii(r.destLatitudeRef); }},
    {0x0014, 20, [](const Gps& r, FieldEncoder& e) { e.Rationals(r.destLatitude, 3); }},
    {0x0015, 21, [](const Gps& r, FieldEncoder& e) { e.Ascii(r.destLongitudeRef); }},
    {0x0016, 22, [](const Gps& r, FieldEncoder& e) { e.Rationals(r.destLongitude, 3); }},
    {0x0017, 23, [](const Gps& r, FieldEncoder& e) { e.Ascii(r.destBearingRef); }},
    {0x0018, 24, [](const Gps& r, FieldEncoder& e) { e.Rationals(r.destBearing, 1); }},
    {0x0019, 25, [](const Gps& r, FieldEncoder& e) { e.Ascii(r.destDistanceRef); }},
    {0x001A, 26, [](const Gps& r, FieldEncoder& e) { e.Rationals(r.destDistance, 1); }},
    {0x0028, 27, [](const Gps& r, FieldEncoder& e) { e.Blob(r.processingData); }},
    {0x0029, 28, [](const Gps& r, FieldEncoder& e) { e.Blob(r.areaData); }},
    {0x002A, 29, [](const Gps& r, FieldEncoder& e) { e.Ascii(r.dateText); }},
    {0x002B, 30, [](const Gps& r, FieldEncoder& e) { e.Short(r.differential); }},
};

}  // namespace

std::vector<FieldValue> PresentFields(const LfImageDirRecord& r, ByteOrder order) { return Present(r, kImageFields, order); }
std::vector<FieldValue> PresentFields(const LfExifDirRecord& r, ByteOrder order) { return Present(r, kExifFields, order); }
std::vector<FieldValue> PresentFields(const LfInteropRecord& r, ByteOrder order) { return Present(r, kInteropFields, order); }
std::vector<FieldValue> PresentFields(const LfGpsDirRecord& r, ByteOrder order) { return Present(r, kGpsFields, order); }

}  // namespace lf::record
