// SPDX-License-Identifier: MIT
// TIFF writing through libtiff: one LZW-compressed image, RGB for direct colour, a palette image
// for 8 bits.
#include <tiffio.h>

#include <cstring>
#include <vector>

#include "imaging/bitmap_storage.h"
#include "imaging/codec/codecs.h"
#include "imaging/codec/tiff_client.h"
#include "platform/memory.h"

namespace lf::imaging {

int WriteTiff(const ToolkitBitmap* bitmap, std::vector<uint8_t>* out) {
  if (!HasPixels(bitmap)) return kToolkitInvalidArgument;
  TiffHandle handle;
  if (!handle.OpenForWriting(out)) return kToolkitNoMemory;
  TIFF* tiff = handle.get();
  const bool indexed = bitmap->bitsPerPixel == 8;
  const uint16_t samples = indexed ? 1 : 3;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(bitmap->width));
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(bitmap->height));
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t{8});
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, indexed ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
  if (indexed) {
    // TIFF 6.0, Section 5: colour map values are 16 bits, all reds, then greens, then blues.
    uint16_t map[3][256] = {};
    for (int i = 0; i < 256; ++i) {
      const RgbQuad q = bitmap->palette ? bitmap->palette->entries[i]
                                        : RgbQuad{static_cast<uint8_t>(i), static_cast<uint8_t>(i),
                                                  static_cast<uint8_t>(i), 0};
      map[0][i] = static_cast<uint16_t>(q.red * 257);
      map[1][i] = static_cast<uint16_t>(q.green * 257);
      map[2][i] = static_cast<uint16_t>(q.blue * 257);
    }
    TIFFSetField(tiff, TIFFTAG_COLORMAP, map[0], map[1], map[2]);
  }
  platform::HeapPtr<uint8_t> row(
      static_cast<uint8_t*>(platform::HeapAlloc(static_cast<size_t>(bitmap->width) * samples)));
  if (!row) return kToolkitNoMemory;
  const int step = bitmap->bitsPerPixel / 8;
  for (int32_t y = 0; y < bitmap->height; ++y) {
    const uint8_t* in = RowOf(bitmap, y);
    uint8_t* o = row.get();
    if (indexed) {
      std::memcpy(o, in, static_cast<size_t>(bitmap->width));
    } else {
      for (int32_t x = 0; x < bitmap->width; ++x, in += step, o += 3) {
        o[0] = in[2];
        o[1] = in[1];
        o[2] = in[0];
      }
    }
    if (TIFFWriteScanline(tiff, row.get(), static_cast<uint32_t>(y), 0) != 1) {
      return kToolkitFileWrite;
    }
  }
  return handle.Close() ? kToolkitSuccess : kToolkitFileWrite;
}

}  // namespace lf::imaging
