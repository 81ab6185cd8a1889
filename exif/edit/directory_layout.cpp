// SPDX-License-Identifier: MIT
// Laying new directories into the output block: a block started from scratch with its TIFF
// header, and directories laid at its end by the layout rules every writer shares. Each directory
// is read back once laid and compared with what was planned.
#include <algorithm>
#include <cstring>

#include "exif/edit/output_layout.h"

namespace lf::edit {

namespace {

// Room for the directories of a block built from scratch, so most builds never grow the buffer.
constexpr size_t kScratchCapacity = 65536;

}  // namespace

bool OutputLayout::StartBlock(ByteOrder order, bool isTiff, bool isJpeg) {
  Reset();
  order_ = order;
  isTiff_ = isTiff;
  isJpeg_ = isJpeg;
  if (!out_.Reserve(kScratchCapacity)) return false;
  // TIFF 6.0, Section 2: the byte-order mark, 42, and the offset of IFD0 (laid later).
  const uint8_t mark = order == exif::kLittleEndian ? 'I' : 'M';
  const uint8_t header[8] = {mark, mark};
  if (!out_.Append(header, sizeof header)) return false;
  return out_.View(order_).WriteU16(2, 42);
}

uint32_t OutputLayout::LayDirectory(DirectoryId id, const IfdEntryList& entries,
                                    ValueProvider* values, ValueSpacing spacing) {
  IfdLocation* slot = Slot(id);
  if (!slot) return 0;
  std::vector<PlannedEntry> plan(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) plan[i].entry = entries[i];
  const uint32_t at = EmitDirectory(&out_, order_, id, &plan, 0, values, spacing);
  if (at == 0) return 0;
  *slot = {at, static_cast<uint16_t>(plan.size())};
  if (IfdDescriptor* descriptor = Descriptor(id)) {
    for (const PlannedEntry& p : plan) {
      if (!HasOutOfLineValue(p.entry)) exif::ApplySummaryEntry(descriptor, p.entry);
    }
  }
  return at;
}

void OutputLayout::SetImageSummary(DirectoryId id, const IfdDescriptor& summary) {
  IfdDescriptor* descriptor = Descriptor(id);
  if (!descriptor) return;
  const IfdLocation at = descriptor->location;
  const uint32_t strip = descriptor->firstStripOffset;
  *descriptor = summary;
  descriptor->location = at;
  descriptor->firstStripOffset = strip;
  (id == exif::kIfd0 ? sourceIfd0_ : sourceIfd1_) = summary;
}

void OutputLayout::ForgetDirectory(DirectoryId id) {
  if (IfdDescriptor* descriptor = Descriptor(id)) {
    *descriptor = {};
  } else if (IfdLocation* slot = Slot(id)) {
    *slot = {};
  }
}

bool OutputLayout::TruncateTo(uint32_t length) {
  if (length < 8 || length > out_.length()) return false;
  return out_.Resize(length);
}

}  // namespace lf::edit
