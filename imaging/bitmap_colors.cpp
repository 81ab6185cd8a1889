// SPDX-License-Identifier: MIT
// Colours of bitmaps: conversion between stored depths (a palette chosen for 8 bits) and reading,
// writing and filling pixels.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>
#include <vector>

#include "imaging/bitmap_storage.h"
#include "imaging/toolkit.h"
#include "platform/memory.h"

namespace lf::imaging {

namespace {

RgbQuad PaletteColor(const ToolkitBitmap* bitmap, uint8_t index) {
  if (bitmap->palette && index < bitmap->palette->count) return bitmap->palette->entries[index];
  return RgbQuad{index, index, index, 0};
}

uint32_t ColorRef(uint8_t red, uint8_t green, uint8_t blue) {
  return red | (uint32_t{green} << 8) | (uint32_t{blue} << 16);
}

// The palette index whose colour is nearest to `color` (squared distance).
uint8_t NearestIndex(const ToolkitBitmap* bitmap, uint32_t color) {
  const int r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
  const uint32_t count = bitmap->palette ? bitmap->palette->count : 256;
  int best = 0;
  int bestDistance = INT32_MAX;
  for (uint32_t i = 0; i < count && i < 256; ++i) {
    const RgbQuad q = PaletteColor(bitmap, static_cast<uint8_t>(i));
    const int d =
        (q.red - r) * (q.red - r) + (q.green - g) * (q.green - g) + (q.blue - b) * (q.blue - b);
    if (d < bestDistance) {
      bestDistance = d;
      best = static_cast<int>(i);
      if (d == 0) break;
    }
  }
  return static_cast<uint8_t>(best);
}

// 24 or 32 bits from any stored depth.
[[nodiscard]] int ConvertToDirect(const ToolkitBitmap* source, ToolkitBitmap* out, int32_t bits) {
  const int made = AllocateStorage(out, source->width, source->height, bits, false);
  if (made != kToolkitSuccess) return made;
  const int inStep = source->bitsPerPixel / 8;
  const int outStep = bits / 8;
  for (int32_t y = 0; y < source->height; ++y) {
    const uint8_t* in = RowOf(source, y);
    uint8_t* o = RowOf(out, y);
    for (int32_t x = 0; x < source->width; ++x, in += inStep, o += outStep) {
      if (inStep == 1) {
        const RgbQuad q = PaletteColor(source, in[0]);
        o[0] = q.blue;
        o[1] = q.green;
        o[2] = q.red;
      } else {
        o[0] = in[0];
        o[1] = in[1];
        o[2] = in[2];
      }
      if (outStep == 4) o[3] = inStep == 4 ? in[3] : 0;
    }
  }
  return kToolkitSuccess;
}

// The palette of an image with at most 256 distinct colours, in order of first appearance;
// false when it has more.
[[nodiscard]] bool ExactPalette(const ToolkitBitmap* source, std::vector<uint32_t>* colors) {
  std::unordered_map<uint32_t, uint8_t> seen;
  const int step = source->bitsPerPixel / 8;
  for (int32_t y = 0; y < source->height; ++y) {
    const uint8_t* in = RowOf(source, y);
    for (int32_t x = 0; x < source->width; ++x, in += step) {
      const uint32_t c = in[0] | (in[1] << 8) | (uint32_t{in[2]} << 16);
      if (seen.count(c)) continue;
      if (seen.size() == 256) return false;
      seen.emplace(c, static_cast<uint8_t>(seen.size()));
      colors->push_back(c);
    }
  }
  return true;
}

[[nodiscard]] int ConvertWithExactPalette(const ToolkitBitmap* source,
                                          const std::vector<uint32_t>& colors, ToolkitBitmap* out) {
  const int made = AllocateStorage(out, source->width, source->height, 8, false);
  if (made != kToolkitSuccess) return made;
  std::unordered_map<uint32_t, uint8_t> index;
  out->palette->count = static_cast<uint32_t>(colors.size());
  for (uint32_t i = 0; i < 256; ++i) {
    const uint32_t c = i < colors.size() ? colors[i] : 0;
    out->palette->entries[i] = RgbQuad{static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8),
                                       static_cast<uint8_t>(c >> 16), 0};
    if (i < colors.size()) index.emplace(c, static_cast<uint8_t>(i));
  }
  const int step = source->bitsPerPixel / 8;
  for (int32_t y = 0; y < source->height; ++y) {
    const uint8_t* in = RowOf(source, y);
    uint8_t* o = RowOf(out, y);
    for (int32_t x = 0; x < source->width; ++x, in += step) {
      o[x] = index[in[0] | (in[1] << 8) | (uint32_t{in[2]} << 16)];
    }
  }
  return kToolkitSuccess;
}

// 8 bits from direct colour: an image of at most 256 colours keeps them exactly; otherwise
// giflib's median-cut quantiser picks the palette.
[[nodiscard]] int ConvertToIndexed(const ToolkitBitmap* source, ToolkitBitmap* out) {
  try {
    std::vector<uint32_t> colors;
    if (ExactPalette(source, &colors)) return ConvertWithExactPalette(source, colors, out);
  } catch (const std::bad_alloc&) {
    return kToolkitNoMemory;
  }
  const size_t pixels = static_cast<size_t>(source->width) * static_cast<size_t>(source->height);
  if (pixels > UINT32_MAX) return kToolkitTooLarge;
  platform::HeapPtr<uint8_t> planes(static_cast<uint8_t*>(platform::HeapAlloc(pixels * 4)));
  if (!planes) return kToolkitNoMemory;
  uint8_t* red = planes.get();
  uint8_t* green = red + pixels;
  uint8_t* blue = green + pixels;
  uint8_t* indices = blue + pixels;
  const int step = source->bitsPerPixel / 8;
  size_t i = 0;
  for (int32_t y = 0; y < source->height; ++y) {
    const uint8_t* in = RowOf(source, y);
    for (int32_t x = 0; x < source->width; ++x, in += step, ++i) {
      blue[i] = in[0];
      green[i] = in[1];
      red[i] = in[2];
    }
  }
  GifColorType map[256] = {};
  int mapSize = 256;
  if (GifQuantizeBuffer(static_cast<unsigned>(source->width), static_cast<unsigned>(source->height),
                        &mapSize, red, green, blue, indices, map) != GIF_OK) {
    return kToolkitNoMemory;
  }
  const int made = AllocateStorage(out, source->width, source->height, 8, false);
  if (made != kToolkitSuccess) return made;
  out->palette->count = static_cast<uint32_t>(std::clamp(mapSize, 1, 256));
  for (uint32_t c = 0; c < 256; ++c) {
    out->palette->entries[c] = c < out->palette->count
                                   ? RgbQuad{map[c].Blue, map[c].Green, map[c].Red, 0}
                                   : RgbQuad{0, 0, 0, 0};
  }
  for (int32_t y = 0; y < source->height; ++y) {
    std::memcpy(RowOf(out, y), indices + static_cast<size_t>(y) * source->width,
                static_cast<size_t>(source->width));
  }
  return kToolkitSuccess;
}

}  // namespace

int ToDirectColor(const ToolkitBitmap* source, ToolkitBitmap* out) {
  if (!HasPixels(source)) return kToolkitInvalidArgument;
  if (source->bitsPerPixel == 8) return ConvertToDirect(source, out, 24);
  return CopyBitmap(out, source);
}

int ChangeBitsPerPixel(ToolkitBitmap* destination, ToolkitBitmap* source, int32_t bits) {
  if (!destination || !HasPixels(source)) return kToolkitInvalidArgument;
  if (!IsStorageDepth(bits)) return kToolkitInvalidBits;
  if (bits == source->bitsPerPixel) {
    return destination == source ? kToolkitSuccess : CopyBitmap(destination, source);
  }
  ToolkitBitmap converted;
  const int made =
      bits == 8 ? ConvertToIndexed(source, &converted) : ConvertToDirect(source, &converted, bits);
  if (made != kToolkitSuccess) {
    FreeBitmap(&converted);
    return made;
  }
  converted.viewOrientation = source->viewOrientation;
  ReplaceBitmap(destination, &converted);
  return kToolkitSuccess;
}

uint32_t GetPixelColor(const ToolkitBitmap* bitmap, int32_t row, int32_t column) {
  if (!HasPixels(bitmap) || row < 0 || column < 0 || row >= bitmap->height ||
      column >= bitmap->width) {
    return 0;
  }
  const uint8_t* p = RowOf(bitmap, row) + static_cast<size_t>(column) * (bitmap->bitsPerPixel / 8);
  if (bitmap->bitsPerPixel == 8) {
    const RgbQuad q = PaletteColor(bitmap, p[0]);
    return ColorRef(q.red, q.green, q.blue);
  }
  return ColorRef(p[2], p[1], p[0]);
}

void SetPixelColor(ToolkitBitmap* bitmap, int32_t row, int32_t column, uint32_t color) {
  if (!HasPixels(bitmap) || row < 0 || column < 0 || row >= bitmap->height ||
      column >= bitmap->width) {
    return;
  }
  uint8_t* p = RowOf(bitmap, row) + static_cast<size_t>(column) * (bitmap->bitsPerPixel / 8);
  if (bitmap->bitsPerPixel == 8) {
    p[0] = NearestIndex(bitmap, color);
    return;
  }
  p[0] = static_cast<uint8_t>(color >> 16);
  p[1] = static_cast<uint8_t>(color >> 8);
  p[2] = static_cast<uint8_t>(color);
}

int Fill(ToolkitBitmap* bitmap, uint32_t color) {
  if (!HasPixels(bitmap)) return kToolkitInvalidArgument;
  if (bitmap->bitsPerPixel == 8) {
    const uint8_t index = NearestIndex(bitmap, color);
    for (int32_t y = 0; y < bitmap->height; ++y)
      std::memset(RowOf(bitmap, y), index, bitmap->width);
    return kToolkitSuccess;
  }
  const int step = bitmap->bitsPerPixel / 8;
  for (int32_t y = 0; y < bitmap->height; ++y) {
    uint8_t* p = RowOf(bitmap, y);
    for (int32_t x = 0; x < bitmap->width; ++x, p += step) {
      p[0] = static_cast<uint8_t>(color >> 16);
      p[1] = static_cast<uint8_t>(color >> 8);
      p[2] = static_cast<uint8_t>(color);
      if (step == 4) p[3] = 0;
    }
  }
  return kToolkitSuccess;
}

}  // namespace lf::imaging
