// SPDX-License-Identifier: MIT
// GIF reading through giflib, record by record: only the first frame is decoded, onto the logical
// screen filled with the background colour, and its size is checked before anything is
// allocated (DGifSlurp would allocate every frame at whatever size its descriptor claims).
#include <gif_lib.h>

#include <algorithm>
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

[[nodiscard]] int ReadFromSource(GifFileType* gif, GifByteType* buffer, int size) {
  auto* state = static_cast<ReadState*>(gif->UserData);
  size_t got = 0;
  if (size <= 0) return 0;
  if (!state->source->Read(buffer, static_cast<size_t>(size), &got)) state->readFailed = true;
  return static_cast<int>(got);
}

class GifReader {
 public:
  explicit GifReader(ReadState* state) {
    int error = 0;
    gif_ = DGifOpen(state, ReadFromSource, &error);
  }
  ~GifReader() {
    int error = 0;
    if (gif_) DGifCloseFile(gif_, &error);
  }
  GifReader(const GifReader&) = delete;
  GifReader& operator=(const GifReader&) = delete;
  GifFileType* get() const { return gif_; }

 private:
  GifFileType* gif_ = nullptr;
};

void CopyColorMap(const ColorMapObject* map, Palette* palette) {
  if (!map || map->ColorCount <= 0) return;  // the grey ramp stays
  palette->count = static_cast<uint32_t>(std::min(map->ColorCount, 256));
  for (uint32_t i = 0; i < 256; ++i) {
    palette->entries[i] = i < palette->count ? RgbQuad{map->Colors[i].Blue, map->Colors[i].Green,
                                                       map->Colors[i].Red, 0}
                                             : RgbQuad{0, 0, 0, 0};
  }
}

// Reads the first frame's rows into the screen bitmap; false when no row could be read. A
// transparent index keeps its palette colour: a bitmap without alpha has nothing to show through,
// and that is the colour other decoders give such pixels too.
[[nodiscard]] bool ReadFrame(GifFileType* gif, ToolkitBitmap* screen, uint8_t* line) {
  const GifImageDesc& d = gif->Image;
  static constexpr int kStart[4] = {0, 4, 2, 1};
  static constexpr int kStep[4] = {8, 8, 4, 2};
  const int passes = d.Interlace ? 4 : 1;
  int rowsRead = 0;
  for (int pass = 0; pass < passes; ++pass) {
    const int start = d.Interlace ? kStart[pass] : 0;
    const int step = d.Interlace ? kStep[pass] : 1;
    for (int row = start; row < d.Height; row += step) {
      if (DGifGetLine(gif, line, d.Width) != GIF_OK) return rowsRead > 0;  // keep what arrived
      ++rowsRead;
      const int64_t y = int64_t{d.Top} + row;
      if (y < 0 || y >= screen->height) continue;
      uint8_t* out = RowOf(screen, static_cast<int32_t>(y));
      for (int x = 0; x < d.Width; ++x) {
        const int64_t sx = int64_t{d.Left} + x;
        if (sx < 0 || sx >= screen->width) continue;
        out[sx] = line[x];
      }
    }
  }
  return true;
}

}  // namespace

int ReadGif(ByteSource& source, ToolkitBitmap* bitmap, FileInfo* info, bool headerOnly) {
  ReadState state{&source, false};
  GifReader reader(&state);
  GifFileType* gif = reader.get();
  if (!gif) return state.readFailed ? kToolkitFileRead : kToolkitCorrupt;
  info->width = gif->SWidth;
  info->height = gif->SHeight;
  // The file's own depth is its global colour table's (a two-colour file is 1 bit); a file
  // without one decodes through 8-bit frame tables.
  info->bitsPerPixel = gif->SColorMap ? gif->SColorMap->BitsPerPixel : 8;
  info->fileSize = source.size();
  SetCompressionName(info, "LZW");
  info->viewOrientation = 0;
  if (headerOnly) return kToolkitSuccess;

  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) != GIF_OK) break;
    if (type == TERMINATE_RECORD_TYPE) break;
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &code, &block) != GIF_OK) break;
      while (block) {
        if (DGifGetExtensionNext(gif, &block) != GIF_OK) return kToolkitCorrupt;
      }
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif) != GIF_OK) break;
    const GifImageDesc& d = gif->Image;
    // A screen smaller than the frame (or absent) grows to hold it.
    const int64_t screenW = std::max<int64_t>(gif->SWidth, int64_t{d.Left} + d.Width);
    const int64_t screenH = std::max<int64_t>(gif->SHeight, int64_t{d.Top} + d.Height);
    if (d.Width <= 0 || d.Height <= 0 ||
        !PixelsAllowed(static_cast<uint64_t>(screenW), static_cast<uint64_t>(screenH),
                       source.size()) ||
        !PixelsAllowed(static_cast<uint64_t>(d.Width), static_cast<uint64_t>(d.Height),
                       source.size())) {
      return kToolkitTooLarge;
    }
    info->width = static_cast<int32_t>(screenW);
    info->height = static_cast<int32_t>(screenH);
    int made = AllocateStorage(bitmap, info->width, info->height, 8, false);
    if (made != kToolkitSuccess) return made;
    CopyColorMap(d.ColorMap ? d.ColorMap : gif->SColorMap, bitmap->palette);
    const int background = gif->SColorMap ? gif->SBackGroundColor : 0;
    for (int32_t y = 0; y < bitmap->height; ++y) {
      std::memset(RowOf(bitmap, y), background, static_cast<size_t>(bitmap->width));
    }
    platform::HeapPtr<uint8_t> line(static_cast<uint8_t*>(platform::HeapAlloc(size_t(d.Width))));
    // Damaged data keeps the rows that arrived; a failing disk does not.
    if (!line || !ReadFrame(gif, bitmap, line.get()) || state.readFailed) {
      FreeBitmap(bitmap);
      if (!line) return kToolkitNoMemory;
      return state.readFailed ? kToolkitFileRead : kToolkitCorrupt;
    }
    return kToolkitSuccess;
  }
  return state.readFailed ? kToolkitFileRead : kToolkitCorrupt;  // no image in the file
}

}  // namespace lf::imaging
