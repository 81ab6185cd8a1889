// SPDX-License-Identifier: MIT
// Positioned reads from one file opened read-only (sharing allowed) for a single operation. Small
// reads are served from two small caches: the file's first bytes (one read that usually holds a
// JPEG's first segments, the TIFF header and the directories behind it) and a moving window, so a
// marker walk or a directory parse that touches a few bytes here and there costs one positioned
// system read per window rather than a seek and a read each; large reads go straight to the
// caller's buffer with one positioned read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file.h"

namespace lf::exif {

class FileReader {
 public:
  // The first read of a file: it holds the whole marker walk of most camera JPEGs, their TIFF
  // header and the directories behind it.
  static constexpr size_t kHeadSize = 8192;
  // The moving window, and the page of an on-demand block.
  static constexpr size_t kWindowSize = 4096;

  FileReader() = default;
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // Opens the file and takes its length; false on any failure.
  [[nodiscard]] bool Open(const std::string& path);
  bool IsOpen() const { return file_.IsOpen(); }
  uint64_t length() const { return length_; }
  // True once the file layer has failed a seek or read (a range outside the file is no failure).
  bool failed() const { return failed_; }

  // Reads exactly n bytes at pos; false, with out unspecified, when the range does not lie inside
  // the file or the file layer fails.
  [[nodiscard]] bool ReadAt(uint64_t pos, void* out, size_t n);
  // Reads up to n bytes at pos (fewer at the end of the file); the count read, 0 on failure.
  size_t ReadUpTo(uint64_t pos, void* out, size_t n);

 private:
  [[nodiscard]] bool FillWindow(uint64_t pos);
  [[nodiscard]] bool FillHead();

  platform::File file_;
  uint64_t length_ = 0;
  bool failed_ = false;
  // The file's first bytes stay cached apart from the moving window: a JPEG's walk comes back to
  // the APP1 header and the TIFF header after it has skipped the APP1 segment.
  size_t headSize_ = 0;
  uint8_t head_[kHeadSize];
  uint64_t windowPos_ = 0;
  size_t windowSize_ = 0;
  uint8_t window_[kWindowSize];
};

}  // namespace lf::exif
