// SPDX-License-Identifier: MIT
// Bitmap records and their storage: allocation, palettes, copies and crops.
#include <algorithm>
#include <cstring>
#include <new>

#include "imaging/bitmap_storage.h"
#include "imaging/pixel_limits.h"
#include "imaging/toolkit.h"
#include "platform/memory.h"

namespace lf::imaging {

int32_t StrideFor(int32_t width, int32_t bits) {
  if (width <= 0 || bits <= 0) return 0;
  const int64_t stride = ((static_cast<int64_t>(width) * bits + 31) / 32) * 4;
  return stride > INT32_MAX ? 0 : static_cast<int32_t>(stride);
}

void SetGreyPalette(Palette* palette) {
  palette->count = 256;
  for (uint32_t i = 0; i < 256; ++i) {
    const auto v = static_cast<uint8_t>(i);
    palette->entries[i] = RgbQuad{v, v, v, 0};
  }
}

namespace {

Palette* NewPalette() {
  void* p = platform::HeapAllocZeroed(sizeof(Palette));
  return p ? new (p) Palette() : nullptr;
}

[[nodiscard]] int AllocateBlock(ToolkitBitmap* bitmap, LF_HGLOBAL (*allocate)(size_t)) {
  const size_t header = StorageHeaderSize(bitmap->bitsPerPixel);
  const uint64_t rows =
      uint64_t{static_cast<uint32_t>(bitmap->stride)} * static_cast<uint32_t>(bitmap->height);
  if (rows > SIZE_MAX - header) return kToolkitTooLarge;
  LF_HGLOBAL block = allocate(header + static_cast<size_t>(rows));
  if (!block) return kToolkitNoMemory;
  bitmap->storage = block;
  bitmap->pixels = static_cast<uint8_t*>(platform::GlobalLock(block)) + header;
  bitmap->flags |= kBitmapAllocated;
  return kToolkitSuccess;
}

// A block of which only the header room and each row's padding are cleared.
[[nodiscard]] int AllocateBlockForWriting(ToolkitBitmap* bitmap) {
  const int r = AllocateBlock(bitmap, platform::GlobalAllocForWriting);
  if (r != kToolkitSuccess) return r;
  const size_t header = StorageHeaderSize(bitmap->bitsPerPixel);
  std::memset(bitmap->pixels - header, 0, header);
  const size_t stride = static_cast<size_t>(bitmap->stride);
  const size_t used =
      static_cast<size_t>(bitmap->width) * static_cast<size_t>(bitmap->bitsPerPixel / 8);
  if (stride == used) return kToolkitSuccess;
  for (int32_t y = 0; y < bitmap->height; ++y) {
    std::memset(bitmap->pixels + static_cast<size_t>(y) * stride + used, 0, stride - used);
  }
  return kToolkitSuccess;
}

// The shared body of AllocateStorage and AllocateRowStorage.
[[nodiscard]] int MakeStorage(ToolkitBitmap* bitmap, int32_t width, int32_t height, int32_t bits,
                              bool forWriting) {
  if (!IsStorageDepth(bits)) return kToolkitInvalidBits;
  if (width <= 0 || height <= 0) return kToolkitInvalidArgument;
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxPixels) {
    return kToolkitTooLarge;
  }
  const int32_t stride = StrideFor(width, bits);
  if (stride == 0) return kToolkitTooLarge;
  Palette* palette = nullptr;
  if (bits == 8) {
    palette = NewPalette();
    if (!palette) return kToolkitNoMemory;
    SetGreyPalette(palette);
  }
  ToolkitBitmap made;
  made.width = width;
  made.height = height;
  made.bitsPerPixel = bits;
  made.stride = stride;
  const int r = forWriting ? AllocateBlockForWriting(&made) : AllocateStorageBlock(&made);
  if (r != kToolkitSuccess) {
    FreePalette(palette);
    return r;
  }
  made.palette = palette;
  *bitmap = made;
  return kToolkitSuccess;
}

}  // namespace

int AllocateStorage(ToolkitBitmap* bitmap, int32_t width, int32_t height, int32_t bits,
                    bool /*zero*/) {
  // Global blocks always come zero-filled.
  return MakeStorage(bitmap, width, height, bits, false);
}

int AllocateRowStorage(ToolkitBitmap* bitmap, int32_t width, int32_t height, int32_t bits) {
  if (bits != 24 && bits != 32) return kToolkitInvalidBits;
  return MakeStorage(bitmap, width, height, bits, true);
}

int AllocateStorageBlock(ToolkitBitmap* bitmap) {
  return AllocateBlock(bitmap, platform::GlobalAlloc);
}

void ReplaceBitmap(ToolkitBitmap* target, ToolkitBitmap* source) {
  if (target == source) return;
  FreeBitmap(target);
  *target = *source;
  *source = ToolkitBitmap{};
}

void FreePalette(Palette* palette) { platform::HeapFree(palette); }

void FreeBitmap(ToolkitBitmap* bitmap) {
  if (!bitmap) return;
  if (bitmap->storage) platform::GlobalFree(bitmap->storage);
  FreePalette(bitmap->palette);
  *bitmap = ToolkitBitmap{};
}

int PrepareBitmap(ToolkitBitmap* bitmap, int32_t width, int32_t height, int32_t bits) {
  if (!bitmap) return kToolkitInvalidArgument;
  if (!IsStorageDepth(bits)) return kToolkitInvalidBits;
  const int32_t stride = StrideFor(width, bits);
  if (height <= 0 || stride == 0) return kToolkitInvalidArgument;
  *bitmap = ToolkitBitmap{};
  bitmap->width = width;
  bitmap->height = height;
  bitmap->bitsPerPixel = bits;
  bitmap->stride = stride;
  return kToolkitSuccess;
}

int AllocatePixels(ToolkitBitmap* bitmap) {
  if (!bitmap || bitmap->pixels || bitmap->stride <= 0 || bitmap->height <= 0) {
    return kToolkitInvalidArgument;
  }
  if (static_cast<uint64_t>(bitmap->width) * static_cast<uint64_t>(bitmap->height) > kMaxPixels) {
    return kToolkitTooLarge;
  }
  return AllocateStorageBlock(bitmap);
}

int CreateBitmap(ToolkitBitmap* bitmap, int32_t width, int32_t height, int32_t bits) {
  if (!bitmap) return kToolkitInvalidArgument;
  return AllocateStorage(bitmap, width, height, bits, true);
}

Palette* CopyPalette(const Palette* palette) {
  if (!palette) return nullptr;
  Palette* copy = NewPalette();
  if (copy) *copy = *palette;
  return copy;
}

int CopyBitmap(ToolkitBitmap* destination, const ToolkitBitmap* source) {
  if (!destination || !HasPixels(source) || destination == source) return kToolkitInvalidArgument;
  ToolkitBitmap copy;
  const int made =
      AllocateStorage(&copy, source->width, source->height, source->bitsPerPixel, false);
  if (made != kToolkitSuccess) return made;
  std::memcpy(copy.pixels, source->pixels,
              static_cast<size_t>(source->stride) * static_cast<size_t>(source->height));
  if (source->palette) *copy.palette = *source->palette;
  copy.viewOrientation = source->viewOrientation;
  ReplaceBitmap(destination, &copy);
  return kToolkitSuccess;
}

int Crop(ToolkitBitmap* bitmap, int32_t left, int32_t top, int32_t width, int32_t height) {
  if (!HasPixels(bitmap) || width <= 0 || height <= 0) return kToolkitInvalidArgument;
  const int64_t x0 = std::max<int64_t>(left, 0);
  const int64_t y0 = std::max<int64_t>(top, 0);
  const int64_t x1 = std::min<int64_t>(int64_t{left} + width, bitmap->width);
  const int64_t y1 = std::min<int64_t>(int64_t{top} + height, bitmap->height);
  if (x1 <= x0 || y1 <= y0) return kToolkitInvalidArgument;
  ToolkitBitmap cropped;
  const int made = AllocateStorage(&cropped, static_cast<int32_t>(x1 - x0),
                                   static_cast<int32_t>(y1 - y0), bitmap->bitsPerPixel, false);
  if (made != kToolkitSuccess) return made;
  const size_t step = static_cast<size_t>(bitmap->bitsPerPixel / 8);
  for (int32_t y = 0; y < cropped.height; ++y) {
    std::memcpy(RowOf(&cropped, y), RowOf(bitmap, static_cast<int32_t>(y0) + y) + x0 * step,
                static_cast<size_t>(cropped.width) * step);
  }
  if (bitmap->palette) *cropped.palette = *bitmap->palette;
  cropped.viewOrientation = bitmap->viewOrientation;
  ReplaceBitmap(bitmap, &cropped);
  return kToolkitSuccess;
}

}  // namespace lf::imaging
