// SPDX-License-Identifier: MIT
// The query exports: GetOrientation, GetDateTimeOriginal, GetExifValue and IsExifEx. Each builds
// its own reader with the EXIF block read on demand (the answers of a loaded block from the few
// pages of the file that hold the directories and values asked for), asks it, and lets it go.
#include <cstring>
#include <string>

#include "exif/makernote/maker_note_reader.h"
#include "exif/model/date_text.h"
#include "exif/model/metadata_queries.h"
#include "platform/clock.h"
#include "plugin/file_kind.h"
#include "plugin/operations.h"

namespace lf::ops {

using exif::ExifReader;
using exif::MakerNoteReader;

HRESULT GetOrientation(const char* path, uint32_t* orientation, uint32_t* thumbnailOrientation,
                       int32_t acceptTiff) {
  switch (GetFileKind(path)) {
    case KIND_JPEG: break;
    case KIND_TIFF:
      if (!acceptTiff) return S_OK;  // not even opened: the host asked about JPEGs only
      break;
    default: return E_FAIL;
  }
  ExifReader reader(path, exif::kOnDemand);
  // A TIFF image answers even without an Exif IFD (its orientation then reads 0).
  if (!reader.IsExif() && !reader.IsTiffImage()) return E_NO_EXIF;
  if (orientation) *orientation = exif::OrientationOf(reader, exif::kMainImage);
  if (thumbnailOrientation) {
    *thumbnailOrientation = exif::OrientationOf(reader, exif::kThumbnailImage);
  }
  return S_OK;
}

HRESULT GetDateTimeOriginal(const char* path, LfExifDateTime* value) {
  const FileKind kind = GetFileKind(path);
  if (kind != KIND_JPEG && kind != KIND_TIFF) return E_FAIL;
  ExifReader reader(path, exif::kOnDemand);
  if (!reader.IsExif()) return E_NO_EXIF;
  std::string text;
  ExifDateTime parsed{};
  if (!reader.HasExifDirectory() ||
      !exif::ReadDateTimeString(reader, exif::kMainImage, exif::kDateTimeOriginal, &text) ||
      !exif::ParseExifDateTime(text, "", &parsed)) {
    return E_FAIL;
  }
  // A date that is present but no calendar date (a blank "    :  :     :  :  " from a camera
  // without a clock, a month 13) answers 1 with the record zeroed.
  if (!platform::IsValidCalendarDateTime(parsed)) {
    std::memset(value, 0, sizeof *value);
    return 1;
  }
  *value = parsed;
  return S_OK;
}

HRESULT GetExifValue(const char* path, uint32_t directory, uint16_t tag, void* buffer,
                     uint32_t* size, uint16_t* type, uint32_t* count) {
  MakerNoteReader reader(path, exif::kOnDemand);
  if (!reader.IsExif()) {
    *size = 0;
    return E_NO_EXIF;
  }
  exif::IfdEntry entry;
  entry.tag = tag;
  uint32_t delivered = 0;
  if (reader.FindEntry(directory, &entry) == exif::kFound) {
    delivered = reader.ReadEntryValue(entry, buffer, *size);
  } else {
    entry.type = 0;
  }
  return exif::ReportDelivery(entry.type, delivered, size, type, count);
}

HRESULT IsExifEx(const char* path, uint32_t* isExif, uint32_t* hasPrintImage, uint32_t* isExif22) {
  // The block is needed only for the version; the flags come from the structure alone.
  MakerNoteReader reader = isExif22 ? MakerNoteReader(path, exif::kOnDemand)
                                    : MakerNoteReader(path, /*loadBlock=*/false);
  if (isExif) *isExif = reader.IsExif() ? 1 : 0;
  if (hasPrintImage) *hasPrintImage = reader.HasPrintImage() ? 1 : 0;
  if (isExif22) *isExif22 = exif::IsExifVersion22(reader) ? 1 : 0;
  return S_OK;
}

}  // namespace lf::ops
