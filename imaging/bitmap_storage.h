// SPDX-License-Identifier: MIT
// Pixel storage of toolkit bitmaps, shared by the toolkit's operations and its codecs.
#pragma once

#include <cstdint>

#include "imaging/toolkit.h"

namespace lf::imaging {

// Bytes per row at `bits` per pixel, rounded up to 4 as packed DIB rows are; 0 when too wide.
[[nodiscard]] int32_t StrideFor(int32_t width, int32_t bits);

// True for the depths a bitmap can be stored at.
[[nodiscard]] constexpr bool IsStorageDepth(int32_t bits) {
  return bits == 8 || bits == 24 || bits == 32;
}

// Fills `bitmap` (which must be empty) with freshly allocated storage; `zero` clears the pixels.
// An 8-bit bitmap also gets a palette (grey ramp). Fails without allocating when the size is
// outside the pixel limits.
[[nodiscard]] int AllocateStorage(ToolkitBitmap* bitmap, int32_t width, int32_t height,
                                  int32_t bits, bool zero);

// Row y of the image, y = 0 the top row (stored last).
inline uint8_t* RowOf(const ToolkitBitmap* bitmap, int32_t y) {
  return bitmap->pixels +
         static_cast<size_t>(bitmap->height - 1 - y) * static_cast<size_t>(bitmap->stride);
}

// Bytes in front of the rows in a bitmap's storage: the DIB header, and the colour table for 8
// bits per pixel.
inline size_t StorageHeaderSize(int32_t bits) { return 40 + (bits == 8 ? 1024 : 0); }

// Allocates the zero-filled storage block of a prepared record (width, height, bits and stride
// set) and points `pixels` into it.
[[nodiscard]] int AllocateStorageBlock(ToolkitBitmap* bitmap);

// As AllocateStorage at 24 or 32 bits, for a decoder that writes every pixel of every row: only
// the header room and the padding at the end of each row are cleared, so a large block is touched
// once, by the decoder, and can lie on huge pages.
[[nodiscard]] int AllocateRowStorage(ToolkitBitmap* bitmap, int32_t width, int32_t height,
                                     int32_t bits);

[[nodiscard]] inline bool HasPixels(const ToolkitBitmap* bitmap) {
  return bitmap && bitmap->pixels && (bitmap->flags & kBitmapAllocated) && bitmap->width > 0 &&
         bitmap->height > 0;
}

// Frees what `target` holds and moves `source`'s contents into it; `source` is left empty.
void ReplaceBitmap(ToolkitBitmap* target, ToolkitBitmap* source);

// Fills a palette with a 256-entry grey ramp.
void SetGreyPalette(Palette* palette);

// A 24- or 32-bit copy of an 8-bit bitmap's colours (or a plain copy of any other bitmap) into the
// empty `out`; geometry works on direct colour.
[[nodiscard]] int ToDirectColor(const ToolkitBitmap* source, ToolkitBitmap* out);

}  // namespace lf::imaging
