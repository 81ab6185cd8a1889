// SPDX-License-Identifier: MIT
#include "exif/model/byte_source.h"

#include <algorithm>
#include <cstring>

namespace lf::exif {

bool ByteSource::ReadUpTo(uint64_t pos, void* out, size_t n, size_t* got) {
  *got = 0;
  if (failed_) return false;
  const size_t count = pos < size_ ? static_cast<size_t>(std::min<uint64_t>(n, size_ - pos)) : 0;
  if (count == 0) return true;
  if (data_) {
    std::memcpy(out, data_ + pos, count);
  } else if (!Load(pos, out, count)) {
    failed_ = true;
    return false;
  }
  *got = count;
  return true;
}

bool ByteSource::ReadAt(uint64_t pos, void* out, size_t n) {
  size_t got = 0;
  return InRange(size_, pos, n) && ReadUpTo(pos, out, n, &got) && got == n;
}

bool ByteSource::Read(void* out, size_t n, size_t* got) {
  if (!ReadUpTo(position_, out, n, got)) return false;
  position_ += *got;
  return true;
}

}  // namespace lf::exif
