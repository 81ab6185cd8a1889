// SPDX-License-Identifier: MIT
// The one bounds-checked, endian-aware byte reader of the module. Every parser (TIFF directories,
// JPEG marker walks, maker notes, DIB headers) reads through a ByteView or a Cursor, so no offset
// or length taken from a file is ever used before it has been checked against the data it indexes.
//
// Range checks are written as `off <= size && n <= size - off`, which cannot overflow, and counts
// are multiplied by element sizes through CheckedMul.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace lf::exif {

// TIFF byte order: 0 is little-endian ("II"), any other value big-endian ("MM"). Only zero against
// non-zero is ever tested.
using ByteOrder = uint32_t;
inline constexpr ByteOrder kLittleEndian = 0;
inline constexpr ByteOrder kBigEndian = 1;

// True when [off, off + n) lies inside a buffer of `size` bytes.
constexpr bool InRange(uint64_t size, uint64_t off, uint64_t n) {
  return off <= size && n <= size - off;
}

// a × b into *out; false (and *out untouched) when the product does not fit 32 bits.
constexpr bool CheckedMul(uint64_t a, uint64_t b, uint32_t* out) {
  if (a != 0 && b > UINT32_MAX / a) return false;
  *out = static_cast<uint32_t>(a * b);
  return true;
}

// a + b into *out; false when the sum does not fit 32 bits.
constexpr bool CheckedAdd(uint64_t a, uint64_t b, uint32_t* out) {
  if (a > UINT32_MAX || b > UINT32_MAX - a) return false;
  *out = static_cast<uint32_t>(a + b);
  return true;
}

// The byte-order primitives over spans. A read from a span shorter than the value gives 0; a write
// into one that is too short stores nothing and gives false.
uint16_t ReadU16(std::span<const uint8_t> bytes, ByteOrder order);
uint32_t ReadU32(std::span<const uint8_t> bytes, ByteOrder order);
[[nodiscard]] bool WriteU16(std::span<uint8_t> dest, uint16_t value, ByteOrder order);
[[nodiscard]] bool WriteU32(std::span<uint8_t> dest, uint32_t value, ByteOrder order);

// Read-only bytes with the byte order in which their numbers are stored. Every accessor checks
// its range; a read outside the view gives 0 and clears *ok when given.
class ByteView {
 public:
  constexpr ByteView() = default;
  constexpr ByteView(const uint8_t* data, size_t size, ByteOrder order = kLittleEndian)
      : data_(size ? data : nullptr), size_(data ? size : 0), order_(order) {}
  ByteView(std::span<const uint8_t> bytes, ByteOrder order = kLittleEndian)
      : ByteView(bytes.data(), bytes.size(), order) {}

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  ByteOrder order() const { return order_; }
  ByteView WithOrder(ByteOrder order) const { return ByteView(data_, size_, order); }

  bool Contains(uint64_t off, uint64_t n) const { return InRange(size_, off, n); }

  uint8_t ReadU8(uint64_t off, bool* ok = nullptr) const;
  uint16_t ReadU16(uint64_t off, bool* ok = nullptr) const;
  uint32_t ReadU32(uint64_t off, bool* ok = nullptr) const;
  // Big-endian reads whatever the view's order (JPEG marker and length words).
  uint16_t ReadU16BE(uint64_t off, bool* ok = nullptr) const;

  // The n bytes at off, or nullptr when they do not all lie inside the view.
  const uint8_t* Pointer(uint64_t off, uint64_t n) const {
    return Contains(off, n) ? data_ + off : nullptr;
  }
  // The sub-view [off, off + n), or an empty view when it does not lie inside.
  ByteView Sub(uint64_t off, uint64_t n) const;
  // The sub-view from off to the end, or an empty view when off is past the end.
  ByteView From(uint64_t off) const;
  // Copies n bytes at off into out; false (out untouched) when they are not all inside.
  [[nodiscard]] bool Copy(uint64_t off, void* out, size_t n) const;
  std::span<const uint8_t> span() const { return {data_, size_}; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  ByteOrder order_ = kLittleEndian;
};

// Writable bytes with their byte order; every write is range-checked and stores nothing (result
// false) when it would leave the buffer.
class MutableByteView {
 public:
  constexpr MutableByteView() = default;
  constexpr MutableByteView(uint8_t* data, size_t size, ByteOrder order = kLittleEndian)
      : data_(size ? data : nullptr), size_(data ? size : 0), order_(order) {}

  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  ByteOrder order() const { return order_; }
  ByteView view() const { return ByteView(data_, size_, order_); }
  operator ByteView() const { return view(); }

  bool Contains(uint64_t off, uint64_t n) const { return InRange(size_, off, n); }
  uint8_t* Pointer(uint64_t off, uint64_t n) const {
    return Contains(off, n) ? data_ + off : nullptr;
  }

  [[nodiscard]] bool WriteU8(uint64_t off, uint8_t value) const;
  [[nodiscard]] bool WriteU16(uint64_t off, uint16_t value) const;
  [[nodiscard]] bool WriteU32(uint64_t off, uint32_t value) const;
  [[nodiscard]] bool WriteBytes(uint64_t off, const void* bytes, size_t n) const;
  [[nodiscard]] bool Fill(uint64_t off, uint8_t value, size_t n) const;

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  ByteOrder order_ = kLittleEndian;
};

// Reads consecutive values from a view. The error is sticky: once a read falls outside the view,
// that read and every later one return 0 (or an empty view) and the offset stays where the first
// failing read found it, so a caller can read a whole record and check ok() once.
class Cursor {
 public:
  explicit Cursor(ByteView view, uint64_t offset = 0) : view_(view), offset_(offset) {
    if (offset > view.size()) failed_ = true;
  }

  uint8_t U8();
  uint16_t U16();
  uint32_t U32();
  uint16_t U16BE();
  // The next n bytes as a view (same byte order); empty on failure.
  ByteView Bytes(uint64_t n);
  // Copies the next n bytes into out (untouched on failure).
  [[nodiscard]] bool Copy(void* out, size_t n);
  void Skip(uint64_t n);
  // Moves to an absolute offset; an offset past the end sets the error.
  void Seek(uint64_t offset);

  uint64_t offset() const { return offset_; }
  uint64_t remaining() const { return failed_ ? 0 : view_.size() - offset_; }
  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const ByteView& view() const { return view_; }

 private:
  // True, with the offset advanced, when n bytes are available; sets the sticky error otherwise.
  [[nodiscard]] bool Take(uint64_t n, uint64_t* at);

  ByteView view_;
  uint64_t offset_ = 0;
  bool failed_ = false;
};

}  // namespace lf::exif
