// SPDX-License-Identifier: MIT
// Where a codec reads its bytes from: an open file (through the platform layer, so the failure seam
// reaches every read) or a block of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file.h"

namespace lf::imaging {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to n bytes; *got is 0 at the end. False only on a read error.
  [[nodiscard]] virtual bool Read(void* buffer, size_t n, size_t* got) = 0;
  [[nodiscard]] virtual bool Seek(uint64_t position) = 0;
  virtual uint64_t Position() const = 0;
  virtual uint64_t Size() const = 0;
  // The whole content when it is already in memory, else nullptr.
  virtual const uint8_t* Data() const { return nullptr; }
};

class FileSource final : public ByteSource {
 public:
  // Opens the file for reading; ok() tells whether that worked.
  explicit FileSource(const std::string& path);
  [[nodiscard]] bool ok() const { return ok_; }
  [[nodiscard]] bool Read(void* buffer, size_t n, size_t* got) override;
  [[nodiscard]] bool Seek(uint64_t position) override;
  uint64_t Position() const override { return position_; }
  uint64_t Size() const override { return size_; }

 private:
  platform::File file_;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
  bool ok_ = false;
};

class MemorySource final : public ByteSource {
 public:
  MemorySource(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(bytes ? size : 0) {}
  [[nodiscard]] bool Read(void* buffer, size_t n, size_t* got) override;
  [[nodiscard]] bool Seek(uint64_t position) override;
  uint64_t Position() const override { return position_; }
  uint64_t Size() const override { return size_; }
  const uint8_t* Data() const override { return bytes_; }

 private:
  const uint8_t* bytes_;
  size_t size_;
  uint64_t position_ = 0;
};

}  // namespace lf::imaging
