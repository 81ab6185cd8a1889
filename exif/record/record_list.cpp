// SPDX-License-Identifier: MIT
#include "exif/record/record_list.h"

#include <cstring>

#include "exif/record/record_table.h"

namespace lf::record {
namespace {

bool TextFits(const LfString& s) {
  return !s.text || ::strnlen(s.text, kMaxValueBytes + 1) <= kMaxValueBytes;
}

template <typename Container>
bool SizeFits(const Container& c) {
  return c.size >= 0 && static_cast<uint32_t>(c.size) <= kMaxValueBytes && (c.size == 0 || c.data);
}

// Every text, list and byte array of the record (present or not) is checked; the Exif record's
// Interoperability record with it.
bool Valid(uint32_t selector, const void* record) {
  for (const RecordField& f : FieldsOf(selector)) {
    const void* at = static_cast<const uint8_t*>(record) + f.offset;
    bool fits = true;
    switch (f.kind) {
      case FieldKind::kText: fits = TextFits(*static_cast<const LfString*>(at)); break;
      case FieldKind::kBytes: fits = SizeFits(*static_cast<const LfByteArray*>(at)); break;
      case FieldKind::kU16List: fits = SizeFits(*static_cast<const LfU16List*>(at)); break;
      case FieldKind::kU32List: fits = SizeFits(*static_cast<const LfU32List*>(at)); break;
      case FieldKind::kSubDirectory: fits = Valid(LF_SEL_INTEROP, at); break;
      default: break;
    }
    if (!fits) return false;
  }
  return true;
}

template <typename Record>
void TakeFirst(const void* record, const Record** slot) {
  if (!*slot) *slot = static_cast<const Record*>(record);
}

}  // namespace

HRESULT CollectRecords(const LfExifRecord* list, RecordSet* out) {
  *out = {};
  if (!list) return S_OK;
  RecordSet found;
  const bool ring = WalkRecordList(*list, [&](const LfRecordNode& node) {
    switch (node.selector) {
      case LF_SEL_IFD0: TakeFirst(node.record, &found.ifd0); break;
      case LF_SEL_IFD1: TakeFirst(node.record, &found.ifd1); break;
      case LF_SEL_EXIF: TakeFirst(node.record, &found.exif); break;
      case LF_SEL_GPS: TakeFirst(node.record, &found.gps); break;
      default: break;
    }
  });
  if (!ring) return E_INVALIDARG;
  if ((found.ifd0 && !Valid(LF_SEL_IFD0, found.ifd0)) ||
      (found.ifd1 && !Valid(LF_SEL_IFD1, found.ifd1)) ||
      (found.exif && !Valid(LF_SEL_EXIF, found.exif)) ||
      (found.gps && !Valid(LF_SEL_GPS, found.gps))) {
    return E_INVALIDARG;
  }
  *out = found;
  return S_OK;
}

}  // namespace lf::record
