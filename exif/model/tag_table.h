// SPDX-License-Identifier: MIT
// The tags of the standard directories: one row per tag with its name, the directories it belongs
// to, the field types and count it is written with, and what its value means to the code that
// reads, moves or rebuilds a block (its role). The rows are constant data; every lookup is a scan
// of them, with no allocation and no state.
//
// Names are those EXIF tools print (the TIFF 6.0 and EXIF 2.3 names); `alias` holds the other name
// some tools print for the same tag (ModifyDate for DateTime, ExifOffset for the Exif IFD pointer).
// Names and aliases are unique over the whole table, so a name alone identifies a tag.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "exif/model/field_types.h"

namespace lf::exif {

// Which directory of the EXIF data.
using DirectoryId = uint32_t;
inline constexpr DirectoryId kIfd0 = 1;
inline constexpr DirectoryId kExifIfd = 2;
inline constexpr DirectoryId kGpsIfd = 3;
inline constexpr DirectoryId kInteropIfd = 4;
inline constexpr DirectoryId kMakerNoteIfd = 17;  // the writer's maker-note directory
inline constexpr DirectoryId kIfd1 = 257;

// TagInfo::directories: one bit per directory the tag belongs to.
inline constexpr uint8_t kInIfd0 = 1 << 0;
inline constexpr uint8_t kInIfd1 = 1 << 1;
inline constexpr uint8_t kInExif = 1 << 2;
inline constexpr uint8_t kInGps = 1 << 3;
inline constexpr uint8_t kInInterop = 1 << 4;
inline constexpr uint8_t kInImage = kInIfd0 | kInIfd1;

// The bit of a directory in TagInfo::directories; 0 for a directory the table does not cover.
constexpr uint8_t DirectoryBit(DirectoryId id) {
  switch (id) {
    case kIfd0: return kInIfd0;
    case kIfd1: return kInIfd1;
    case kExifIfd: return kInExif;
    case kGpsIfd: return kInGps;
    case kInteropIfd: return kInInterop;
    default: return 0;
  }
}

// TagInfo::types: bit `type` set for each field type the tag may be written with.
constexpr uint16_t TypeBit(FieldType type) {
  return type < 16 ? static_cast<uint16_t>(1u << type) : uint16_t{0};
}

// What an entry's value means beyond its own content.
enum class TagRole : uint8_t {
  kValue,             // a value and nothing more
  kDirectoryPointer,  // the offset of a standard directory (TagInfo::target names which)
  kSubDirectories,    // offsets of directories the module does not model (SubIFDs)
  kImageDataOffset,   // the offset of an embedded JPEG stream (JPEGInterchangeFormat)
  kImageDataLength,   // its length in bytes
  kStripOffsets,      // offsets of the image strips
  kStripByteCounts,   // their lengths
  kTileOffsets,       // offsets of the image tiles
  kTileByteCounts,    // their lengths
  kFreeOffsets,       // offsets of unused bytes in the file
  kFreeByteCounts,    // their lengths
  kDateText,          // "YYYY:MM:DD HH:MM:SS" and a NUL
  kMakerNote,         // the maker's private data
  kPrintImage,        // Print Image Matching data
};

// One tag. A plain aggregate: rows leave the trailing columns at their defaults.
struct TagInfo {
  uint16_t tag = 0;
  const char* name = nullptr;
  uint8_t directories = 0;  // kIn… bits
  uint16_t types = 0;       // TypeBit(…) of each allowed type
  uint32_t count = 0;       // the number of values, 0 when it varies
  TagRole role = TagRole::kValue;
  DirectoryId target = 0;       // for kDirectoryPointer: the directory pointed to
  const char* alias = nullptr;  // another name tools print for it, or nullptr
};

namespace tag_rows {

inline constexpr uint16_t B = TypeBit(kTypeByte);
inline constexpr uint16_t A = TypeBit(kTypeAscii);
inline constexpr uint16_t S = TypeBit(kTypeShort);
inline constexpr uint16_t L = TypeBit(kTypeLong);
inline constexpr uint16_t SL = S | L;
inline constexpr uint16_t R = TypeBit(kTypeRational);
inline constexpr uint16_t U = TypeBit(kTypeUndefined);
inline constexpr uint16_t SR = TypeBit(kTypeSRational);
inline constexpr uint16_t kIfdType = TypeBit(13);  // TIFF IFD, the type some writers give SubIFDs

using enum TagRole;

// Grouped by directory, each group in tag order.
inline constexpr TagInfo kRows[] = {
    // IFD0 and IFD1: TIFF 6.0 baseline, the TIFF fields EXIF uses, and the EXIF pointers.
    {0x00FE, "NewSubfileType", kInImage, L, 1},
    {0x00FF, "SubfileType", kInImage, S, 1},
    {0x0100, "ImageWidth", kInImage, SL, 1},
    {0x0101, "ImageLength", kInImage, SL, 1, kValue, 0, "ImageHeight"},
    {0x0102, "BitsPerSample", kInImage, S, 0},
    {0x0103, "Compression", kInImage, S, 1},
    {0x0106, "PhotometricInterpretation", kInImage, S, 1},
    {0x0107, "Threshholding", kInImage, S, 1, kValue, 0, "Thresholding"},
    {0x0108, "CellWidth", kInImage, S, 1},
    {0x0109, "CellLength", kInImage, S, 1},
    {0x010A, "FillOrder", kInImage, S, 1},
    {0x010D, "DocumentName", kInImage, A, 0},
    {0x010E, "ImageDescription", kInImage, A, 0},
    {0x010F, "Make", kInImage, A, 0},
    {0x0110, "Model", kInImage, A, 0},
    {0x0111, "StripOffsets", kInImage, SL, 0, kStripOffsets},
    {0x0112, "Orientation", kInImage, S, 1},
    {0x0115, "SamplesPerPixel", kInImage, S, 1},
    {0x0116, "RowsPerStrip", kInImage, SL, 1},
    {0x0117, "StripByteCounts", kInImage, SL, 0, kStripByteCounts},
    {0x0118, "MinSampleValue", kInImage, S, 0},
    {0x0119, "MaxSampleValue", kInImage, S, 0},
    {0x011A, "XResolution", kInImage, R, 1},
    {0x011B, "YResolution", kInImage, R, 1},
    {0x011C, "PlanarConfiguration", kInImage, S, 1},
    {0x011D, "PageName", kInImage, A, 0},
    {0x0120, "FreeOffsets", kInImage, L, 0, kFreeOffsets},
    {0x0121, "FreeByteCounts", kInImage, L, 0, kFreeByteCounts},
    {0x0122, "GrayResponseUnit", kInImage, S, 1},
    {0x0123, "GrayResponseCurve", kInImage, S, 0},
    {0x0128, "ResolutionUnit", kInImage, S, 1},
    {0x012D, "TransferFunction", kInImage, S, 3 * 256},
    {0x0131, "Software", kInImage, A, 0},
    {0x0132, "DateTime", kInImage, A, 20, kDateText, 0, "ModifyDate"},
    {0x013B, "Artist", kInImage, A, 0},
    {0x013C, "HostComputer", kInImage, A, 0},
    {0x013D, "Predictor", kInImage, S, 1},
    {0x013E, "WhitePoint", kInImage, R, 2},
    {0x013F, "PrimaryChromaticities", kInImage, R, 6},
    {0x0140, "ColorMap", kInImage, S, 0},
    {0x0142, "TileWidth", kInImage, SL, 1},
    {0x0143, "TileLength", kInImage, SL, 1},
    {0x0144, "TileOffsets", kInImage, L, 0, kTileOffsets},
    {0x0145, "TileByteCounts", kInImage, SL, 0, kTileByteCounts},
    {0x014A, "SubIFDs", kInImage, L | kIfdType, 0, kSubDirectories},
    {0x0152, "ExtraSamples", kInImage, S, 0},
    {0x0153, "SampleFormat", kInImage, S, 0},
    // The thumbnail's JPEG stream; the primary image of an EXIF file never has one.
    {0x0201, "JPEGInterchangeFormat", kInIfd1, L, 1, kImageDataOffset, 0, "ThumbnailOffset"},
    {0x0202, "JPEGInterchangeFormatLength", kInIfd1, L, 1, kImageDataLength, 0, "ThumbnailLength"},
    {0x0211, "YCbCrCoefficients", kInImage, R, 3},
    {0x0212, "YCbCrSubSampling", kInImage, S, 2},
    {0x0213, "YCbCrPositioning", kInImage, S, 1},
    {0x0214, "ReferenceBlackWhite", kInImage, R, 6},
    {0x8298, "Copyright", kInImage, A, 0},
    {0x8769, "ExifIFDPointer", kInIfd0, L, 1, kDirectoryPointer, kExifIfd, "ExifOffset"},
    {0x8825, "GPSInfoIFDPointer", kInIfd0, L, 1, kDirectoryPointer, kGpsIfd, "GPSInfo"},
    {0xC4A5, "PrintIM", kInIfd0, U, 0, kPrintImage},

    // The Exif IFD (EXIF 2.3, and the time offsets of 2.31).
    {0x829A, "ExposureTime", kInExif, R, 1},
    {0x829D, "FNumber", kInExif, R, 1},
    {0x8822, "ExposureProgram", kInExif, S, 1},
    {0x8824, "SpectralSensitivity", kInExif, A, 0},
    {0x8827, "ISOSpeedRatings", kInExif, S, 0, kValue, 0, "ISO"},
    {0x8828, "OECF", kInExif, U, 0, kValue, 0, "Opto-ElectricConvFactor"},
    {0x8830, "SensitivityType", kInExif, S, 1},
    {0x8831, "StandardOutputSensitivity", kInExif, L, 1},
    {0x8832, "RecommendedExposureIndex", kInExif, L, 1},
    {0x8833, "ISOSpeed", kInExif, L, 1},
    {0x8834, "ISOSpeedLatitudeyyy", kInExif, L, 1},
    {0x8835, "ISOSpeedLatitudezzz", kInExif, L, 1},
    {0x9000, "ExifVersion", kInExif, U, 4},
    {0x9003, "DateTimeOriginal", kInExif, A, 20, kDateText},
    {0x9004, "DateTimeDigitized", kInExif, A, 20, kDateText, 0, "CreateDate"},
    {0x9010, "OffsetTime", kInExif, A, 7},
    {0x9011, "OffsetTimeOriginal", kInExif, A, 7},
    {0x9012, "OffsetTimeDigitized", kInExif, A, 7},
    {0x9101, "ComponentsConfiguration", kInExif, U, 4},
    {0x9102, "CompressedBitsPerPixel", kInExif, R, 1},
    {0x9201, "ShutterSpeedValue", kInExif, SR, 1},
    {0x9202, "ApertureValue", kInExif, R, 1},
    {0x9203, "BrightnessValue", kInExif, SR, 1},
    {0x9204, "ExposureBiasValue", kInExif, SR, 1, kValue, 0, "ExposureCompensation"},
    {0x9205, "MaxApertureValue", kInExif, R, 1},
    {0x9206, "SubjectDistance", kInExif, R, 1},
    {0x9207, "MeteringMode", kInExif, S, 1},
    {0x9208, "LightSource", kInExif, S, 1},
    {0x9209, "Flash", kInExif, S, 1},
    {0x920A, "FocalLength", kInExif, R, 1},
    {0x9214, "SubjectArea", kInExif, S, 0},
    {0x927C, "MakerNote", kInExif, U, 0, kMakerNote},
    {0x9286, "UserComment", kInExif, U, 0},
    {0x9290, "SubSecTime", kInExif, A, 0},
    {0x9291, "SubSecTimeOriginal", kInExif, A, 0},
    {0x9292, "SubSecTimeDigitized", kInExif, A, 0},
    {0xA000, "FlashpixVersion", kInExif, U, 4},
    {0xA001, "ColorSpace", kInExif, S, 1},
    {0xA002, "PixelXDimension", kInExif, SL, 1, kValue, 0, "ExifImageWidth"},
    {0xA003, "PixelYDimension", kInExif, SL, 1, kValue, 0, "ExifImageHeight"},
    {0xA004, "RelatedSoundFile", kInExif, A, 13},
    {0xA005, "InteroperabilityIFDPointer", kInExif, L, 1, kDirectoryPointer, kInteropIfd,
     "InteropOffset"},
    {0xA20B, "FlashEnergy", kInExif, R, 1},
    {0xA20C, "SpatialFrequencyResponse", kInExif, U, 0},
    {0xA20E, "FocalPlaneXResolution", kInExif, R, 1},
    {0xA20F, "FocalPlaneYResolution", kInExif, R, 1},
    {0xA210, "FocalPlaneResolutionUnit", kInExif, S, 1},
    {0xA214, "SubjectLocation", kInExif, S, 2},
    {0xA215, "ExposureIndex", kInExif, R, 1},
    {0xA217, "SensingMethod", kInExif, S, 1},
    {0xA300, "FileSource", kInExif, U, 1},
    {0xA301, "SceneType", kInExif, U, 1},
    {0xA302, "CFAPattern", kInExif, U, 0},
    {0xA401, "CustomRendered", kInExif, S, 1},
    {0xA402, "ExposureMode", kInExif, S, 1},
    {0xA403, "WhiteBalance", kInExif, S, 1},
    {0xA404, "DigitalZoomRatio", kInExif, R, 1},
    {0xA405, "FocalLengthIn35mmFilm", kInExif, S, 1, kValue, 0, "FocalLengthIn35mmFormat"},
    {0xA406, "SceneCaptureType", kInExif, S, 1},
    {0xA407, "GainControl", kInExif, S, 1},
    {0xA408, "Contrast", kInExif, S, 1},
    {0xA409, "Saturation", kInExif, S, 1},
    {0xA40A, "Sharpness", kInExif, S, 1},
    {0xA40B, "DeviceSettingDescription", kInExif, U, 0},
    {0xA40C, "SubjectDistanceRange", kInExif, S, 1},
    {0xA420, "ImageUniqueID", kInExif, A, 33},
    {0xA430, "CameraOwnerName", kInExif, A, 0, kValue, 0, "OwnerName"},
    {0xA431, "BodySerialNumber", kInExif, A, 0, kValue, 0, "SerialNumber"},
    {0xA432, "LensSpecification", kInExif, R, 4, kValue, 0, "LensInfo"},
    {0xA433, "LensMake", kInExif, A, 0},
    {0xA434, "LensModel", kInExif, A, 0},
    {0xA435, "LensSerialNumber", kInExif, A, 0},
    {0xA500, "Gamma", kInExif, R, 1},

    // The GPS IFD.
    {0x0000, "GPSVersionID", kInGps, B, 4},
    {0x0001, "GPSLatitudeRef", kInGps, A, 2},
    {0x0002, "GPSLatitude", kInGps, R, 3},
    {0x0003, "GPSLongitudeRef", kInGps, A, 2},
    {0x0004, "GPSLongitude", kInGps, R, 3},
    {0x0005, "GPSAltitudeRef", kInGps, B, 1},
    {0x0006, "GPSAltitude", kInGps, R, 1},
    {0x0007, "GPSTimeStamp", kInGps, R, 3},
    {0x0008, "GPSSatellites", kInGps, A, 0},
    {0x0009, "GPSStatus", kInGps, A, 2},
    {0x000A, "GPSMeasureMode", kInGps, A, 2},
    {0x000B, "GPSDOP", kInGps, R, 1},
    {0x000C, "GPSSpeedRef", kInGps, A, 2},
    {0x000D, "GPSSpeed", kInGps, R, 1},
    {0x000E, "GPSTrackRef", kInGps, A, 2},
    {0x000F, "GPSTrack", kInGps, R, 1},
    {0x0010, "GPSImgDirectionRef", kInGps, A, 2},
    {0x0011, "GPSImgDirection", kInGps, R, 1},
    {0x0012, "GPSMapDatum", kInGps, A, 0},
    {0x0013, "GPSDestLatitudeRef", kInGps, A, 2},
    {0x0014, "GPSDestLatitude", kInGps, R, 3},
    {0x0015, "GPSDestLongitudeRef", kInGps, A, 2},
    {0x0016, "GPSDestLongitude", kInGps, R, 3},
    {0x0017, "GPSDestBearingRef", kInGps, A, 2},
    {0x0018, "GPSDestBearing", kInGps, R, 1},
    {0x0019, "GPSDestDistanceRef", kInGps, A, 2},
    {0x001A, "GPSDestDistance", kInGps, R, 1},
    {0x001B, "GPSProcessingMethod", kInGps, U, 0},
    {0x001C, "GPSAreaInformation", kInGps, U, 0},
    {0x001D, "GPSDateStamp", kInGps, A, 11},
    {0x001E, "GPSDifferential", kInGps, S, 1},
    {0x001F, "GPSHPositioningError", kInGps, R, 1},

    // The Interoperability IFD.
    {0x0001, "InteroperabilityIndex", kInInterop, A, 0, kValue, 0, "InteropIndex"},
    {0x0002, "InteroperabilityVersion", kInInterop, U, 4, kValue, 0, "InteropVersion"},
    {0x1000, "RelatedImageFileFormat", kInInterop, A, 0},
    {0x1001, "RelatedImageWidth", kInInterop, SL, 1},
    {0x1002, "RelatedImageLength", kInInterop, SL, 1, kValue, 0, "RelatedImageHeight"},
};

}  // namespace tag_rows

// Every row, grouped by directory.
inline constexpr std::span<const TagInfo> kTagTable{tag_rows::kRows};

// The number of the tag named `name` (exactly as in the table), for constants defined from the
// table. A name the table does not hold does not compile.
consteval uint16_t TagNumber(std::string_view name) {
  for (const TagInfo& row : kTagTable) {
    if (name == row.name) return row.tag;
  }
  throw "no tag of that name";
}

// The tags the module's own code interprets.
inline constexpr uint16_t kTagImageWidth = TagNumber("ImageWidth");
inline constexpr uint16_t kTagImageLength = TagNumber("ImageLength");
inline constexpr uint16_t kTagStripOffsets = TagNumber("StripOffsets");
inline constexpr uint16_t kTagOrientation = TagNumber("Orientation");
inline constexpr uint16_t kTagSamplesPerPixel = TagNumber("SamplesPerPixel");
inline constexpr uint16_t kTagRowsPerStrip = TagNumber("RowsPerStrip");
inline constexpr uint16_t kTagStripByteCounts = TagNumber("StripByteCounts");
inline constexpr uint16_t kTagPlanarConfiguration = TagNumber("PlanarConfiguration");
inline constexpr uint16_t kTagDateTime = TagNumber("DateTime");
inline constexpr uint16_t kTagTileOffsets = TagNumber("TileOffsets");
inline constexpr uint16_t kTagSubIfds = TagNumber("SubIFDs");
inline constexpr uint16_t kTagJpegInterchangeFormat = TagNumber("JPEGInterchangeFormat");
inline constexpr uint16_t kTagJpegInterchangeFormatLength =
    TagNumber("JPEGInterchangeFormatLength");
inline constexpr uint16_t kTagExifIfdPointer = TagNumber("ExifIFDPointer");
inline constexpr uint16_t kTagGpsIfdPointer = TagNumber("GPSInfoIFDPointer");
inline constexpr uint16_t kTagPrintIm = TagNumber("PrintIM");
inline constexpr uint16_t kTagExifVersion = TagNumber("ExifVersion");
inline constexpr uint16_t kTagDateTimeOriginal = TagNumber("DateTimeOriginal");
inline constexpr uint16_t kTagDateTimeDigitized = TagNumber("DateTimeDigitized");
inline constexpr uint16_t kTagMakerNote = TagNumber("MakerNote");
inline constexpr uint16_t kTagSubSecTimeOriginal = TagNumber("SubSecTimeOriginal");
inline constexpr uint16_t kTagSubSecTimeDigitized = TagNumber("SubSecTimeDigitized");
inline constexpr uint16_t kTagInteropIfdPointer = TagNumber("InteroperabilityIFDPointer");

// The row of `tag` in directory `id`, or nullptr when the table has none (an unknown tag, or a
// directory the table does not cover).
const TagInfo* FindTag(DirectoryId id, uint16_t tag);

// The row whose name or alias is `name`, compared without regard to ASCII case, or nullptr.
const TagInfo* FindTagByName(std::string_view name);
// As FindTagByName, among the tags of directory `id` only.
const TagInfo* FindTagByName(DirectoryId id, std::string_view name);

// The role of `tag` in directory `id`; kValue for a tag the table does not know there.
TagRole RoleOf(DirectoryId id, uint16_t tag);

// The directory that `tag` of directory `id` points to (the Exif and GPS IFDs from IFD0, the
// Interop IFD from the Exif IFD); 0 when it is no directory pointer there.
DirectoryId PointedDirectory(DirectoryId id, uint16_t tag);
inline bool IsDirectoryPointer(DirectoryId id, uint16_t tag) {
  return PointedDirectory(id, tag) != 0;
}

// The value of `tag` in directory `id` is the offset of an embedded JPEG stream.
inline bool IsImageDataOffset(DirectoryId id, uint16_t tag) {
  return RoleOf(id, tag) == TagRole::kImageDataOffset;
}

// The value is one or more offsets (relative to the TIFF header) that the module follows and that
// must move with the bytes they point to: standard directory pointers, strip offsets and the
// embedded JPEG stream. SubIFDs, tiles and free space are not among them.
bool HoldsFollowedOffset(DirectoryId id, uint16_t tag);

// The row allows entries of this type.
inline bool AllowsType(const TagInfo& row, FieldType type) {
  return (row.types & TypeBit(type)) != 0;
}

}  // namespace lf::exif
