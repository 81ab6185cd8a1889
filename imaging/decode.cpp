// SPDX-License-Identifier: MIT
#include "imaging/decode.h"

#include <cstdlib>
#include <cstring>

#include "exif/model/byte_reader.h"
#include "imaging/bitmap_storage.h"
#include "imaging/codec/dib_format.h"
#include "platform/memory.h"
#include "plugin/file_kind.h"
#include "plugin/operations.h"

namespace lf::imaging {

namespace {

// Toolkit results that mean the file could not be read count as a refusal.
[[nodiscard]] int RefuseUnreadable(int result) {
  return result == kToolkitFileNotFound || result == kToolkitFileRead ? kToolkitRefused : result;
}

[[nodiscard]] int LoadChecked(const char* path, ToolkitBitmap* bitmap, int32_t bits,
                              FileInfo* info) {
  if (info) *info = FileInfo{};
  return RefuseUnreadable(LoadFile(path, bitmap, bits, info));
}

}  // namespace

int64_t PackedDibSize(const uint8_t* header, size_t available) {
  const exif::ByteView view(header, available, exif::kLittleEndian);
  const int64_t width = static_cast<int32_t>(view.ReadU32(4));
  const int64_t height = static_cast<int32_t>(view.ReadU32(8));
  const int64_t bits = view.ReadU16(14);
  const uint32_t compression = view.ReadU32(16);
  const int64_t stride = ((width * bits + 31) / 32) * 4;  // truncating division, as C's
  // Width and height near 2^31 overflow even 64 bits: no block can hold such an image.
  int64_t rows = 0;
  if (__builtin_mul_overflow(stride, height, &rows) || rows > INT64_MAX / 2) return INT64_MAX;
  int64_t size = 40 + rows;
  if (bits > 0 && bits < 16) size += int64_t{4} << bits;
  if (compression == 3) size += 12;
  return size;
}

int LoadImageFile(const char* path, ToolkitBitmap* bitmap, int32_t bits, const CoverSize& cover) {
  FileInfo info;
  switch (GetFileKind(path)) {
    case KIND_JPEG: {
      // The file is read once: the stream check and the decoder work on the same bytes.
      platform::HeapPtr<uint8_t> bytes;
      size_t size = 0;
      if (!ReadJpegFile(path, &bytes, &size) || !CheckJpegStream(bytes.get(), size)) {
        return kToolkitRefused;
      }
      return RefuseUnreadable(LoadMemoryCovering(bytes.get(), size, bitmap, bits, cover));
    }
    case KIND_BMP: {
      if (!CheckFileSignature(path, KIND_BMP)) return kToolkitRefused;
      const int r = LoadChecked(path, bitmap, bits, &info);
      if (r != kToolkitSuccess) return r;
      // 54 bytes are the two headers alone: no pixels follow.
      if (info.fileSize > 54) return kToolkitSuccess;
      FreeBitmap(bitmap);
      return kToolkitRefused;
    }
    case KIND_PNG: {
      if (!CheckFileSignature(path, KIND_PNG)) return kToolkitRefused;
      const int described = RefuseUnreadable(GetFileInfo(path, &info));
      if (described != kToolkitSuccess) return described;
      // At the file's own depth as the toolkit stores it (0: 8, 24 or 32 bits), then converted.
      int r = LoadChecked(path, bitmap, 0, &info);
      if (r != kToolkitSuccess) return r;
      r = ChangeBitsPerPixel(bitmap, bitmap, bits);
      if (r == kToolkitSuccess) return kToolkitSuccess;
      FreeBitmap(bitmap);
      return r;
    }
    case KIND_TIFF: {
      if (!CheckFileSignature(path, KIND_TIFF)) return kToolkitRefused;
      const int r = LoadChecked(path, bitmap, bits, &info);
      if (r != kToolkitSuccess) return r;
      // An uncompressed file must be larger than its raw pixels, or some of them are missing.
      const uint64_t raw = static_cast<uint64_t>(std::llabs(info.width)) *
                           static_cast<uint64_t>(std::llabs(info.height)) *
                           static_cast<uint64_t>(info.bitsPerPixel) / 8;
      if (info.fileSize > raw) return kToolkitSuccess;
      if (std::strcmp(info.compression, "None") != 0) return kToolkitSuccess;
      FreeBitmap(bitmap);
      return kToolkitRefused;
    }
    case KIND_GIF:
      if (!CheckFileSignature(path, KIND_GIF)) return kToolkitRefused;
      return LoadChecked(path, bitmap, bits, nullptr);
    default: return LoadChecked(path, bitmap, bits, nullptr);
  }
}

namespace {

// Reads the host's block in place (it is only read) after proving that it holds what its header
// describes; with `bitmap` absent only the header is examined.
[[nodiscard]] HRESULT ReadHostDib(LF_HGLOBAL image, ToolkitBitmap* bitmap) {
  platform::GlobalLockGuard source(image);
  if (!source.data()) return E_FAIL;
  const auto* header = static_cast<const uint8_t*>(source.data());
  if (source.size() < 40) return E_FAIL;
  int64_t size = PackedDibSize(header, source.size());
  // A top-down block (negative height) holds as many rows as a bottom-up one of that height: its
  // size is taken with the height made positive, so that no rows are cut off.
  const int32_t height = static_cast<int32_t>(exif::ByteView(header, 40).ReadU32(8));
  if (height < 0 && height != INT32_MIN) {
    uint8_t positive[40];
    std::memcpy(positive, header, sizeof positive);
    // The write fits the 40-byte copy of the header.
    (void)exif::MutableByteView(positive, sizeof positive)
        .WriteU32(8, static_cast<uint32_t>(-height));
    size = PackedDibSize(positive, sizeof positive);
  }
  // The block must hold what its header describes; reading past it is never allowed.
  if (size < 40 || static_cast<uint64_t>(size) > source.size()) return E_FAIL;
  const exif::ByteView dib(header, static_cast<size_t>(size), exif::kLittleEndian);
  FileInfo info;
  ToolkitBitmap loaded;
  const int r = ReadDib(dib, 0, bitmap ? &loaded : nullptr, &info, bitmap == nullptr);
  if (r != kToolkitSuccess) {
    FreeBitmap(&loaded);
    return E_FAIL;
  }
  if (bitmap) ReplaceBitmap(bitmap, &loaded);
  return S_OK;
}

}  // namespace

HRESULT DibToBitmap(LF_HGLOBAL image, ToolkitBitmap* bitmap) {
  if (!image || !bitmap) return E_INVALIDARG;
  bitmap->width = 0;
  bitmap->height = 0;
  return ReadHostDib(image, bitmap);
}

HRESULT UseHostImage(LF_HGLOBAL image, const std::function<HRESULT(const ToolkitBitmap*)>& use) {
  if (!image) return E_INVALIDARG;
  {
    platform::GlobalLockGuard block(image);
    auto* header = static_cast<uint8_t*>(block.data());
    if (header && block.size() >= 40) {
      const exif::ByteView view(header, 40, exif::kLittleEndian);
      ToolkitBitmap lent;
      lent.width = static_cast<int32_t>(view.ReadU32(4));
      lent.height = static_cast<int32_t>(view.ReadU32(8));
      lent.bitsPerPixel = 24;
      lent.flags = kBitmapAllocated;
      lent.stride = lent.width > 0 ? StrideFor(lent.width, 24) : 0;
      lent.pixels = header + 40;
      // Every row must lie inside the block (divided, so that no product can overflow).
      const bool plainRows = view.ReadU32(0) == 40 && view.ReadU16(14) == 24 &&
                             view.ReadU32(16) == 0 && lent.stride > 0 && lent.height > 0 &&
                             (block.size() - 40) / static_cast<size_t>(lent.stride) >=
                                 static_cast<size_t>(lent.height);
      if (plainRows) return use(&lent);
    }
  }
  ScopedBitmap copy;
  const HRESULT r = DibToBitmap(image, copy.get());
  if (r != S_OK) return r;
  if (!HasPixels(copy.get())) return E_FAIL;
  return use(copy.get());
}

HRESULT CheckHostDib(LF_HGLOBAL image) {
  if (!image) return E_INVALIDARG;
  return ReadHostDib(image, nullptr);
}

}  // namespace lf::imaging

namespace lf::ops {

LF_HGLOBAL Decode(const char* path, uint32_t source) {
  using namespace lf::imaging;
  if (!path || !path[0]) return nullptr;
  ScopedBitmap bitmap;
  int loaded = kToolkitRefused;
  if (source == LF_DECODE_MAIN_IMAGE) {
    loaded = LoadImageFile(path, bitmap.get(), 24);
  } else if (source == LF_DECODE_THUMBNAIL) {
    loaded = LoadExifThumbnail(path, bitmap.get(), 24);
  } else {
    return nullptr;
  }
  if (loaded != kToolkitSuccess) return nullptr;
  // Export and free in one step: the bitmap's storage becomes the host's block.
  return ReleaseAsPackedDib(bitmap.get());
}

}  // namespace lf::ops
