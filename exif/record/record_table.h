// SPDX-License-Identifier: MIT
// The fields of the flat directory records (LfImageDirRecord for IFD0 and IFD1, LfExifDirRecord,
// its LfInteropRecord, LfGpsDirRecord): one row per field saying which tag it holds, its presence
// bit, where it lies in the record, how its value is kept and written, and whether the APP1 merge
// may take it. The record reader, the record writer, the merge and the tool's `records` command
// all read these rows. Header-only constant data: the tool, which loads the module at run time,
// includes it without linking the module's code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "exif/model/field_types.h"
#include "exif/model/tag_table.h"
#include "lumenframe/lumenframe.h"

namespace lf::record {

// The presence bits of each record (the public header's field comments give the same numbers).
namespace image_bit {
enum : uint8_t {
  kImageWidth = 0,
  kImageLength = 1,
  kBitsPerSample = 2,
  kCompression = 3,
  kPhotometric = 4,
  kOrientation = 5,
  kSamplesPerPixel = 6,
  kYCbCrSubSampling = 7,
  kYCbCrPositioning = 8,
  kXResolution = 9,
  kYResolution = 10,
  kResolutionUnit = 11,
  kStripOffsets = 12,
  kRowsPerStrip = 13,
  kStripByteCounts = 14,
  kPlanarConfiguration = 15,
  kTransferFunction = 16,
  kWhitePoint = 17,
  kPrimaryChromaticities = 18,
  kJpegInterchangeFormat = 19,
  kJpegInterchangeFormatLength = 20,
  kYCbCrCoefficients = 21,
  kReferenceBlackWhite = 22,
  kDateTime = 23,
  kImageDescription = 24,
  kMake = 25,
  kModel = 26,
  kSoftware = 27,
  kArtist = 28,
  kCopyright = 29,
  kExifRead = 30,  // an Exif sub-directory was read
  kGpsRead = 31,   // a GPS sub-directory was read
  kPrintIm = 32,
};
}  // namespace image_bit

namespace exif_bit {
enum : uint8_t {
  kExifVersion = 0,
  kFlashpixVersion = 1,
  kColorSpace = 2,
  kComponentsConfiguration = 3,
  kCompressedBitsPerPixel = 4,
  kPixelXDimension = 5,
  kPixelYDimension = 6,
  kMakerNote = 7,
  kRelatedSoundFile = 8,
  kDateTimeOriginal = 9,
  kDateTimeDigitized = 10,
  kSubSecTime = 11,
  kSubSecTimeOriginal = 12,
  kSubSecTimeDigitized = 13,
  kExposureTime = 14,
  kFNumber = 15,
  kExposureProgram = 16,
  kSpectralSensitivity = 17,
  kIsoSpeedRatings = 18,
  kOecf = 19,
  kShutterSpeedValue = 20,
  kApertureValue = 21,
  kBrightnessValue = 22,
  kExposureBiasValue = 23,
  kMaxApertureValue = 24,
  kSubjectDistance = 25,
  kMeteringMode = 26,
  kLightSource = 27,
  kFlash = 28,
  kFocalLength = 29,
  kFlashEnergy = 30,
  kSpatialFrequencyResponse = 31,
  kFocalPlaneXResolution = 32,
  kFocalPlaneYResolution = 33,
  kFocalPlaneResolutionUnit = 34,
  kSubjectLocation = 35,
  kExposureIndex = 36,
  kSensingMethod = 37,
  kFileSource = 38,
  kSceneType = 39,
  kCfaPattern = 40,
  kInteroperability = 41,  // the Interoperability directory was read
  kUserComment = 42,
  kCustomRendered = 43,
  kExposureMode = 44,
  kWhiteBalance = 45,
  kDigitalZoomRatio = 46,
  kFocalLengthIn35mmFilm = 47,
  kSceneCaptureType = 48,
  kGainControl = 49,
  kContrast = 50,
  kSaturation = 51,
  kSharpness = 52,
  kDeviceSettingDescription = 53,
  kSubjectDistanceRange = 54,
  kSubjectArea = 55,
};
}  // namespace exif_bit

namespace interop_bit {
enum : uint8_t {
  kIndex = 0,
  kVersion = 1,
  kRelatedImageFileFormat = 2,
  kRelatedImageWidth = 3,
  kRelatedImageLength = 4,
};
}  // namespace interop_bit

namespace gps_bit {
enum : uint8_t {
  kVersionId = 0,
  kLatitudeRef = 1,
  kLatitude = 2,
  kLongitudeRef = 3,
  kLongitude = 4,
  kAltitudeRef = 5,
  kAltitude = 6,
  kTimeStamp = 7,
  kSatellites = 8,
  kStatus = 9,
  kMeasureMode = 10,
  kDop = 11,
  kSpeedRef = 12,
  kSpeed = 13,
  kTrackRef = 14,
  kTrack = 15,
  kImgDirectionRef = 16,
  kImgDirection = 17,
  kMapDatum = 18,
  kDestLatitudeRef = 19,
  kDestLatitude = 20,
  kDestLongitudeRef = 21,
  kDestLongitude = 22,
  kDestBearingRef = 23,
  kDestBearing = 24,
  kDestDistanceRef = 25,
  kDestDistance = 26,
  kProcessingData = 27,
  kAreaData = 28,
  kDateText = 29,
  kDifferential = 30,
};
}  // namespace gps_bit

// The record's own numbers for its last four GPS fields (not those of the tag table).
inline constexpr uint16_t kGpsProcessingData = 0x0028;
inline constexpr uint16_t kGpsAreaData = 0x0029;
inline constexpr uint16_t kGpsDateText = 0x002A;
inline constexpr uint16_t kGpsDifferential = 0x002B;

// How a field is kept in its record.
enum class FieldKind : uint8_t {
  kU8,            // one byte
  kU16,           // `count` SHORTs (one is read whatever the entry's count)
  kU32,           // one LONG
  kShortOrLong,   // one SHORT or LONG; the type read is kept at typeOffset (0: not kept, LONG)
  kRational,      // `count` RATIONALs, numerator and denominator each
  kSRational,     // `count` SRATIONALs
  kRaw4,          // four bytes as stored
  kText,          // LfString
  kBytes,         // LfByteArray
  kU16List,       // LfU16List of SHORTs
  kU32List,       // LfU32List of SHORTs or LONGs, the type read kept at typeOffset
  kSubDirectory,  // the Interoperability pointer: its fields are the embedded interop record
};

struct RecordField {
  uint32_t selector;  // LF_SEL_IFD0 (also IFD1's rows), LF_SEL_EXIF, LF_SEL_INTEROP, LF_SEL_GPS
  uint16_t tag;
  uint8_t bit;
  FieldKind kind;
  uint16_t count;       // values of a kU16, kRational or kSRational field
  uint16_t type;        // the field type it is written with (a kept type overrides it)
  uint16_t offset;      // of the value in the record
  uint16_t typeOffset;  // of the uint16_t type kept beside it, or 0
  bool mergeable;       // the APP1 merge may insert or replace it
  const char* name;     // the name the tool prints
};

constexpr uint16_t WrittenType(FieldKind kind) {
  switch (kind) {
    case FieldKind::kU8:
    case FieldKind::kRaw4:
    case FieldKind::kBytes: return exif::kTypeUndefined;
    case FieldKind::kU16:
    case FieldKind::kU16List: return exif::kTypeShort;
    case FieldKind::kRational: return exif::kTypeRational;
    case FieldKind::kSRational: return exif::kTypeSRational;
    case FieldKind::kText: return exif::kTypeAscii;
    default: return exif::kTypeLong;
  }
}

// A row: the tag comes from the tag table by the name the tool prints.
#define LF_ROW(sel, R, member, name, bit, kind, count, merge)                              \
  RecordField {                                                                            \
    sel, exif::TagNumber(name), bit, FieldKind::kind, count, WrittenType(FieldKind::kind), \
        offsetof(R, member), 0, merge, name                                                \
  }
// A row whose SHORT-or-LONG type is kept in `member##Type`.
#define LF_TYPED(sel, R, member, name, bit, kind, merge)                                       \
  RecordField {                                                                                \
    sel, exif::TagNumber(name), bit, FieldKind::kind, 1, exif::kTypeLong, offsetof(R, member), \
        offsetof(R, member##Type), merge, name                                                 \
  }
#define LF_IMG(...) LF_ROW(LF_SEL_IFD0, LfImageDirRecord, __VA_ARGS__)
#define LF_EXIF(...) LF_ROW(LF_SEL_EXIF, LfExifDirRecord, __VA_ARGS__)
#define LF_IOP(...) LF_ROW(LF_SEL_INTEROP, LfInteropRecord, __VA_ARGS__)
#define LF_GPS(...) LF_ROW(LF_SEL_GPS, LfGpsDirRecord, __VA_ARGS__)

// Grouped by record, each group in ascending tag order (the order the writer lays them in).
// clang-format off
inline constexpr RecordField kRecordFields[] = {
    LF_TYPED(LF_SEL_IFD0, LfImageDirRecord, imageWidth, "ImageWidth", image_bit::kImageWidth, kShortOrLong, true),
    LF_TYPED(LF_SEL_IFD0, LfImageDirRecord, imageLength, "ImageLength", image_bit::kImageLength, kShortOrLong, true),
    LF_IMG(bitsPerSample, "BitsPerSample", image_bit::kBitsPerSample, kU16, 3, false),
    LF_IMG(compression, "Compression", image_bit::kCompression, kU16, 1, true),
    LF_IMG(photometricInterpretation, "PhotometricInterpretation", image_bit::kPhotometric, kU16, 1, true),
    LF_IMG(imageDescription, "ImageDescription", image_bit::kImageDescription, kText, 1, false),
    LF_IMG(make, "Make", image_bit::kMake, kText, 1, false),
    LF_IMG(model, "Model", image_bit::kModel, kText, 1, false),
    LF_TYPED(LF_SEL_IFD0, LfImageDirRecord, stripOffsets, "StripOffsets", image_bit::kStripOffsets, kU32List, false),
    LF_IMG(orientation, "Orientation", image_bit::kOrientation, kU16, 1, true),
    LF_IMG(samplesPerPixel, "SamplesPerPixel", image_bit::kSamplesPerPixel, kU16, 1, true),
    LF_TYPED(LF_SEL_IFD0, LfImageDirRecord, rowsPerStrip, "RowsPerStrip", image_bit::kRowsPerStrip, kShortOrLong, true),
    LF_TYPED(LF_SEL_IFD0, LfImageDirRecord, stripByteCounts, "StripByteCounts", image_bit::kStripByteCounts, kU32List, false),
    LF_IMG(xResolution, "XResolution", image_bit::kXResolution, kRational, 1, false),
    LF_IMG(yResolution, "YResolution", image_bit::kYResolution, kRational, 1, false),
    LF_IMG(planarConfiguration, "PlanarConfiguration", image_bit::kPlanarConfiguration, kU16, 1, true),
    LF_IMG(resolutionUnit, "ResolutionUnit", image_bit::kResolutionUnit, kU16, 1, true),
    LF_IMG(transferFunction, "TransferFunction", image_bit::kTransferFunction, kU16, 768, false),
    LF_IMG(software, "Software", image_bit::kSoftware, kText, 1, false),
    LF_IMG(dateTime, "DateTime", image_bit::kDateTime, kText, 1, false),
    LF_IMG(artist, "Artist", image_bit::kArtist, kText, 1, false),
    LF_IMG(whitePoint, "WhitePoint", image_bit::kWhitePoint, kRational, 2, false),
    LF_IMG(primaryChromaticities, "PrimaryChromaticities", image_bit::kPrimaryChromaticities, kRational, 6, false),
    // The thumbnail's place: the merge keeps its own, as the record's names bytes of another file.
    LF_IMG(jpegInterchangeFormat, "JPEGInterchangeFormat", image_bit::kJpegInterchangeFormat, kU32, 1, false),
    LF_IMG(jpegInterchangeFormatLength, "JPEGInterchangeFormatLength", image_bit::kJpegInterchangeFormatLength, kU32, 1, false),
    LF_IMG(yCbCrCoefficients, "YCbCrCoefficients", image_bit::kYCbCrCoefficients, kRational, 3, false),
    LF_IMG(yCbCrSubSampling, "YCbCrSubSampling", image_bit::kYCbCrSubSampling, kU16, 2, false),
    LF_IMG(yCbCrPositioning, "YCbCrPositioning", image_bit::kYCbCrPositioning, kU16, 1, true),
    LF_IMG(referenceBlackWhite, "ReferenceBlackWhite", image_bit::kReferenceBlackWhite, kRational, 6, false),
    LF_IMG(copyright, "Copyright", image_bit::kCopyright, kText, 1, false),
    LF_IMG(printIM, "PrintIM", image_bit::kPrintIm, kBytes, 1, true),

    LF_EXIF(exposureTime, "ExposureTime", exif_bit::kExposureTime, kRational, 1, false),
    LF_EXIF(fNumber, "FNumber", exif_bit::kFNumber, kRational, 1, false),
    LF_EXIF(exposureProgram, "ExposureProgram", exif_bit::kExposureProgram, kU16, 1, true),
    LF_EXIF(spectralSensitivity, "SpectralSensitivity", exif_bit::kSpectralSensitivity, kText, 1, false),
    LF_EXIF(isoSpeedRatings, "ISOSpeedRatings", exif_bit::kIsoSpeedRatings, kU16List, 1, false),
    LF_EXIF(oecf, "OECF", exif_bit::kOecf, kBytes, 1, true),
    LF_EXIF(exifVersion, "ExifVersion", exif_bit::kExifVersion, kRaw4, 1, false),
    LF_EXIF(dateTimeOriginal, "DateTimeOriginal", exif_bit::kDateTimeOriginal, kText, 1, false),
    LF_EXIF(dateTimeDigitized, "DateTimeDigitized", exif_bit::kDateTimeDigitized, kText, 1, false),
    LF_EXIF(componentsConfiguration, "ComponentsConfiguration", exif_bit::kComponentsConfiguration, kRaw4, 1, false),
    LF_EXIF(compressedBitsPerPixel, "CompressedBitsPerPixel", exif_bit::kCompressedBitsPerPixel, kRational, 1, false),
    LF_EXIF(shutterSpeedValue, "ShutterSpeedValue", exif_bit::kShutterSpeedValue, kSRational, 1, false),
    LF_EXIF(apertureValue, "ApertureValue", exif_bit::kApertureValue, kRational, 1, false),
    LF_EXIF(brightnessValue, "BrightnessValue", exif_bit::kBrightnessValue, kSRational, 1, false),
    LF_EXIF(exposureBiasValue, "ExposureBiasValue", exif_bit::kExposureBiasValue, kSRational, 1, false),
    LF_EXIF(maxApertureValue, "MaxApertureValue", exif_bit::kMaxApertureValue, kRational, 1, false),
    LF_EXIF(subjectDistance, "SubjectDistance", exif_bit::kSubjectDistance, kRational, 1, false),
    LF_EXIF(meteringMode, "MeteringMode", exif_bit::kMeteringMode, kU16, 1, true),
    LF_EXIF(lightSource, "LightSource", exif_bit::kLightSource, kU16, 1, true),
    LF_EXIF(flash, "Flash", exif_bit::kFlash, kU16, 1, true),
    LF_EXIF(focalLength, "FocalLength", exif_bit::kFocalLength, kRational, 1, false),
    LF_EXIF(subjectArea, "SubjectArea", exif_bit::kSubjectArea, kU16List, 1, false),
    LF_EXIF(makerNote, "MakerNote", exif_bit::kMakerNote, kBytes, 1, true),
    LF_EXIF(userComment, "UserComment", exif_bit::kUserComment, kBytes, 1, true),
    LF_EXIF(subSecTime, "SubSecTime", exif_bit::kSubSecTime, kText, 1, false),
    LF_EXIF(subSecTimeOriginal, "SubSecTimeOriginal", exif_bit::kSubSecTimeOriginal, kText, 1, false),
    LF_EXIF(subSecTimeDigitized, "SubSecTimeDigitized", exif_bit::kSubSecTimeDigitized, kText, 1, false),
    LF_EXIF(flashpixVersion, "FlashpixVersion", exif_bit::kFlashpixVersion, kRaw4, 1, false),
    LF_EXIF(colorSpace, "ColorSpace", exif_bit::kColorSpace, kU16, 1, true),
    LF_TYPED(LF_SEL_EXIF, LfExifDirRecord, pixelXDimension, "PixelXDimension", exif_bit::kPixelXDimension, kShortOrLong, true),
    LF_TYPED(LF_SEL_EXIF, LfExifDirRecord, pixelYDimension, "PixelYDimension", exif_bit::kPixelYDimension, kShortOrLong, true),
    LF_EXIF(relatedSoundFile, "RelatedSoundFile", exif_bit::kRelatedSoundFile, kText, 1, false),
    // Its value is where the Interoperability directory is laid.
    LF_EXIF(interoperability, "InteroperabilityIFDPointer", exif_bit::kInteroperability, kSubDirectory, 1, false),
    LF_EXIF(flashEnergy, "FlashEnergy", exif_bit::kFlashEnergy, kRational, 1, false),
    LF_EXIF(spatialFrequencyResponse, "SpatialFrequencyResponse", exif_bit::kSpatialFrequencyResponse, kBytes, 1, true),
    LF_EXIF(focalPlaneXResolution, "FocalPlaneXResolution", exif_bit::kFocalPlaneXResolution, kRational, 1, false),
    LF_EXIF(focalPlaneYResolution, "FocalPlaneYResolution", exif_bit::kFocalPlaneYResolution, kRational, 1, false),
    LF_EXIF(focalPlaneResolutionUnit, "FocalPlaneResolutionUnit", exif_bit::kFocalPlaneResolutionUnit, kU16, 1, true),
    LF_EXIF(subjectLocation, "SubjectLocation", exif_bit::kSubjectLocation, kU16, 2, false),
    LF_EXIF(exposureIndex, "ExposureIndex", exif_bit::kExposureIndex, kRational, 1, false),
    LF_EXIF(sensingMethod, "SensingMethod", exif_bit::kSensingMethod, kU16, 1, true),
    LF_EXIF(fileSource, "FileSource", exif_bit::kFileSource, kU8, 1, false),
    LF_EXIF(sceneType, "SceneType", exif_bit::kSceneType, kU8, 1, false),
    LF_EXIF(cfaPattern, "CFAPattern", exif_bit::kCfaPattern, kBytes, 1, true),
    LF_EXIF(customRendered, "CustomRendered", exif_bit::kCustomRendered, kU16, 1, true),
    LF_EXIF(exposureMode, "ExposureMode", exif_bit::kExposureMode, kU16, 1, true),
    LF_EXIF(whiteBalance, "WhiteBalance", exif_bit::kWhiteBalance, kU16, 1, true),
    LF_EXIF(digitalZoomRatio, "DigitalZoomRatio", exif_bit::kDigitalZoomRatio, kRational, 1, false),
    LF_EXIF(focalLengthIn35mmFilm, "FocalLengthIn35mmFilm", exif_bit::kFocalLengthIn35mmFilm, kU16, 1, true),
    LF_EXIF(sceneCaptureType, "SceneCaptureType", exif_bit::kSceneCaptureType, kU16, 1, true),
    LF_EXIF(gainControl, "GainControl", exif_bit::kGainControl, kU16, 1, true),
    LF_EXIF(contrast, "Contrast", exif_bit::kContrast, kU16, 1, true),
    LF_EXIF(saturation, "Saturation", exif_bit::kSaturation, kU16, 1, true),
    LF_EXIF(sharpness, "Sharpness", exif_bit::kSharpness, kU16, 1, true),
    LF_EXIF(deviceSettingDescription, "DeviceSettingDescription", exif_bit::kDeviceSettingDescription, kBytes, 1, true),
    LF_EXIF(subjectDistanceRange, "SubjectDistanceRange", exif_bit::kSubjectDistanceRange, kU16, 1, true),

    LF_IOP(interoperabilityIndex, "InteroperabilityIndex", interop_bit::kIndex, kText, 1, false),
    LF_IOP(interoperabilityVersion, "InteroperabilityVersion", interop_bit::kVersion, kRaw4, 1, false),
    LF_IOP(relatedImageFileFormat, "RelatedImageFileFormat", interop_bit::kRelatedImageFileFormat, kText, 1, false),
    LF_IOP(relatedImageWidth, "RelatedImageWidth", interop_bit::kRelatedImageWidth, kShortOrLong, 1, false),
    LF_IOP(relatedImageLength, "RelatedImageLength", interop_bit::kRelatedImageLength, kShortOrLong, 1, false),

    {LF_SEL_GPS, exif::TagNumber("GPSVersionID"), gps_bit::kVersionId, FieldKind::kRaw4, 1, exif::kTypeByte, offsetof(LfGpsDirRecord, versionID), 0, false, "GPSVersionID"},
    LF_GPS(latitudeRef, "GPSLatitudeRef", gps_bit::kLatitudeRef, kText, 1, false),
    LF_GPS(latitude, "GPSLatitude", gps_bit::kLatitude, kRational, 3, false),
    LF_GPS(longitudeRef, "GPSLongitudeRef", gps_bit::kLongitudeRef, kText, 1, false),
    LF_GPS(longitude, "GPSLongitude", gps_bit::kLongitude, kRational, 3, false),
    {LF_SEL_GPS, exif::TagNumber("GPSAltitudeRef"), gps_bit::kAltitudeRef, FieldKind::kU8, 1, exif::kTypeByte, offsetof(LfGpsDirRecord, altitudeRef), 0, false, "GPSAltitudeRef"},
    LF_GPS(altitude, "GPSAltitude", gps_bit::kAltitude, kRational, 1, false),
    LF_GPS(timeStamp, "GPSTimeStamp", gps_bit::kTimeStamp, kRational, 3, false),
    LF_GPS(satellites, "GPSSatellites", gps_bit::kSatellites, kText, 1, false),
    LF_GPS(status, "GPSStatus", gps_bit::kStatus, kText, 1, false),
    LF_GPS(measureMode, "GPSMeasureMode", gps_bit::kMeasureMode, kText, 1, false),
    LF_GPS(dop, "GPSDOP", gps_bit::kDop, kRational, 1, false),
    LF_GPS(speedRef, "GPSSpeedRef", gps_bit::kSpeedRef, kText, 1, false),
    LF_GPS(speed, "GPSSpeed", gps_bit::kSpeed, kRational, 1, false),
    LF_GPS(trackRef, "GPSTrackRef", gps_bit::kTrackRef, kText, 1, false),
    LF_GPS(track, "GPSTrack", gps_bit::kTrack, kRational, 1, false),
    LF_GPS(imgDirectionRef, "GPSImgDirectionRef", gps_bit::kImgDirectionRef, kText, 1, false),
    LF_GPS(imgDirection, "GPSImgDirection", gps_bit::kImgDirection, kRational, 1, false),
    LF_GPS(mapDatum, "GPSMapDatum", gps_bit::kMapDatum, kText, 1, false),
    LF_GPS(destLatitudeRef, "GPSDestLatitudeRef", gps_bit::kDestLatitudeRef, kText, 1, false),
    LF_GPS(destLatitude, "GPSDestLatitude", gps_bit::kDestLatitude, kRational, 3, false),
    LF_GPS(destLongitudeRef, "GPSDestLongitudeRef", gps_bit::kDestLongitudeRef, kText, 1, false),
    LF_GPS(destLongitude, "GPSDestLongitude", gps_bit::kDestLongitude, kRational, 3, false),
    LF_GPS(destBearingRef, "GPSDestBearingRef", gps_bit::kDestBearingRef, kText, 1, false),
    LF_GPS(destBearing, "GPSDestBearing", gps_bit::kDestBearing, kRational, 1, false),
    LF_GPS(destDistanceRef, "GPSDestDistanceRef", gps_bit::kDestDistanceRef, kText, 1, false),
    LF_GPS(destDistance, "GPSDestDistance", gps_bit::kDestDistance, kRational, 1, false),
    {LF_SEL_GPS, kGpsProcessingData, gps_bit::kProcessingData, FieldKind::kBytes, 1, exif::kTypeUndefined, offsetof(LfGpsDirRecord, processingData), 0, true, "GPSProcessingMethod"},
    {LF_SEL_GPS, kGpsAreaData, gps_bit::kAreaData, FieldKind::kBytes, 1, exif::kTypeUndefined, offsetof(LfGpsDirRecord, areaData), 0, false, "GPSAreaInformation"},
    {LF_SEL_GPS, kGpsDateText, gps_bit::kDateText, FieldKind::kText, 1, exif::kTypeAscii, offsetof(LfGpsDirRecord, dateText), 0, false, "GPSDateStamp"},
    {LF_SEL_GPS, kGpsDifferential, gps_bit::kDifferential, FieldKind::kU16, 1, exif::kTypeShort, offsetof(LfGpsDirRecord, differential), 0, false, "GPSDifferential"},
};
// clang-format on

#undef LF_GPS
#undef LF_IOP
#undef LF_EXIF
#undef LF_IMG
#undef LF_TYPED
#undef LF_ROW

// The rows of the record `selector` names (IFD1's are IFD0's); empty for any other selector.
constexpr std::span<const RecordField> FieldsOf(uint32_t selector) {
  if (selector == LF_SEL_IFD1) selector = LF_SEL_IFD0;
  size_t first = 0;
  while (first < std::size(kRecordFields) && kRecordFields[first].selector != selector) ++first;
  size_t last = first;
  while (last < std::size(kRecordFields) && kRecordFields[last].selector == selector) ++last;
  return std::span<const RecordField>(kRecordFields).subspan(first, last - first);
}

// The row of `tag` among `fields`, or nullptr.
constexpr const RecordField* FindField(std::span<const RecordField> fields, uint16_t tag) {
  for (const RecordField& f : fields) {
    if (f.tag == tag) return &f;
  }
  return nullptr;
}

// The presence mask of a record of `selector`.
inline const LfPresenceMask* PresenceOf(uint32_t selector, const void* record) {
  switch (selector) {
    case LF_SEL_IFD0:
    case LF_SEL_IFD1: return &static_cast<const LfImageDirRecord*>(record)->presence;
    case LF_SEL_EXIF: return &static_cast<const LfExifDirRecord*>(record)->presence;
    case LF_SEL_INTEROP: return &static_cast<const LfInteropRecord*>(record)->presence;
    case LF_SEL_GPS: return &static_cast<const LfGpsDirRecord*>(record)->presence;
    default: return nullptr;
  }
}
inline LfPresenceMask* PresenceOf(uint32_t selector, void* record) {
  return const_cast<LfPresenceMask*>(PresenceOf(selector, static_cast<const void*>(record)));
}

// The field of type T at `offset` of a record (element `index` of an array field), copied out:
// records are plain C structs, and a field may sit at an offset its type does not align to.
template <typename T>
T FieldAt(const void* record, size_t offset, size_t index = 0) {
  T v;
  std::memcpy(&v, static_cast<const uint8_t*>(record) + offset + sizeof(T) * index, sizeof v);
  return v;
}

}  // namespace lf::record
