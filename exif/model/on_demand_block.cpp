// SPDX-License-Identifier: MIT
#include "exif/model/on_demand_block.h"

#include <algorithm>

#include "exif/model/byte_reader.h"

namespace lf::exif {

OnDemandBlock::OnDemandBlock(std::unique_ptr<FileReader> file, uint64_t base, uint32_t length,
                             uint32_t measured)
    : file_(std::move(file)), base_(base), length_(length) {
  if (measured > 0) (void)TakeMemory(std::min(measured, length));  // else read piece by piece
}

bool OnDemandBlock::TakeMemory(uint32_t measured) {
  data_.reset(static_cast<uint8_t*>(platform::HeapAlloc(measured ? measured : 1)));
  if (!data_) return false;
  measured_ = measured;
  const uint64_t firstPage = base_ / kPageSize;
  const uint64_t endPage = (base_ + measured_ + kPageSize - 1) / kPageSize;
  present_.assign(static_cast<size_t>(endPage - firstPage), false);
  return true;
}

const uint8_t* OnDemandBlock::Bytes(uint64_t off, uint64_t n) {
  if (!InRange(length_, off, n)) return nullptr;
  if (InRange(measured_, off, n)) return Ensure(off, n) ? data_.get() + off : nullptr;
  // Outside the block proper: only reachable while the file is still open.
  if (!file_) return nullptr;
  platform::HeapPtr<uint8_t> piece(static_cast<uint8_t*>(platform::HeapAlloc(n ? n : 1)));
  if (!piece || !file_->ReadAt(base_ + off, piece.get(), static_cast<size_t>(n))) return nullptr;
  pieces_.push_back(std::move(piece));
  return pieces_.back().get();
}

bool OnDemandBlock::Ensure(uint64_t off, uint64_t n) {
  if (!data_ || !InRange(measured_, off, n)) return false;
  if (n == 0) return true;
  if (!file_) return true;  // everything was read
  const uint64_t firstPage = base_ / kPageSize;
  const uint64_t from = (base_ + off) / kPageSize - firstPage;
  const uint64_t to = (base_ + off + n - 1) / kPageSize - firstPage;  // inclusive
  // Runs of missing pages are read with one call each.
  for (uint64_t page = from; page <= to;) {
    if (present_[page]) {
      ++page;
      continue;
    }
    uint64_t last = page;
    while (last + 1 <= to && !present_[last + 1]) ++last;
    const uint64_t start = std::max(base_, (firstPage + page) * kPageSize);
    const uint64_t end = std::min(base_ + measured_, (firstPage + last + 1) * kPageSize);
    if (!file_->ReadAt(start, data_.get() + (start - base_), static_cast<size_t>(end - start))) {
      return false;
    }
    std::fill(present_.begin() + static_cast<std::ptrdiff_t>(page),
              present_.begin() + static_cast<std::ptrdiff_t>(last + 1), true);
    page = last + 1;
  }
  return true;
}

void OnDemandBlock::Narrow(uint32_t length) {
  length_ = std::min(length_, length);
  if (data_) {
    length_ = std::min(length_, measured_);  // measured when it was made
  } else if (length_ <= kMemoryWhenMeasured) {
    (void)TakeMemory(length_);  // without it, read piece by piece
  }
}

bool OnDemandBlock::LoadAll() {
  if (!data_ && !TakeMemory(length_)) return false;
  if (!file_) return true;
  if (!Ensure(0, measured_)) return false;
  file_.reset();
  return true;
}

}  // namespace lf::exif
