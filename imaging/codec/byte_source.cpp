// SPDX-License-Identifier: MIT
#include "imaging/codec/byte_source.h"

#include <algorithm>
#include <cstring>

namespace lf::imaging {

FileSource::FileSource(const std::string& path)
    : file_(platform::File::Open(path, platform::Access::Read,
                                 platform::Disposition::OpenExisting)) {
  ok_ = file_.IsOpen() && file_.Length(&size_);
}

bool FileSource::Read(void* buffer, size_t n, size_t* got) {
  *got = 0;
  if (!ok_) return false;
  if (!file_.Read(buffer, n, got)) return false;
  position_ += *got;
  return true;
}

bool FileSource::Seek(uint64_t position) {
  if (!ok_ || !file_.Seek(position)) return false;
  position_ = position;
  return true;
}

bool MemorySource::Read(void* buffer, size_t n, size_t* got) {
  const uint64_t left = position_ < size_ ? size_ - position_ : 0;
  *got = static_cast<size_t>(std::min<uint64_t>(n, left));
  if (*got) std::memcpy(buffer, bytes_ + position_, *got);
  position_ += *got;
  return true;
}

bool MemorySource::Seek(uint64_t position) {
  position_ = position;  // reads past the end give nothing, as files do
  return true;
}

}  // namespace lf::imaging
