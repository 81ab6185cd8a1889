// SPDX-License-Identifier: MIT
// Image files made by the reference libraries, and BMPs and packed DIBs laid out byte by byte.
#pragma once

#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "lumenframe/lumenframe.h"
#include "tests/support/fixture_builder.h"

namespace lf::test {

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

// A PNG from samples per channel (indices when a palette is given), interlaced when asked.
inline std::string WritePng(const std::string& path, int width, int height, int colorType,
                            int bitDepth, const std::vector<uint16_t>& samples,
                            bool interlaced = false, const std::vector<Rgb>& palette = {}) {
  FILE* f = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, width, height, bitDepth, colorType,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> colors;
  for (const Rgb& c : palette) colors.push_back(png_color{c.r, c.g, c.b});
  if (!colors.empty()) png_set_PLTE(png, info, colors.data(), static_cast<int>(colors.size()));
  png_write_info(png, info);
  const int channels = png_get_channels(png, info);
  std::vector<std::vector<uint8_t>> rows(height, std::vector<uint8_t>(png_get_rowbytes(png, info)));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width * channels; ++x) {
      const uint16_t v = samples[static_cast<size_t>(y) * width * channels + x];
      if (bitDepth == 16) {
        rows[y][x * 2] = static_cast<uint8_t>(v >> 8);
        rows[y][x * 2 + 1] = static_cast<uint8_t>(v);
      } else {  // 8 bits, or sub-byte grey packed most significant first
        const int perByte = 8 / bitDepth;
        rows[y][x / perByte] |= static_cast<uint8_t>(v << (8 - bitDepth * (x % perByte + 1)));
      }
    }
  }
  std::vector<png_bytep> pointers;
  for (auto& r : rows) pointers.push_back(r.data());
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
  return path;
}

// An RGB TIFF (8 bits per sample) with the given compression and rows per strip.
inline std::string WriteRgbTiff(const std::string& path, int width, int height,
                                const std::vector<Rgb>& pixels, uint16_t compression,
                                uint32_t rowsPerStrip) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t{8});
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t{3});
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
  for (int y = 0; y < height; ++y) {
    TIFFWriteScanline(t, const_cast<Rgb*>(pixels.data() + static_cast<size_t>(y) * width),
                      static_cast<uint32_t>(y), 0);
  }
  TIFFClose(t);
  return path;
}

// A GIF of one frame with a palette of `tableSize` entries, interlaced when asked.
inline std::string WriteGif(const std::string& path, int width, int height,
                            const std::vector<Rgb>& palette, const std::vector<uint8_t>& indices,
                            bool interlaced, int tableSize = 256) {
  int error = 0;
  GifFileType* g = EGifOpenFileName(path.c_str(), false, &error);
  std::vector<GifColorType> colors(256, GifColorType{0, 0, 0});
  for (size_t i = 0; i < palette.size(); ++i)
    colors[i] = {palette[i].r, palette[i].g, palette[i].b};
  ColorMapObject* map = GifMakeMapObject(tableSize, colors.data());
  EGifPutScreenDesc(g, width, height, 8, 0, map);
  EGifPutImageDesc(g, 0, 0, width, height, interlaced, nullptr);
  // Interlaced: rows 0+8n, then 4+8n, 2+4n, 1+2n.
  static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  for (int p = 0; p < (interlaced ? 4 : 1); ++p) {
    for (int y = interlaced ? kStart[p] : 0; y < height; y += interlaced ? kStep[p] : 1) {
      auto* row = const_cast<GifPixelType*>(indices.data() + static_cast<size_t>(y) * width);
      EGifPutLine(g, row, width);
    }
  }
  GifFreeMapObject(map);
  EGifCloseFile(g, &error);
  return path;
}

// A BMP: file header, BITMAPINFOHEADER, colour table, optional masks, `rows` as given.
inline Bytes MakeBmp(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                     const std::vector<Rgb>& palette, const Bytes& rows,
                     const std::vector<uint32_t>& masks = {}) {
  ByteWriter w(Order::Little);
  const uint32_t offset = 14 + 40 + static_cast<uint32_t>(masks.size() * 4 + palette.size() * 4);
  w.U8('B').U8('M').U32(offset + static_cast<uint32_t>(rows.size())).U32(0).U32(offset);
  w.U32(40).U32(static_cast<uint32_t>(width)).U32(static_cast<uint32_t>(height)).U16(1).U16(bits);
  w.U32(compression).U32(static_cast<uint32_t>(rows.size())).U32(2835).U32(2835);
  w.U32(static_cast<uint32_t>(palette.size())).U32(0);
  for (uint32_t m : masks) w.U32(m);
  for (const Rgb& c : palette) w.U8(c.b).U8(c.g).U8(c.r).U8(0);
  w.Raw(rows);
  return w.Take();
}

// A 24-bit BMP file of side × side pixels (rows need no padding when side is a multiple of 4).
inline Bytes SolidBmp(Rgb c, int side = 4) {
  Bytes rows;
  for (int i = 0; i < side * side; ++i) rows.insert(rows.end(), {c.b, c.g, c.r});
  return MakeBmp(side, side, 24, 0, {}, rows);
}

// A BITMAPINFOHEADER: 40 bytes, one plane, no sizes or colour counts.
inline Bytes DibHeader(int32_t width, int32_t height, uint16_t bits, uint32_t compression = 0) {
  ByteWriter w(Order::Little);
  w.U32(40).U32(static_cast<uint32_t>(width)).U32(static_cast<uint32_t>(height)).U16(1).U16(bits);
  w.U32(compression).Zeros(20);
  return w.Take();
}

// A 24-bit packed DIB of colour(x, y), y = 0 on top; top-down for a negative height.
inline LF_HGLOBAL MakeDib24(int width, int height, const std::function<Rgb(int, int)>& colour) {
  const int rows = height < 0 ? -height : height;
  const size_t stride = ((static_cast<size_t>(width) * 24 + 31) / 32) * 4;
  LF_HGLOBAL block = LfGlobalAlloc(40 + stride * rows);
  auto* p = static_cast<uint8_t*>(LfGlobalLock(block));
  std::memcpy(p, DibHeader(width, height, 24).data(), 40);
  for (int y = 0; y < rows; ++y) {
    uint8_t* row = p + 40 + stride * static_cast<size_t>(height < 0 ? y : rows - 1 - y);
    for (int x = 0; x < width; ++x) {
      const Rgb c = colour(x, y);
      row[x * 3] = c.b;
      row[x * 3 + 1] = c.g;
      row[x * 3 + 2] = c.r;
    }
  }
  LfGlobalUnlock(block);
  return block;
}

// A host block owned by the test: a decoded bottom-up 24-bit packed DIB, or one made to encode.
struct OwnedDib {
  explicit OwnedDib(LF_HGLOBAL handle) : block(handle) {}
  OwnedDib(const OwnedDib&) = delete;
  OwnedDib& operator=(const OwnedDib&) = delete;
  ~OwnedDib() { LfGlobalFree(block); }
  Bytes bytes() const {
    const auto* p = static_cast<const uint8_t*>(LfGlobalLock(block));
    Bytes b(p, p + LfGlobalSize(block));
    LfGlobalUnlock(block);
    return b;
  }
  int32_t I32(size_t at) const {
    int32_t v;
    std::memcpy(&v, bytes().data() + at, 4);
    return v;
  }
  int32_t width() const { return I32(4); }
  int32_t height() const { return I32(8); }
  // The colour at (x, y), y = 0 the top row.
  Rgb At(int x, int y) const {
    const size_t stride = ((size_t(width()) * 24 + 31) / 32) * 4;
    const Bytes b = bytes();
    const uint8_t* p = b.data() + 40 + size_t(height() - 1 - y) * stride + size_t(x) * 3;
    return Rgb{p[2], p[1], p[0]};
  }
  LF_HGLOBAL block;
};

// A libjpeg JPEG; `setup` adjusts the compressor, `row` fills each scanline (fixture_builder.cpp).
Bytes CompressJpeg(int width, int height, int components, J_COLOR_SPACE space,
                   const std::function<void(jpeg_compress_struct*)>& setup,
                   const std::function<void(int y, uint8_t* row)>& row);

}  // namespace lf::test
