// SPDX-License-Identifier: MIT
#include "exif/model/file_reader.h"

#include <algorithm>
#include <cstring>

#include "exif/model/byte_reader.h"

namespace lf::exif {

bool FileReader::Open(const std::string& path) {
  file_ = platform::File::Open(path, platform::Access::Read, platform::Disposition::OpenExisting,
                               platform::Share::All);
  windowSize_ = 0;
  headSize_ = 0;
  failed_ = false;
  if (!file_.IsOpen()) return false;
  if (!file_.LengthAtOpen(&length_)) {
    (void)file_.Close();  // failing already; closing a file opened for reading loses nothing
    return false;
  }
  return true;
}

bool FileReader::FillWindow(uint64_t pos) {
  windowSize_ = 0;
  if (pos >= length_) return false;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(kWindowSize, length_ - pos));
  if (!file_.ReadExactAt(pos, window_, want)) {
    failed_ = true;
    return false;
  }
  windowPos_ = pos;
  windowSize_ = want;
  return true;
}

bool FileReader::FillHead() {
  const size_t want = static_cast<size_t>(std::min<uint64_t>(kHeadSize, length_));
  if (!file_.ReadExactAt(0, head_, want)) {
    failed_ = true;
    return false;
  }
  headSize_ = want;
  return true;
}

bool FileReader::ReadAt(uint64_t pos, void* out, size_t n) {
  if (!file_.IsOpen() || !InRange(length_, pos, n)) return false;
  if (n == 0) return true;
  if (headSize_ == 0 && InRange(std::min<uint64_t>(kHeadSize, length_), pos, n) && !FillHead()) {
    return false;
  }
  if (InRange(headSize_, pos, n)) {
    std::memcpy(out, head_ + pos, n);
    return true;
  }
  if (n > kWindowSize) {
    if (file_.ReadExactAt(pos, out, n)) return true;
    failed_ = true;
    return false;
  }
  const bool cached =
      windowSize_ != 0 && pos >= windowPos_ && InRange(windowSize_, pos - windowPos_, n);
  if (!cached && !FillWindow(pos)) return false;
  std::memcpy(out, window_ + (pos - windowPos_), n);
  return true;
}

size_t FileReader::ReadUpTo(uint64_t pos, void* out, size_t n) {
  if (!file_.IsOpen() || pos >= length_) return 0;
  const size_t available = static_cast<size_t>(std::min<uint64_t>(n, length_ - pos));
  return ReadAt(pos, out, available) ? available : 0;
}

}  // namespace lf::exif
