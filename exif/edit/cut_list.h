// SPDX-License-Identifier: MIT
// Byte ranges cut out of an EXIF block (or room inserted into it) while it is copied, and the rule
// that moves every offset that survives: an offset is shifted by the signed lengths of all items
// that start strictly before it.
#pragma once

#include <cstdint>
#include <vector>

#include "exif/edit/output_buffer.h"
#include "exif/model/byte_reader.h"

namespace lf::edit {

struct Cut {
  uint32_t offset = 0;
  int64_t length = 0;  // negative: bytes cut; positive: bytes inserted
};

class CutList {
 public:
  // Cuts `n` bytes at `offset`. Normalize makes the length even (see there).
  void AddCut(uint32_t offset, uint32_t n);
  // Marks where a directory or value starts, so no widened cut swallows its first byte.
  void Protect(uint32_t offset) { protected_.push_back(offset); }
  // Cuts keep their exact lengths: ranges blanked in place leave no alignment to keep, and the
  // pad byte behind one may belong to something the editor cannot see.
  void KeepExactLengths() { exact_ = true; }
  // Records room of `n` bytes made at `offset`.
  void AddInsertion(uint32_t offset, uint32_t n);

  // Sorts the items by offset, drops cuts that start beyond the block, clips cuts at its end and
  // merges overlapping cuts, so no byte is counted twice. Then every cut that ends inside the
  // block gets an even length, so whatever follows it moves by a whole number of words and keeps
  // its alignment, aligned or not (TIFF 6.0, Section 2): an odd cut that starts on a word
  // boundary takes the pad byte behind it unless a directory or value starts there; any other
  // odd cut leaves its last byte behind, unreferenced. Insertions must have even lengths.
  void Normalize(uint32_t blockSize);

  bool empty() const { return items_.empty(); }
  const std::vector<Cut>& items() const { return items_; }

 private:
  void KeepWordAlignment(uint32_t blockSize, std::vector<Cut>* items) const;

  std::vector<Cut> items_;
  std::vector<uint32_t> protected_;
  bool exact_ = false;
};

// The signed correction for an offset.
int64_t ShiftForCuts(uint32_t offset, const CutList& cuts);
// The offset moved by its correction; a result below 0 becomes 0.
uint32_t ShiftedOffset(uint32_t offset, const CutList& cuts);

// Appends `block` without the cut ranges (insertions are ignored here) to `out`.
[[nodiscard]] bool CopyWithoutCuts(exif::ByteView block, const CutList& cuts, OutputBuffer* out);
// Appends `block` with the cut ranges filled with zeros instead: nothing moves.
[[nodiscard]] bool CopyBlanking(exif::ByteView block, const CutList& cuts, OutputBuffer* out);

}  // namespace lf::edit
