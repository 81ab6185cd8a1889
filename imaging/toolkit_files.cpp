// SPDX-License-Identifier: MIT
// The toolkit's file operations: the format is recognised from the content, the codec reads at
// its natural depth, and the bitmap is then converted to the depth the caller asked for.
#include <cstring>
#include <vector>

#include "imaging/bitmap_storage.h"
#include "imaging/codec/codecs.h"
#include "imaging/toolkit.h"
#include "platform/file.h"

namespace lf::imaging {

void SetCompressionName(FileInfo* info, const char* name) {
  std::memset(info->compression, 0, sizeof info->compression);
  std::strncpy(info->compression, name, sizeof info->compression - 1);
}

ImageFormat SniffFormat(const uint8_t* head, size_t size) {
  auto starts = [&](const char* magic, size_t n) {
    return size >= n && std::memcmp(head, magic, n) == 0;
  };
  if (starts("\xFF\xD8\xFF", 3)) return ImageFormat::Jpeg;
  if (starts("\x89PNG\r\n\x1A\n", 8)) return ImageFormat::Png;
  if (starts("II*\0", 4) || starts("MM\0*", 4)) return ImageFormat::Tiff;
  if (starts("GIF87a", 6) || starts("GIF89a", 6)) return ImageFormat::Gif;
  if (starts("BM", 2)) return ImageFormat::Bmp;
  return ImageFormat::Unknown;
}

namespace {

[[nodiscard]] int ReadFormat(ImageFormat format, ByteSource& source, ToolkitBitmap* bitmap,
                             FileInfo* info, bool headerOnly, const CoverSize* cover) {
  switch (format) {
    case ImageFormat::Jpeg: return ReadJpeg(source, bitmap, info, headerOnly, cover);
    case ImageFormat::Png: return ReadPng(source, bitmap, info, headerOnly);
    case ImageFormat::Tiff: return ReadTiff(source, bitmap, info, headerOnly);
    case ImageFormat::Gif: return ReadGif(source, bitmap, info, headerOnly);
    case ImageFormat::Bmp: return ReadBmp(source, bitmap, info, headerOnly);
    default: return kToolkitUnknownFormat;
  }
}

// Opens the file and takes its length.
[[nodiscard]] bool OpenToRead(const char* path, platform::File* file, uint64_t* size) {
  *file = platform::File::Open(path, platform::Access::Read, platform::Disposition::OpenExisting);
  return file->IsOpen() && file->Length(size);
}

// Reads the first bytes, picks the codec and runs it from the start of the source.
[[nodiscard]] int ReadSource(ByteSource& source, ToolkitBitmap* bitmap, int32_t bits,
                             FileInfo* info, bool headerOnly, const CoverSize* cover = nullptr) {
  if (!headerOnly && bits != 0 && !IsStorageDepth(bits)) return kToolkitInvalidBits;
  uint8_t head[16] = {};
  size_t got = 0;
  if (!source.Read(head, sizeof head, &got)) return kToolkitFileRead;
  const ImageFormat format = SniffFormat(head, got);
  if (format == ImageFormat::Unknown) return kToolkitUnknownFormat;
  source.Seek(0);
  FileInfo local;
  FileInfo* target = info ? info : &local;
  *target = FileInfo{};
  ToolkitBitmap loaded;
  int r = ReadFormat(format, source, headerOnly ? nullptr : &loaded, target, headerOnly, cover);
  if (r == kToolkitSuccess && !headerOnly && bits != 0) {
    r = ChangeBitsPerPixel(&loaded, &loaded, bits);
  }
  if (r != kToolkitSuccess || headerOnly) {
    FreeBitmap(&loaded);
    return r;
  }
  ReplaceBitmap(bitmap, &loaded);
  return kToolkitSuccess;
}

}  // namespace

int GetFileInfo(const char* path, FileInfo* info) {
  if (!path || !info) return kToolkitInvalidArgument;
  platform::File file;
  uint64_t size = 0;
  if (!OpenToRead(path, &file, &size)) return kToolkitFileNotFound;
  exif::FileSource source(file, size);
  return ReadSource(source, nullptr, 0, info, true);
}

int LoadFile(const char* path, ToolkitBitmap* bitmap, int32_t bits, FileInfo* info) {
  if (!path || !bitmap) return kToolkitInvalidArgument;
  platform::File file;
  uint64_t size = 0;
  if (!OpenToRead(path, &file, &size)) return kToolkitFileNotFound;
  exif::FileSource source(file, size);
  return ReadSource(source, bitmap, bits, info, false);
}

int LoadMemory(const uint8_t* bytes, size_t size, ToolkitBitmap* bitmap, int32_t bits) {
  if (!bytes || size == 0 || !bitmap) return kToolkitInvalidArgument;
  MemorySource source(bytes, size);
  return ReadSource(source, bitmap, bits, nullptr, false);
}

int LoadMemoryCovering(const uint8_t* bytes, size_t size, ToolkitBitmap* bitmap, int32_t bits,
                       const CoverSize& cover) {
  if (!bytes || size == 0 || !bitmap) return kToolkitInvalidArgument;
  MemorySource source(bytes, size);
  return ReadSource(source, bitmap, bits, nullptr, false, cover ? &cover : nullptr);
}

int SaveFile(const char* path, const ToolkitBitmap* bitmap, SaveFormat format, int32_t bits) {
  if (!path || !HasPixels(bitmap)) return kToolkitInvalidArgument;
  if (format == SaveFormat::Gif) bits = 8;  // GIF holds palette images only
  if (!IsStorageDepth(bits)) return kToolkitInvalidBits;
  ToolkitBitmap converted;
  const ToolkitBitmap* image = bitmap;
  if (bits != bitmap->bitsPerPixel) {
    const int r = ChangeBitsPerPixel(&converted, const_cast<ToolkitBitmap*>(bitmap), bits);
    if (r != kToolkitSuccess) {
      FreeBitmap(&converted);
      return r;
    }
    image = &converted;
  }
  std::vector<uint8_t> encoded;
  int r = kToolkitInvalidArgument;
  try {
    switch (format) {
      case SaveFormat::Bmp: r = WriteBmp(image, &encoded); break;
      case SaveFormat::Png: r = WritePng(image, &encoded); break;
      case SaveFormat::Tiff: r = WriteTiff(image, &encoded); break;
      case SaveFormat::Gif: r = WriteGif(image, &encoded); break;
    }
  } catch (...) {
    r = kToolkitNoMemory;
  }
  FreeBitmap(&converted);
  if (r != kToolkitSuccess) return r;
  platform::File file =
      platform::File::Open(path, platform::Access::Write, platform::Disposition::CreateAlways);
  if (!file || !file.Write(encoded.data(), encoded.size()) || !file.Close()) {
    return kToolkitFileWrite;
  }
  return kToolkitSuccess;
}

}  // namespace lf::imaging
