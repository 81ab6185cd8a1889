// SPDX-License-Identifier: MIT
#include "exif/edit/cut_list.h"

#include <algorithm>

namespace lf::edit {

void CutList::AddCut(uint32_t offset, uint32_t n) {
  if (n) items_.push_back({offset, -static_cast<int64_t>(n)});
}

void CutList::AddInsertion(uint32_t offset, uint32_t n) {
  if (n) items_.push_back({offset, static_cast<int64_t>(n)});
}

void CutList::KeepWordAlignment(uint32_t blockSize, std::vector<Cut>* items) const {
  for (auto it = items->begin(); it != items->end();) {
    const uint64_t n = it->length < 0 ? static_cast<uint64_t>(-it->length) : 0;
    const uint64_t end = it->offset + n;
    if ((n & 1) == 0 || end >= blockSize) {
      ++it;
      continue;
    }
    // Cuts are merged, so the byte at `end` belongs to no other cut.
    const bool padByte = (it->offset & 1) == 0 &&
                         std::find(protected_.begin(), protected_.end(), end) == protected_.end();
    it->length = padByte ? it->length - 1 : it->length + 1;
    it = it->length == 0 ? items->erase(it) : it + 1;
  }
}

void CutList::Normalize(uint32_t blockSize) {
  std::vector<Cut> cuts, result;
  for (const Cut& c : items_) {
    if (c.length > 0) {
      result.push_back(c);
    } else if (c.offset < blockSize) {
      const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(-c.length), blockSize - c.offset);
      cuts.push_back({c.offset, -static_cast<int64_t>(n)});
    }
  }
  std::sort(cuts.begin(), cuts.end(),
            [](const Cut& a, const Cut& b) { return a.offset < b.offset; });
  for (const Cut& c : cuts) {
    Cut* last = nullptr;
    for (auto it = result.rbegin(); it != result.rend(); ++it) {
      if (it->length < 0) {
        last = &*it;
        break;
      }
    }
    const uint64_t end = c.offset + static_cast<uint64_t>(-c.length);
    if (last) {
      const uint64_t lastEnd = last->offset + static_cast<uint64_t>(-last->length);
      if (c.offset <= lastEnd) {
        if (end > lastEnd) last->length = -static_cast<int64_t>(end - last->offset);
        continue;
      }
    }
    result.push_back(c);
  }
  if (!exact_) KeepWordAlignment(blockSize, &result);
  // Stable by offset; at one offset an insertion comes before a cut, so both count for every
  // offset behind them and neither for the offset itself.
  std::stable_sort(result.begin(), result.end(), [](const Cut& a, const Cut& b) {
    if (a.offset != b.offset) return a.offset < b.offset;
    return a.length > 0 && b.length < 0;
  });
  items_ = std::move(result);
}

int64_t ShiftForCuts(uint32_t offset, const CutList& cuts) {
  int64_t shift = 0;
  for (const Cut& c : cuts.items()) {
    if (c.offset < offset) shift += c.length;
  }
  return shift;
}

uint32_t ShiftedOffset(uint32_t offset, const CutList& cuts) {
  const int64_t moved = static_cast<int64_t>(offset) + ShiftForCuts(offset, cuts);
  if (moved < 0) return 0;
  return moved > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(moved);
}

bool CopyWithoutCuts(exif::ByteView block, const CutList& cuts, OutputBuffer* out) {
  uint64_t from = 0;
  for (const Cut& c : cuts.items()) {
    if (c.length >= 0 || c.offset >= block.size() || c.offset < from) continue;
    if (!out->Append(block.data() + from, c.offset - from)) return false;
    from = std::min<uint64_t>(block.size(), c.offset + static_cast<uint64_t>(-c.length));
  }
  return out->Append(block.data() + from, block.size() - from);
}

bool CopyBlanking(exif::ByteView block, const CutList& cuts, OutputBuffer* out) {
  const uint32_t start = out->length();
  if (!out->Append(block.data(), block.size())) return false;
  const exif::MutableByteView view = out->View(block.order());
  for (const Cut& c : cuts.items()) {
    if (c.length >= 0 || c.offset >= block.size()) continue;
    const uint64_t n =
        std::min<uint64_t>(block.size() - c.offset, static_cast<uint64_t>(-c.length));
    // The span was clamped to the block above.
    (void)view.Fill(uint64_t{start} + c.offset, 0, n);
  }
  return true;
}

}  // namespace lf::edit
