// SPDX-License-Identifier: MIT
// Packed DIB blocks in and out of the toolkit.
#include <cstring>

#include "exif/model/byte_reader.h"
#include "imaging/bitmap_storage.h"
#include "imaging/codec/dib_format.h"
#include "imaging/toolkit.h"
#include "platform/memory.h"

namespace lf::imaging {

int AdoptPackedDib(ToolkitBitmap* bitmap, LF_HGLOBAL block) {
  // The toolkit owns the block from here on, whatever happens.
  platform::GlobalBlock owned(block);
  if (!bitmap || !owned) return kToolkitInvalidArgument;
  int r = kToolkitFailure;
  {
    platform::GlobalLockGuard lock(owned.get());
    if (!lock.data()) return kToolkitFailure;
    const exif::ByteView dib(static_cast<const uint8_t*>(lock.data()), lock.size(),
                             exif::kLittleEndian);
    FileInfo info;
    ToolkitBitmap loaded;
    r = ReadDib(dib, 0, &loaded, &info, false);
    if (r == kToolkitSuccess) ReplaceBitmap(bitmap, &loaded);
  }
  return r;
}

LF_HGLOBAL ExportPackedDib(const ToolkitBitmap* bitmap) {
  const uint64_t size = DibSize(bitmap);
  if (size == 0) return nullptr;
  platform::GlobalBlock block(platform::GlobalAlloc(static_cast<size_t>(size)));
  if (!block) return nullptr;
  {
    platform::GlobalLockGuard lock(block.get());
    if (!lock.data() || !WriteDibInto(bitmap, static_cast<uint8_t*>(lock.data()), size)) {
      return nullptr;
    }
  }
  return block.Release();
}

LF_HGLOBAL ReleaseAsPackedDib(ToolkitBitmap* bitmap) {
  if (!HasPixels(bitmap) || !bitmap->storage) {
    FreeBitmap(bitmap);
    return nullptr;
  }
  // The storage holds the rows in DIB order behind room for the header and colour table.
  const size_t header = StorageHeaderSize(bitmap->bitsPerPixel);
  const bool ok = WriteDibHeader(bitmap, bitmap->pixels - header, header);
  LF_HGLOBAL block = bitmap->storage;
  platform::GlobalUnlock(block);
  bitmap->storage = nullptr;
  bitmap->pixels = nullptr;
  FreeBitmap(bitmap);
  if (!ok) {
    platform::GlobalFree(block);
    return nullptr;
  }
  return block;
}

}  // namespace lf::imaging
