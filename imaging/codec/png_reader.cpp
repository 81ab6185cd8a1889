// SPDX-License-Identifier: MIT
// PNG reading through libpng. Palette images without transparency keep their palette (8 bits);
// greyscale becomes 8 bits with a grey palette; colour becomes 24 bits, or 32 with an alpha
// channel. 16-bit samples are scaled to 8 bits, sub-byte samples unpacked, interlacing undone.
//
// libpng reports errors by longjmp to png_jmpbuf: only the small Guarded* functions call setjmp,
// and they hold no objects with destructors.
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "imaging/bitmap_storage.h"
#include "imaging/codec/codecs.h"
#include "imaging/pixel_limits.h"
#include "platform/memory.h"

namespace lf::imaging {

namespace {

struct ReadState {
  ByteSource* source;
  bool readFailed;
};

void ReadFromSource(png_structp png, png_bytep data, png_size_t length) {
  auto* state = static_cast<ReadState*>(png_get_io_ptr(png));
  size_t got = 0;
  if (!state->source->Read(data, length, &got)) state->readFailed = true;
  if (got != length) png_error(png, "unexpected end of file");
}

void IgnoreWarning(png_structp, png_const_charp) {}
// Errors go back to the guarded call without a message on stderr.
[[noreturn]] void JumpOnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Owns libpng's read structures.
class PngReader {
 public:
  PngReader() {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, IgnoreWarning);
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~PngReader() {
    if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
  }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;
  [[nodiscard]] bool ok() const { return png_ && info_; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

[[nodiscard]] bool GuardedReadInfo(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  return true;
}

[[nodiscard]] bool GuardedUpdateInfo(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_update_info(png, info);
  return true;
}

[[nodiscard]] bool GuardedReadImage(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  return true;
}

// The depth the image is delivered at, after the transforms chosen for it.
[[nodiscard]] int32_t NaturalDepth(png_structp png, png_infop info) {
  const int type = png_get_color_type(png, info);
  const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if (type == PNG_COLOR_TYPE_PALETTE || type == PNG_COLOR_TYPE_GRAY) return hasTrns ? 32 : 8;
  if (type == PNG_COLOR_TYPE_RGB) return hasTrns ? 32 : 24;
  return 32;  // grey with alpha, RGBA
}

void ChooseTransforms(png_structp png, png_infop info, int32_t depth) {
  const int type = png_get_color_type(png, info);
  png_set_scale_16(png);
  if (depth == 8) {
    png_set_packing(png);
    if (type == PNG_COLOR_TYPE_GRAY) png_set_expand_gray_1_2_4_to_8(png);
    return;
  }
  png_set_expand(png);  // palette to RGB, tRNS to alpha, low-depth grey to 8 bits
  if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_interlace_handling(png);
}

// libpng allocates an ancillary chunk's claimed length before it reads the chunk (a 54-byte file
// can claim 1.9 GB of text), and only warns when the length passes its own limit. The decoder
// needs no ancillary chunk but tRNS, so every other one is skipped unread; what remains is held
// to libpng's default limits, set here explicitly so that a build with other defaults cannot
// raise them.
void LimitChunks(png_structp png) {
  static constexpr png_byte kTransparency[] = {'t', 'R', 'N', 'S', 0};
  // A negative count means every chunk, known or not, except the critical ones (and, in libpng
  // 1.6, tRNS, which is named again below for versions that include it).
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_AS_DEFAULT, kTransparency, 1);
  png_set_user_limits(png, 1000000, 1000000);
  png_set_chunk_cache_max(png, 1000);
  png_set_chunk_malloc_max(png, 8000000);
}

}  // namespace

int ReadPng(ByteSource& source, ToolkitBitmap* bitmap, FileInfo* info, bool headerOnly) {
  PngReader reader;
  if (!reader.ok()) return kToolkitNoMemory;
  ReadState state{&source, false};
  png_set_read_fn(reader.png(), &state, ReadFromSource);
  LimitChunks(reader.png());
  if (!GuardedReadInfo(reader.png(), reader.info())) {
    return state.readFailed ? kToolkitFileRead : kToolkitCorrupt;
  }
  const png_uint_32 width = png_get_image_width(reader.png(), reader.info());
  const png_uint_32 height = png_get_image_height(reader.png(), reader.info());
  const int32_t depth = NaturalDepth(reader.png(), reader.info());
  info->width = static_cast<int32_t>(width);
  info->height = static_cast<int32_t>(height);
  // The file's own depth (a 2-bit grey file is 2, 16-bit RGB 48), not the depth it decodes to.
  info->bitsPerPixel = png_get_bit_depth(reader.png(), reader.info()) *
                       png_get_channels(reader.png(), reader.info());
  info->fileSize = source.size();
  SetCompressionName(info, "Deflate");
  info->viewOrientation = 0;
  if (headerOnly) return kToolkitSuccess;
  if (!PixelsAllowed(width, height, source.size())) return kToolkitTooLarge;

  ChooseTransforms(reader.png(), reader.info(), depth);
  if (depth == 8) png_set_interlace_handling(reader.png());
  if (!GuardedUpdateInfo(reader.png(), reader.info())) return kToolkitCorrupt;
  // The transforms must deliver exactly the row size our storage expects.
  if (png_get_rowbytes(reader.png(), reader.info()) != size_t{width} * (depth / 8)) {
    return kToolkitCorrupt;
  }
  const int made = AllocateStorage(bitmap, static_cast<int32_t>(width),
                                   static_cast<int32_t>(height), depth, true);
  if (made != kToolkitSuccess) return made;
  if (depth == 8 && png_get_color_type(reader.png(), reader.info()) == PNG_COLOR_TYPE_PALETTE) {
    png_colorp colors = nullptr;
    int count = 0;
    if (png_get_PLTE(reader.png(), reader.info(), &colors, &count) && count > 0) {
      bitmap->palette->count = static_cast<uint32_t>(count > 256 ? 256 : count);
      for (uint32_t i = 0; i < 256; ++i) {
        bitmap->palette->entries[i] =
            i < bitmap->palette->count ? RgbQuad{colors[i].blue, colors[i].green, colors[i].red, 0}
                                       : RgbQuad{0, 0, 0, 0};
      }
    }
  }
  platform::HeapPtr<png_bytep> rows(
      static_cast<png_bytep*>(platform::HeapAlloc(sizeof(png_bytep) * height)));
  if (!rows) {
    FreeBitmap(bitmap);
    return kToolkitNoMemory;
  }
  for (png_uint_32 y = 0; y < height; ++y) rows.get()[y] = RowOf(bitmap, static_cast<int32_t>(y));
  if (!GuardedReadImage(reader.png(), rows.get())) {
    FreeBitmap(bitmap);
    return state.readFailed ? kToolkitFileRead : kToolkitCorrupt;
  }
  return kToolkitSuccess;
}

}  // namespace lf::imaging
