// SPDX-License-Identifier: MIT
// The JPEG writer: every JPEG file the module produces is written here, from a packed DIB, by
// libjpeg-turbo. The output is always a baseline (sequential, Huffman) JPEG with optimised tables.
//
// Modes: the low nibble picks the chroma subsampling, bit 0x10 leaves out the JFIF APP0 segment.
//   0     JFIF APP0, YCbCr 4:2:0 (chroma halved both ways): ordinary photos, smallest files.
//   1     JFIF APP0, YCbCr 4:2:2 (chroma halved horizontally).
//   2     JFIF APP0, YCbCr 4:4:4 (no subsampling): sharp colour edges, graphics.
//   0x11  no APP0, 4:2:2: for the EXIF writers, which insert an APP1 "Exif" segment directly after
//         SOI and must not leave an APP0 in front of it (EXIF 2.2, 4.5.4; a file with APP0 does
//         not count as carrying EXIF here). 4:2:2 is the sampling EXIF 2.2 recommends.
//   0x12  no APP0, 4:4:4: the same for thumbnails where colour detail matters.
// Any other mode is refused.
#pragma once

#include <cstdint>

#include "lumenframe/lumenframe.h"

namespace lf::imaging {

inline constexpr int32_t kJpegModeStandard = 0;
inline constexpr int32_t kJpegModeSubsample422 = 1;
inline constexpr int32_t kJpegModeFullChroma = 2;
inline constexpr int32_t kJpegModeExif = 0x11;
inline constexpr int32_t kJpegModeExifFullChroma = 0x12;

// Negative results of SaveJpeg.
enum JpegWriterError : int32_t {
  kJpegInvalidArgument = -1,  // no image or no path
  kJpegBadImage = -2,         // the block is not a packed DIB we can read
  kJpegBadMode = -3,
  kJpegNoMemory = -4,
  kJpegEncodeFailed = -5,  // libjpeg refused the data
  kJpegWriteFailed = -6,   // the file could not be created or written
};

// Writes the image in the block (not freed, not changed) as a JPEG file at `path`, replacing any
// file of that name. `quality` is clamped to 1..100. 0 on success, a negative JpegWriterError on
// failure (the file may then be incomplete; callers discard it).
[[nodiscard]] int32_t SaveJpeg(LF_HGLOBAL image, const char* path, int32_t quality, int32_t mode);

}  // namespace lf::imaging
