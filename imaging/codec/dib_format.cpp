// SPDX-License-Identifier: MIT
#include "imaging/codec/dib_format.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "imaging/bitmap_storage.h"
#include "imaging/codec/codecs.h"
#include "imaging/pixel_limits.h"

namespace lf::imaging {

namespace {

using exif::ByteView;
using exif::Cursor;

// Compression values of BITMAPINFOHEADER.biCompression.
constexpr uint32_t kRgb = 0;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kAlphaBitFields = 6;

struct DibHeader {
  uint32_t headerSize = 0;
  int64_t width = 0;
  int64_t height = 0;  // negative: rows stored top-down
  uint32_t bits = 0;
  uint32_t compression = kRgb;
  uint32_t colorsUsed = 0;
  uint32_t masks[3] = {};
  uint64_t tableOffset = 0;
  uint32_t tableEntrySize = 4;
  uint32_t tableCount = 0;
};

const char* CompressionName(uint32_t compression) {
  switch (compression) {
    case kRgb: return "None";
    case kRle8: return "RLE8";
    case kRle4: return "RLE4";
    case kBitFields:
    case kAlphaBitFields: return "BitFields";
    default: return "Other";
  }
}

[[nodiscard]] bool ParseHeader(ByteView dib, DibHeader* h) {
  Cursor c(dib);
  h->headerSize = c.U32();
  if (!c) return false;
  if (h->headerSize == 12) {  // BITMAPCOREHEADER
    h->width = c.U16();
    h->height = c.U16();
    c.U16();  // planes
    h->bits = c.U16();
    h->tableEntrySize = 3;
  } else if (h->headerSize >= kInfoHeaderSize) {
    h->width = static_cast<int32_t>(c.U32());
    h->height = static_cast<int32_t>(c.U32());
    c.U16();  // planes
    h->bits = c.U16();
    h->compression = c.U32();
    c.Skip(12);  // image size, resolution
    h->colorsUsed = c.U32();
  } else {
    return false;
  }
  if (!c || !dib.Contains(0, h->headerSize)) return false;
  h->tableOffset = h->headerSize;
  if (h->compression == kBitFields || h->compression == kAlphaBitFields) {
    // Version 2 and later headers hold the masks; a 40-byte header is followed by them.
    const uint64_t at = h->headerSize >= 52 ? kInfoHeaderSize : h->headerSize;
    bool ok = true;
    for (int i = 0; i < 3; ++i) h->masks[i] = dib.ReadU32(at + 4 * i, &ok);
    if (!ok) return false;
    if (h->headerSize == kInfoHeaderSize) {
      h->tableOffset += h->compression == kAlphaBitFields ? 16 : 12;
    }
  }
  if (h->bits >= 1 && h->bits <= 8) {
    const uint32_t full = 1u << h->bits;
    h->tableCount = h->colorsUsed && h->colorsUsed < full ? h->colorsUsed : full;
  }
  const bool known = h->bits == 1 || h->bits == 4 || h->bits == 8 || h->bits == 16 ||
                     h->bits == 24 || h->bits == 32;
  const bool layoutOk = (h->compression == kRgb) || (h->compression == kRle8 && h->bits == 8) ||
                        (h->compression == kRle4 && h->bits == 4) ||
                        ((h->compression == kBitFields || h->compression == kAlphaBitFields) &&
                         (h->bits == 16 || h->bits == 32));
  return known && layoutOk && h->width > 0 && h->height != 0 && h->height != INT32_MIN;
}

[[nodiscard]] bool ReadColorTable(ByteView dib, const DibHeader& h, Palette* palette) {
  palette->count = h.tableCount;
  for (uint32_t i = 0; i < 256; ++i) palette->entries[i] = RgbQuad{0, 0, 0, 0};
  for (uint32_t i = 0; i < h.tableCount; ++i) {
    const uint8_t* e = dib.Pointer(h.tableOffset + uint64_t{i} * h.tableEntrySize, 3);
    if (!e) return false;
    palette->entries[i] = RgbQuad{e[0], e[1], e[2], 0};
  }
  return true;
}

// One channel of a bit-field pixel, scaled to 8 bits.
uint8_t Channel(uint32_t pixel, uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const int width = std::popcount(mask);
  const uint32_t value = (pixel & mask) >> shift;
  if (width >= 8) return static_cast<uint8_t>(value >> (width - 8));
  return static_cast<uint8_t>(value * 255 / ((1u << width) - 1));
}

// Uncompressed rows. Rows the data does not reach stay black.
void ReadRows(ByteView pixels, const DibHeader& h, ToolkitBitmap* bitmap) {
  const auto width = static_cast<int32_t>(h.width);
  const int32_t stride = StrideFor(width, static_cast<int32_t>(h.bits));
  uint32_t masks[3] = {h.masks[0], h.masks[1], h.masks[2]};
  if (h.compression == kRgb && h.bits == 16) {  // 5-5-5 unless masks say otherwise
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  }
  const bool bitFields = h.bits == 16 || (h.bits == 32 && h.compression != kRgb);
  for (int32_t i = 0; i < bitmap->height; ++i) {
    const uint8_t* in =
        pixels.Pointer(uint64_t{static_cast<uint32_t>(i)} * stride, static_cast<uint32_t>(stride));
    if (!in) break;
    const int32_t y = h.height > 0 ? bitmap->height - 1 - i : i;
    uint8_t* out = RowOf(bitmap, y);
    if (h.bits <= 8) {
      const int perByte = 8 / static_cast<int>(h.bits);
      const uint8_t valueMask = static_cast<uint8_t>((1u << h.bits) - 1);
      for (int32_t x = 0; x < width; ++x) {
        const int shift = 8 - static_cast<int>(h.bits) * (x % perByte + 1);
        out[x] = static_cast<uint8_t>((in[x / perByte] >> shift) & valueMask);
      }
    } else if (bitFields) {
      const int step = static_cast<int>(h.bits / 8);
      const int outStep = bitmap->bitsPerPixel / 8;
      for (int32_t x = 0; x < width; ++x, in += step, out += outStep) {
        const uint32_t px = step == 2 ? uint32_t(in[0] | in[1] << 8)
                                      : uint32_t(in[0] | in[1] << 8 | in[2] << 16) | uint32_t{in[3]}
                                                                                         << 24;
        out[0] = Channel(px, masks[2]);
        out[1] = Channel(px, masks[1]);
        out[2] = Channel(px, masks[0]);
        if (outStep == 4) out[3] = 0;
      }
    } else {
      std::memcpy(out, in, static_cast<size_t>(width) * (h.bits / 8));
    }
  }
}

// RLE8 and RLE4 (BMP run-length encoding): runs, end of line, end of bitmap, delta moves and
// literal runs padded to 16 bits. Pixels the runs never reach stay index 0.
void ReadRle(ByteView pixels, const DibHeader& h, ToolkitBitmap* bitmap) {
  const bool four = h.compression == kRle4;
  Cursor c(pixels);
  int64_t x = 0, line = 0;
  auto put = [&](uint8_t index) {
    if (x >= 0 && x < bitmap->width && line < bitmap->height) {
      RowOf(bitmap, static_cast<int32_t>(bitmap->height - 1 - line))[x] = index;
    }
    ++x;
  };
  while (c && line < bitmap->height) {
    const uint8_t count = c.U8();
    const uint8_t value = c.U8();
    if (!c) break;
    if (count > 0) {
      for (int i = 0; i < count; ++i) put(four ? ((i & 1) ? value & 0x0F : value >> 4) : value);
      continue;
    }
    if (value == 0) {
      x = 0;
      ++line;
    } else if (value == 1) {
      break;
    } else if (value == 2) {
      x += c.U8();
      line += c.U8();
    } else {
      const uint32_t bytes = four ? (value + 1u) / 2 : value;
      exif::ByteView literal = c.Bytes(bytes);
      if (!c) break;
      for (int i = 0; i < value; ++i) {
        const uint8_t b = literal.ReadU8(four ? i / 2 : i);
        put(four ? ((i & 1) ? b & 0x0F : b >> 4) : b);
      }
      if (bytes & 1) c.Skip(1);
    }
  }
}

}  // namespace

int ReadDib(ByteView dib, uint64_t pixelOffset, ToolkitBitmap* bitmap, FileInfo* info,
            bool headerOnly) {
  DibHeader h;
  if (!ParseHeader(dib, &h)) return kToolkitCorrupt;
  info->width = static_cast<int32_t>(h.width);
  info->height = static_cast<int32_t>(h.height < 0 ? -h.height : h.height);
  info->bitsPerPixel = static_cast<int32_t>(h.bits);
  SetCompressionName(info, CompressionName(h.compression));
  info->viewOrientation = 0;
  if (headerOnly) return kToolkitSuccess;
  if (h.height < 0 && h.compression != kRgb && h.compression != kBitFields &&
      h.compression != kAlphaBitFields) {
    return kToolkitCorrupt;  // compressed bitmaps cannot be top-down
  }
  if (!PixelsAllowed(static_cast<uint64_t>(info->width), static_cast<uint64_t>(info->height),
                     dib.size())) {
    return kToolkitTooLarge;
  }
  if (pixelOffset == 0) pixelOffset = h.tableOffset + uint64_t{h.tableCount} * h.tableEntrySize;
  const ByteView pixels = dib.From(pixelOffset);
  if (pixels.empty()) return kToolkitCorrupt;
  const int32_t depth = h.bits <= 8 ? 8 : (h.bits == 32 ? 32 : 24);
  const int made = AllocateStorage(bitmap, info->width, info->height, depth, true);
  if (made != kToolkitSuccess) return made;
  if (depth == 8 && !ReadColorTable(dib, h, bitmap->palette)) {
    FreeBitmap(bitmap);
    return kToolkitCorrupt;
  }
  if (h.compression == kRle8 || h.compression == kRle4) {
    ReadRle(pixels, h, bitmap);
  } else {
    ReadRows(pixels, h, bitmap);
  }
  return kToolkitSuccess;
}

uint64_t DibSize(const ToolkitBitmap* bitmap) {
  if (!HasPixels(bitmap)) return 0;
  const uint64_t table = bitmap->bitsPerPixel == 8 ? 1024 : 0;
  const uint64_t size =
      kInfoHeaderSize + table +
      uint64_t{static_cast<uint32_t>(bitmap->stride)} * static_cast<uint32_t>(bitmap->height);
  return size > UINT32_MAX ? 0 : size;
}

bool WriteDibHeader(const ToolkitBitmap* bitmap, uint8_t* dest, size_t size) {
  if (!HasPixels(bitmap) || size < StorageHeaderSize(bitmap->bitsPerPixel)) return false;
  exif::MutableByteView out(dest, size, exif::kLittleEndian);
  const uint32_t imageBytes = static_cast<uint32_t>(bitmap->stride) * bitmap->height;
  bool ok = out.WriteU32(0, kInfoHeaderSize) &&
            out.WriteU32(4, static_cast<uint32_t>(bitmap->width)) &&
            out.WriteU32(8, static_cast<uint32_t>(bitmap->height)) && out.WriteU16(12, 1) &&
            out.WriteU16(14, static_cast<uint16_t>(bitmap->bitsPerPixel)) &&
            out.WriteU32(16, kRgb) && out.WriteU32(20, imageBytes) && out.Fill(24, 0, 16);
  if (bitmap->bitsPerPixel == 8) {
    uint64_t at = kInfoHeaderSize;
    for (uint32_t i = 0; i < 256; ++i, at += 4) {
      RgbQuad q =
          RgbQuad{static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0};
      if (bitmap->palette) q = i < bitmap->palette->count ? bitmap->palette->entries[i] : RgbQuad{};
      ok = ok && out.WriteBytes(at, &q, 4);
    }
  }
  return ok;
}

bool WriteDibInto(const ToolkitBitmap* bitmap, uint8_t* dest, uint64_t size) {
  if (size == 0 || size != DibSize(bitmap)) return false;
  const size_t header = StorageHeaderSize(bitmap->bitsPerPixel);
  if (!WriteDibHeader(bitmap, dest, header)) return false;
  // The storage is already in DIB row order, with zero padding: the rows copy in one piece.
  std::memcpy(dest + header, bitmap->pixels, static_cast<size_t>(size) - header);
  return true;
}

int WriteDib(const ToolkitBitmap* bitmap, size_t prefix, std::vector<uint8_t>* out) {
  const uint64_t size = DibSize(bitmap);
  if (size == 0) return kToolkitInvalidArgument;
  try {
    out->assign(prefix + size, 0);
  } catch (...) {
    return kToolkitNoMemory;
  }
  return WriteDibInto(bitmap, out->data() + prefix, size) ? kToolkitSuccess : kToolkitFailure;
}

}  // namespace lf::imaging
