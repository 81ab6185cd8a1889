// SPDX-License-Identifier: MIT
// The host's record list as the writers take it: the ring of nodes walked once, bounded by its
// count, and the directory records found in it checked before any of their bytes is used. A list
// or record that cannot be what it claims is refused as a whole; nothing is repaired.
#pragma once

#include <cstdint>

#include "lumenframe/lumenframe.h"
#include "plugin/result_codes.h"

namespace lf::record {

// More nodes than any list of directory and image-information records holds.
inline constexpr uint32_t kMaxRecordNodes = 4096;
// No value of an APP1 "Exif" segment can be longer than the segment (a 16-bit length).
inline constexpr uint32_t kMaxValueBytes = 0xFFFF;

// Calls fn(node) for each node between the sentinel and itself, following `next`. False, after at
// most `count` calls, when the ring does not lead back to the sentinel in exactly `count` steps,
// a node is missing, or its neighbours do not point back at it. An empty list (no sentinel and a
// count of 0) is a valid ring.
template <typename Fn>
[[nodiscard]] bool WalkRecordList(const LfExifRecord& list, Fn&& fn) {
  const LfRecordNode* sentinel = list.head;
  if (!sentinel) return list.count == 0;
  if (list.count > kMaxRecordNodes || !sentinel->next || !sentinel->prev) return false;
  const LfRecordNode* n = sentinel->next;
  for (uint32_t i = 0; i < list.count; ++i) {
    if (n == sentinel || !n || !n->next || n->next->prev != n || n->prev->next != n) return false;
    fn(*n);
    n = n->next;
  }
  return n == sentinel;
}

// The directory records of a list: the first of each selector, as FindRecord gives them.
struct RecordSet {
  const LfImageDirRecord* ifd0 = nullptr;
  const LfImageDirRecord* ifd1 = nullptr;
  const LfExifDirRecord* exif = nullptr;
  const LfGpsDirRecord* gps = nullptr;
};

// Collects the directory records of `list` (absent: none) and checks every string, array and
// blob they hold: a text must end within kMaxValueBytes, an array or blob must have a size from 0
// to kMaxValueBytes and storage when it is not empty. S_OK or E_INVALIDARG.
[[nodiscard]] HRESULT CollectRecords(const LfExifRecord* list, RecordSet* out);

}  // namespace lf::record
