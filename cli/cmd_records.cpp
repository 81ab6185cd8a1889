// SPDX-License-Identifier: MIT
// lumenframe records FILE... [--json]: the flat directory records GetStillImageInfo delivers for
// IFD0, the Exif IFD (with its Interoperability record), the GPS IFD and IFD1: every field whose
// presence bit is set, by its tag name.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "cli/batch.h"

namespace lf::cli {
namespace {

enum class Kind { U8, U16, U32, Rational, SRational, Raw4, Text, Bytes, U16List, U32List };

struct Field {
  const char* name;
  uint16_t tag;
  unsigned bit;
  size_t offset;
  Kind kind;
  int count = 1;  // values (rationals count as one each)
};

#define LF_FIELD(R, member, name, tag, bit, kind, ...) \
  Field { name, tag, bit, offsetof(R, member), Kind::kind, ##__VA_ARGS__ }

#define IMG(...) LF_FIELD(LfImageDirRecord, __VA_ARGS__)
const Field kImageFields[] = {
    IMG(imageWidth, "ImageWidth", 0x0100, 0, U32),
    IMG(imageLength, "ImageLength", 0x0101, 1, U32),
    IMG(bitsPerSample, "BitsPerSample", 0x0102, 2, U16, 3),
    IMG(compression, "Compression", 0x0103, 3, U16),
    IMG(photometricInterpretation, "PhotometricInterpretation", 0x0106, 4, U16),
    IMG(orientation, "Orientation", 0x0112, 5, U16),
    IMG(samplesPerPixel, "SamplesPerPixel", 0x0115, 6, U16),
    IMG(yCbCrSubSampling, "YCbCrSubSampling", 0x0212, 7, U16, 2),
    IMG(yCbCrPositioning, "YCbCrPositioning", 0x0213, 8, U16),
    IMG(xResolution, "XResolution", 0x011A, 9, Rational),
    IMG(yResolution, "YResolution", 0x011B, 10, Rational),
    IMG(resolutionUnit, "ResolutionUnit", 0x0128, 11, U16),
    IMG(stripOffsets, "StripOffsets", 0x0111, 12, U32List),
    IMG(rowsPerStrip, "RowsPerStrip", 0x0116, 13, U32),
    IMG(stripByteCounts, "StripByteCounts", 0x0117, 14, U32List),
    IMG(planarConfiguration, "PlanarConfiguration", 0x011C, 15, U16),
    IMG(transferFunction, "TransferFunction", 0x012D, 16, U16, 768),
    IMG(whitePoint, "WhitePoint", 0x013E, 17, Rational, 2),
    IMG(primaryChromaticities, "PrimaryChromaticities", 0x013F, 18, Rational, 6),
    IMG(jpegInterchangeFormat, "JPEGInterchangeFormat", 0x0201, 19, U32),
    IMG(jpegInterchangeFormatLength, "JPEGInterchangeFormatLength", 0x0202, 20, U32),
    IMG(yCbCrCoefficients, "YCbCrCoefficients", 0x0211, 21, Rational, 3),
    IMG(referenceBlackWhite, "ReferenceBlackWhite", 0x0214, 22, Rational, 6),
    IMG(dateTime, "DateTime", 0x0132, 23, Text),
    IMG(imageDescription, "ImageDescription", 0x010E, 24, Text),
    IMG(make, "Make", 0x010F, 25, Text),
    IMG(model, "Model", 0x0110, 26, Text),
    IMG(software, "Software", 0x0131, 27, Text),
    IMG(artist, "Artist", 0x013B, 28, Text),
    IMG(copyright, "Copyright", 0x8298, 29, Text),
    IMG(printIM, "PrintIM", 0xC4A5, 32, Bytes),
};
#undef IMG

#define EXF(...) LF_FIELD(LfExifDirRecord, __VA_ARGS__)
const Field kExifFields[] = {
    EXF(exifVersion, "ExifVersion", 0x9000, 0, Raw4),
    EXF(flashpixVersion, "FlashpixVersion", 0xA000, 1, Raw4),
    EXF(colorSpace, "ColorSpace", 0xA001, 2, U16),
    EXF(componentsConfiguration, "ComponentsConfiguration", 0x9101, 3, Raw4),
    EXF(compressedBitsPerPixel, "CompressedBitsPerPixel", 0x9102, 4, Rational),
    EXF(pixelXDimension, "PixelXDimension", 0xA002, 5, U32),
    EXF(pixelYDimension, "PixelYDimension", 0xA003, 6, U32),
    EXF(makerNote, "MakerNote", 0x927C, 7, Bytes),
    EXF(relatedSoundFile, "RelatedSoundFile", 0xA004, 8, Text),
    EXF(dateTimeOriginal, "DateTimeOriginal", 0x9003, 9, Text),
    EXF(dateTimeDigitized, "DateTimeDigitized", 0x9004, 10, Text),
    EXF(subSecTime, "SubSecTime", 0x9290, 11, Text),
    EXF(subSecTimeOriginal, "SubSecTimeOriginal", 0x9291, 12, Text),
    EXF(subSecTimeDigitized, "SubSecTimeDigitized", 0x9292, 13, Text),
    EXF(exposureTime, "ExposureTime", 0x829A, 14, Rational),
    EXF(fNumber, "FNumber", 0x829D, 15, Rational),
    EXF(exposureProgram, "ExposureProgram", 0x8822, 16, U16),
    EXF(spectralSensitivity, "SpectralSensitivity", 0x8824, 17, Text),
    EXF(isoSpeedRatings, "ISOSpeedRatings", 0x8827, 18, U16List),
    EXF(oecf, "OECF", 0x8828, 19, Bytes),
    EXF(shutterSpeedValue, "ShutterSpeedValue", 0x9201, 20, SRational),
    EXF(apertureValue, "ApertureValue", 0x9202, 21, Rational),
    EXF(brightnessValue, "BrightnessValue", 0x9203, 22, SRational),
    EXF(exposureBiasValue, "ExposureBiasValue", 0x9204, 23, SRational),
    EXF(maxApertureValue, "MaxApertureValue", 0x9205, 24, Rational),
    EXF(subjectDistance, "SubjectDistance", 0x9206, 25, Rational),
    EXF(meteringMode, "MeteringMode", 0x9207, 26, U16),
    EXF(lightSource, "LightSource", 0x9208, 27, U16),
    EXF(flash, "Flash", 0x9209, 28, U16),
    EXF(focalLength, "FocalLength", 0x920A, 29, Rational),
    EXF(flashEnergy, "FlashEnergy", 0xA20B, 30, Rational),
    EXF(spatialFrequencyResponse, "SpatialFrequencyResponse", 0xA20C, 31, Bytes),
    EXF(focalPlaneXResolution, "FocalPlaneXResolution", 0xA20E, 32, Rational),
    EXF(focalPlaneYResolution, "FocalPlaneYResolution", 0xA20F, 33, Rational),
    EXF(focalPlaneResolutionUnit, "FocalPlaneResolutionUnit", 0xA210, 34, U16),
    EXF(subjectLocation, "SubjectLocation", 0xA214, 35, U16, 2),
    EXF(exposureIndex, "ExposureIndex", 0xA215, 36, Rational),
    EXF(sensingMethod, "SensingMethod", 0xA217, 37, U16),
    EXF(fileSource, "FileSource", 0xA300, 38, U8),
    EXF(sceneType, "SceneType", 0xA301, 39, U8),
    EXF(cfaPattern, "CFAPattern", 0xA302, 40, Bytes),
    EXF(userComment, "UserComment", 0x9286, 42, Bytes),
    EXF(customRendered, "CustomRendered", 0xA401, 43, U16),
    EXF(exposureMode, "ExposureMode", 0xA402, 44, U16),
    EXF(whiteBalance, "WhiteBalance", 0xA403, 45, U16),
    EXF(digitalZoomRatio, "DigitalZoomRatio", 0xA404, 46, Rational),
    EXF(focalLengthIn35mmFilm, "FocalLengthIn35mmFilm", 0xA405, 47, U16),
    EXF(sceneCaptureType, "SceneCaptureType", 0xA406, 48, U16),
    EXF(gainControl, "GainControl", 0xA407, 49, U16),
    EXF(contrast, "Contrast", 0xA408, 50, U16),
    EXF(saturation, "Saturation", 0xA409, 51, U16),
    EXF(sharpness, "Sharpness", 0xA40A, 52, U16),
    EXF(deviceSettingDescription, "DeviceSettingDescription", 0xA40B, 53, Bytes),
    EXF(subjectDistanceRange, "SubjectDistanceRange", 0xA40C, 54, U16),
    EXF(subjectArea, "SubjectArea", 0x9214, 55, U16List),
};
#undef EXF

#define IOP(...) LF_FIELD(LfInteropRecord, __VA_ARGS__)
const Field kInteropFields[] = {
    IOP(interoperabilityIndex, "InteroperabilityIndex", 0x0001, 0, Text),
    IOP(interoperabilityVersion, "InteroperabilityVersion", 0x0002, 1, Raw4),
    IOP(relatedImageFileFormat, "RelatedImageFileFormat", 0x1000, 2, Text),
    IOP(relatedImageWidth, "RelatedImageWidth", 0x1001, 3, U32),
    IOP(relatedImageLength, "RelatedImageLength", 0x1002, 4, U32),
};
#undef IOP

#define GPS(...) LF_FIELD(LfGpsDirRecord, __VA_ARGS__)
const Field kGpsFields[] = {
    GPS(versionID, "GPSVersionID", 0x0000, 0, Raw4),
    GPS(latitudeRef, "GPSLatitudeRef", 0x0001, 1, Text),
    GPS(latitude, "GPSLatitude", 0x0002, 2, Rational, 3),
    GPS(longitudeRef, "GPSLongitudeRef", 0x0003, 3, Text),
    GPS(longitude, "GPSLongitude", 0x0004, 4, Rational, 3),
    GPS(altitudeRef, "GPSAltitudeRef", 0x0005, 5, U8),
    GPS(altitude, "GPSAltitude", 0x0006, 6, Rational),
    GPS(timeStamp, "GPSTimeStamp", 0x0007, 7, Rational, 3),
    GPS(satellites, "GPSSatellites", 0x0008, 8, Text),
    GPS(status, "GPSStatus", 0x0009, 9, Text),
    GPS(measureMode, "GPSMeasureMode", 0x000A, 10, Text),
    GPS(dop, "GPSDOP", 0x000B, 11, Rational),
    GPS(speedRef, "GPSSpeedRef", 0x000C, 12, Text),
    GPS(speed, "GPSSpeed", 0x000D, 13, Rational),
    GPS(trackRef, "GPSTrackRef", 0x000E, 14, Text),
    GPS(track, "GPSTrack", 0x000F, 15, Rational),
    GPS(imgDirectionRef, "GPSImgDirectionRef", 0x0010, 16, Text),
    GPS(imgDirection, "GPSImgDirection", 0x0011, 17, Rational),
    GPS(mapDatum, "GPSMapDatum", 0x0012, 18, Text),
    GPS(destLatitudeRef, "GPSDestLatitudeRef", 0x0013, 19, Text),
    GPS(destLatitude, "GPSDestLatitude", 0x0014, 20, Rational, 3),
    GPS(destLongitudeRef, "GPSDestLongitudeRef", 0x0015, 21, Text),
    GPS(destLongitude, "GPSDestLongitude", 0x0016, 22, Rational, 3),
    GPS(destBearingRef, "GPSDestBearingRef", 0x0017, 23, Text),
    GPS(destBearing, "GPSDestBearing", 0x0018, 24, Rational),
    GPS(destDistanceRef, "GPSDestDistanceRef", 0x0019, 25, Text),
    GPS(destDistance, "GPSDestDistance", 0x001A, 26, Rational),
    GPS(processingData, "GPSProcessingMethod", 0x0028, 27, Bytes),
    GPS(areaData, "GPSAreaInformation", 0x0029, 28, Bytes),
    GPS(dateText, "GPSDateStamp", 0x002A, 29, Text),
    GPS(differential, "GPSDifferential", 0x002B, 30, U16),
};
#undef GPS
#undef LF_FIELD

template <typename T>
T At(const void* record, size_t offset, int index = 0) {
  T v;
  std::memcpy(&v, static_cast<const uint8_t*>(record) + offset + sizeof(T) * index, sizeof v);
  return v;
}

std::string Hex(const uint8_t* data, size_t size) {
  std::string out;
  char b[4];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(b, sizeof b, "%02x", data[i]);
    out += b;
  }
  return out;
}

// Every value of a field, as text and as JSON: numbers as numbers (a list when the field holds
// several), rationals as [numerator, denominator], texts as strings, byte arrays in hexadecimal.
struct Value {
  std::string text;
  Json json;
};

Value ValueOf(const Field& f, const void* r) {
  Value v;
  Json list = Json::array();
  auto add = [&](const std::string& text, Json json) {
    v.text += (v.text.empty() ? "" : " ") + text;
    list.push_back(std::move(json));
  };
  switch (f.kind) {
    case Kind::U8: {
      const uint8_t n = At<uint8_t>(r, f.offset);
      return {std::to_string(n), n};
    }
    case Kind::U32: {
      const uint32_t n = At<uint32_t>(r, f.offset);
      return {std::to_string(n), n};
    }
    case Kind::U16:
      for (int i = 0; i < f.count; ++i) {
        const uint16_t n = At<uint16_t>(r, f.offset, i);
        add(std::to_string(n), n);
      }
      break;
    case Kind::Rational:
      for (int i = 0; i < f.count; ++i) {
        const uint32_t n = At<uint32_t>(r, f.offset, 2 * i),
                       d = At<uint32_t>(r, f.offset, 2 * i + 1);
        add(std::to_string(n) + "/" + std::to_string(d), {n, d});
      }
      break;
    case Kind::SRational:
      for (int i = 0; i < f.count; ++i) {
        const int32_t n = At<int32_t>(r, f.offset, 2 * i), d = At<int32_t>(r, f.offset, 2 * i + 1);
        add(std::to_string(n) + "/" + std::to_string(d), {n, d});
      }
      break;
    case Kind::Raw4: {
      const auto raw = At<std::array<uint8_t, 4>>(r, f.offset);
      bool printable = true;
      for (uint8_t c : raw) printable = printable && c >= 0x20 && c < 0x7F;
      v.text = printable ? std::string(raw.begin(), raw.end()) : Hex(raw.data(), raw.size());
      return {v.text, v.text};
    }
    case Kind::Text: {
      const auto s = At<LfString>(r, f.offset);
      v.text = s.text ? s.text : "";
      return {v.text, v.text};
    }
    case Kind::Bytes: {
      const auto b = At<LfByteArray>(r, f.offset);
      const size_t n = b.data && b.size > 0 ? static_cast<size_t>(b.size) : 0;
      v.text = std::to_string(n) + " bytes";
      if (n) v.text += ": " + Hex(b.data, std::min<size_t>(n, 16)) + (n > 16 ? "..." : "");
      return {v.text, n ? Hex(b.data, n) : std::string()};
    }
    case Kind::U16List: {
      const auto l = At<LfU16List>(r, f.offset);
      for (int32_t i = 0; l.data && i < l.size; ++i) add(std::to_string(l.data[i]), l.data[i]);
      break;
    }
    case Kind::U32List: {
      const auto l = At<LfU32List>(r, f.offset);
      for (int32_t i = 0; l.data && i < l.size; ++i) add(std::to_string(l.data[i]), l.data[i]);
      break;
    }
  }
  v.json = list.size() == 1 ? list[0] : list;
  return v;
}

struct Directory {
  const char* name;
  const Field* fields;
  size_t count;
};

Directory DirectoryOf(uint32_t selector) {
  switch (selector) {
    case LF_SEL_IFD0: return {"IFD0", kImageFields, std::size(kImageFields)};
    case LF_SEL_IFD1: return {"IFD1", kImageFields, std::size(kImageFields)};
    case LF_SEL_EXIF: return {"ExifIFD", kExifFields, std::size(kExifFields)};
    case LF_SEL_GPS: return {"GPS", kGpsFields, std::size(kGpsFields)};
    default: return {"?", nullptr, 0};
  }
}

const LfPresenceMask* PresenceOf(uint32_t selector, const void* record) {
  switch (selector) {
    case LF_SEL_IFD0:
    case LF_SEL_IFD1: return &static_cast<const LfImageDirRecord*>(record)->presence;
    case LF_SEL_EXIF: return &static_cast<const LfExifDirRecord*>(record)->presence;
    case LF_SEL_GPS: return &static_cast<const LfGpsDirRecord*>(record)->presence;
    default: return nullptr;
  }
}

// The present fields of one record as (name, value, quote) rows; the Exif record's
// Interoperability fields follow it under their own names.
struct Row {
  std::string name;
  Value value;
};

void CollectRows(const Field* fields, size_t count, const void* record, const LfPresenceMask& mask,
                 std::vector<Row>* rows) {
  for (size_t i = 0; i < count; ++i) {
    if (!LfPresenceHas(&mask, fields[i].bit)) continue;
    rows->push_back({fields[i].name, ValueOf(fields[i], record)});
  }
}

std::vector<Row> RowsOf(uint32_t selector, const void* record) {
  std::vector<Row> rows;
  const Directory d = DirectoryOf(selector);
  const LfPresenceMask* mask = PresenceOf(selector, record);
  if (!mask) return rows;
  CollectRows(d.fields, d.count, record, *mask, &rows);
  if (selector == LF_SEL_EXIF) {
    const LfInteropRecord& interop = static_cast<const LfExifDirRecord*>(record)->interoperability;
    CollectRows(kInteropFields, std::size(kInteropFields), &interop, interop.presence, &rows);
  }
  return rows;
}

struct Entry {
  uint32_t selector;
  const void* record;
};

// The directory records of one file, in the order delivered.
std::vector<Entry> EntriesOf(const LfStillImageOutput& out) {
  std::vector<Entry> entries;
  if (out.list.count >= 2) {
    for (const LfRecordNode* n = out.list.head->next; n != out.list.head; n = n->next) {
      entries.push_back({n->selector, n->record});
    }
  } else if (out.single.record) {
    entries.push_back({static_cast<uint32_t>(out.single.selector), out.single.record});
  }
  return entries;
}

Outcome Records(const Module& m, const std::string& file) {
  LfStillImageOutput records{};
  const LF_RESULT r = m.GetStillImageInfo(file.c_str(), &records,
                                          LF_SEL_IFD0 | LF_SEL_EXIF | LF_SEL_GPS | LF_SEL_IFD1);
  Outcome out;
  out.ok = r == LF_S_OK;
  out.record["result"] = ResultJson(r);
  out.text = file + "\n";
  if (!out.ok) out.error = file + ": " + ResultSentence(r, Action::kRead);
  for (const Entry& e : EntriesOf(records)) {
    const char* name = DirectoryOf(e.selector).name;
    Json fields = Json::object();
    out.text += "  [" + std::string(name) + "]\n";
    char line[64];
    for (const Row& row : RowsOf(e.selector, e.record)) {
      std::snprintf(line, sizeof line, "    %-28s ", row.name.c_str());
      out.text += line + row.value.text + "\n";
      fields[row.name] = row.value.json;
    }
    out.record[name] = fields;
  }
  LfStillImageOutputFree(&records);
  return out;
}

Runner Declare(CLI::App& app) {
  auto files = std::make_shared<std::vector<std::string>>();
  app.add_option("files", *files, "files or folders")->required();
  return [files](const Module& m, const Options& o) {
    return RunBatch(o, ExpandInputs(m, *files, o.recursive),
                    [&](const std::string& f, size_t) { return Records(m, f); });
  };
}

LF_CLI_COMMAND({"records", "the EXIF directory records GetStillImageInfo delivers", Declare});

}  // namespace
}  // namespace lf::cli
