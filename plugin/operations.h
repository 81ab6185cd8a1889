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
[[nodiscard]] HRESULT IsExifFile(const char* path, uint32_t* isExif);
// A packed DIB of the main image (source 0) or the EXIF thumbnail (source 1), or nullptr.
LF_HGLOBAL Decode(const char* path, uint32_t source);
[[nodiscard]] HRESULT Draw(LfDeviceContext* dc, LF_HGLOBAL image, const LfRect& destination);
[[nodiscard]] HRESULT DrawImage(const char* path, LfDeviceContext* dc, const LfRect& destination,
                                int32_t angle, const LfRect& crop, int32_t whitenPercent);
[[nodiscard]] HRESULT Encode(LF_HGLOBAL image, const char* path, uint32_t flags, int32_t quality,
                             void* extra);
[[nodiscard]] HRESULT GetStillImageInfo(const char* path, void* output, uint32_t mask);
[[nodiscard]] HRESULT GetOrientation(const char* path, uint32_t* orientation,
                                     uint32_t* thumbnailOrientation, int32_t acceptTiff);
[[nodiscard]] HRESULT GetDateTimeOriginal(const char* path, LfExifDateTime* value);
[[nodiscard]] HRESULT GetExifValue(const char* path, uint32_t directory, uint16_t tag, void* buffer,
                                   uint32_t* size, uint16_t* type, uint32_t* count);
[[nodiscard]] HRESULT IsExifEx(const char* path, uint32_t* isExif, uint32_t* hasPrintImage,
                               uint32_t* isExif22);
[[nodiscard]] HRESULT SetOrientation(const char* destination, const char* source,
                                     int32_t orientation, int32_t allowRebuild);
[[nodiscard]] HRESULT SetDateTimeOriginal(const char* path, const LfExifDateTime& value);
[[nodiscard]] HRESULT ReplaceExifGps(const char* destination, const char* source, int32_t quality,
                                     LfGpsRecord* gps);
[[nodiscard]] HRESULT ReplaceThumbImage(const char* destination, const char* source,
                                        LF_HGLOBAL image, int32_t quality);
[[nodiscard]] HRESULT ReplaceExifImage(const char* destination, const char* source,
                                       LF_HGLOBAL image, int32_t quality);
// Encode's path for LF_ENC_NEW_EXIF_FILE: the image saved as a new JPEG or TIFF file with an EXIF
// block built from the LfExifWriteParams (and LfGpsRecord) in `extra`. Called after Encode has
// probed the destination's directory.
[[nodiscard]] HRESULT EncodeWithExif(const char* destination, uint32_t flags, LF_HGLOBAL image,
                                     int32_t quality, void* extra);
[[nodiscard]] HRESULT AppendExif(const char* destination, const char* source, LfExifRecord* records,
                                 int32_t requireExif);
// Encode's path for LF_ENC_WITH_EXIF: the image saved as a new JPEG whose only application segment
// is an APP1 "Exif" segment built from `records` (with a fresh 160x120 thumbnail).
[[nodiscard]] HRESULT EncodeJpegWithExif(LF_HGLOBAL image, const char* destination, int32_t quality,
                                         LfExifRecord* records);
[[nodiscard]] HRESULT GetExif(const char* path, LfExifSummary* exif, LfGpsSummary* gps,
                              LfMakerNoteSummary* makerNote);
[[nodiscard]] HRESULT GetExifMakerValue(const char* path, const char* header, uint16_t tag,
                                        void* buffer, uint32_t* size, uint16_t* type,
                                        uint32_t* count);
[[nodiscard]] HRESULT GetMakerNoteValue(const char* path, LfString* header, LfU16List* tags,
                                        LfU32List* values);
[[nodiscard]] HRESULT SetMakerNote(const char* destination, const char* source, const char* header,
                                   uint16_t tag, uint16_t type, uint32_t count, uint32_t value);

}  // namespace lf::ops
