// SPDX-License-Identifier: MIT
// Resize, rotate and paste through pixman. A large reduction first averages blocks of 2 × 2
// pixels until at most a halving is left, so that every output pixel still averages all of the
// source pixels it covers at a bounded cost per pixel.
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "imaging/bitmap_storage.h"
#include "imaging/pixman_image.h"
#include "imaging/toolkit.h"
#include "platform/memory.h"

namespace lf::imaging {

PixmanImage WrapBitmap(const ToolkitBitmap* bitmap) {
  if (!HasPixels(bitmap)) return nullptr;
  pixman_format_code_t format;
  if (bitmap->bitsPerPixel == 24) {
    format = PIXMAN_r8g8b8;  // bytes B, G, R in memory, as in a DIB
  } else if (bitmap->bitsPerPixel == 32) {
    format = PIXMAN_x8r8g8b8;
  } else {
    return nullptr;
  }
  // Rows are stored bottom-up: pixman gets the top row and a negative stride.
  return PixmanImage(pixman_image_create_bits(format, bitmap->width, bitmap->height,
                                              reinterpret_cast<uint32_t*>(RowOf(bitmap, 0)),
                                              -bitmap->stride));
}

namespace {

struct FilterParams {
  pixman_fixed_t* values = nullptr;
  int count = 0;
  ~FilterParams() { std::free(values); }
};

// One resampling pass; each axis shrinks by at most a factor of two or grows. The picture spans
// `extentX` × `extentY` of the source's pixels (less than all of them when the last column or row
// only pads a block reduction).
[[nodiscard]] bool ResamplePass(const ToolkitBitmap* source, ToolkitBitmap* destination,
                                double extentX, double extentY) {
  PixmanImage src = WrapBitmap(source);
  PixmanImage dst = WrapBitmap(destination);
  if (!src || !dst) return false;
  const double scaleX = extentX / destination->width;
  const double scaleY = extentY / destination->height;
  pixman_transform_t transform;
  pixman_transform_init_scale(&transform, pixman_double_to_fixed(scaleX),
                              pixman_double_to_fixed(scaleY));
  if (!pixman_image_set_transform(src.get(), &transform)) return false;
  // Shrinking axes average the covered source pixels (box); growing axes interpolate linearly.
  auto reconstruct = [](double s) { return s > 1.0 ? PIXMAN_KERNEL_BOX : PIXMAN_KERNEL_LINEAR; };
  auto sample = [](double s) { return s > 1.0 ? PIXMAN_KERNEL_BOX : PIXMAN_KERNEL_IMPULSE; };
  FilterParams params;
  params.values = pixman_filter_create_separable_convolution(
      &params.count, pixman_double_to_fixed(std::max(scaleX, 1.0)),
      pixman_double_to_fixed(std::max(scaleY, 1.0)), reconstruct(scaleX), reconstruct(scaleY),
      sample(scaleX), sample(scaleY), 2, 2);
  if (!params.values) return false;
  if (!pixman_image_set_filter(src.get(), PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params.values,
                               params.count)) {
    return false;
  }
  pixman_image_set_repeat(src.get(), PIXMAN_REPEAT_PAD);
  pixman_image_composite32(PIXMAN_OP_SRC, src.get(), nullptr, dst.get(), 0, 0, 0, 0, 0, 0,
                           destination->width, destination->height);
  return true;
}

// Halves the axes whose step is 2 into the 32-bit `destination`: bilinear sampling at the point
// between each pair (or 2 × 2 block) of source pixels is their average (rounded down), and pixman
// has fast paths for it. The last pair of an odd side repeats the edge.
[[nodiscard]] bool HalvePass(const ToolkitBitmap* source, ToolkitBitmap* destination, int32_t stepX,
                             int32_t stepY) {
  PixmanImage src = WrapBitmap(source);
  PixmanImage dst = WrapBitmap(destination);
  if (!src || !dst) return false;
  pixman_transform_t transform;
  pixman_transform_init_scale(&transform, pixman_int_to_fixed(stepX), pixman_int_to_fixed(stepY));
  if (!pixman_image_set_transform(src.get(), &transform) ||
      !pixman_image_set_filter(src.get(), PIXMAN_FILTER_BILINEAR, nullptr, 0)) {
    return false;
  }
  pixman_image_set_repeat(src.get(), PIXMAN_REPEAT_PAD);
  pixman_image_composite32(PIXMAN_OP_SRC, src.get(), nullptr, dst.get(), 0, 0, 0, 0, 0, 0,
                           destination->width, destination->height);
  return true;
}

// `count` rows of a bitmap from row `top` down, as a record over the same pixels (not to be freed).
ToolkitBitmap RowsOf(const ToolkitBitmap* bitmap, int32_t top, int32_t count) {
  ToolkitBitmap rows = *bitmap;
  rows.height = count;
  rows.pixels = RowOf(bitmap, top + count - 1);
  rows.palette = nullptr;
  rows.storage = nullptr;
  return rows;
}

// A halving of a 24-bit bitmap: pixman's fast paths read 32-bit pixels only, so the rows are
// widened a band at a time, and the picture is never copied whole.
[[nodiscard]] bool HalveWidening(const ToolkitBitmap* source, ToolkitBitmap* destination,
                                 int32_t stepX, int32_t stepY) {
  constexpr int32_t kBandRows = 32;  // even: a band holds whole pairs of rows
  ToolkitBitmap band;
  bool ok = AllocateStorage(&band, source->width, kBandRows, 32, false) == kToolkitSuccess;
  for (int32_t top = 0; ok && top < source->height; top += kBandRows) {
    const int32_t rows = std::min(kBandRows, source->height - top);
    const ToolkitBitmap from = RowsOf(source, top, rows);
    ToolkitBitmap wide = RowsOf(&band, 0, rows);
    ToolkitBitmap to = RowsOf(destination, top / stepY, (rows + stepY - 1) / stepY);
    PixmanImage src = WrapBitmap(&from);
    PixmanImage dst = WrapBitmap(&wide);
    ok = src && dst;
    if (ok) {
      pixman_image_composite32(PIXMAN_OP_SRC, src.get(), nullptr, dst.get(), 0, 0, 0, 0, 0, 0,
                               wide.width, wide.height);
      ok = HalvePass(&wide, &to, stepX, stepY);
    }
  }
  FreeBitmap(&band);
  return ok;
}

// Replaces a bitmap by a 24-bit copy when it is stored with a palette.
[[nodiscard]] int EnsureDirectColor(ToolkitBitmap* bitmap) {
  if (bitmap->bitsPerPixel != 8) return kToolkitSuccess;
  ToolkitBitmap direct;
  const int made = ToDirectColor(bitmap, &direct);
  if (made != kToolkitSuccess) return made;
  direct.viewOrientation = bitmap->viewOrientation;
  ReplaceBitmap(bitmap, &direct);
  return kToolkitSuccess;
}

}  // namespace

bool ResampleInto(const ToolkitBitmap* source, ToolkitBitmap* destination) {
  // A large reduction first averages blocks of 2 × 2 (or 2 × 1) pixels until at most a halving is
  // left for the filter: each halving reads its source once. `extent` follows where the picture
  // ends when an odd side was padded.
  double extentX = source->width, extentY = source->height;
  ToolkitBitmap current;
  const ToolkitBitmap* from = source;
  bool ok = true;
  for (;;) {
    const int32_t stepX = from->width >= 2 * destination->width ? 2 : 1;
    const int32_t stepY = from->height >= 2 * destination->height ? 2 : 1;
    if (stepX == 1 && stepY == 1) break;
    ToolkitBitmap half;
    ok = AllocateStorage(&half, (from->width + stepX - 1) / stepX,
                         (from->height + stepY - 1) / stepY, 32, false) == kToolkitSuccess &&
         (from->bitsPerPixel == 24 ? HalveWidening(from, &half, stepX, stepY)
                                   : HalvePass(from, &half, stepX, stepY));
    if (!ok) {
      FreeBitmap(&half);
      break;
    }
    extentX /= stepX;
    extentY /= stepY;
    ReplaceBitmap(&current, &half);
    from = &current;
  }
  ok = ok && ResamplePass(from, destination, extentX, extentY);
  FreeBitmap(&current);
  return ok;
}

int Resize(ToolkitBitmap* bitmap, int32_t width, int32_t height) {
  if (!HasPixels(bitmap) || width <= 0 || height <= 0) return kToolkitInvalidArgument;
  int r = EnsureDirectColor(bitmap);
  if (r != kToolkitSuccess) return r;
  if (width == bitmap->width && height == bitmap->height) return kToolkitSuccess;
  ToolkitBitmap resized;
  r = AllocateStorage(&resized, width, height, bitmap->bitsPerPixel, false);
  if (r != kToolkitSuccess) return r;
  if (!ResampleInto(bitmap, &resized)) {
    FreeBitmap(&resized);
    return kToolkitNoMemory;
  }
  resized.viewOrientation = bitmap->viewOrientation;
  ReplaceBitmap(bitmap, &resized);
  return kToolkitSuccess;
}

int ResizeInto(const ToolkitBitmap* source, ToolkitBitmap* destination) {
  if (!HasPixels(source) || !destination || destination->width <= 0 || destination->height <= 0) {
    return kToolkitInvalidArgument;
  }
  ToolkitBitmap direct;
  const ToolkitBitmap* from = source;
  int r = kToolkitSuccess;
  if (source->bitsPerPixel == 8) {
    r = ToDirectColor(source, &direct);
    from = &direct;
  }
  // The destination takes direct colour when it was prepared with a palette.
  ToolkitBitmap target;
  if (r == kToolkitSuccess) {
    const int32_t bits = destination->bitsPerPixel == 32 ? 32 : 24;
    r = AllocateStorage(&target, destination->width, destination->height, bits, false);
  }
  if (r == kToolkitSuccess && !ResampleInto(from, &target)) r = kToolkitNoMemory;
  if (r == kToolkitSuccess) {
    target.viewOrientation = destination->viewOrientation;
    ReplaceBitmap(destination, &target);
  }
  FreeBitmap(&target);
  FreeBitmap(&direct);
  return r;
}

namespace {

// The exact sine and cosine for quarter turns, so that they move pixels without resampling.
void SineCosine(int32_t angle, double* s, double* c) {
  switch (angle) {
    case 9000:
      *s = 1;
      *c = 0;
      return;
    case 18000:
      *s = 0;
      *c = -1;
      return;
    case 27000:
      *s = -1;
      *c = 0;
      return;
    default: {
      const double radians = angle / 100.0 * M_PI / 180.0;
      *s = std::sin(radians);
      *c = std::cos(radians);
    }
  }
}

}  // namespace

int Rotate(ToolkitBitmap* bitmap, int32_t angle, uint32_t fill) {
  if (!HasPixels(bitmap)) return kToolkitInvalidArgument;
  angle %= 36000;
  if (angle < 0) angle += 36000;
  if (angle == 0) return kToolkitSuccess;
  int r = EnsureDirectColor(bitmap);
  if (r != kToolkitSuccess) return r;
  double s = 0, c = 0;
  SineCosine(angle, &s, &c);
  const bool quarter = angle % 9000 == 0;
  const double w = bitmap->width, h = bitmap->height;
  const double outW = std::fabs(w * c) + std::fabs(h * s);
  const double outH = std::fabs(w * s) + std::fabs(h * c);
  if (outW > INT32_MAX || outH > INT32_MAX) return kToolkitTooLarge;
  const auto newW = static_cast<int32_t>(std::max(1.0, quarter ? outW : std::ceil(outW - 1e-6)));
  const auto newH = static_cast<int32_t>(std::max(1.0, quarter ? outH : std::ceil(outH - 1e-6)));
  ToolkitBitmap turned;
  r = AllocateStorage(&turned, newW, newH, bitmap->bitsPerPixel, false);
  if (r != kToolkitSuccess) return r;
  (void)Fill(&turned, fill);  // cannot fail: `turned` has just been allocated
  PixmanImage src = WrapBitmap(bitmap);
  PixmanImage dst = WrapBitmap(&turned);
  // pixman maps destination points to source points: turn back by the angle about the centres.
  // In image coordinates (y down) the forward turn is clockwise for a positive angle.
  const double dcx = newW / 2.0, dcy = newH / 2.0, scx = w / 2.0, scy = h / 2.0;
  pixman_f_transform_t f;
  f.m[0][0] = c;
  f.m[0][1] = s;
  f.m[0][2] = scx - (c * dcx + s * dcy);
  f.m[1][0] = -s;
  f.m[1][1] = c;
  f.m[1][2] = scy - (-s * dcx + c * dcy);
  f.m[2][0] = 0;
  f.m[2][1] = 0;
  f.m[2][2] = 1;
  pixman_transform_t transform;
  if (!src || !dst || !pixman_transform_from_pixman_f_transform(&transform, &f) ||
      !pixman_image_set_transform(src.get(), &transform) ||
      !pixman_image_set_filter(src.get(), quarter ? PIXMAN_FILTER_NEAREST : PIXMAN_FILTER_BILINEAR,
                               nullptr, 0)) {
    FreeBitmap(&turned);
    return kToolkitNoMemory;
  }
  // Outside the source pixman reads transparent, so OVER leaves the fill colour in the corners.
  pixman_image_set_repeat(src.get(), PIXMAN_REPEAT_NONE);
  pixman_image_composite32(PIXMAN_OP_OVER, src.get(), nullptr, dst.get(), 0, 0, 0, 0, 0, 0, newW,
                           newH);
  src.reset();
  dst.reset();
  // A quarter turn of an oriented image shows it with width and height exchanged.
  turned.viewOrientation = bitmap->viewOrientation;
  ReplaceBitmap(bitmap, &turned);
  return kToolkitSuccess;
}

int Paste(ToolkitBitmap* destination, int32_t x, int32_t y, int32_t width, int32_t height,
          const ToolkitBitmap* source) {
  if (!HasPixels(destination) || !HasPixels(source) || width <= 0 || height <= 0) {
    return kToolkitInvalidArgument;
  }
  int r = EnsureDirectColor(destination);
  if (r != kToolkitSuccess) return r;
  // The source is brought to the pasted size first, so the paste itself is a plain copy.
  ToolkitBitmap sized;
  r = AllocateStorage(&sized, width, height, destination->bitsPerPixel, false);
  ToolkitBitmap direct;
  const ToolkitBitmap* from = source;
  if (r == kToolkitSuccess && source->bitsPerPixel == 8) {
    r = ToDirectColor(source, &direct);
    from = &direct;
  }
  if (r == kToolkitSuccess && !ResampleInto(from, &sized)) r = kToolkitNoMemory;
  if (r == kToolkitSuccess) {
    PixmanImage src = WrapBitmap(&sized);
    PixmanImage dst = WrapBitmap(destination);
    if (!src || !dst) {
      r = kToolkitNoMemory;
    } else {
      pixman_image_composite32(PIXMAN_OP_SRC, src.get(), nullptr, dst.get(), 0, 0, 0, 0, x, y,
                               width, height);
    }
  }
  FreeBitmap(&direct);
  FreeBitmap(&sized);
  return r;
}

}  // namespace lf::imaging
