// SPDX-License-Identifier: MIT
// PNG writing through libpng: 8-bit bitmaps as palette images, 24 and 32 bits as RGB.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <vector>

#include "imaging/bitmap_storage.h"
#include "imaging/codec/codecs.h"
#include "platform/memory.h"

namespace lf::imaging {

namespace {

void WriteToVector(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  try {
    out->insert(out->end(), data, data + length);
  } catch (...) {
    png_error(png, "out of memory");
  }
}
void FlushNothing(png_structp) {}
void IgnoreWarning(png_structp, png_const_charp) {}
// Errors go back to the guarded call without a message on stderr.
[[noreturn]] void JumpOnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

class PngWriter {
 public:
  PngWriter() {
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, IgnoreWarning);
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~PngWriter() {
    if (png_) png_destroy_write_struct(&png_, info_ ? &info_ : nullptr);
  }
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;
  [[nodiscard]] bool ok() const { return png_ && info_; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

[[nodiscard]] bool GuardedWrite(png_structp png, png_infop info, const ToolkitBitmap* bitmap,
                                png_colorp palette, int paletteCount, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  const bool indexed = bitmap->bitsPerPixel == 8;
  png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap->width),
               static_cast<png_uint_32>(bitmap->height), 8,
               indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (indexed) png_set_PLTE(png, info, palette, paletteCount);
  png_write_info(png, info);
  if (!indexed) png_set_bgr(png);
  if (bitmap->bitsPerPixel == 32) png_set_filler(png, 0, PNG_FILLER_AFTER);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

int WritePng(const ToolkitBitmap* bitmap, std::vector<uint8_t>* out) {
  if (!HasPixels(bitmap)) return kToolkitInvalidArgument;
  PngWriter writer;
  if (!writer.ok()) return kToolkitNoMemory;
  out->clear();
  png_set_write_fn(writer.png(), out, WriteToVector, FlushNothing);
  png_color palette[256] = {};
  int count = 256;
  if (bitmap->bitsPerPixel == 8 && bitmap->palette) {
    count = static_cast<int>(std::max<uint32_t>(1, bitmap->palette->count));
  }
  for (int i = 0; i < 256; ++i) {
    const RgbQuad q = bitmap->palette ? bitmap->palette->entries[i]
                                      : RgbQuad{static_cast<uint8_t>(i), static_cast<uint8_t>(i),
                                                static_cast<uint8_t>(i), 0};
    palette[i] = png_color{q.red, q.green, q.blue};
  }
  platform::HeapPtr<png_bytep> rows(
      static_cast<png_bytep*>(platform::HeapAlloc(sizeof(png_bytep) * bitmap->height)));
  if (!rows) return kToolkitNoMemory;
  for (int32_t y = 0; y < bitmap->height; ++y) rows.get()[y] = RowOf(bitmap, y);
  if (!GuardedWrite(writer.png(), writer.info(), bitmap, palette, count, rows.get())) {
    return kToolkitFileWrite;
  }
  return kToolkitSuccess;
}

}  // namespace lf::imaging
