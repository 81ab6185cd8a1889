// SPDX-License-Identifier: MIT
// GIF writing through giflib: one 8-bit frame with its palette as the global colour map.
#include <gif_lib.h>

#include <vector>

#include "imaging/bitmap_storage.h"
#include "imaging/codec/codecs.h"

namespace lf::imaging {

namespace {

[[nodiscard]] int WriteToVector(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  try {
    out->insert(out->end(), data, data + length);
  } catch (...) {
    return 0;
  }
  return length;
}

class GifWriter {
 public:
  explicit GifWriter(std::vector<uint8_t>* out) {
    int error = 0;
    gif_ = EGifOpen(out, WriteToVector, &error);
  }
  ~GifWriter() { (void)Close(); }  // a writer that was not finished has no result to give
  GifWriter(const GifWriter&) = delete;
  GifWriter& operator=(const GifWriter&) = delete;
  GifFileType* get() const { return gif_; }
  [[nodiscard]] bool Close() {
    if (!gif_) return true;
    int error = 0;
    const bool ok = EGifCloseFile(gif_, &error) == GIF_OK;
    gif_ = nullptr;
    return ok;
  }

 private:
  GifFileType* gif_ = nullptr;
};

struct ColorMapOwner {
  ColorMapObject* map = nullptr;
  ~ColorMapOwner() {
    if (map) GifFreeMapObject(map);
  }
};

}  // namespace

int WriteGif(const ToolkitBitmap* bitmap, std::vector<uint8_t>* out) {
  if (!HasPixels(bitmap) || bitmap->bitsPerPixel != 8 || bitmap->width > 65535 ||
      bitmap->height > 65535) {
    return kToolkitInvalidArgument;
  }
  out->clear();
  GifColorType colors[256] = {};
  for (int i = 0; i < 256; ++i) {
    const RgbQuad q = bitmap->palette ? bitmap->palette->entries[i]
                                      : RgbQuad{static_cast<uint8_t>(i), static_cast<uint8_t>(i),
                                                static_cast<uint8_t>(i), 0};
    colors[i] = GifColorType{q.red, q.green, q.blue};
  }
  ColorMapOwner map;
  map.map = GifMakeMapObject(256, colors);
  if (!map.map) return kToolkitNoMemory;
  GifWriter writer(out);
  GifFileType* gif = writer.get();
  if (!gif) return kToolkitNoMemory;
  EGifSetGifVersion(gif, false);
  if (EGifPutScreenDesc(gif, bitmap->width, bitmap->height, 8, 0, map.map) != GIF_OK ||
      EGifPutImageDesc(gif, 0, 0, bitmap->width, bitmap->height, false, nullptr) != GIF_OK) {
    return kToolkitFileWrite;
  }
  for (int32_t y = 0; y < bitmap->height; ++y) {
    if (EGifPutLine(gif, RowOf(bitmap, y), bitmap->width) != GIF_OK) return kToolkitFileWrite;
  }
  return writer.Close() ? kToolkitSuccess : kToolkitFileWrite;
}

}  // namespace lf::imaging
