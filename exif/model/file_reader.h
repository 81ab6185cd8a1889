// Positioned reads from one file opened read-only (sharing allowed) for a single operation. Small
// reads are served from a read-ahead window, so a marker walk or a directory parse that touches a
// few bytes here and there costs one positioned system read per window rather than a seek and a
// read each; large reads go straight to the caller's buffer with one positioned read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/file.h"

namespace lf::exif {

class FileReader {
 public:
  FileReader() = default;
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // Opens the file and takes its length; false on any failure.
  bool Open(const std::string& path);
  bool IsOpen() const { return file_.IsOpen(); }
  uint64_t length() const { return length_; }
  // True once the file layer has failed a seek or read (a range outside the file is no failure).
  bool failed() const { return failed_; }

  // Reads exactly n bytes at pos; false, with out unspecified, when the range does not lie inside
  // the file or the file layer fails.
  bool ReadAt(uint64_t pos, void* out, size_t n);
  // Reads up to n bytes at pos (fewer at the end of the file); the count read, 0 on failure.
  size_t ReadUpTo(uint64_t pos, void* out, size_t n);

  // For a reader that will load the EXIF block, which for a JPEG is the APP1 segment that the
  // marker walk skips: the first read takes the first kReadThroughHead bytes (the largest APP1
  // segment near the file's start and the markers behind it), and a jump from the head over a
  // further segment of at most kReadThroughLimit bytes reads the bytes jumped over in the same
  // system call as the new window, so the block read costs no call of its own.
  void EnableReadThrough() { readThrough_ = true; }

  // Hands over a head read in one piece (read-through) when it holds the n bytes at pos; *offset
  // receives where they start in it. Null otherwise. Later reads fill the head again.
  std::unique_ptr<uint8_t[]> TakeHead(uint64_t pos, uint64_t n, size_t* offset);

 private:
  static constexpr size_t kWindowSize = 4096;
  // An APP segment with its marker and length word.
  static constexpr uint64_t kReadThroughLimit = 65536 + 4;
  static constexpr uint64_t kReadThroughHead = 68 * 1024;

  bool FillWindow(uint64_t pos);
  bool FillHead();
  // Extends the cached head to end at pos + one window.
  enum class ReadThrough { Done, NotTaken, Failed };
  ReadThrough ExtendHead(uint64_t pos);
  // The cached head: the first headSize_ bytes of the file.
  const uint8_t* head() const { return longHead_ ? longHead_.get() : head_; }

  platform::File file_;
  uint64_t length_ = 0;
  bool failed_ = false;
  // The file's first bytes stay cached apart from the moving window: a JPEG's walk comes back to
  // the APP1 header and the TIFF header after it has skipped the APP1 segment.
  size_t headSize_ = 0;
  uint8_t head_[kWindowSize];
  bool readThrough_ = false;
  std::unique_ptr<uint8_t[]> longHead_;  // a head longer than head_ (read-through)
  bool extended_ = false;                // the head has been extended once
  uint64_t windowPos_ = 0;
  size_t windowSize_ = 0;
  uint8_t window_[kWindowSize];
};

}  // namespace lf::exif
