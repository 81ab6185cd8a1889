// SPDX-License-Identifier: MIT
#include "imaging/picture_files.h"

#include "imaging/bitmap_storage.h"
#include "imaging/decode.h"
#include "imaging/jpeg_writer.h"
#include "imaging/toolkit.h"
#include "platform/file.h"
#include "platform/memory.h"

namespace lf::imaging {

namespace {

// The thumbnail and the TIFF main image are stored in direct colour.
constexpr int32_t kPictureBits = 24;

[[nodiscard]] bool Succeeded(int toolkitResult) { return toolkitResult >= kToolkitSuccess; }

// A new bitmap of width × height in direct colour, its pixels zero (black).
[[nodiscard]] int NewCanvas(ToolkitBitmap* bitmap, int32_t width, int32_t height) {
  int r = PrepareBitmap(bitmap, width, height, kPictureBits);
  if (Succeeded(r)) r = AllocatePixels(bitmap);
  return r;
}

// The host's block as a toolkit bitmap with pixels; E_FAIL when the toolkit cannot take it.
[[nodiscard]] HRESULT LoadHostImage(LF_HGLOBAL image, ToolkitBitmap* bitmap) {
  const HRESULT r = DibToBitmap(image, bitmap);
  if (Failed(r)) return r;
  if ((bitmap->flags & kBitmapAllocated) == 0 || bitmap->width <= 0 || bitmap->height <= 0) {
    FreeBitmap(bitmap);
    return E_FAIL;
  }
  return S_OK;
}

}  // namespace

ThumbnailPlacement PlaceThumbnail(int32_t width, int32_t height) {
  ThumbnailPlacement p;
  if (width <= 0 || height <= 0) return p;
  const int64_t w = width, h = height;
  // Taller than 4:3: the height fills the canvas; otherwise the width does.
  if (3 * w < 4 * h) {
    p.width = static_cast<int32_t>(w * kThumbnailHeight / h);
    p.height = kThumbnailHeight;
  } else {
    p.width = kThumbnailWidth;
    p.height = static_cast<int32_t>(h * kThumbnailWidth / w);
  }
  if (p.width == 0) p.width = 1;
  if (p.height == 0) p.height = 1;
  p.left = (kThumbnailWidth - p.width) / 2;
  p.top = (kThumbnailHeight - p.height) / 2;
  return p;
}

HRESULT SaveMainImage(const char* path, uint32_t formatFlags, LF_HGLOBAL image, int32_t quality) {
  if (!path || !*path || !image) return E_INVALIDARG;
  if ((formatFlags & LF_ENC_ANY_JPEG) != 0) {
    const int32_t r = SaveJpeg(image, path, quality, kJpegModeExif);
    if (r < 0) {
      (void)platform::DeleteFile(path);  // the save's own failure is the one reported
      return r;
    }
    return S_OK;
  }
  if ((formatFlags & LF_ENC_TIFF) == 0) return E_FAIL;
  ScopedBitmap bitmap;
  if (Failed(LoadHostImage(image, bitmap.get()))) return E_FAIL;
  const int saved = SaveFile(path, bitmap.get(), SaveFormat::Tiff, kPictureBits);
  if (saved <= 0) {
    (void)platform::DeleteFile(path);  // as above
    return HRESULT_FROM_TOOLKIT(saved);
  }
  return S_OK;
}

HRESULT RenderThumbnail(LF_HGLOBAL image, ToolkitBitmap* thumbnail) {
  ScopedBitmap canvas;
  const HRESULT rendered = UseHostImage(image, [&](const ToolkitBitmap* source) {
    int r = kToolkitSuccess;
    if (source->width == kThumbnailWidth && source->height == kThumbnailHeight) {
      // Already the size wanted (a host that renders its own thumbnail): no resampling.
      r = CopyBitmap(canvas.get(), source);
      if (Succeeded(r)) r = ChangeBitsPerPixel(canvas.get(), canvas.get(), kPictureBits);
    } else {
      // Resampled once, straight onto the letter-boxed canvas.
      const ThumbnailPlacement place = PlaceThumbnail(source->width, source->height);
      r = NewCanvas(canvas.get(), kThumbnailWidth, kThumbnailHeight);
      if (Succeeded(r)) {
        r = Paste(canvas.get(), place.left, place.top, place.width, place.height, source);
      }
    }
    return Succeeded(r) ? S_OK : HRESULT_FROM_TOOLKIT(r);
  });
  if (Failed(rendered)) return rendered;
  ReplaceBitmap(thumbnail, canvas.get());
  return S_OK;
}

HRESULT SaveThumbnailFile(const char* path, uint32_t formatFlags, const ToolkitBitmap* thumbnail,
                          int32_t quality) {
  if ((formatFlags & LF_ENC_TIFF) != 0) {
    const int saved = SaveFile(path, thumbnail, SaveFormat::Tiff, kPictureBits);
    return saved >= kToolkitSuccess ? S_OK : HRESULT_FROM_TOOLKIT(saved);
  }
  // The JPEG writer takes a packed DIB.
  platform::GlobalBlock dib(ExportPackedDib(thumbnail));
  if (!dib) return HRESULT_FROM_TOOLKIT(kToolkitNoMemory);
  const int32_t written = SaveJpeg(dib.get(), path, quality, kJpegModeExif);
  return written < 0 ? written : S_OK;
}

HRESULT MakeThumbnailFile(const char* path, uint32_t formatFlags, LF_HGLOBAL image,
                          int32_t quality) {
  if (!path || !*path || !image || (formatFlags & (LF_ENC_TIFF | LF_ENC_ANY_JPEG)) == 0) {
    return E_INVALIDARG;
  }
  ScopedBitmap thumbnail;
  if (const HRESULT r = RenderThumbnail(image, thumbnail.get()); Failed(r)) return r;
  return SaveThumbnailFile(path, formatFlags, thumbnail.get(), quality);
}

}  // namespace lf::imaging
