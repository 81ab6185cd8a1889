// SPDX-License-Identifier: MIT
#include "imaging/codec/tiff_samples.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/bitmap_storage.h"
#include "imaging/pixel_limits.h"
#include "platform/memory.h"

namespace lf::imaging {

namespace {

// No writer stores more than a few extra samples; the cap also keeps the row and tile buffers
// within a small multiple of the pixels the limits allow.
constexpr uint16_t kMaxSamples = 8;

struct Layout {
  uint16_t bits = 1;
  uint16_t format = SAMPLEFORMAT_UINT;
  uint16_t samples = 1;      // per pixel
  uint16_t channels = 1;     // 1 grey, 3 RGB
  bool separate = false;     // one plane per sample (TIFF 6.0, PlanarConfiguration 2)
  bool inverted = false;     // WhiteIsZero
  double low = 0, high = 1;  // what black and white are for floating-point samples
};

// The layout of the current directory; false for one this reader cannot show.
[[nodiscard]] bool ReadLayout(TIFF* tiff, Layout* l) {
  uint16_t planar = PLANARCONFIG_CONTIG, photometric = 0;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &l->bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &l->format);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &l->samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
  if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric)) {
    photometric = l->samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  }
  l->separate = planar == PLANARCONFIG_SEPARATE;
  l->inverted = photometric == PHOTOMETRIC_MINISWHITE;
  if (photometric == PHOTOMETRIC_RGB) {
    l->channels = 3;
  } else if (photometric != PHOTOMETRIC_MINISBLACK && photometric != PHOTOMETRIC_MINISWHITE) {
    return false;
  }
  if (l->samples < l->channels || l->samples > kMaxSamples) return false;
  if (l->format == SAMPLEFORMAT_IEEEFP) {
    // Floating-point pictures are 0 to 1 unless SMinSampleValue and SMaxSampleValue say otherwise.
    double low = 0, high = 0;
    if (TIFFGetField(tiff, TIFFTAG_SMINSAMPLEVALUE, &low) == 1 &&
        TIFFGetField(tiff, TIFFTAG_SMAXSAMPLEVALUE, &high) == 1 && std::isfinite(low) &&
        std::isfinite(high) && high > low) {
      l->low = low;
      l->high = high;
    }
    return l->bits == 32 || l->bits == 64;
  }
  const bool integer = l->format == SAMPLEFORMAT_UINT || l->format == SAMPLEFORMAT_INT ||
                       l->format == SAMPLEFORMAT_VOID;
  return integer && l->bits >= 1 && l->bits <= 32;
}

// Sample `index` of a decoded row, scaled to 8 bits. libtiff hands 16-, 24-, 32- and 64-bit samples
// over in the machine's byte order; other depths stay packed, most significant bit first.
uint8_t Sample8(const uint8_t* row, uint64_t index, const Layout& l) {
  if (l.format == SAMPLEFORMAT_IEEEFP) {
    double v;
    if (l.bits == 32) {
      float f;
      std::memcpy(&f, row + index * 4, 4);
      v = f;
    } else {
      std::memcpy(&v, row + index * 8, 8);
    }
    const double scaled = (v - l.low) / (l.high - l.low) * 255.0 + 0.5;
    if (!(scaled > 0)) return 0;  // NaN too
    return scaled >= 255 ? uint8_t{255} : static_cast<uint8_t>(scaled);
  }
  uint64_t v = 0;
  switch (l.bits) {
    case 8: v = row[index]; break;
    case 16: {
      uint16_t s;
      std::memcpy(&s, row + index * 2, 2);
      v = s;
      break;
    }
    case 32: {
      uint32_t s;
      std::memcpy(&s, row + index * 4, 4);
      v = s;
      break;
    }
    case 24: {
      uint8_t b[3];
      std::memcpy(b, row + index * 3, 3);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      v = b[0] | uint64_t{b[1]} << 8 | uint64_t{b[2]} << 16;
#else
      v = uint64_t{b[0]} << 16 | uint64_t{b[1]} << 8 | b[2];
#endif
      break;
    }
    default: {
      // Up to 31 bits starting anywhere in a byte: a span of at most five bytes.
      const uint64_t bit = index * l.bits;
      const uint64_t last = (bit + l.bits - 1) / 8;
      uint64_t word = 0;
      for (uint64_t b = bit / 8; b <= last; ++b) word = (word << 8) | row[b];
      v = (word >> ((last + 1) * 8 - bit - l.bits)) & ((uint64_t{1} << l.bits) - 1);
    }
  }
  // Signed samples move to the unsigned range: -2^(n-1) becomes black.
  if (l.format == SAMPLEFORMAT_INT) v ^= uint64_t{1} << (l.bits - 1);
  const uint64_t max = (uint64_t{1} << l.bits) - 1;
  return static_cast<uint8_t>((v * 255 + max / 2) / max);
}

// Converts `count` pixels of a decoded row into BGR pixels at `out`. `plane` is the channel a
// separate plane holds, or -1 for pixels holding all their samples.
void ConvertRun(const uint8_t* row, uint32_t count, int plane, const Layout& l, uint8_t* out) {
  for (uint32_t x = 0; x < count; ++x, out += 3) {
    const int from = plane < 0 ? 0 : plane;
    const int to = plane < 0 ? l.channels : plane + 1;
    for (int c = from; c < to; ++c) {
      const uint64_t index = plane < 0 ? uint64_t{x} * l.samples + static_cast<uint64_t>(c) : x;
      uint8_t v = Sample8(row, index, l);
      if (l.inverted) v = static_cast<uint8_t>(255 - v);
      if (l.channels == 1) {
        out[0] = out[1] = out[2] = v;
      } else {
        out[2 - c] = v;
      }
    }
  }
}

// Bytes a row of `pixels` pixels needs in one plane.
uint64_t RowBytes(const Layout& l, uint32_t pixels) {
  return (uint64_t{pixels} * (l.separate ? 1u : l.samples) * l.bits + 7) / 8;
}

// Strips through the scanline interface, plane by plane so that no strip is decoded twice. A row
// that cannot be read stays black, as a damaged strip does in the RGBA path.
[[nodiscard]] int ReadStrips(TIFF* tiff, const Layout& l, uint32_t width, uint32_t height,
                             ToolkitBitmap* bitmap) {
  const tmsize_t size = TIFFScanlineSize(tiff);
  if (size <= 0 || static_cast<uint64_t>(size) < RowBytes(l, width)) return kToolkitCorrupt;
  platform::HeapPtr<uint8_t> row(static_cast<uint8_t*>(platform::HeapAlloc(size_t(size))));
  if (!row) return kToolkitNoMemory;
  bool any = false;
  for (int plane = 0; plane < (l.separate ? l.channels : 1); ++plane) {
    for (uint32_t y = 0; y < height; ++y) {
      if (TIFFReadScanline(tiff, row.get(), y, static_cast<uint16_t>(plane)) != 1) continue;
      any = true;
      ConvertRun(row.get(), width, l.separate ? plane : -1, l, RowOf(bitmap, int32_t(y)));
    }
  }
  return any ? kToolkitSuccess : kToolkitCorrupt;
}

// A tile may be larger than the image it covers; above this size it may not have more pixels.
constexpr uint64_t kMaxTileBytes = 16 * 1024 * 1024;

[[nodiscard]] int ReadTiles(TIFF* tiff, const Layout& l, uint32_t width, uint32_t height,
                            uint64_t fileSize, ToolkitBitmap* bitmap) {
  uint32_t tileWidth = 0, tileHeight = 0;
  TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
  TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
  if (!PixelsAllowed(tileWidth, tileHeight, fileSize)) return kToolkitTooLarge;
  const tmsize_t size = TIFFTileSize(tiff);
  const tmsize_t rowSize = TIFFTileRowSize(tiff);
  if (size <= 0 || rowSize <= 0 || static_cast<uint64_t>(rowSize) < RowBytes(l, tileWidth) ||
      static_cast<uint64_t>(size) / tileHeight < static_cast<uint64_t>(rowSize)) {
    return kToolkitCorrupt;
  }
  if (static_cast<uint64_t>(size) > kMaxTileBytes &&
      uint64_t{tileWidth} * tileHeight > uint64_t{width} * height) {
    return kToolkitTooLarge;
  }
  platform::HeapPtr<uint8_t> tile(static_cast<uint8_t*>(platform::HeapAlloc(size_t(size))));
  if (!tile) return kToolkitNoMemory;
  bool any = false;
  // Both sides are below 2^28 (the pixel limits), so the steps cannot wrap.
  for (int plane = 0; plane < (l.separate ? l.channels : 1); ++plane) {
    for (uint32_t ty = 0; ty < height; ty += tileHeight) {
      for (uint32_t tx = 0; tx < width; tx += tileWidth) {
        if (TIFFReadTile(tiff, tile.get(), tx, ty, 0, static_cast<uint16_t>(plane)) < 0) continue;
        any = true;
        const uint32_t rows = std::min(tileHeight, height - ty);
        const uint32_t columns = std::min(tileWidth, width - tx);
        for (uint32_t r = 0; r < rows; ++r) {
          ConvertRun(tile.get() + size_t(r) * size_t(rowSize), columns, l.separate ? plane : -1, l,
                     RowOf(bitmap, int32_t(ty + r)) + size_t(tx) * 3);
        }
      }
    }
  }
  return any ? kToolkitSuccess : kToolkitCorrupt;
}

}  // namespace

bool NeedsSampleReader(TIFF* tiff) {
  uint16_t bits = 1, format = SAMPLEFORMAT_UINT;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
  if (format == SAMPLEFORMAT_IEEEFP) return true;
  return bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16;
}

int ReadTiffSamples(TIFF* tiff, uint32_t width, uint32_t height, uint64_t fileSize,
                    ToolkitBitmap* bitmap) {
  Layout layout;
  if (!ReadLayout(tiff, &layout)) return kToolkitCorrupt;
  const int made =
      AllocateStorage(bitmap, static_cast<int32_t>(width), static_cast<int32_t>(height), 24, true);
  if (made != kToolkitSuccess) return made;
  const int r = TIFFIsTiled(tiff) ? ReadTiles(tiff, layout, width, height, fileSize, bitmap)
                                  : ReadStrips(tiff, layout, width, height, bitmap);
  if (r != kToolkitSuccess) FreeBitmap(bitmap);
  return r;
}

}  // namespace lf::imaging
