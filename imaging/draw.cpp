// Draw paints a host's packed DIB stretched into a rectangle; DrawImage loads a file, whitens,
// turns and crops it, and paints it stretched. Every bitmap is freed on every path.
#include "imaging/draw.h"

#include "imaging/decode.h"
#include "imaging/toolkit.h"
#include "plugin/operations.h"

namespace lf::imaging {

uint32_t WhitenColor(uint32_t color, int32_t percent) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t c = (color >> shift) & 0xFF;
    // Two's-complement wrapping, as 32-bit signed arithmetic gives for a very large percent.
    const uint32_t sum = c * static_cast<uint32_t>(100 - int64_t{percent}) +
                         255u * static_cast<uint32_t>(percent);
    const int32_t value = static_cast<int32_t>(sum) / 100;
    out |= (static_cast<uint32_t>(value) & 0xFF) << shift;
  }
  return out;
}

int32_t DeviceBitsPerPixel(const LfDeviceContext* dc) { return dc ? dc->bitsPerPixel : 0; }

namespace {

bool IsEmpty(const LfRect& r) { return r.right <= r.left || r.bottom <= r.top; }

// A rectangle's extent, clamped to what a bitmap dimension can hold (rectangles come from the
// host unchecked and may span more than 32 bits).
int32_t Extent(int32_t from, int32_t to) {
  const int64_t extent = int64_t{to} - from;
  return extent > INT32_MAX ? INT32_MAX : static_cast<int32_t>(extent);
}

void Whiten(ToolkitBitmap* bitmap, int32_t percent) {
  for (int32_t row = 0; row < bitmap->height; ++row) {
    for (int32_t column = 0; column < bitmap->width; ++column) {
      SetPixelColor(bitmap, row, column,
                    WhitenColor(GetPixelColor(bitmap, row, column), percent));
    }
  }
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
    return PaintOneBit(dc, scaled.get(), destination.left, destination.top, width, height) != 0
               ? S_OK
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
  ScopedBitmap bitmap;
  if (LoadImageFile(path, bitmap.get(), 24) != kToolkitSuccess) return E_FAIL;
  if (whitenPercent > 0) Whiten(bitmap.get(), whitenPercent);
  if (Rotate(bitmap.get(), angle, 0xFFFFFF) != kToolkitSuccess) return E_FAIL;
  if (!IsEmpty(crop) &&
      Crop(bitmap.get(), crop.left, crop.top, Extent(crop.left, crop.right),
           Extent(crop.top, crop.bottom)) !=
          kToolkitSuccess) {
    return E_FAIL;
  }
  if (Resize(bitmap.get(), Extent(destination.left, destination.right),
             Extent(destination.top, destination.bottom)) != kToolkitSuccess) {
    return E_FAIL;
  }
  // The painting's own result is not reported: the image was prepared, and that is success.
  Paint(dc, bitmap.get(), destination);
  return S_OK;
}

}  // namespace lf::ops
