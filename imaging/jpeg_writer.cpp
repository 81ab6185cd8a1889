// SPDX-License-Identifier: MIT
#include "imaging/jpeg_writer.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "exif/model/byte_reader.h"
#include "imaging/bitmap_storage.h"
#include "imaging/codec/dib_format.h"
#include "imaging/pixel_limits.h"
#include "imaging/toolkit.h"
#include "platform/file.h"
#include "platform/memory.h"

namespace lf::imaging {

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
};

void ExitWithJump(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}
void IgnoreOutput(j_common_ptr) {}

// Owns the compressor and the memory destination libjpeg fills.
class Compressor {
 public:
  Compressor() {
    std::memset(&cinfo_, 0, sizeof cinfo_);
    cinfo_.err = jpeg_std_error(&errors_.pub);
    errors_.pub.error_exit = ExitWithJump;
    errors_.pub.output_message = IgnoreOutput;
  }
  ~Compressor() {
    if (created_) jpeg_destroy_compress(&cinfo_);
    std::free(buffer_);  // allocated by jpeg_mem_dest with malloc
  }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;
  jpeg_compress_struct* cinfo() { return &cinfo_; }
  ErrorManager* errors() { return &errors_; }
  unsigned char** buffer() { return &buffer_; }
  unsigned long* size() { return &size_; }
  void set_created() { created_ = true; }

 private:
  jpeg_compress_struct cinfo_;
  ErrorManager errors_;
  unsigned char* buffer_ = nullptr;
  unsigned long size_ = 0;
  bool created_ = false;
};

[[nodiscard]] bool GuardedCreate(jpeg_compress_struct* cinfo, ErrorManager* errors) {
  if (setjmp(errors->jump)) return false;
  jpeg_create_compress(cinfo);
  return true;
}

struct Settings {
  int quality;
  int horizontalChroma;  // luma samples per chroma sample, across
  int verticalChroma;    // and down
  bool jfif;
};

// Optimised Huffman tables take a second pass over every coefficient. Thumbnails, which must fit
// an APP1 segment beside the EXIF data, gain from them at no noticeable cost; a photo-sized image
// would pay for the pass with a fraction of its encoding time.
inline constexpr uint64_t kOptimizedTablesUpToPixels = uint64_t{1} << 20;

// 24-bit BGR rows to compress: `top` is the image's top row, `step` the distance to the next one
// down (negative for bottom-up storage).
struct Rows {
  const uint8_t* top = nullptr;
  ptrdiff_t step = 0;
  int32_t width = 0;
  int32_t height = 0;
};

Rows RowsOf(const ToolkitBitmap* bitmap) {
  return {RowOf(bitmap, 0), -static_cast<ptrdiff_t>(bitmap->stride), bitmap->width, bitmap->height};
}

// Everything from the header to the last row.
[[nodiscard]] bool GuardedCompress(jpeg_compress_struct* cinfo, ErrorManager* errors,
                                   unsigned char** buffer, unsigned long* size, const Rows& rows,
                                   const Settings* s) {
  if (setjmp(errors->jump)) return false;
  jpeg_mem_dest(cinfo, buffer, size);
  cinfo->image_width = static_cast<JDIMENSION>(rows.width);
  cinfo->image_height = static_cast<JDIMENSION>(rows.height);
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, s->quality, TRUE);  // baseline quantisation tables
  cinfo->optimize_coding =
      uint64_t(rows.width) * uint64_t(rows.height) <= kOptimizedTablesUpToPixels ? TRUE : FALSE;
  cinfo->write_JFIF_header = s->jfif ? TRUE : FALSE;
  cinfo->comp_info[0].h_samp_factor = s->horizontalChroma;
  cinfo->comp_info[0].v_samp_factor = s->verticalChroma;
  for (int i = 1; i < 3; ++i) {
    cinfo->comp_info[i].h_samp_factor = 1;
    cinfo->comp_info[i].v_samp_factor = 1;
  }
  jpeg_start_compress(cinfo, TRUE);
  while (cinfo->next_scanline < cinfo->image_height) {
    // The compressor only reads its input rows.
    JSAMPROW row =
        const_cast<uint8_t*>(rows.top + rows.step * static_cast<ptrdiff_t>(cinfo->next_scanline));
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  return true;
}

[[nodiscard]] bool SettingsForMode(int32_t mode, int32_t quality, Settings* s) {
  s->quality = std::clamp(quality, 1, 100);
  if ((mode & ~0x1F) != 0) return false;
  s->jfif = (mode & 0x10) == 0;
  switch (mode & 0x0F) {
    case 0:
      s->horizontalChroma = 2;
      s->verticalChroma = 2;
      break;
    case 1:
      s->horizontalChroma = 2;
      s->verticalChroma = 1;
      break;
    case 2:
      s->horizontalChroma = 1;
      s->verticalChroma = 1;
      break;
    default: return false;
  }
  // Modes 0x10 (no APP0 with 4:2:0) is not one the callers use, and stays refused.
  return mode != 0x10;
}

// The rows of a plain 24-bit packed DIB (40-byte header, no colour table, uncompressed), read
// where they lie in the block; false for any other layout, which is converted first.
[[nodiscard]] bool PlainRows(const platform::GlobalLockGuard& lock, Rows* rows) {
  if (!lock.data() || lock.size() < kInfoHeaderSize) return false;
  const exif::ByteView h(static_cast<const uint8_t*>(lock.data()), kInfoHeaderSize,
                         exif::kLittleEndian);
  const int32_t width = static_cast<int32_t>(h.ReadU32(4)),
                height = static_cast<int32_t>(h.ReadU32(8));
  if (h.ReadU32(0) != kInfoHeaderSize || h.ReadU16(12) != 1 || h.ReadU16(14) != 24 ||
      h.ReadU32(16) != 0 || h.ReadU32(32) != 0 || width <= 0 || height == 0 ||
      height == INT32_MIN) {
    return false;
  }
  const uint64_t rowCount = static_cast<uint64_t>(height < 0 ? -int64_t{height} : height);
  if (!PixelsAllowed(static_cast<uint64_t>(width), rowCount, lock.size())) return false;
  const uint64_t stride = (uint64_t(width) * 3 + 3) & ~uint64_t{3};
  if (kInfoHeaderSize + stride * rowCount > lock.size()) return false;
  const uint8_t* first = static_cast<const uint8_t*>(lock.data()) + kInfoHeaderSize;
  const bool bottomUp = height > 0;
  rows->top = bottomUp ? first + stride * (rowCount - 1) : first;
  rows->step = bottomUp ? -static_cast<ptrdiff_t>(stride) : static_cast<ptrdiff_t>(stride);
  rows->width = width;
  rows->height = static_cast<int32_t>(rowCount);
  return true;
}

// The host's block as a 24-bit bitmap; the block is only read.
[[nodiscard]] int32_t ReadImage(LF_HGLOBAL image, ToolkitBitmap* bitmap) {
  platform::GlobalLockGuard lock(image);
  if (!lock.data()) return kJpegBadImage;
  const exif::ByteView dib(static_cast<const uint8_t*>(lock.data()), lock.size(),
                           exif::kLittleEndian);
  FileInfo info;
  const int r = ReadDib(dib, 0, bitmap, &info, false);
  if (r == kToolkitNoMemory) return kJpegNoMemory;
  if (r != kToolkitSuccess) return kJpegBadImage;
  const int c = ChangeBitsPerPixel(bitmap, bitmap, 24);
  if (c == kToolkitSuccess) return 0;
  return c == kToolkitNoMemory ? kJpegNoMemory : kJpegBadImage;
}

}  // namespace

int32_t SaveJpeg(LF_HGLOBAL image, const char* path, int32_t quality, int32_t mode) {
  if (!image || !path || !path[0]) return kJpegInvalidArgument;
  Settings settings{};
  if (!SettingsForMode(mode, quality, &settings)) return kJpegBadMode;
  // A plain 24-bit block is compressed where it lies; other layouts are converted first.
  platform::GlobalLockGuard lock(image);
  ScopedBitmap bitmap;
  Rows rows;
  if (!PlainRows(lock, &rows)) {
    const int32_t read = ReadImage(image, bitmap.get());
    if (read != 0) return read;
    rows = RowsOf(bitmap.get());
  }
  Compressor compressor;
  if (!GuardedCreate(compressor.cinfo(), compressor.errors())) return kJpegNoMemory;
  compressor.set_created();
  if (!GuardedCompress(compressor.cinfo(), compressor.errors(), compressor.buffer(),
                       compressor.size(), rows, &settings)) {
    return kJpegEncodeFailed;
  }
  platform::File file =
      platform::File::Open(path, platform::Access::Write, platform::Disposition::CreateAlways);
  if (!file || !file.Write(*compressor.buffer(), *compressor.size()) || !file.Close()) {
    return kJpegWriteFailed;
  }
  return 0;
}

}  // namespace lf::imaging
