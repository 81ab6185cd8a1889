// SPDX-License-Identifier: MIT
// The EXIF thumbnail of a JPEG or TIFF file, loaded from memory. Only the EXIF block is read from
// the file, never the main image.
#include "exif/model/exif_reader.h"
#include "imaging/decode.h"
#include "plugin/file_kind.h"

namespace lf::imaging {

int LoadExifThumbnail(const char* path, ToolkitBitmap* bitmap, int32_t /*bits*/) {
  exif::ExifReader reader(path, exif::kOnDemand);
  platform::HeapPtr<uint8_t> bytes;
  const uint32_t size = reader.GetThumbnail(&bytes);
  if (size == 0 || !bytes) return kToolkitRefused;
  // A TIFF's thumbnail can be a TIFF stream of its own; only JPEG thumbnails are decoded.
  const bool load =
      reader.IsExifJpeg() || (reader.IsExifTiff() && CheckJpegStream(bytes.get(), size));
  if (!load) return kToolkitRefused;
  // Thumbnails are always made at 24 bits per pixel, whatever the caller asked for.
  return LoadMemory(bytes.get(), size, bitmap, 24);
}

}  // namespace lf::imaging
