// SPDX-License-Identifier: MIT
// Encode: a host's packed DIB saved as an image file. The flags pick the plain formats (written
// by the toolkit or the JPEG writer into one temporary file, the last one winning) or hand the
// whole job to one of the two EXIF-aware writers. The dispatch lives here rather than in imaging/
// so that the imaging bridge never depends on the EXIF editors.
#include <string>

#include "exif/edit/safe_write.h"
#include "imaging/decode.h"
#include "imaging/jpeg_writer.h"
#include "imaging/toolkit.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/temp_files.h"
#include "plugin/file_kind.h"
#include "plugin/operations.h"

namespace lf::ops {

namespace {

using imaging::SaveFormat;

constexpr uint32_t kToolkitFormats = LF_ENC_BMP | LF_ENC_PNG | LF_ENC_TIFF | LF_ENC_GIF;

// The format bit a target's extension implies; 0 for a name of no supported kind.
uint32_t FormatBitOfExtension(const char* path) {
  const FileKind kind = GetFileKind(path);
  return kind == KIND_UNSUPPORTED ? 0u : static_cast<uint32_t>(kind);
}

// The flags after the extension has had its say: its format bit, and the record path when the
// host gave a record.
uint32_t AddImpliedFlags(uint32_t flags, const char* path, const void* extra) {
  if ((flags & LF_ENC_BY_EXTENSION) == 0) return flags;
  flags |= FormatBitOfExtension(path);
  if (extra && (flags & LF_ENC_RECORD_GIVEN) != 0) flags |= LF_ENC_WITH_EXIF;
  return flags;
}

// What the plain-format writers leave behind: the last toolkit save and the last JPEG-writer call.
struct SaveOutcome {
  int saved = 0;
  int32_t jpegResult = 0;
};

// Writes every selected format into `temp`, each one replacing the previous one, in the fixed
// order BMP, JPEG, TIFF, PNG, GIF, JPEG mode 1, JPEG mode 2.
SaveOutcome WriteFormats(uint32_t flags, LF_HGLOBAL image, const imaging::ToolkitBitmap* bitmap,
                         const char* temp, int32_t quality) {
  SaveOutcome out;
  auto toolkit = [&](uint32_t bit, SaveFormat format, int32_t bits) {
    if ((flags & bit) != 0) out.saved = imaging::SaveFile(temp, bitmap, format, bits);
  };
  auto jpeg = [&](uint32_t bit, int32_t mode) {
    if ((flags & bit) == 0) return;
    out.jpegResult = imaging::SaveJpeg(image, temp, quality, mode);
    if (out.jpegResult >= 0) out.saved = 1;
  };
  toolkit(LF_ENC_BMP, SaveFormat::Bmp, 24);
  jpeg(LF_ENC_JPEG, imaging::kJpegModeStandard);
  toolkit(LF_ENC_TIFF, SaveFormat::Tiff, 24);
  toolkit(LF_ENC_PNG, SaveFormat::Png, 24);
  toolkit(LF_ENC_GIF, SaveFormat::Gif, 8);
  jpeg(LF_ENC_JPEG_MODE1, imaging::kJpegModeSubsample422);
  jpeg(LF_ENC_JPEG_MODE2, imaging::kJpegModeFullChroma);
  return out;
}

// The plain formats: the host's image through the toolkit and the JPEG writer into a temporary
// file, which then replaces the target through the safe rewrite.
[[nodiscard]] HRESULT EncodePlain(LF_HGLOBAL image, const std::string& target, uint32_t flags,
                                  int32_t quality) {
  platform::ScopedTempFile temp;
  SaveOutcome outcome;
  {
    // The JPEG writer reads the host's block itself: without a toolkit format the block is only
    // checked, not decoded into a bitmap nobody uses.
    imaging::ScopedBitmap bitmap;
    if ((flags & kToolkitFormats) != 0) {
      if (Failed(imaging::DibToBitmap(image, bitmap.get()))) return E_FAIL;
      if ((bitmap->flags & imaging::kBitmapAllocated) == 0) return E_FAIL;
    } else if (Failed(imaging::CheckHostDib(image))) {
      return E_FAIL;
    }
    if (!temp.Create(platform::TempDirectory(), "PIC")) return edit::ResultFromLastError();
    outcome = WriteFormats(flags, image, bitmap.get(), temp.path().c_str(), quality);
  }
  if (outcome.jpegResult < 0) return outcome.jpegResult;
  if (outcome.saved <= 0) return HRESULT_FROM_TOOLKIT(outcome.saved);
  return edit::CopyAndPatch(temp.path(), target, 0, nullptr, 0);
}

}  // namespace

HRESULT Encode(LF_HGLOBAL image, const char* path, uint32_t flags, int32_t quality, void* extra) {
  if (!image || !path || !*path || flags == 0) return E_INVALIDARG;
  if (const HRESULT writable = edit::CheckDestinationWritable(path); writable != S_OK) {
    return writable;
  }
  flags = AddImpliedFlags(flags, path, extra);
  if ((flags & LF_ENC_NEW_EXIF_FILE) != 0)
    return EncodeWithExif(path, flags, image, quality, extra);
  if ((flags & LF_ENC_WITH_EXIF) != 0 && GetFileKind(path) == KIND_JPEG) {
    if ((flags & LF_ENC_RECORD_GIVEN) == 0 || !extra) return E_FAIL;
    return EncodeJpegWithExif(image, path, quality, static_cast<LfExifRecord*>(extra));
  }
  // A link is followed, so that the file it names gets the new content.
  return EncodePlain(image, platform::FollowLinks(path), flags, quality);
}

}  // namespace lf::ops
