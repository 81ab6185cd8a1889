// SPDX-License-Identifier: MIT
// The work behind each export, after the boundary has checked its arguments and cleared its
// outputs. Each subsystem defines the operations it owns.
//
// An operation may throw only std::bad_alloc or other std::exception; the boundary turns any
// exception into a result code.
#pragma once

#include <cstdint>

#include "lumenframe/lumenframe.h"
#include "plugin/result_codes.h"

namespace lf::ops {

// ProbeExif: S_OK with *isExif 1 when the JPEG or TIFF file carries accepted EXIF data.
HRESULT IsExifFile(const char* path, uint32_t* isExif);
// A packed DIB of the main image (source 0) or the EXIF thumbnail (source 1), or nullptr.
LF_HGLOBAL Decode(const char* path, uint32_t source);
HRESULT Draw(LfDeviceContext* dc, LF_HGLOBAL image, const LfRect& destination);
HRESULT DrawImage(const char* path, LfDeviceContext* dc, const LfRect& destination, int32_t angle,
                  const LfRect& crop, int32_t whitenPercent);
HRESULT Encode(LF_HGLOBAL image, const char* path, uint32_t flags, int32_t quality, void* extra);
HRESULT GetStillImageInfo(const char* path, void* output, uint32_t mask);
HRESULT GetOrientation(const char* path, uint32_t* orientation, uint32_t* thumbnailOrientation,
                       int32_t acceptTiff);
HRESULT GetDateTimeOriginal(const char* path, LfExifDateTime* value);
HRESULT GetExifValue(const char* path, uint32_t directory, uint16_t tag, void* buffer,
                     uint32_t* size, uint16_t* type, uint32_t* count);
HRESULT IsExifEx(const char* path, uint32_t* isExif, uint32_t* hasPrintImage, uint32_t* isExif22);
HRESULT SetOrientation(const char* destination, const char* source, int32_t orientation,
                       int32_t allowRebuild);
HRESULT SetDateTimeOriginal(const char* path, const LfExifDateTime& value);
HRESULT ReplaceExifGps(const char* destination, const char* source, int32_t quality,
                       LfGpsRecord* gps);
HRESULT ReplaceThumbImage(const char* destination, const char* source, LF_HGLOBAL image,
                          int32_t quality);
HRESULT ReplaceExifImage(const char* destination, const char* source, LF_HGLOBAL image,
                         int32_t quality);
// Encode's path for LF_ENC_NEW_EXIF_FILE: the image saved as a new JPEG or TIFF file with an EXIF
// block built from the LfExifWriteParams (and LfGpsRecord) in `extra`. Called after Encode has
// probed the destination's directory.
HRESULT EncodeWithExif(const char* destination, uint32_t flags, LF_HGLOBAL image, int32_t quality,
                       void* extra);
HRESULT AppendExif(const char* destination, const char* source, LfExifRecord* records,
                   int32_t requireExif);
// Encode's path for LF_ENC_WITH_EXIF: the image saved as a new JPEG whose only application segment
// is an APP1 "Exif" segment built from `records` (with a fresh 160x120 thumbnail).
HRESULT EncodeJpegWithExif(LF_HGLOBAL image, const char* destination, int32_t quality,
                           LfExifRecord* records);
HRESULT GetExif(const char* path, LfExifSummary* exif, LfGpsSummary* gps,
                LfMakerNoteSummary* makerNote);
HRESULT GetExifMakerValue(const char* path, const char* header, uint16_t tag, void* buffer,
                          uint32_t* size, uint16_t* type, uint32_t* count);
HRESULT GetMakerNoteValue(const char* path, LfString* header, LfU16List* tags, LfU32List* values);
HRESULT SetMakerNote(const char* destination, const char* source, const char* header, uint16_t tag,
                     uint16_t type, uint32_t count, uint32_t value);

}  // namespace lf::ops
