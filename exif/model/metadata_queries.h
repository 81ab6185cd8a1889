// SPDX-License-Identifier: MIT
// Single facts read out of a file's EXIF data, shared by the query exports and the edits that
// check what they are about to change.
#pragma once

#include <cstdint>
#include <string>

#include "exif/model/exif_reader.h"

namespace lf::exif {

// Which image a question is about.
inline constexpr int kMainImage = 0;
inline constexpr int kThumbnailImage = 1;

// Which date text ReadDateTimeString reads.
inline constexpr int kDateTime = 0;            // 0x0132 in IFD0 (main) or IFD1 (thumbnail)
inline constexpr int kDateTimeOriginal = 16;   // 0x9003 in the Exif IFD, main image only
inline constexpr int kDateTimeDigitized = 17;  // 0x9004 in the Exif IFD, main image only

// The Orientation of IFD0 (kMainImage) or IFD1 (kThumbnailImage) when it is stored as one SHORT
// (EXIF 2.2, 4.6.4 A); 0 when it is absent, stored otherwise, or the file has no Exif IFD.
uint16_t OrientationOf(ExifReader& reader, int image);

// The date text of `which` for `image`, up to its first NUL. 1 only when the ASCII value is the
// 20 bytes that "YYYY:MM:DD HH:MM:SS" and its NUL take; 0 otherwise (the text then holds what was
// delivered, or nothing).
[[nodiscard]] int ReadDateTimeString(ExifReader& reader, int image, int which, std::string* text);

// The Exif IFD's ExifVersion names 2.2 or a later 2.x version: four UNDEFINED bytes "0220" or
// above, compared as a little-endian number against the bytes of "0220", so "0300" falls below.
bool IsExifVersion22(ExifReader& reader);

// The answer of a single-value query (GetExifValue, GetExifMakerValue) after `delivered` values of
// `type` went into the caller's buffer (type 0 when no entry was found): *size becomes the bytes
// written (for ASCII the terminator's place counts), type and count where asked; S_OK when bytes
// were written, else E_FAIL.
[[nodiscard]] HRESULT ReportDelivery(uint16_t type, uint32_t delivered, uint32_t* size,
                                     uint16_t* typeOut, uint32_t* count);

}  // namespace lf::exif
