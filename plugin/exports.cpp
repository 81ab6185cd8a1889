// SPDX-License-Identifier: MIT
// The export table. Every export has one shape: check its arguments (the first failing check
// decides the result, and no check touches a file) → clear its outputs → hand the work to the
// operation of its subsystem → return the result. No exception crosses this boundary.
//
// Loading and unloading need no work: on Windows the module registers with the host's application
// framework so that it finds the module's resources, and a Linux host has no such framework.
#include <cstring>
#include <new>

#include "lumenframe/lumenframe.h"
#include "plugin/file_kind.h"
#include "plugin/operations.h"
#include "plugin/result_codes.h"

using namespace lf;

namespace {

[[nodiscard]] bool IsEmptyPath(const char* path) { return path == nullptr || path[0] == '\0'; }

[[nodiscard]] bool IsEmptyRect(const LfRect& r) { return r.right <= r.left || r.bottom <= r.top; }

[[nodiscard]] bool IsJpegOrTiff(const char* path) {
  const FileKind kind = GetFileKind(path);
  return kind == KIND_JPEG || kind == KIND_TIFF;
}

// Runs an operation and turns any exception into a result code.
template <typename Fn>
[[nodiscard]] HRESULT Guarded(Fn&& fn) noexcept {
  try {
    return fn();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

constexpr const char* kExtensions[] = {"png", "tif", "tiff", "jpeg", "jpg", "jpe", "bmp", "gif"};
constexpr int32_t kExtensionCount = sizeof kExtensions / sizeof kExtensions[0];

void ClearIfGiven(uint32_t* out) {
  if (out) *out = 0;
}

}  // namespace

extern "C" {

LF_API LF_RESULT GetPluginVersion(uint32_t* version) {
  if (!version) return E_INVALIDARG;
  *version = LF_PLUGIN_VERSION;
  return S_OK;
}

LF_API LF_RESULT GetNumOfSupportedExtentions(uint32_t* count) {
  if (!count) return E_INVALIDARG;
  *count = kExtensionCount;
  return S_OK;
}

LF_API LF_RESULT GetSupportedExtention(int32_t index, char* extension) {
  if (!extension) return E_INVALIDARG;
  std::memset(extension, 0, 4);
  if (index < 0 || index >= kExtensionCount) return E_INVALIDARG;
  std::memcpy(extension, kExtensions[index], std::strlen(kExtensions[index]) + 1);
  return S_OK;
}

LF_API LF_RESULT IsSupported(const char* path, uint32_t* supported) {
  if (!supported) return E_INVALIDARG;
  *supported = 0;
  if (IsEmptyPath(path)) return E_INVALIDARG;
  if (GetFileKind(path) == KIND_UNSUPPORTED) return E_FAIL;
  *supported = 1;
  return S_OK;
}

LF_API LF_RESULT IsExifFile(const char* path, uint32_t* isExif) {
  if (IsEmptyPath(path) || !isExif) return E_INVALIDARG;
  *isExif = 0;
  return Guarded([&] { return ops::IsExifFile(path, isExif); });
}

LF_API LF_HGLOBAL Decode(const char* path, uint32_t source) {
  uint32_t supported = 0;
  if (Failed(IsSupported(path, &supported)) || supported == 0) return nullptr;
  try {
    return ops::Decode(path, source);
  } catch (...) {
    return nullptr;
  }
}

LF_API LF_RESULT Draw(LfDeviceContext* dc, LF_HGLOBAL image, LfRect destination) {
  if (!dc || !image || IsEmptyRect(destination)) return E_INVALIDARG;
  return Guarded([&] { return ops::Draw(dc, image, destination); });
}

LF_API LF_RESULT DrawImage(const char* path, LfDeviceContext* dc, LfRect destination, int32_t angle,
                           LfRect crop, int32_t whitenPercent) {
  if (IsEmptyPath(path) || !dc || IsEmptyRect(destination) || angle < -36000 || angle > 36000) {
    return E_INVALIDARG;
  }
  return Guarded([&] { return ops::DrawImage(path, dc, destination, angle, crop, whitenPercent); });
}

LF_API LF_RESULT Encode(LF_HGLOBAL image, const char* path, uint32_t flags, int32_t quality,
                        void* extra) {
  if (!image || IsEmptyPath(path) || flags == 0) return E_INVALIDARG;
  return Guarded([&] { return ops::Encode(image, path, flags, quality, extra); });
}

LF_API LF_RESULT GetStillImageInfo(const char* path, void* output, uint32_t mask) {
  if (IsEmptyPath(path) || !output || (mask & 0x000F000Fu) == 0) return E_INVALIDARG;
  return Guarded([&] { return ops::GetStillImageInfo(path, output, mask); });
}

LF_API LF_RESULT GetOrientation(const char* path, uint32_t* orientation,
                                uint32_t* thumbnailOrientation, int32_t acceptTiff) {
  if (!orientation && !thumbnailOrientation) return E_FAIL;
  ClearIfGiven(orientation);
  ClearIfGiven(thumbnailOrientation);
  return Guarded(
      [&] { return ops::GetOrientation(path, orientation, thumbnailOrientation, acceptTiff); });
}

LF_API LF_RESULT GetDateTimeOriginal(const char* path, LfExifDateTime* value) {
  if (!value) return E_FAIL;
  std::memset(value, 0, sizeof *value);
  return Guarded([&] { return ops::GetDateTimeOriginal(path, value); });
}

LF_API LF_RESULT GetExifValue(const char* path, uint32_t directory, uint16_t tag, void* buffer,
                              uint32_t* size, uint16_t* type, uint32_t* count) {
  const bool knownDirectory = directory == LF_DIR_IFD0 || directory == LF_DIR_EXIF ||
                              directory == LF_DIR_GPS || directory == LF_DIR_INTEROP ||
                              directory == LF_DIR_IFD1;
  if (!path || !buffer || !size || *size == 0 || !knownDirectory) return E_INVALIDARG;
  if (type) *type = 0;
  ClearIfGiven(count);
  return Guarded(
      [&] { return ops::GetExifValue(path, directory, tag, buffer, size, type, count); });
}

LF_API LF_RESULT IsExifEx(const char* path, uint32_t* isExif, uint32_t* hasPrintImage,
                          uint32_t* isExif22) {
  if (!path || (!isExif && !hasPrintImage && !isExif22)) return E_INVALIDARG;
  ClearIfGiven(isExif);
  ClearIfGiven(hasPrintImage);
  ClearIfGiven(isExif22);
  return Guarded([&] { return ops::IsExifEx(path, isExif, hasPrintImage, isExif22); });
}

LF_API LF_RESULT SetOrientation(const char* destination, const char* source, int32_t orientation,
                                int32_t allowRebuild) {
  if (!IsJpegOrTiff(source)) return E_FAIL;
  return Guarded(
      [&] { return ops::SetOrientation(destination, source, orientation, allowRebuild); });
}

LF_API LF_RESULT SetDateTimeOriginal(const char* path, LfExifDateTime value) {
  if (!IsJpegOrTiff(path)) return E_FAIL;
  return Guarded([&] { return ops::SetDateTimeOriginal(path, value); });
}

LF_API LF_RESULT ReplaceExifGps(const char* destination, const char* source, int32_t quality,
                                LfGpsRecord* gps) {
  if (IsEmptyPath(destination) || IsEmptyPath(source) || !gps) return E_INVALIDARG;
  return Guarded([&] { return ops::ReplaceExifGps(destination, source, quality, gps); });
}

LF_API LF_RESULT ReplaceThumbImage(const char* destination, const char* source, LF_HGLOBAL image,
                                   int32_t quality) {
  if (IsEmptyPath(destination) || IsEmptyPath(source) || !image || quality < 1 || quality > 100) {
    return E_INVALIDARG;
  }
  if (!IsJpegOrTiff(source)) return E_FAIL;
  return Guarded([&] { return ops::ReplaceThumbImage(destination, source, image, quality); });
}

LF_API LF_RESULT ReplaceExifImage(const char* destination, const char* source, LF_HGLOBAL image,
                                  int32_t quality) {
  if (IsEmptyPath(destination) || IsEmptyPath(source) || !image || quality < 1 || quality > 100) {
    return E_INVALIDARG;
  }
  if (!IsJpegOrTiff(source)) return E_FAIL;
  return Guarded([&] { return ops::ReplaceExifImage(destination, source, image, quality); });
}

LF_API LF_RESULT AppendExif(const char* destination, const char* source, LfExifRecord* records,
                            int32_t requireExif) {
  if (GetFileKind(source) != KIND_JPEG) return E_FAIL;
  return Guarded([&] { return ops::AppendExif(destination, source, records, requireExif); });
}

LF_API LF_RESULT GetExif(const char* path, LfExifSummary* exif, LfGpsSummary* gps,
                         LfMakerNoteSummary* makerNote) {
  if (!path || (!exif && !gps && !makerNote)) return E_INVALIDARG;
  return Guarded([&] { return ops::GetExif(path, exif, gps, makerNote); });
}

LF_API LF_RESULT GetExifMakerValue(const char* path, const char* header, uint16_t tag, void* buffer,
                                   uint32_t* size, uint16_t* type, uint32_t* count) {
  if (!path || !buffer || !size || *size == 0) return E_INVALIDARG;
  if (type) *type = 0;
  ClearIfGiven(count);
  return Guarded(
      [&] { return ops::GetExifMakerValue(path, header, tag, buffer, size, type, count); });
}

LF_API LF_RESULT GetMakerNoteValue(const char* path, LfString* header, LfU16List* tags,
                                   LfU32List* values) {
  // The host's containers are dereferenced by the work, so a missing one is refused up front.
  if (!path || !header || !tags || !values) return E_INVALIDARG;
  return Guarded([&] { return ops::GetMakerNoteValue(path, header, tags, values); });
}

LF_API LF_RESULT SetMakerNote(const char* destination, const char* source, const char* header,
                              uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
  if (!IsJpegOrTiff(source)) return E_FAIL;
  return Guarded(
      [&] { return ops::SetMakerNote(destination, source, header, tag, type, count, value); });
}

}  // extern "C"
