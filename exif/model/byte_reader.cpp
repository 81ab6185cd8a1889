// SPDX-License-Identifier: MIT
#include "exif/model/byte_reader.h"

#include <cstring>

namespace lf::exif {

namespace {

inline uint16_t Load16(const uint8_t* p, ByteOrder order) {
  return order == kLittleEndian ? static_cast<uint16_t>(p[0] | (p[1] << 8))
                                : static_cast<uint16_t>((p[0] << 8) | p[1]);
}

inline uint32_t Load32(const uint8_t* p, ByteOrder order) {
  if (order == kLittleEndian) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  }
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline void Store16(uint8_t* p, uint16_t v, ByteOrder order) {
  if (order == kLittleEndian) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
  } else {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
  }
}

inline void Store32(uint8_t* p, uint32_t v, ByteOrder order) {
  if (order == kLittleEndian) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
  } else {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
  }
}

inline void SetOk(bool* ok, bool value) {
  if (ok) *ok = value;
}

}  // namespace

uint16_t ReadU16(std::span<const uint8_t> bytes, ByteOrder order) {
  return bytes.size() >= 2 ? Load16(bytes.data(), order) : 0;
}

uint32_t ReadU32(std::span<const uint8_t> bytes, ByteOrder order) {
  return bytes.size() >= 4 ? Load32(bytes.data(), order) : 0;
}

bool WriteU16(std::span<uint8_t> dest, uint16_t value, ByteOrder order) {
  if (dest.size() < 2) return false;
  Store16(dest.data(), value, order);
  return true;
}

bool WriteU32(std::span<uint8_t> dest, uint32_t value, ByteOrder order) {
  if (dest.size() < 4) return false;
  Store32(dest.data(), value, order);
  return true;
}

// ---- ByteView

uint8_t ByteView::ReadU8(uint64_t off, bool* ok) const {
  const bool inside = Contains(off, 1);
  SetOk(ok, inside);
  return inside ? data_[off] : 0;
}

uint16_t ByteView::ReadU16(uint64_t off, bool* ok) const {
  const bool inside = Contains(off, 2);
  SetOk(ok, inside);
  return inside ? Load16(data_ + off, order_) : 0;
}

uint32_t ByteView::ReadU32(uint64_t off, bool* ok) const {
  const bool inside = Contains(off, 4);
  SetOk(ok, inside);
  return inside ? Load32(data_ + off, order_) : 0;
}

uint16_t ByteView::ReadU16BE(uint64_t off, bool* ok) const {
  const bool inside = Contains(off, 2);
  SetOk(ok, inside);
  return inside ? Load16(data_ + off, kBigEndian) : 0;
}

ByteView ByteView::Sub(uint64_t off, uint64_t n) const {
  if (!Contains(off, n)) return ByteView(nullptr, 0, order_);
  return ByteView(data_ + off, static_cast<size_t>(n), order_);
}

ByteView ByteView::From(uint64_t off) const {
  if (off > size_) return ByteView(nullptr, 0, order_);
  return ByteView(data_ + off, static_cast<size_t>(size_ - off), order_);
}

bool ByteView::Copy(uint64_t off, void* out, size_t n) const {
  if (!Contains(off, n)) return false;
  if (n) std::memcpy(out, data_ + off, n);
  return true;
}

// ---- MutableByteView

bool MutableByteView::WriteU8(uint64_t off, uint8_t value) const {
  if (!Contains(off, 1)) return false;
  data_[off] = value;
  return true;
}

bool MutableByteView::WriteU16(uint64_t off, uint16_t value) const {
  if (!Contains(off, 2)) return false;
  Store16(data_ + off, value, order_);
  return true;
}

bool MutableByteView::WriteU32(uint64_t off, uint32_t value) const {
  if (!Contains(off, 4)) return false;
  Store32(data_ + off, value, order_);
  return true;
}

bool MutableByteView::WriteBytes(uint64_t off, const void* bytes, size_t n) const {
  if (!Contains(off, n)) return false;
  // memmove: callers convert values in place.
  if (n) std::memmove(data_ + off, bytes, n);
  return true;
}

bool MutableByteView::Fill(uint64_t off, uint8_t value, size_t n) const {
  if (!Contains(off, n)) return false;
  if (n) std::memset(data_ + off, value, n);
  return true;
}

// ---- Cursor

bool Cursor::Take(uint64_t n, uint64_t* at) {
  if (failed_ || !view_.Contains(offset_, n)) {
    failed_ = true;
    return false;
  }
  *at = offset_;
  offset_ += n;
  return true;
}

uint8_t Cursor::U8() {
  uint64_t at;
  return Take(1, &at) ? view_.data()[at] : 0;
}

uint16_t Cursor::U16() {
  uint64_t at;
  return Take(2, &at) ? view_.ReadU16(at) : 0;
}

uint32_t Cursor::U32() {
  uint64_t at;
  return Take(4, &at) ? view_.ReadU32(at) : 0;
}

uint16_t Cursor::U16BE() {
  uint64_t at;
  return Take(2, &at) ? view_.ReadU16BE(at) : 0;
}

ByteView Cursor::Bytes(uint64_t n) {
  uint64_t at;
  return Take(n, &at) ? view_.Sub(at, n) : ByteView(nullptr, 0, view_.order());
}

bool Cursor::Copy(void* out, size_t n) {
  uint64_t at;
  return Take(n, &at) && view_.Copy(at, out, n);
}

void Cursor::Skip(uint64_t n) {
  uint64_t at;
  // A failed skip sets the sticky error, which the reader checks once.
  (void)Take(n, &at);
}

void Cursor::Seek(uint64_t offset) {
  if (failed_) return;
  if (offset > view_.size()) {
    failed_ = true;
    return;
  }
  offset_ = offset;
}

}  // namespace lf::exif
