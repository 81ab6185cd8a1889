// SPDX-License-Identifier: MIT
#include "exif/edit/output_buffer.h"

#include <cstring>
#include <utility>

#include "platform/errors.h"
#include "platform/memory.h"

namespace lf::edit {

namespace {
// EXIF blocks are addressed with 32-bit offsets.
constexpr size_t kMaxLength = UINT32_MAX;
}  // namespace

OutputBuffer::~OutputBuffer() { Reset(); }

bool OutputBuffer::Reserve(size_t capacity) {
  if (capacity <= capacity_) return true;
  if (capacity > kMaxLength) {
    platform::SetLastError(platform::kErrorNotEnoughMemory);
    return false;
  }
  auto* grown = static_cast<uint8_t*>(platform::HeapAllocZeroed(capacity));
  if (!grown) return false;
  if (length_) std::memcpy(grown, data_, length_);
  platform::HeapFree(data_);
  data_ = grown;
  capacity_ = capacity;
  return true;
}

bool OutputBuffer::Resize(size_t n) {
  if (n > capacity_) {
    // Grow geometrically so a layout of many small appends stays linear.
    const size_t wanted = n + n / 2 + 256;
    if (!Reserve(wanted > kMaxLength ? n : wanted)) return false;
  }
  if (n > length_) std::memset(data_ + length_, 0, n - length_);
  length_ = n;
  return true;
}

bool OutputBuffer::Append(const uint8_t* bytes, size_t n) {
  if (n > kMaxLength - length_) return false;
  const size_t at = length_;
  if (!Resize(length_ + n)) return false;
  if (n) std::memcpy(data_ + at, bytes, n);
  return true;
}

bool OutputBuffer::AppendZeros(size_t n) {
  if (n > kMaxLength - length_) return false;
  return Resize(length_ + n);
}

void OutputBuffer::Swap(OutputBuffer& other) {
  std::swap(data_, other.data_);
  std::swap(length_, other.length_);
  std::swap(capacity_, other.capacity_);
}

void OutputBuffer::Reset() {
  platform::HeapFree(data_);
  data_ = nullptr;
  length_ = capacity_ = 0;
}

}  // namespace lf::edit
