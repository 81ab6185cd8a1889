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

// The zero bytes the record writer leaves between a GPS directory's link and its values.
constexpr uint32_t kRecordGpsGap = 12;

// The zero bytes the record writer lays behind a value of `bytes` bytes of `type`: a value of
// one-byte units grows by its length mod 4, which always makes it even.
uint32_t RecordTail(uint16_t type, uint32_t bytes) {
  return exif::FieldTypeSize(type) == 1 ? bytes % 4 : 0;
}

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
  if (!slot || entries.size() > 0xFFFF || !out_.PadToEven()) return 0;
  const uint32_t at = out_.length();
  const uint32_t count = static_cast<uint32_t>(entries.size());
  const bool record = spacing == ValueSpacing::kRecord;
  const uint32_t gap = record && id == exif::kGpsIfd ? kRecordGpsGap : 0;
  if (!out_.AppendZeros(kDirectoryOverhead + exif::kEntrySize * count + gap)) return 0;

  // The plan: each entry as it will stand, its value laid behind the directory in entry order.
  IfdEntryList laid = entries;
  for (IfdEntry& e : laid) {
    if (!HasOutOfLineValue(e)) continue;
    const IfdEntry requested = e;
    e.count = 0;
    e.value = 0;
    const uint32_t want = values ? values->ValueSize(requested) : 0;
    if (want == 0 || !out_.PadToEven()) continue;
    const uint32_t valueAt = out_.length();
    if (!out_.AppendZeros(want)) return 0;
    const uint32_t delivered = values->DeliverValue(requested, MutableByteView(out_.data() + valueAt, want, order_));
    const uint32_t bytes = ValueBytes(requested.type, delivered);
    if (delivered == 0 || bytes > want) {
      out_.Resize(valueAt);
      continue;
    }
    out_.Resize(valueAt + bytes);
    if (record && !out_.AppendZeros(RecordTail(requested.type, bytes))) return 0;
    e.count = delivered;
    e.value = valueAt;
  }
  const MutableByteView view = out_.View(order_);
  view.WriteU16(at, static_cast<uint16_t>(count));
  for (uint32_t i = 0; i < count; ++i) WriteEntry(view, uint64_t{at} + 2 + uint64_t{i} * exif::kEntrySize, laid[i]);

  // Read back what was written: every entry as planned, inside the block.
  RawDirectory dir;
  if (!LocateRawDirectory(View(), at, &dir) || dir.count != count) return 0;
  for (uint32_t i = 0; i < count; ++i) {
    IfdEntry back;
    ReadEntry(View(), dir.EntryPos(i), &back);
    const bool valueInside = !HasOutOfLineValue(laid[i]) || View().Contains(back.value, ValueBytes(back.type, back.count));
    if (ValueBytes(laid[i].type, laid[i].count) != 0 && (!(back == laid[i]) || !valueInside)) return 0;
  }
  *slot = {at, static_cast<uint16_t>(count)};
  if (IfdDescriptor* descriptor = Descriptor(id)) {
    for (const IfdEntry& e : laid) {
      if (!HasOutOfLineValue(e)) exif::ApplySummaryEntry(descriptor, e);
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
