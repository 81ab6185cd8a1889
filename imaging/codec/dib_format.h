// SPDX-License-Identifier: MIT
// The Windows device-independent bitmap: our native format. A packed DIB (header, colour table,
// rows) is how images cross the host boundary, and a BMP file is a 14-byte file header in front of
// one. Reading covers 1, 4, 8, 16, 24 and 32 bits per pixel, RLE4, RLE8 and bit-field layouts,
// bottom-up and top-down rows, and the old 12-byte core header.
#pragma once

#include <cstdint>
#include <vector>

#include "exif/model/byte_reader.h"
#include "imaging/toolkit.h"

namespace lf::imaging {

inline constexpr uint32_t kInfoHeaderSize = 40;
inline constexpr uint32_t kFileHeaderSize = 14;

// Reads the DIB that begins at the start of `dib`. The pixel rows start at `pixelOffset` (relative
// to the view) when it is non-zero, else right after the colour table. `info` receives the header's
// description; unless `headerOnly`, the pixels are decoded into the empty `bitmap` (8 bits with a
// palette for up to 8 bits per pixel, 24 for 16 and 24, 32 for 32).
[[nodiscard]] int ReadDib(exif::ByteView dib, uint64_t pixelOffset, ToolkitBitmap* bitmap,
                          FileInfo* info, bool headerOnly);

// The packed DIB of a bitmap: a 40-byte header, a 256-entry colour table for 8 bits (none
// otherwise), and bottom-up rows. `prefix` bytes are reserved in front (for a file header).
[[nodiscard]] int WriteDib(const ToolkitBitmap* bitmap, size_t prefix, std::vector<uint8_t>* out);

// Writes the 40-byte header and (for 8 bits) the colour table of the bitmap's packed DIB into the
// `size` bytes at dest.
[[nodiscard]] bool WriteDibHeader(const ToolkitBitmap* bitmap, uint8_t* dest, size_t size);

// Writes the packed DIB into `dest`, which holds exactly DibSize(bitmap) bytes.
[[nodiscard]] bool WriteDibInto(const ToolkitBitmap* bitmap, uint8_t* dest, uint64_t size);

// The size WriteDib produces for the bitmap, without the prefix; 0 when it does not fit 32 bits.
uint64_t DibSize(const ToolkitBitmap* bitmap);

}  // namespace lf::imaging
