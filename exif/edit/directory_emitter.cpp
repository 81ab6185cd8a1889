// SPDX-License-Identifier: MIT
#include "exif/edit/directory_emitter.h"

#include <algorithm>

namespace lf::edit {

namespace {

// The zero bytes the record writer leaves between a GPS directory's link and its values.
constexpr uint32_t kRecordGpsGap = 12;

}  // namespace

bool ValueArea::AppendTail(uint16_t type, uint32_t bytes) {
  // The record writer lays a value of one-byte units with its length mod 4 behind it, which always
  // makes it even.
  if (spacing_ != ValueSpacing::kRecord || exif::FieldTypeSize(type) != 1) return true;
  return area_->AppendZeros(bytes % 4);
}

bool ValueArea::Deliver(ValueProvider* values, IfdEntry requested, IfdEntry* laid) {
  *laid = requested;
  laid->count = 0;
  laid->value = 0;
  const uint32_t want = values ? values->ValueSize(requested) : 0;
  if (want == 0) return true;
  if (!AlignToWord()) return false;
  const uint32_t start = area_->length();
  if (!area_->AppendZeros(want)) return false;
  const uint32_t delivered =
      values->DeliverValue(requested, MutableByteView(area_->data() + start, want, order_));
  const uint32_t bytes = ValueBytes(requested.type, delivered);
  if (delivered == 0 || bytes > want) return area_->Resize(start);
  if (!area_->Resize(start + bytes) || !AppendTail(requested.type, bytes)) return false;
  laid->count = delivered;
  laid->value = static_cast<uint32_t>(base_ + start);
  return true;
}

bool ValueArea::Copy(const uint8_t* bytes, uint32_t n, uint32_t* at) {
  if (!AlignToWord()) return false;
  *at = static_cast<uint32_t>(Offset());
  return area_->Append(bytes, n);
}

uint32_t EmitDirectory(OutputBuffer* out, ByteOrder order, DirectoryId id,
                       std::vector<PlannedEntry>* plan, uint32_t link, ValueProvider* values,
                       ValueSpacing spacing) {
  if (plan->size() > 0xFFFF || !out->PadToEven()) return 0;
  const uint32_t at = out->length();
  const uint32_t count = static_cast<uint32_t>(plan->size());
  const uint32_t gap = spacing == ValueSpacing::kRecord && id == exif::kGpsIfd ? kRecordGpsGap : 0;
  if (!out->AppendZeros(kDirectoryOverhead + exif::kEntrySize * count + gap)) return 0;

  // The values, laid in entry order behind the directory.
  ValueArea area(out, 0, order, spacing);
  for (PlannedEntry& p : *plan) {
    if (p.keepRaw || !HasOutOfLineValue(p.entry)) continue;
    if (!area.Deliver(values, p.entry, &p.entry)) return 0;
  }
  const MutableByteView view = out->View(order);
  // The directory was sized for every planned entry.
  (void)view.WriteU16(at, static_cast<uint16_t>(count));
  RawDirectory dir{at, static_cast<uint16_t>(count)};
  for (uint32_t i = 0; i < count; ++i) {
    const PlannedEntry& p = (*plan)[i];
    if (p.keepRaw) {
      // The directory was sized for every planned entry.
      (void)view.WriteBytes(dir.EntryPos(i), p.raw.data(), p.raw.size());
    } else {
      // The directory was sized for every planned entry.
      (void)WriteEntry(view, dir.EntryPos(i), p.entry);
    }
  }
  // The directory was sized for every planned entry.
  (void)view.WriteU32(dir.LinkPos(), link);

  // Read back what was written: every entry as planned, its value inside the buffer.
  const ByteView back = view.view();
  if (!LocateRawDirectory(back, at, &dir) || dir.count != count) return 0;
  for (uint32_t i = 0; i < count; ++i) {
    const PlannedEntry& p = (*plan)[i];
    if (p.keepRaw) {
      const uint8_t* raw = back.Pointer(dir.EntryPos(i), exif::kEntrySize);
      if (!raw || !std::equal(p.raw.begin(), p.raw.end(), raw)) return 0;
      continue;
    }
    IfdEntry e;
    // The entry was just written inside the directory.
    (void)ReadEntry(back, dir.EntryPos(i), &e);
    const bool valueInside =
        !HasOutOfLineValue(p.entry) || back.Contains(e.value, ValueBytes(e.type, e.count));
    if (ValueBytes(p.entry.type, p.entry.count) != 0 && (!(e == p.entry) || !valueInside)) return 0;
  }
  return at;
}

}  // namespace lf::edit
