// SPDX-License-Identifier: MIT
#include "exif/model/on_demand_block.h"

#include <algorithm>

#include "exif/model/byte_reader.h"

namespace lf::exif {

OnDemandBlock::OnDemandBlock(std::unique_ptr<FileReader> file, uint64_t base, uint32_t length)
    : file_(std::move(file)), base_(base), length_(length) {
  data_.reset(static_cast<uint8_t*>(platform::HeapAlloc(length ? length : 1)));
  if (!data_) return;
  const uint64_t firstPage = base_ / kPageSize;
  const uint64_t endPage = (base_ + length_ + kPageSize - 1) / kPageSize;
  present_.assign(static_cast<size_t>(endPage - firstPage), false);
}

bool OnDemandBlock::Ensure(uint64_t off, uint64_t n) {
  if (!data_ || !InRange(length_, off, n)) return false;
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
    const uint64_t end = std::min(base_ + length_, (firstPage + last + 1) * kPageSize);
    if (!file_->ReadAt(start, data_.get() + (start - base_), static_cast<size_t>(end - start))) {
      return false;
    }
    std::fill(present_.begin() + static_cast<std::ptrdiff_t>(page),
              present_.begin() + static_cast<std::ptrdiff_t>(last + 1), true);
    page = last + 1;
  }
  return true;
}

void OnDemandBlock::Narrow(uint32_t length) { length_ = std::min(length_, length); }

bool OnDemandBlock::LoadAll() {
  if (!file_) return data_ != nullptr;
  if (!Ensure(0, length_)) return false;
  file_.reset();
  return true;
}

}  // namespace lf::exif
