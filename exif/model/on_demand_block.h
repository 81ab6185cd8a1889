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
  // Takes the open file; the reachable bytes are the `length` at file position `base`. The first
  // `measured` of them (0 when not yet known) are the block proper, which gets one piece of memory
  // now, of which only the pages read are ever touched. Without that memory every byte is read as
  // outside the block proper.
  OnDemandBlock(std::unique_ptr<FileReader> file, uint64_t base, uint32_t length,
                uint32_t measured);
  // The block proper, in one piece (as far as it has been read); null until it has its memory.
  uint8_t* data() const { return data_.get(); }
  // The reachable bytes: the block proper, or more before Narrow.
  uint32_t length() const { return length_; }

  // The n bytes at offset off, read when they are not yet: from the block's pages when they lie
  // inside the block proper, else into memory of their own that lives as long as the block (a
  // structure walk reads IFD0 wherever it lies before the block is measured). nullptr when they
  // are not reachable or the file cannot deliver them.
  const uint8_t* Bytes(uint64_t off, uint64_t n);
  // Measures the block: only its first `length` bytes (at most the reachable ones) are reachable
  // from then on. A block of up to kMemoryWhenMeasured gets its memory now, and its pages are kept
  // as they are read; a larger one (a TIFF whose directories follow gigabytes of strips) only from
  // LoadAll, its bytes read piece by piece until then, so that a query costs no memory of its size.
  void Narrow(uint32_t length);
  // Takes the memory for the block proper when it has none yet, reads every page still absent and
  // lets the file go; false when the memory cannot be had or a read fails. The block proper never
  // moves once its memory is taken: pointers handed out stay valid.
  [[nodiscard]] bool LoadAll();

 private:
  // Pages are aligned to the file, not to the block, so the block's first page is the one the
  // structure walk has read already.
  static constexpr uint64_t kPageSize = FileReader::kWindowSize;
  static constexpr uint32_t kMemoryWhenMeasured = 16u << 20;

  [[nodiscard]] bool TakeMemory(uint32_t measured);
  // Makes the n bytes at offset off of the block proper present.
  [[nodiscard]] bool Ensure(uint64_t off, uint64_t n);

  std::unique_ptr<FileReader> file_;
  uint64_t base_;
  uint32_t length_;
  uint32_t measured_ = 0;
  platform::HeapPtr<uint8_t> data_;
  std::vector<bool> present_;  // one flag per file page from the block's first page on
  std::vector<platform::HeapPtr<uint8_t>> pieces_;  // bytes read outside the block proper
};

}  // namespace lf::exif
