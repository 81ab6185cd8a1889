// SPDX-License-Identifier: MIT
// The BMP/DIB reader: the bytes as a packed DIB (as hosts hand them in) and as a BMP file.
#include "exif/model/byte_reader.h"
#include "fuzz/fuzz_target.h"
#include "imaging/codec/codecs.h"
#include "imaging/codec/dib_format.h"

LF_FUZZ_TARGET(dib, "dib bmp") {
  using namespace lf::imaging;
  {
    ToolkitBitmap bitmap;
    FileInfo info;
    (void)ReadDib(lf::exif::ByteView(data, size, lf::exif::kLittleEndian), 0, &bitmap, &info,
                  false);
    FreeBitmap(&bitmap);
  }
  {
    MemorySource source(data, size);
    ToolkitBitmap bitmap;
    FileInfo info;
    (void)ReadBmp(source, &bitmap, &info, false);
    FreeBitmap(&bitmap);
  }
  return 0;
}
