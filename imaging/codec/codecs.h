// SPDX-License-Identifier: MIT
// The per-format readers and writers behind the toolkit's file operations. Each reader fills
// `info` from the file's header and, unless `headerOnly`, decodes the first image into `bitmap`
// at the format's natural depth (8 bits with a palette, 24 or 32 bits). Results are toolkit codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "exif/model/byte_source.h"
#include "imaging/toolkit.h"

namespace lf::imaging {

// Codecs read through the module's one byte source.
using exif::ByteSource;
using exif::MemorySource;

enum class ImageFormat { Unknown, Jpeg, Png, Tiff, Gif, Bmp };

// Recognises a format by its first bytes (at least 8 are looked at when present).
ImageFormat SniffFormat(const uint8_t* head, size_t size);

// `cover`, when given, lets the decoder shrink the image by DCT scaling (see CoverSize); `info`
// still describes the stored size.
[[nodiscard]] int ReadJpeg(ByteSource& source, ToolkitBitmap* bitmap, FileInfo* info,
                           bool headerOnly, const CoverSize* cover = nullptr);
[[nodiscard]] int ReadPng(ByteSource& source, ToolkitBitmap* bitmap, FileInfo* info,
                          bool headerOnly);
[[nodiscard]] int ReadTiff(ByteSource& source, ToolkitBitmap* bitmap, FileInfo* info,
                           bool headerOnly);
[[nodiscard]] int ReadGif(ByteSource& source, ToolkitBitmap* bitmap, FileInfo* info,
                          bool headerOnly);
[[nodiscard]] int ReadBmp(ByteSource& source, ToolkitBitmap* bitmap, FileInfo* info,
                          bool headerOnly);

// Writers encode a bitmap already at the depth to be written into `out`.
[[nodiscard]] int WriteBmp(const ToolkitBitmap* bitmap, std::vector<uint8_t>* out);
[[nodiscard]] int WritePng(const ToolkitBitmap* bitmap, std::vector<uint8_t>* out);
[[nodiscard]] int WriteTiff(const ToolkitBitmap* bitmap, std::vector<uint8_t>* out);
[[nodiscard]] int WriteGif(const ToolkitBitmap* bitmap, std::vector<uint8_t>* out);

// Sets the compression name of `info`.
void SetCompressionName(FileInfo* info, const char* name);

}  // namespace lf::imaging
