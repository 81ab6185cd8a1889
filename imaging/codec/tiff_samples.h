// SPDX-License-Identifier: MIT
// TIFF images whose samples libtiff's RGBA interface refuses: integers of any depth up to 32 bits
// other than 1, 2, 4, 8 and 16 (scanners write 12-bit files), and 32- or 64-bit floating point.
#pragma once

#include <tiffio.h>

#include <cstdint>

#include "imaging/toolkit.h"

namespace lf::imaging {

// True when the current directory's samples need ReadTiffSamples.
[[nodiscard]] bool NeedsSampleReader(TIFF* tiff);

// Decodes the grey or RGB samples of the current directory (alpha and other extra samples are
// ignored), scaled to 8 bits, into the empty `bitmap` at 24 bits, rows in the order the file
// stores them. A toolkit result code.
[[nodiscard]] int ReadTiffSamples(TIFF* tiff, uint32_t width, uint32_t height, uint64_t fileSize,
                                  ToolkitBitmap* bitmap);

}  // namespace lf::imaging
