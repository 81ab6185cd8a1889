// SPDX-License-Identifier: MIT
// The bytes an ExifReader answers from: a stretch of its file from the TIFF header on, indexed by
// TIFF offset, read piece by piece as the services ask for them or all at once. Only the pages of
// the file that hold a directory or value asked for are read on demand: a query of a camera file
// reads a few KiB instead of its whole APP1 segment.
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
  // Takes the open file; the block is the `length` bytes at file position `base`. The memory is
  // taken at once, but only the pages read are ever touched.
  OnDemandBlock(std::unique_ptr<FileReader> file, uint64_t base, uint32_t length);
  // False when the memory for the block could not be had.
  bool ok() const { return data_ != nullptr; }
  uint8_t* data() const { return data_.get(); }
  uint32_t length() const { return length_; }
  // The file, while the block still reads from it.
  const FileReader* file() const { return file_.get(); }

  // Makes the n bytes at block offset off present; false when they do not lie inside the block or
  // the file cannot deliver them (they are then left absent).
  [[nodiscard]] bool Ensure(uint64_t off, uint64_t n);
  // Ends the block at `length` bytes when it is longer: the bytes behind are no longer reachable.
  void Narrow(uint32_t length);
  // Reads every page still absent and lets the file go; false when a read fails.
  [[nodiscard]] bool LoadAll();

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
