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
  longHead_.reset();
  extended_ = false;
  failed_ = false;
  if (!file_.IsOpen()) return false;
  if (!file_.LengthAtOpen(&length_)) {
    file_.Close();
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
  // A reader that will load the block takes a JPEG's largest APP1 segment and the markers behind
  // it in its first read.
  if (readThrough_ && length_ > kWindowSize) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kReadThroughHead, length_));
    std::unique_ptr<uint8_t[]> head(new (std::nothrow) uint8_t[want]);
    if (head) {
      if (!file_.ReadExactAt(0, head.get(), want)) {
        failed_ = true;
        return false;
      }
      longHead_ = std::move(head);
      headSize_ = want;
      return true;
    }
  }
  const size_t want = static_cast<size_t>(std::min<uint64_t>(kWindowSize, length_));
  if (!file_.ReadExactAt(0, head_, want)) {
    failed_ = true;
    return false;
  }
  headSize_ = want;
  return true;
}

FileReader::ReadThrough FileReader::ExtendHead(uint64_t pos) {
  if (!readThrough_ || extended_ || headSize_ == 0 || pos < headSize_ ||
      pos - headSize_ > kReadThroughLimit) {
    return ReadThrough::NotTaken;
  }
  const size_t end = static_cast<size_t>(std::min<uint64_t>(pos + kWindowSize, length_));
  // A cache of the reader's own, not a buffer of the operation: when memory is short the reader
  // simply reads as it would without it.
  std::unique_ptr<uint8_t[]> extended(new (std::nothrow) uint8_t[end]);
  if (!extended) return ReadThrough::NotTaken;
  std::memcpy(extended.get(), head(), headSize_);
  if (!file_.ReadExactAt(headSize_, extended.get() + headSize_, end - headSize_)) {
    failed_ = true;
    return ReadThrough::Failed;
  }
  longHead_ = std::move(extended);
  headSize_ = end;
  extended_ = true;
  return ReadThrough::Done;
}

bool FileReader::ReadAt(uint64_t pos, void* out, size_t n) {
  if (!file_.IsOpen() || !InRange(length_, pos, n)) return false;
  if (n == 0) return true;
  if (InRange(headSize_, pos, n)) {
    std::memcpy(out, head() + pos, n);
    return true;
  }
  if (n > kWindowSize) {
    if (file_.ReadExactAt(pos, out, n)) return true;
    failed_ = true;
    return false;
  }
  if (headSize_ == 0 && InRange(std::min<uint64_t>(kWindowSize, length_), pos, n)) {
    if (!FillHead()) return false;
    if (InRange(headSize_, pos, n)) {
      std::memcpy(out, head() + pos, n);
      return true;
    }
  }
  const bool cached = pos >= windowPos_ && InRange(windowSize_, pos - windowPos_, n);
  if (cached) {
    std::memcpy(out, window_ + (pos - windowPos_), n);
    return true;
  }
  switch (ExtendHead(pos)) {
    case ReadThrough::Done:
      std::memcpy(out, head() + pos, n);
      return true;
    case ReadThrough::Failed:
      return false;
    case ReadThrough::NotTaken:
      break;
  }
  if (!FillWindow(pos)) return false;
  std::memcpy(out, window_ + (pos - windowPos_), n);
  return true;
}

std::unique_ptr<uint8_t[]> FileReader::TakeHead(uint64_t pos, uint64_t n, size_t* offset) {
  if (!longHead_ || n == 0 || !InRange(headSize_, pos, n)) return nullptr;
  *offset = static_cast<size_t>(pos);
  headSize_ = 0;
  extended_ = false;
  return std::move(longHead_);
}

size_t FileReader::ReadUpTo(uint64_t pos, void* out, size_t n) {
  if (!file_.IsOpen() || pos >= length_) return 0;
  const size_t available = static_cast<size_t>(std::min<uint64_t>(n, length_ - pos));
  return ReadAt(pos, out, available) ? available : 0;
}

}  // namespace lf::exif
