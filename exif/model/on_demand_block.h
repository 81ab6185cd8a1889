// SPDX-License-Identifier: MIT
// An EXIF block that is read from its file piece by piece as the services ask for its bytes. It
// spans the same bytes as a block loaded in one piece and is indexed the same way (by TIFF offset),
// but only the pages of the file that hold a directory or value asked for are ever read: a query
// of a camera file reads a few KiB instead of its whole APP1 segment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "exif/model/file_reader.h"
#include "platform/memory.h"

namespace lf::exif {

class OnDemandBlock {
 public:
  // Takes the open file; the block is the `length` bytes at file position `base`.
  OnDemandBlock(std::unique_ptr<FileReader> file, uint64_t base, uint32_t length);
  // False when the memory for the block could not be had.
  bool ok() const { return data_ != nullptr; }
  uint8_t* data() const { return data_.get(); }
  uint32_t length() const { return length_; }

  // Makes the n bytes at block offset off present; false when they do not lie inside the block or
  // the file cannot deliver them (they are then left absent).
  [[nodiscard]] bool Ensure(uint64_t off, uint64_t n);

 private:
  // Pages are aligned to the file, not to the block, so the block's first page is the one the
  // structure walk has read already.
  static constexpr uint64_t kPageSize = FileReader::kWindowSize;

  std::unique_ptr<FileReader> file_;
  uint64_t base_;
  uint32_t length_;
  platform::HeapPtr<uint8_t> data_;
  std::vector<bool> present_;  // one flag per file page from the block's first page on
};

}  // namespace lf::exif
