// SPDX-License-Identifier: MIT
// Painting a bitmap into the host's memory device surface (LfDeviceContext): the bitmap is
// stretched to the destination rectangle by pixman, and the part of the rectangle that lies on the
// surface is copied into it in the surface's pixel layout.
#include <algorithm>
#include <cstring>

#include "imaging/bitmap_storage.h"
#include "imaging/pixman_image.h"
#include "imaging/toolkit.h"

namespace lf::imaging {

namespace {

[[nodiscard]] bool SurfaceUsable(const LfDeviceContext* dc, int bits) {
  if (!dc || !dc->pixels || dc->width <= 0 || dc->height <= 0 || dc->bitsPerPixel != bits) {
    return false;
  }
  const int64_t rowBytes = (static_cast<int64_t>(dc->width) * bits + 7) / 8;
  return dc->stride >= rowBytes;
}

// The bitmap at width × height in 24 bits: `out` is filled when resampling or a colour
// conversion is needed, and the result points either at it or at the bitmap itself.
[[nodiscard]] int StretchedCopy(const ToolkitBitmap* bitmap, int32_t width, int32_t height,
                                ToolkitBitmap* out, const ToolkitBitmap** result) {
  if (bitmap->width == width && bitmap->height == height && bitmap->bitsPerPixel != 8) {
    *result = bitmap;
    return kToolkitSuccess;
  }
  ToolkitBitmap direct;
  const ToolkitBitmap* from = bitmap;
  int r = kToolkitSuccess;
  if (bitmap->bitsPerPixel == 8) {
    r = ToDirectColor(bitmap, &direct);
    from = &direct;
  }
  if (r == kToolkitSuccess) r = AllocateStorage(out, width, height, 24, false);
  if (r == kToolkitSuccess && !ResampleInto(from, out)) r = kToolkitNoMemory;
  FreeBitmap(&direct);
  *result = out;
  return r;
}

struct Span {
  int32_t x0, y0, x1, y1;  // the visible part, in surface coordinates
};

// The part of the rectangle at (left, top) of size width × height that lies on the surface.
[[nodiscard]] bool VisibleSpan(const LfDeviceContext* dc, int32_t left, int32_t top, int32_t width,
                               int32_t height, Span* span) {
  const int64_t x0 = std::max<int64_t>(left, 0);
  const int64_t y0 = std::max<int64_t>(top, 0);
  const int64_t x1 = std::min<int64_t>(int64_t{left} + width, dc->width);
  const int64_t y1 = std::min<int64_t>(int64_t{top} + height, dc->height);
  if (x1 <= x0 || y1 <= y0) return false;
  *span = Span{static_cast<int32_t>(x0), static_cast<int32_t>(y0), static_cast<int32_t>(x1),
               static_cast<int32_t>(y1)};
  return true;
}

uint8_t* SurfaceRow(const LfDeviceContext* dc, int32_t y) {
  return static_cast<uint8_t*>(dc->pixels) +
         static_cast<size_t>(y) * static_cast<size_t>(dc->stride);
}

}  // namespace

int Paint(LfDeviceContext* dc, const ToolkitBitmap* bitmap, const LfRect& destination) {
  if (!HasPixels(bitmap)) return kToolkitInvalidArgument;
  // A device paints into its own format: a monochrome surface gets the picture in black and white.
  if (SurfaceUsable(dc, 1)) {
    const int32_t width = static_cast<int32_t>(
        std::min<int64_t>(int64_t{destination.right} - destination.left, INT32_MAX));
    const int32_t height = static_cast<int32_t>(
        std::min<int64_t>(int64_t{destination.bottom} - destination.top, INT32_MAX));
    return PaintOneBit(dc, bitmap, destination.left, destination.top, width, height)
               ? kToolkitSuccess
               : kToolkitInvalidArgument;
  }
  if (!SurfaceUsable(dc, 24) && !SurfaceUsable(dc, 32)) return kToolkitInvalidArgument;
  const int64_t width = int64_t{destination.right} - destination.left;
  const int64_t height = int64_t{destination.bottom} - destination.top;
  if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) {
    return kToolkitInvalidArgument;
  }
  Span span;
  if (!VisibleSpan(dc, destination.left, destination.top, static_cast<int32_t>(width),
                   static_cast<int32_t>(height), &span)) {
    return kToolkitSuccess;  // nothing of the rectangle is on the surface
  }
  ToolkitBitmap stretched;
  const ToolkitBitmap* image = nullptr;
  const int r = StretchedCopy(bitmap, static_cast<int32_t>(width), static_cast<int32_t>(height),
                              &stretched, &image);
  if (r != kToolkitSuccess) {
    FreeBitmap(&stretched);
    return r;
  }
  const int inStep = image->bitsPerPixel / 8;
  const int outStep = dc->bitsPerPixel / 8;
  for (int32_t y = span.y0; y < span.y1; ++y) {
    const uint8_t* in = RowOf(image, y - destination.top) +
                        static_cast<size_t>(span.x0 - destination.left) * inStep;
    uint8_t* out = SurfaceRow(dc, y) + static_cast<size_t>(span.x0) * outStep;
    const size_t count = static_cast<size_t>(span.x1 - span.x0);
    if (inStep == outStep) {
      std::memcpy(out, in, count * inStep);
      continue;
    }
    for (size_t i = 0; i < count; ++i, in += inStep, out += outStep) {
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
      if (outStep == 4) out[3] = 0;
    }
  }
  FreeBitmap(&stretched);
  return kToolkitSuccess;
}

bool PaintOneBit(LfDeviceContext* dc, const ToolkitBitmap* bitmap, int32_t left, int32_t top,
                 int32_t width, int32_t height) {
  if (!HasPixels(bitmap) || !SurfaceUsable(dc, 1) || width <= 0 || height <= 0) return false;
  Span span;
  if (!VisibleSpan(dc, left, top, width, height, &span)) return true;
  ToolkitBitmap stretched;
  const ToolkitBitmap* image = nullptr;
  if (StretchedCopy(bitmap, width, height, &stretched, &image) != kToolkitSuccess) {
    FreeBitmap(&stretched);
    return false;
  }
  const int inStep = image->bitsPerPixel / 8;
  for (int32_t y = span.y0; y < span.y1; ++y) {
    const uint8_t* in = RowOf(image, y - top) + static_cast<size_t>(span.x0 - left) * inStep;
    uint8_t* row = SurfaceRow(dc, y);
    for (int32_t x = span.x0; x < span.x1; ++x, in += inStep) {
      // ITU-R BT.601 luma weights, in thousandths.
      const int luma = (in[2] * 299 + in[1] * 587 + in[0] * 114) / 1000;
      const uint8_t bit = static_cast<uint8_t>(0x80u >> (x & 7));
      if (luma >= 128) {
        row[x >> 3] |= bit;
      } else {
        row[x >> 3] &= static_cast<uint8_t>(~bit);
      }
    }
  }
  FreeBitmap(&stretched);
  return true;
}

}  // namespace lf::imaging
