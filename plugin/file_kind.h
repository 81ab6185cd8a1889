// SPDX-License-Identifier: MIT
// File kinds by extension, type names, and the signature checks made before a file is decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/memory.h"
#include "plugin/result_codes.h"

namespace lf {

enum FileKind : int32_t {
  KIND_JPEG = 1,
  KIND_BMP = 2,
  KIND_PNG = 4,
  KIND_TIFF = 8,
  KIND_GIF = 256,
  KIND_UNSUPPORTED = -1,
};

// The extension of the last path component without its dot ("" when there is none). The last
// component follows the last '/', '\\' or drive colon, so Windows-style paths classify as there.
std::string ExtractExtension(const char* path);

// The kind named by the path's extension; the file is never opened.
FileKind GetFileKind(const char* path);
inline FileKind GetFileKind(const std::string& path) { return GetFileKind(path.c_str()); }

// Writes "JPG", "BMP", "PNG", "TIFF" or "GIF" into `buffer` (at least 5 bytes).
[[nodiscard]] HRESULT GetTypeName(const char* path, char* buffer);

// The system temporary directory followed by `name`; nothing happens when the name is empty.
void MakeTempPath(const std::string& name, std::string* path);

// True when the file starts as a file of `kind` must.
[[nodiscard]] bool CheckFileSignature(const char* path, FileKind kind);
// True when the whole file is a structurally sound JPEG stream.
[[nodiscard]] bool CheckJpegFile(const char* path);
// The whole file in a heap buffer when it starts with SOI (nothing is allocated otherwise), with
// its length in *size; false when it cannot be read or is no JPEG stream.
[[nodiscard]] bool ReadJpegFile(const char* path, platform::HeapPtr<uint8_t>* bytes, size_t* size);
// True when the bytes form a structurally sound JPEG stream. Nothing is decoded.
[[nodiscard]] bool CheckJpegStream(const uint8_t* bytes, size_t size);

}  // namespace lf
