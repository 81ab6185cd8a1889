// SPDX-License-Identifier: MIT
#include "plugin/file_kind.h"

#include <strings.h>

#include <cstring>
#include <string_view>

#include "exif/model/byte_reader.h"
#include "exif/model/jpeg_segments.h"
#include "platform/file.h"
#include "platform/memory.h"
#include "platform/temp_files.h"

namespace lf {

namespace {

[[nodiscard]] bool IsEmptyPath(const char* path) { return path == nullptr || path[0] == '\0'; }

[[nodiscard]] bool EqualsIgnoreCase(const std::string& a, const char* b) {
  return ::strcasecmp(a.c_str(), b) == 0;
}

}  // namespace

std::string ExtractExtension(const char* path) {
  if (IsEmptyPath(path)) return {};
  const std::string_view full(path);
  const size_t cut = full.find_last_of("/\\:");
  const std::string_view name = cut == std::string_view::npos ? full : full.substr(cut + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  // The extension is kept with at most 255 characters, its dot included.
  std::string_view ext = name.substr(dot, 255);
  return std::string(ext.substr(1));
}

FileKind GetFileKind(const char* path) {
  if (IsEmptyPath(path)) return KIND_UNSUPPORTED;
  const std::string ext = ExtractExtension(path);
  if (ext.empty()) return KIND_UNSUPPORTED;
  static constexpr struct {
    const char* ext;
    FileKind kind;
  } kTable[] = {{"bmp", KIND_BMP},  {"jpg", KIND_JPEG}, {"jpeg", KIND_JPEG},
                {"jpe", KIND_JPEG}, {"tif", KIND_TIFF}, {"tiff", KIND_TIFF},
                {"png", KIND_PNG},  {"gif", KIND_GIF},  {"tmb", KIND_JPEG}};
  for (const auto& row : kTable) {
    if (EqualsIgnoreCase(ext, row.ext)) return row.kind;
  }
  return KIND_UNSUPPORTED;
}

HRESULT GetTypeName(const char* path, char* buffer) {
  if (IsEmptyPath(path) || buffer == nullptr) return E_INVALIDARG;
  const std::string ext = ExtractExtension(path);
  std::memset(buffer, 0, std::strlen(buffer));
  static constexpr struct {
    const char* ext;
    const char* name;
  } kTable[] = {{"bmp", "BMP"},  {"jpg", "JPG"},   {"jpeg", "JPG"}, {"jpe", "JPG"},
                {"tif", "TIFF"}, {"tiff", "TIFF"}, {"png", "PNG"},  {"gif", "GIF"}};
  for (const auto& row : kTable) {
    if (EqualsIgnoreCase(ext, row.ext)) {
      std::memcpy(buffer, row.name, std::strlen(row.name) + 1);
      return S_OK;
    }
  }
  return E_INVALIDARG;
}

void MakeTempPath(const std::string& name, std::string* path) {
  if (name.empty() || path == nullptr) return;
  path->clear();
  *path = platform::TempDirectory() + name;
}

bool CheckFileSignature(const char* path, FileKind kind) {
  if (kind == KIND_JPEG) return CheckJpegFile(path);
  if (IsEmptyPath(path)) return false;
  size_t need = 0;
  switch (kind) {
    case KIND_BMP: need = 6; break;
    case KIND_PNG: need = 8; break;
    case KIND_TIFF: need = 4; break;
    case KIND_GIF: need = 3; break;
    default: return false;
  }
  platform::File file =
      platform::File::Open(path, platform::Access::Read, platform::Disposition::OpenExisting);
  if (!file) return false;
  uint8_t head[8] = {};
  if (!file.ReadExact(head, need)) return false;
  switch (kind) {
    case KIND_BMP: return head[0] == 'B' && head[1] == 'M';
    case KIND_PNG: {
      static constexpr uint8_t kPng[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
      return std::memcmp(head, kPng, 8) == 0;
    }
    case KIND_TIFF:
      if (head[0] == 'I' && head[1] == 'I') return head[2] == 42 && head[3] == 0;
      if (head[0] == 'M' && head[1] == 'M') return head[2] == 0 && head[3] == 42;
      return false;
    case KIND_GIF: return head[0] == 'G' && head[1] == 'I' && head[2] == 'F';
    default: return false;
  }
}

bool ReadJpegFile(const char* path, platform::HeapPtr<uint8_t>* bytes, size_t* size) {
  if (IsEmptyPath(path)) return false;
  platform::File file =
      platform::File::Open(path, platform::Access::Read, platform::Disposition::OpenExisting);
  if (!file) return false;
  uint64_t length = 0;
  if (!file.Length(&length) || length < 2 || length > SIZE_MAX / 2) return false;
  uint8_t head[2];
  if (!file.ReadExact(head, 2) || exif::ByteView(head, 2).ReadU16BE(0) != 0xFFD8) return false;
  platform::HeapPtr<uint8_t> buffer(static_cast<uint8_t*>(platform::HeapAlloc(length)));
  if (!buffer) return false;
  if (!file.Seek(0) || !file.ReadExact(buffer.get(), length)) return false;
  *bytes = std::move(buffer);
  *size = static_cast<size_t>(length);
  return true;
}

bool CheckJpegFile(const char* path) {
  platform::HeapPtr<uint8_t> bytes;
  size_t size = 0;
  if (!ReadJpegFile(path, &bytes, &size)) return false;
  return CheckJpegStream(bytes.get(), size);
}

bool CheckJpegStream(const uint8_t* bytes, size_t size) {
  if (bytes == nullptr || size < 2) return false;
  const exif::ByteView view(bytes, size);
  // Segment level: everything up to the first start of scan. The stream must open with SOI; a
  // length word cut by the end is a broken stream, a segment running past it a stream cut short.
  exif::MemorySource source(view);
  exif::JpegSegmentScanner scan(source, {.standaloneSoi = true});
  exif::JpegSegment s;
  bool sawStart = false;
  while (scan.Next(&s)) {
    if (s.marker == exif::kJpegSoi) {
      sawStart = true;
    } else if (s.marker == exif::kJpegEoi) {
      return sawStart;
    } else if (s.marker != exif::kJpegSos && !sawStart) {
      return false;
    }
  }
  if (scan.end() == exif::JpegScanEnd::kCutLength) return false;
  if (scan.end() != exif::JpegScanEnd::kStopMarker || !sawStart) return sawStart;
  // Scan level: only entropy-coded data and the markers that may appear among it follow, from
  // right behind the SOS marker (its header passes as scan data).
  const exif::JpegImageEnd end =
      exif::FindJpegImageEnd(view, s.offset + 2, exif::ScanMarkers::kTables);
  return end.broken() ? false : sawStart;
}

}  // namespace lf
