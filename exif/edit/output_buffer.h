// SPDX-License-Identifier: MIT
// The growable byte buffer in which an edited EXIF block is laid out. Every append checks its
// capacity and grows the buffer (through the platform heap, so allocation faults can be injected),
// so no layout step can write past its end however large the source's values are.
#pragma once

#include <cstddef>
#include <cstdint>

#include "exif/model/byte_reader.h"

namespace lf::edit {

class OutputBuffer {
 public:
  OutputBuffer() = default;
  ~OutputBuffer();
  OutputBuffer(const OutputBuffer&) = delete;
  OutputBuffer& operator=(const OutputBuffer&) = delete;

  // Makes room for `capacity` bytes, keeping the content; false when memory is short.
  [[nodiscard]] bool Reserve(size_t capacity);
  [[nodiscard]] bool Append(const uint8_t* bytes, size_t n);
  [[nodiscard]] bool AppendZeros(size_t n);
  // TIFF 6.0, Section 2: directories and values begin on a word boundary.
  [[nodiscard]] bool PadToEven() { return (length_ & 1) == 0 || AppendZeros(1); }
  // Sets the length within the capacity; new bytes are zero.
  [[nodiscard]] bool Resize(size_t n);

  uint8_t* data() const { return data_; }
  uint32_t length() const { return static_cast<uint32_t>(length_); }
  bool empty() const { return length_ == 0; }
  exif::MutableByteView View(exif::ByteOrder order) const { return {data_, length_, order}; }

  void Swap(OutputBuffer& other);
  void Reset();

 private:
  uint8_t* data_ = nullptr;
  size_t length_ = 0;
  size_t capacity_ = 0;
};

}  // namespace lf::edit
