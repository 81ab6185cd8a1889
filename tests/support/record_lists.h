// SPDX-License-Identifier: MIT
// Record lists in tests: an owner that frees every node and record at the end of a test, and the
// lookups the record tests share.
#pragma once

#include <cstdint>
#include <vector>

#include "lumenframe/lumenframe.h"

namespace lf::test {

struct RecordList {
  LfExifRecord list{};
  RecordList() = default;
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;
  ~RecordList() { LfRecordListFree(&list, 1); }
  template <typename T>
  T* Find(uint32_t selector) const { return static_cast<T*>(LfRecordListFind(&list, selector)); }
  std::vector<uint32_t> Selectors() const {
    std::vector<uint32_t> out;
    if (!list.head) return out;
    for (LfRecordNode* n = list.head->next; n != list.head; n = n->next) out.push_back(n->selector);
    return out;
  }
};

}  // namespace lf::test
