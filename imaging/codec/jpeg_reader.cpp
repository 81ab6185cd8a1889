// SPDX-License-Identifier: MIT
// JPEG reading through the libjpeg API of libjpeg-turbo. Colour output is BGR straight from the
// library (YCbCr, RGB and greyscale files); CMYK and YCCK files are decoded to CMYK by the library
// and turned into RGB here, which the packed-pixel TurboJPEG calls cannot do.
//
// libjpeg reports fatal errors through error_exit, which must not return: it longjmps back into
// the small Guarded* functions below, which hold no objects with destructors.

// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include "imaging/bitmap_storage.h"
#include "imaging/codec/codecs.h"
#include "imaging/pixel_limits.h"
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
// Warnings (a truncated scan, extraneous bytes) are not failures: the image decodes as far as the
// data goes, as every viewer shows it.
void IgnoreMessage(j_common_ptr, int) {}
void IgnoreOutput(j_common_ptr) {}

constexpr size_t kInputChunk = 64 * 1024;

// A progressive file may split its data into very many scans, each of which costs a pass over
// the whole image: a small hostile file could keep the decoder busy for minutes. Real encoders
// write about ten; libjpeg-turbo's own tools refuse more than 500.
constexpr int kMaxScans = 500;

void LimitScans(j_common_ptr cinfo) {
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->is_decompressor && d->input_scan_number > kMaxScans) cinfo->err->error_exit(cinfo);
}

// A progressive file keeps every coefficient of the image in memory, two bytes for each sample
// of each component, padded to whole MCUs: a frame one pixel wide and millions high, or of many
// components, would need many times the bitmap. The decoder's memory is held to eight bytes a pixel
// (room for four full-resolution components) plus a fixed allowance for its tables and buffers;
// beyond it libjpeg fails instead of allocating.
constexpr long kJpegFixedMemory = 64L * 1024 * 1024;
constexpr long kJpegBytesPerPixel = 8;

void LimitMemory(jpeg_decompress_struct* cinfo) {
  const uint64_t pixels = uint64_t{cinfo->image_width} * cinfo->image_height;
  cinfo->mem->max_memory_to_use = kJpegFixedMemory + static_cast<long>(pixels) * kJpegBytesPerPixel;
}

struct SourceManager {
  jpeg_source_mgr pub;
  ByteSource* source;
  bool failed;
  bool inMemory;  // the whole stream was handed to the decoder at once
  JOCTET buffer[kInputChunk];
};

void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto* sm = reinterpret_cast<SourceManager*>(cinfo->src);
  size_t got = 0;
  if (!sm->inMemory && !sm->source->Read(sm->buffer, kInputChunk, &got)) sm->failed = true;
  if (got == 0) {
    // A file that ends early gets an EOI, as libjpeg's own sources do, so the decoder finishes
    // with what it has.
    static const JOCTET kEoi[2] = {0xFF, JPEG_EOI};
    sm->pub.next_input_byte = kEoi;
    sm->pub.bytes_in_buffer = 2;
    return TRUE;
  }
  sm->pub.next_input_byte = sm->buffer;
  sm->pub.bytes_in_buffer = got;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  auto* sm = reinterpret_cast<SourceManager*>(cinfo->src);
  if (count <= 0) return;
  size_t left = static_cast<size_t>(count);
  while (left > sm->pub.bytes_in_buffer) {
    left -= sm->pub.bytes_in_buffer;
    FillInputBuffer(cinfo);
  }
  sm->pub.next_input_byte += left;
  sm->pub.bytes_in_buffer -= left;
}

void TermSource(j_decompress_ptr) {}

// Owns the decompressor; destroys it on every path.
class Decompressor {
 public:
  Decompressor() {
    std::memset(&cinfo_, 0, sizeof cinfo_);
    std::memset(&source_, 0, sizeof source_);
    std::memset(&progress_, 0, sizeof progress_);
    progress_.progress_monitor = LimitScans;
    cinfo_.err = jpeg_std_error(&errors_.pub);
    errors_.pub.error_exit = ExitWithJump;
    errors_.pub.emit_message = IgnoreMessage;
    errors_.pub.output_message = IgnoreOutput;
  }
  ~Decompressor() {
    if (created_) jpeg_destroy_decompress(&cinfo_);
  }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  jpeg_decompress_struct* cinfo() { return &cinfo_; }
  ErrorManager* errors() { return &errors_; }
  SourceManager* source() { return &source_; }
  jpeg_progress_mgr* progress() { return &progress_; }
  void set_created() { created_ = true; }

 private:
  jpeg_decompress_struct cinfo_;
  ErrorManager errors_;
  SourceManager source_;
  jpeg_progress_mgr progress_;
  bool created_ = false;
};

[[nodiscard]] bool GuardedCreate(jpeg_decompress_struct* cinfo, ErrorManager* errors) {
  if (setjmp(errors->jump)) return false;
  jpeg_create_decompress(cinfo);
  return true;
}

[[nodiscard]] bool GuardedReadHeader(jpeg_decompress_struct* cinfo, ErrorManager* errors) {
  if (setjmp(errors->jump)) return false;
  return jpeg_read_header(cinfo, TRUE) == JPEG_HEADER_OK;
}

// Picks the smallest DCT scale M/8 whose output is at least minWidth × minHeight; the full size
// when none smaller is. Scaling in the inverse DCT skips most of the decoder's work for a picture
// that is to be shown much smaller than it is stored.
[[nodiscard]] bool GuardedChooseScale(jpeg_decompress_struct* cinfo, ErrorManager* errors,
                                      int32_t minWidth, int32_t minHeight) {
  if (setjmp(errors->jump)) return false;
  cinfo->scale_denom = 8;
  for (unsigned eighths = 1; eighths <= 8; ++eighths) {
    cinfo->scale_num = eighths;
    jpeg_calc_output_dimensions(cinfo);
    if (static_cast<int64_t>(cinfo->output_width) >= minWidth &&
        static_cast<int64_t>(cinfo->output_height) >= minHeight) {
      return true;
    }
  }
  return true;  // 8/8: the full size
}

[[nodiscard]] bool GuardedStart(jpeg_decompress_struct* cinfo, ErrorManager* errors) {
  if (setjmp(errors->jump)) return false;
  return jpeg_start_decompress(cinfo) != FALSE;
}

// Reads rows into `rows` until `count` have arrived; false on a fatal error.
[[nodiscard]] bool GuardedReadRows(jpeg_decompress_struct* cinfo, ErrorManager* errors,
                                   JSAMPARRAY rows, JDIMENSION count) {
  if (setjmp(errors->jump)) return false;
  JDIMENSION done = 0;
  while (done < count) {
    const JDIMENSION got = jpeg_read_scanlines(cinfo, rows + done, count - done);
    if (got == 0) return false;
    done += got;
  }
  return true;
}

[[nodiscard]] bool GuardedFinish(jpeg_decompress_struct* cinfo, ErrorManager* errors) {
  if (setjmp(errors->jump)) return false;
  jpeg_finish_decompress(cinfo);
  return true;
}

// CMYK as Adobe applications store it is inverted (the Adobe APP14 marker says so); plain CMYK
// is not. Either way the ink amounts multiply out into RGB.
void CmykRowToBgr(const uint8_t* cmyk, uint8_t* bgr, JDIMENSION width, bool inverted) {
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    int c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    bgr[0] = static_cast<uint8_t>((y * k + 127) / 255);
    bgr[1] = static_cast<uint8_t>((m * k + 127) / 255);
    bgr[2] = static_cast<uint8_t>((c * k + 127) / 255);
  }
}

[[nodiscard]] int DecodeRows(Decompressor& d, ToolkitBitmap* bitmap) {
  jpeg_decompress_struct* cinfo = d.cinfo();
  const bool cmyk = cinfo->out_color_space == JCS_CMYK;
  // Every row is written in full, straight into the block the host will receive.
  const int made = AllocateRowStorage(bitmap, static_cast<int32_t>(cinfo->output_width),
                                      static_cast<int32_t>(cinfo->output_height), 24);
  if (made != kToolkitSuccess) return made;
  // CMYK rows pass through a scratch row before conversion.
  platform::HeapPtr<uint8_t> scratch;
  if (cmyk) {
    scratch.reset(static_cast<uint8_t*>(platform::HeapAlloc(size_t{cinfo->output_width} * 4)));
    if (!scratch) return kToolkitNoMemory;
  }
  const bool inverted = cinfo->saw_Adobe_marker;
  constexpr JDIMENSION kBatch = 16;
  JSAMPROW rows[kBatch];
  JDIMENSION y = 0;
  while (y < cinfo->output_height) {
    JDIMENSION n = cmyk ? 1 : std::min<JDIMENSION>(kBatch, cinfo->output_height - y);
    for (JDIMENSION i = 0; i < n; ++i) {
      rows[i] = cmyk ? scratch.get() : RowOf(bitmap, static_cast<int32_t>(y + i));
    }
    if (!GuardedReadRows(cinfo, d.errors(), rows, n)) return kToolkitCorrupt;
    if (cmyk)
      CmykRowToBgr(scratch.get(), RowOf(bitmap, static_cast<int32_t>(y)), cinfo->output_width,
                   inverted);
    y += n;
  }
  (void)GuardedFinish(cinfo, d.errors());  // trailing garbage after the image is not an error
  return kToolkitSuccess;
}

}  // namespace

int ReadJpeg(ByteSource& source, ToolkitBitmap* bitmap, FileInfo* info, bool headerOnly,
             const CoverSize* cover) {
  auto d = std::make_unique<Decompressor>();  // the input buffer is too big for the stack
  if (!GuardedCreate(d->cinfo(), d->errors())) return kToolkitNoMemory;
  d->set_created();
  SourceManager* sm = d->source();
  sm->source = &source;
  sm->pub.init_source = InitSource;
  sm->pub.fill_input_buffer = FillInputBuffer;
  sm->pub.skip_input_data = SkipInputData;
  sm->pub.resync_to_restart = jpeg_resync_to_restart;
  sm->pub.term_source = TermSource;
  // A stream already in memory is decoded where it lies, not copied through the input buffer.
  if (const uint8_t* data = source.data(); data && source.position() < source.size()) {
    sm->inMemory = true;
    sm->pub.next_input_byte = data + source.position();
    sm->pub.bytes_in_buffer = static_cast<size_t>(source.size() - source.position());
  }
  jpeg_decompress_struct* cinfo = d->cinfo();
  cinfo->src = &sm->pub;
  cinfo->progress = d->progress();
  // No marker is kept: APP0 and APP14 are read by the library itself, EXIF is not the decoder's.
  jpeg_save_markers(cinfo, JPEG_COM, 0);
  for (int n = 1; n < 16; ++n) {
    if (n != 14) jpeg_save_markers(cinfo, JPEG_APP0 + n, 0);
  }
  if (!GuardedReadHeader(cinfo, d->errors())) {
    return sm->failed ? kToolkitFileRead : kToolkitCorrupt;
  }
  info->width = static_cast<int32_t>(cinfo->image_width);
  info->height = static_cast<int32_t>(cinfo->image_height);
  info->bitsPerPixel = cinfo->num_components * 8;
  info->fileSize = source.size();
  SetCompressionName(info, cinfo->progressive_mode ? "JPEG progressive" : "JPEG");
  // JPEG has no orientation of its own; an EXIF Orientation belongs to the metadata queries.
  info->viewOrientation = 0;
  if (headerOnly) return kToolkitSuccess;
  if (!PixelsAllowed(cinfo->image_width, cinfo->image_height, source.size())) {
    return kToolkitTooLarge;
  }
  LimitMemory(cinfo);
  switch (cinfo->jpeg_color_space) {
    case JCS_CMYK:
    case JCS_YCCK: cinfo->out_color_space = JCS_CMYK; break;
    default: cinfo->out_color_space = JCS_EXT_BGR; break;
  }
  if (cover && *cover) {
    int32_t minWidth = info->width, minHeight = info->height;
    (*cover)(info->width, info->height, &minWidth, &minHeight);
    if (!GuardedChooseScale(cinfo, d->errors(), minWidth, minHeight)) return kToolkitCorrupt;
  }
  if (!GuardedStart(cinfo, d->errors())) return sm->failed ? kToolkitFileRead : kToolkitCorrupt;
  const int r = DecodeRows(*d, bitmap);
  if (r != kToolkitSuccess) {
    FreeBitmap(bitmap);
    return sm->failed ? kToolkitFileRead : r;
  }
  if (sm->failed) {
    FreeBitmap(bitmap);
    return kToolkitFileRead;
  }
  return kToolkitSuccess;
}

}  // namespace lf::imaging
