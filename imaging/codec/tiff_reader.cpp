// SPDX-License-Identifier: MIT
// TIFF reading through libtiff's RGBA image interface, which handles every photometric
// interpretation, samples of 1 to 16 bits, strips and tiles, and every compression libtiff knows.
// The first directory is the image; samples that interface refuses (12-bit, 32-bit, floating point)
// go through tiff_samples. Rows are kept in the order the file stores them; the Orientation tag is
// reported as the view orientation.
#include <tiffio.h>

#include <cstring>

#include "imaging/bitmap_storage.h"
#include "imaging/codec/codecs.h"
#include "imaging/codec/tiff_client.h"
#include "imaging/codec/tiff_samples.h"
#include "imaging/pixel_limits.h"
#include "platform/memory.h"

namespace lf::imaging {

namespace {

const char* CompressionName(uint16_t compression) {
  switch (compression) {
    case COMPRESSION_NONE: return "None";
    case COMPRESSION_CCITTRLE: return "CCITT RLE";
    case COMPRESSION_CCITTFAX3: return "CCITT G3";
    case COMPRESSION_CCITTFAX4: return "CCITT G4";
    case COMPRESSION_LZW: return "LZW";
    case COMPRESSION_OJPEG:
    case COMPRESSION_JPEG: return "JPEG";
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE: return "Deflate";
    case COMPRESSION_PACKBITS: return "PackBits";
    default: return "Other";
  }
}

// Owns the RGBA image state of libtiff.
class RgbaImage {
 public:
  ~RgbaImage() {
    if (begun_) TIFFRGBAImageEnd(&image_);
  }
  [[nodiscard]] bool Begin(TIFF* tiff) {
    char message[1024] = {};
    begun_ = TIFFRGBAImageBegin(&image_, tiff, 0, message) == 1;
    return begun_;
  }
  TIFFRGBAImage* get() { return &image_; }

 private:
  TIFFRGBAImage image_{};
  bool begun_ = false;
};

}  // namespace

int ReadTiff(ByteSource& source, ToolkitBitmap* bitmap, FileInfo* info, bool headerOnly) {
  TiffHandle handle;
  if (!handle.OpenForReading(&source)) {
    return handle.readFailed() ? kToolkitFileRead : kToolkitCorrupt;
  }
  TIFF* tiff = handle.get();
  uint32_t width = 0, height = 0;
  uint16_t samples = 1, bitsPerSample = 1, compression = COMPRESSION_NONE;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
  const bool hasOrientation = TIFFGetField(tiff, TIFFTAG_ORIENTATION, &orientation) == 1;
  info->width = static_cast<int32_t>(width);
  info->height = static_cast<int32_t>(height);
  info->bitsPerPixel = samples * bitsPerSample;
  info->fileSize = source.size();
  SetCompressionName(info, CompressionName(compression));
  info->viewOrientation = hasOrientation ? orientation : 0;
  if (headerOnly) return kToolkitSuccess;
  if (!PixelsAllowed(width, height, source.size())) return kToolkitTooLarge;

  if (NeedsSampleReader(tiff)) {
    const int r = ReadTiffSamples(tiff, width, height, source.size(), bitmap);
    if (handle.readFailed()) {
      FreeBitmap(bitmap);
      return kToolkitFileRead;
    }
    if (r == kToolkitSuccess) bitmap->viewOrientation = info->viewOrientation;
    return r;
  }
  RgbaImage image;
  if (!image.Begin(tiff)) return kToolkitCorrupt;
  // Asking for the file's own orientation keeps the stored row order (no flips).
  image.get()->req_orientation = image.get()->orientation;
  const size_t pixels = size_t{width} * height;
  platform::HeapPtr<uint32_t> raster(
      static_cast<uint32_t*>(platform::HeapAllocZeroed(pixels * sizeof(uint32_t))));
  if (!raster) return kToolkitNoMemory;
  // Strips that cannot be read leave their rows black; the rest of the image still
  // loads, as viewers show a damaged file. Whether an uncompressed file is complete is judged by
  // the caller from the file size.
  image.get()->stoponerr = 0;
  if (TIFFRGBAImageGet(image.get(), raster.get(), width, height) != 1 || handle.readFailed()) {
    return handle.readFailed() ? kToolkitFileRead : kToolkitCorrupt;
  }
  const int made =
      AllocateStorage(bitmap, static_cast<int32_t>(width), static_cast<int32_t>(height), 24, false);
  if (made != kToolkitSuccess) return made;
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t* in = raster.get() + size_t{y} * width;
    uint8_t* out = RowOf(bitmap, static_cast<int32_t>(y));
    for (uint32_t x = 0; x < width; ++x, out += 3) {
      out[0] = static_cast<uint8_t>(TIFFGetB(in[x]));
      out[1] = static_cast<uint8_t>(TIFFGetG(in[x]));
      out[2] = static_cast<uint8_t>(TIFFGetR(in[x]));
    }
  }
  bitmap->viewOrientation = info->viewOrientation;
  return kToolkitSuccess;
}

}  // namespace lf::imaging
