// SPDX-License-Identifier: MIT
// Draw paints a host's packed DIB stretched into a rectangle; DrawImage loads a file, whitens,
// turns and crops it, and paints it stretched. Every bitmap is freed on every path.
#include "imaging/draw.h"

#include <algorithm>
#include <cmath>

#include "imaging/decode.h"
#include "imaging/toolkit.h"
#include "plugin/operations.h"

namespace lf::imaging {

uint32_t WhitenColor(uint32_t color, int32_t percent) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t c = (color >> shift) & 0xFF;
    // Two's-complement wrapping, as 32-bit signed arithmetic gives for a very large percent.
    const uint32_t sum =
        c * static_cast<uint32_t>(100 - int64_t{percent}) + 255u * static_cast<uint32_t>(percent);
    const int32_t value = static_cast<int32_t>(sum) / 100;
    out |= (static_cast<uint32_t>(value) & 0xFF) << shift;
  }
  return out;
}

int32_t DeviceBitsPerPixel(const LfDeviceContext* dc) { return dc ? dc->bitsPerPixel : 0; }

namespace {

[[nodiscard]] bool IsEmpty(const LfRect& r) { return r.right <= r.left || r.bottom <= r.top; }

// A rectangle's extent, clamped to what a bitmap dimension can hold (rectangles come from the
// host unchecked and may span more than 32 bits).
[[nodiscard]] int32_t Extent(int32_t from, int32_t to) {
  const int64_t extent = int64_t{to} - from;
  return extent > INT32_MAX ? INT32_MAX : static_cast<int32_t>(extent);
}

void Whiten(ToolkitBitmap* bitmap, int32_t percent) {
  for (int32_t row = 0; row < bitmap->height; ++row) {
    for (int32_t column = 0; column < bitmap->width; ++column) {
      SetPixelColor(bitmap, row, column, WhitenColor(GetPixelColor(bitmap, row, column), percent));
    }
  }
}

// How small DrawImage may decode its file: the image turned by `angle` must still cover the
// destination (a turned image's bounding box grows, so it may be decoded smaller still). A crop
// picks pixels in full-size coordinates, and a whitening above 100 % wraps channel values, which
// averaging does not commute with: both keep the full size.
CoverSize DrawImageCover(int32_t angle, const LfRect& crop, int32_t whitenPercent,
                         int32_t destinationWidth, int32_t destinationHeight) {
  if (!IsEmpty(crop) || whitenPercent > 100) return {};
  const double radians = angle / 100.0 * M_PI / 180.0;
  const double c = std::fabs(std::cos(radians)), s = std::fabs(std::sin(radians));
  return [=](int32_t width, int32_t height, int32_t* minWidth, int32_t* minHeight) {
    const double w = width, h = height;
    const double factor =
        std::max(destinationWidth / (w * c + h * s), destinationHeight / (w * s + h * c));
    *minWidth = static_cast<int32_t>(std::min(w, std::ceil(factor * w)));
    *minHeight = static_cast<int32_t>(std::min(h, std::ceil(factor * h)));
  };
}

}  // namespace

}  // namespace lf::imaging

namespace lf::ops {

HRESULT Draw(LfDeviceContext* dc, LF_HGLOBAL image, const LfRect& destination) {
  using namespace lf::imaging;
  if (!dc || !image || IsEmpty(destination)) return E_INVALIDARG;
  ScopedBitmap source;
  if (DibToBitmap(image, source.get()) != S_OK) return E_FAIL;
  ScopedBitmap scaled;
  if (CopyBitmap(scaled.get(), source.get()) != kToolkitSuccess) return E_FAIL;
  const int32_t width = Extent(destination.left, destination.right);
  const int32_t height = Extent(destination.top, destination.bottom);
  if (Resize(scaled.get(), width, height) != kToolkitSuccess) return E_FAIL;
  if (DeviceBitsPerPixel(dc) == 1) {
    return PaintOneBit(dc, scaled.get(), destination.left, destination.top, width, height) ? S_OK
                                                                                           : E_FAIL;
  }
  return Paint(dc, scaled.get(), destination) == kToolkitSuccess ? S_OK : E_FAIL;
}

HRESULT DrawImage(const char* path, LfDeviceContext* dc, const LfRect& destination, int32_t angle,
                  const LfRect& crop, int32_t whitenPercent) {
  using namespace lf::imaging;
  if (!path || !path[0] || !dc || IsEmpty(destination) || angle < -36000 || angle > 36000) {
    return E_INVALIDARG;
  }
  const int32_t width = Extent(destination.left, destination.right);
  const int32_t height = Extent(destination.top, destination.bottom);
  ScopedBitmap bitmap;
  if (LoadImageFile(path, bitmap.get(), 24,
                    DrawImageCover(angle, crop, whitenPercent, width, height)) != kToolkitSuccess) {
    return E_FAIL;
  }
  if (whitenPercent > 0) Whiten(bitmap.get(), whitenPercent);
  if (Rotate(bitmap.get(), angle, 0xFFFFFF) != kToolkitSuccess) return E_FAIL;
  if (!IsEmpty(crop) && Crop(bitmap.get(), crop.left, crop.top, Extent(crop.left, crop.right),
                             Extent(crop.top, crop.bottom)) != kToolkitSuccess) {
    return E_FAIL;
  }
  if (Resize(bitmap.get(), width, height) != kToolkitSuccess) return E_FAIL;
  // The painting's own result is not reported: the image was prepared, and that is success.
  (void)Paint(dc, bitmap.get(), destination);
  return S_OK;
}

}  // namespace lf::ops
