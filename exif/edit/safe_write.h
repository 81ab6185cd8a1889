// SPDX-License-Identifier: MIT
// The file-level half of every edit: proving that a destination can be written, patching a byte
// range of a file, and replacing a destination with a newly streamed file.
//
// A failed edit never leaves a damaged file. New content is always written into a temporary file
// beside the destination and moved over it in one rename once it is complete, so the destination
// is at every moment either the old file or the complete new one, also after a power cut: both
// the new file and its folder are flushed to the disk. A patch in place reads the old bytes first,
// is flushed before it is reported done, and puts the old bytes back when the write, the flush or
// the attribute restore fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file.h"
#include "plugin/result_codes.h"

namespace lf::edit {

// A positive Windows error becomes HRESULT_FROM_WIN32; 0 or less is kept as it is.
[[nodiscard]] HRESULT ResultFromLastError();

// Whether a save procedure first proves that the destination's directory is writable. An edit
// that proved it on entry says so, and each call probes once.
enum class Probe { kDestination, kAlreadyDone };

// Proves that a file can be created in the directory of `destPath` by creating a "CHK" temporary
// file there and deleting it again. S_OK or the creation error.
[[nodiscard]] HRESULT CheckDestinationWritable(const std::string& destPath);

// Overwrites `length` bytes at `fileOffset` of the existing file `path` in place (after the probe,
// when asked), lifting a read-only attribute for the moment. The range must lie inside the file.
// S_OK, E_FAIL when the file does not exist, or the error of the step that failed (the file's
// bytes and attributes are then as they were).
[[nodiscard]] HRESULT PatchFileRange(const std::string& path, uint64_t fileOffset,
                                     const uint8_t* bytes, size_t length,
                                     Probe probe = Probe::kDestination);

// Makes `destPath` a copy of `sourcePath` with `length` bytes at `fileOffset` replaced (a plain
// copy when `length` is 0). An existing destination keeps its attributes; a new one takes the
// source's. On failure the destination is as it was, or absent when it did not exist.
[[nodiscard]] HRESULT CopyAndPatch(const std::string& sourcePath, const std::string& destPath,
                                   uint64_t fileOffset, const uint8_t* bytes, size_t length);

// What WriteToFile streams: a complete new image file made of new metadata and the image data of
// an existing file.
class ImageFileStream {
 public:
  virtual ~ImageFileStream() = default;
  // The file whose image data (JPEG segments, TIFF strips) goes into the new file.
  virtual std::string ImageSourcePath() const = 0;
  // The file being edited: the only existing read-only destination the rewrite replaces (lifting
  // and restoring its attribute). Any other read-only destination is refused with error 5.
  virtual std::string EditedPath() const { return ImageSourcePath(); }
  // Writes the whole new file into `destination` (open for writing, empty) reading image data
  // from `imageSource` (open for reading). 0 or a Windows error number.
  virtual uint32_t WriteImageFile(platform::File& destination, platform::File& imageSource) = 0;
};

// Writes `stream` into `destPath`, which may be the image source itself. An existing destination
// keeps its attributes. The new file is on the disk, and its name in the folder, before the call
// returns S_OK. On failure the destination is as it was, or absent when it did not exist, and no
// temporary file is left.
[[nodiscard]] HRESULT WriteToFile(ImageFileStream& stream, const std::string& destPath,
                                  Probe probe = Probe::kDestination);

}  // namespace lf::edit
