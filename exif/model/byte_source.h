// SPDX-License-Identifier: MIT
// Bytes read by position or in sequence, from memory or from an open file, with one interface for
// the marker walk, the writers and the image codecs. Memory is served without a virtual call; a
// file with one positioned read per request, so it may be shared with code that moves the file
// position in between. As with the byte reader's cursor, the error is sticky: once a read fails,
// every later read fails too, and failed() says so.
#pragma once

#include <cstddef>
#include <cstdint>

#include "exif/model/byte_reader.h"
#include "platform/file.h"

namespace lf::exif {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;

  uint64_t size() const { return size_; }
  // The whole content when it is in memory, else nullptr.
  const uint8_t* data() const { return data_; }
  bool failed() const { return failed_; }

  // Copies up to n bytes at pos into out, *got of them (fewer at the end of the data, none past
  // it). False, with *got 0, only when the read itself fails.
  [[nodiscard]] bool ReadUpTo(uint64_t pos, void* out, size_t n, size_t* got);
  // Exactly n bytes at pos; false when they do not lie inside the data or the read fails.
  [[nodiscard]] bool ReadAt(uint64_t pos, void* out, size_t n);

  // Sequential reads from a position of the source's own (past the end reads give nothing, as
  // files do).
  [[nodiscard]] bool Read(void* out, size_t n, size_t* got);
  void Seek(uint64_t pos) { position_ = pos; }
  uint64_t position() const { return position_; }

 protected:
  ByteSource(const uint8_t* data, uint64_t size) : data_(data), size_(size) {}
  // Reads exactly n bytes, all inside the data, from a source not held in memory.
  [[nodiscard]] virtual bool Load(uint64_t pos, void* out, size_t n) = 0;

 private:
  const uint8_t* data_;
  uint64_t size_;
  uint64_t position_ = 0;
  bool failed_ = false;
};

// Bytes in memory (borrowed).
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(ByteView bytes)
      : ByteSource(bytes.data(), bytes.data() ? bytes.size() : 0) {}
  MemorySource(const uint8_t* bytes, size_t size) : ByteSource(bytes, bytes ? size : 0) {}

 private:
  [[nodiscard]] bool Load(uint64_t, void*, size_t) override { return false; }
};

// An open file (borrowed) of a known length.
class FileSource final : public ByteSource {
 public:
  FileSource(platform::File& file, uint64_t length) : ByteSource(nullptr, length), file_(file) {}

 private:
  [[nodiscard]] bool Load(uint64_t pos, void* out, size_t n) override {
    return file_.ReadExactAt(pos, out, n);
  }

  platform::File& file_;
};

}  // namespace lf::exif
