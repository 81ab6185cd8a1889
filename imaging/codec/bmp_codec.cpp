// SPDX-License-Identifier: MIT
// BMP files: a 14-byte file header ("BM", file size, reserved words, offset of the pixel rows)
// in front of a DIB.
#include <algorithm>
#include <cstring>

#include "exif/model/byte_reader.h"
#include "imaging/codec/codecs.h"
#include "imaging/codec/dib_format.h"
#include "platform/memory.h"

namespace lf::imaging {

int ReadBmp(ByteSource& source, ToolkitBitmap* bitmap, FileInfo* info, bool headerOnly) {
  const uint64_t size = source.size();
  if (size > SIZE_MAX) return kToolkitTooLarge;
  // Only the headers are needed for the file information.
  const uint64_t wanted = headerOnly ? std::min<uint64_t>(size, 256) : size;
  const uint8_t* bytes = source.data();
  platform::HeapPtr<uint8_t> buffer;
  if (!bytes) {
    buffer.reset(static_cast<uint8_t*>(platform::HeapAlloc(static_cast<size_t>(wanted))));
    if (!buffer) return kToolkitNoMemory;
    size_t got = 0, total = 0;
    source.Seek(0);
    while (total < wanted) {
      if (!source.Read(buffer.get() + total, static_cast<size_t>(wanted - total), &got)) {
        return kToolkitFileRead;
      }
      if (got == 0) break;
      total += got;
    }
    if (total != wanted) return kToolkitFileRead;
    bytes = buffer.get();
  }
  const exif::ByteView file(bytes, static_cast<size_t>(wanted), exif::kLittleEndian);
  bool ok = true;
  if (file.ReadU16BE(0, &ok) != 0x424D || !ok) return kToolkitUnknownFormat;  // "BM"
  const uint32_t pixelOffset = file.ReadU32(10, &ok);
  if (!ok) return kToolkitCorrupt;
  const exif::ByteView dib = file.From(kFileHeaderSize);
  // An offset that does not point past the headers is ignored: the rows follow the colour table.
  const uint64_t rowsAt = pixelOffset > kFileHeaderSize ? pixelOffset - kFileHeaderSize : 0;
  const int r = ReadDib(dib, headerOnly ? 0 : rowsAt, bitmap, info, headerOnly);
  info->fileSize = size;
  return r;
}

int WriteBmp(const ToolkitBitmap* bitmap, std::vector<uint8_t>* out) {
  const int r = WriteDib(bitmap, kFileHeaderSize, out);
  if (r != kToolkitSuccess) return r;
  const uint64_t total = out->size();
  const uint32_t tableBytes = bitmap->bitsPerPixel == 8 ? 1024 : 0;
  exif::MutableByteView header(out->data(), kFileHeaderSize, exif::kLittleEndian);
  const bool ok = header.WriteU8(0, 'B') && header.WriteU8(1, 'M') &&
                  header.WriteU32(2, static_cast<uint32_t>(total)) && header.WriteU32(6, 0) &&
                  header.WriteU32(10, kFileHeaderSize + kInfoHeaderSize + tableBytes);
  return ok ? kToolkitSuccess : kToolkitFailure;
}

}  // namespace lf::imaging
