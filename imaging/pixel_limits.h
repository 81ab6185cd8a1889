// SPDX-License-Identifier: MIT
// How many pixels a file may ask us to allocate. A header is untrusted: a 600-byte JPEG can declare
// a frame of a billion pixels, and we must refuse it before allocating rather than after.
#pragma once

#include <cstdint>

namespace lf::imaging {

// No bitmap is larger than this (268 megapixels, about 800 MB at 24 bits per pixel).
inline constexpr uint64_t kMaxPixels = uint64_t{1} << 28;
// Up to this size a file of any length may decode (16.7 megapixels)...
inline constexpr uint64_t kPixelsFreeOfFileSize = uint64_t{1} << 24;
// ...above it every pixel needs file bytes behind it. The densest ordinary codings (deflate at its
// 1032:1 limit on one-bit rows, JPEG of flat colour) stay well below 8192 pixels per byte.
inline constexpr uint64_t kMaxPixelsPerFileByte = 8192;

// True when a width × height image may be decoded from a file of `fileSize` bytes.
[[nodiscard]] constexpr bool PixelsAllowed(uint64_t width, uint64_t height, uint64_t fileSize) {
  if (width == 0 || height == 0 || width > kMaxPixels || height > kMaxPixels) return false;
  const uint64_t pixels = width * height;  // both below 2^28: no overflow
  if (pixels > kMaxPixels) return false;
  if (pixels <= kPixelsFreeOfFileSize) return true;
  return fileSize >= pixels / kMaxPixelsPerFileByte;
}

}  // namespace lf::imaging
