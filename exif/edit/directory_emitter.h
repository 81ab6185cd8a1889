// SPDX-License-Identifier: MIT
// The one directory emitter every writer lays directories with: a directory planned as a list of
// entries, emitted at the end of a buffer with its value area behind it, then read back and
// compared with the plan. The spacing of the values is a policy: the editor's even rule or the
// record writer's rule. The value area alone (ValueArea) also serves the editor's re-laying of a
// directory in place.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "exif/edit/output_buffer.h"
#include "exif/edit/raw_entries.h"

namespace lf::edit {

// How values are spaced behind a directory. Both keep every value on a word boundary (TIFF 6.0,
// Section 2).
enum class ValueSpacing {
  kEven,    // the editor's: each value padded to an even length
  kRecord,  // the record writer's: a value of one-byte units (ASCII, BYTE, UNDEFINED) n bytes
            // long takes n + n mod 4 bytes, and a GPS directory's value area begins 12 zero
            // bytes after its link
};

// Delivers the value of an added entry whose value does not fit inline.
class ValueProvider {
 public:
  virtual ~ValueProvider() = default;
  // Writes the value of `requested` into `dest`; the number of values written (0 = none).
  virtual uint32_t DeliverValue(const IfdEntry& requested, MutableByteView dest) = 0;
  // The bytes the value of `requested` needs (0 = cannot deliver).
  virtual uint32_t ValueSize(const IfdEntry& requested) = 0;
};

// The value area behind a directory: values appended in entry order to `area`, whose first byte
// lies at block offset `base`, each starting on a word boundary of the block.
class ValueArea {
 public:
  ValueArea(OutputBuffer* area, uint64_t base, ByteOrder order, ValueSpacing spacing)
      : area_(area), base_(base), order_(order), spacing_(spacing) {}
  // Pads the area to a word boundary of the block.
  [[nodiscard]] bool AlignToWord() { return (Offset() & 1) == 0 || area_->AppendZeros(1); }
  // Lays the value `values` delivers for `requested`; *laid is `requested` with the count
  // delivered and the value's block offset, or with count 0 and value 0 when none was delivered.
  // False only when the area cannot grow.
  [[nodiscard]] bool Deliver(ValueProvider* values, IfdEntry requested, IfdEntry* laid);
  // Lays `n` bytes of a kept value; its block offset in *at. False when the area cannot grow.
  [[nodiscard]] bool Copy(const uint8_t* bytes, uint32_t n, uint32_t* at);

 private:
  uint64_t Offset() const { return base_ + area_->length(); }
  [[nodiscard]] bool AppendTail(uint16_t type, uint32_t bytes);
  OutputBuffer* area_;
  uint64_t base_;
  ByteOrder order_;
  ValueSpacing spacing_;
};

// One entry of a planned directory: kept byte for byte (`raw`), or `entry` as it will stand, its
// out-of-line value delivered by the provider when laid.
struct PlannedEntry {
  IfdEntry entry;
  std::array<uint8_t, exif::kEntrySize> raw{};
  bool keepRaw = false;
};

// Lays `plan` (in the order given) at the end of `out`, which is first made even: the entry
// count, the entries, the next-IFD `link`, then the value area spaced by `spacing` (the record
// rule's gap after the link for the GPS directory `id`). Each planned entry's out-of-line value
// comes from `values` (without one: count 0 and value 0); *plan receives the entries as laid.
// The directory is read back and compared with the plan. Its offset, or 0 on failure.
[[nodiscard]] uint32_t EmitDirectory(OutputBuffer* out, ByteOrder order, DirectoryId id,
                                     std::vector<PlannedEntry>* plan, uint32_t link,
                                     ValueProvider* values, ValueSpacing spacing);

}  // namespace lf::edit
