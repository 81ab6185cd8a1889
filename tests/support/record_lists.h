// SPDX-License-Identifier: MIT
// Record lists in tests: an owner that frees every node and record at the end of a test, the
// lookups the record tests share, and a list as comparable rows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "exif/record/record_fields.h"
#include "lumenframe/lumenframe.h"

namespace lf::test {

struct RecordList {
  LfExifRecord list{};
  RecordList() = default;
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;
  ~RecordList() { LfRecordListFree(&list, 1); }
  template <typename T>
  T* Find(uint32_t selector) const {
    return static_cast<T*>(LfRecordListFind(&list, selector));
  }
  std::vector<uint32_t> Selectors() const {
    std::vector<uint32_t> out;
    if (!list.head) return out;
    for (LfRecordNode* n = list.head->next; n != list.head; n = n->next) out.push_back(n->selector);
    return out;
  }
};

// Every record of a list as lines "selector mask" and "selector tag type count value-bytes", so
// two lists compare field by field. `skip` leaves out (selector, tag) pairs.
inline std::vector<std::string> Rows(const RecordList& l,
                                     const std::set<std::pair<uint32_t, uint16_t>>& skip = {}) {
  std::vector<std::string> rows;
  auto add = [&](uint32_t sel, const void* r) {
    const LfPresenceMask* mask = record::PresenceOf(sel, r);
    rows.push_back(std::to_string(sel) + " mask " + std::to_string(mask->low) + ":" +
                   std::to_string(mask->high));
    for (const record::FieldValue& f : record::PresentFields(sel, r, exif::kLittleEndian)) {
      if (skip.count({sel, f.tag})) continue;
      std::string hex;
      char h[3];
      for (uint8_t b : f.bytes) hex += (std::snprintf(h, sizeof h, "%02x", b), h);
      rows.push_back(std::to_string(sel) + " " + std::to_string(f.tag) + " " +
                     std::to_string(f.type) + " " + std::to_string(f.count) + " " + hex);
    }
  };
  for (uint32_t sel : l.Selectors()) {
    const void* r = l.Find<void>(sel);
    add(sel, r);
    if (sel == LF_SEL_EXIF)
      add(LF_SEL_INTEROP, &static_cast<const LfExifDirRecord*>(r)->interoperability);
  }
  return rows;
}

}  // namespace lf::test
