// SPDX-License-Identifier: MIT
#include "exif/record/record_fields.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "exif/model/directory.h"
#include "exif/record/record_list.h"

namespace lf::record {
namespace {

using exif::ByteOrder;
using exif::ByteView;
using exif::IfdEntry;

// The field of type T at `offset` of a record, copied in (records are plain C structs).
template <typename T>
void Put(void* record, size_t offset, const T& v, size_t index = 0) {
  std::memcpy(static_cast<uint8_t*>(record) + offset + sizeof(T) * index, &v, sizeof v);
}
template <typename T>
T* At(void* record, size_t offset) {
  return reinterpret_cast<T*>(static_cast<uint8_t*>(record) + offset);
}
const uint8_t* BytesAt(const void* record, size_t offset) {
  return static_cast<const uint8_t*>(record) + offset;
}

// ---- Writing: a present field as its entry's value bytes in the file's order.

class FieldEncoder {
 public:
  FieldEncoder(ByteOrder order, FieldValue* out) : order_(order), out_(out) {}

  // `count` values of `width` bytes; fn(i) gives value i.
  template <typename Fn>
  void Numbers(uint16_t type, size_t count, Fn&& fn) {
    const uint32_t width = exif::FieldTypeSize(type);
    Start(type, count, width);
    const exif::MutableByteView view(out_->bytes.data(), out_->bytes.size(), order_);
    for (size_t i = 0; i < count; ++i) {
      if (width == 2) {
        view.WriteU16(2 * i, static_cast<uint16_t>(fn(i)));
      } else if (width == 4) {
        view.WriteU32(4 * i, fn(i));
      } else {  // a rational: numerator and denominator
        view.WriteU32(8 * i, fn(2 * i));
        view.WriteU32(8 * i + 4, fn(2 * i + 1));
      }
    }
  }
  void Bytes(uint16_t type, const void* p, size_t n, size_t count) {
    Start(type, count, 1);
    if (n) std::memcpy(out_->bytes.data(), p, n);
  }

 private:
  void Start(uint16_t type, size_t count, size_t width) {
    out_->type = type;
    out_->count = static_cast<uint32_t>(count);
    out_->bytes.assign(count * width, 0);
  }
  ByteOrder order_;
  FieldValue* out_;
};

void Encode(const RecordField& f, const void* r, FieldEncoder& e) {
  const uint16_t kept = f.typeOffset ? FieldAt<uint16_t>(r, f.typeOffset) : uint16_t{0};
  // SHORT when the value was read as SHORT, LONG otherwise.
  const uint16_t shortOrLong = kept == exif::kTypeShort ? exif::kTypeShort : exif::kTypeLong;
  switch (f.kind) {
    case FieldKind::kU8: return e.Bytes(f.type, BytesAt(r, f.offset), 1, 1);
    case FieldKind::kRaw4: return e.Bytes(f.type, BytesAt(r, f.offset), 4, 4);
    case FieldKind::kU16:
      return e.Numbers(f.type, f.count,
                       [&](size_t i) { return FieldAt<uint16_t>(r, f.offset, i); });
    case FieldKind::kU32:
      return e.Numbers(f.type, 1, [&](size_t) { return FieldAt<uint32_t>(r, f.offset); });
    case FieldKind::kShortOrLong:
      return e.Numbers(shortOrLong, 1, [&](size_t) { return FieldAt<uint32_t>(r, f.offset); });
    case FieldKind::kRational:
    case FieldKind::kSRational:
      return e.Numbers(f.type, f.count,
                       [&](size_t i) { return FieldAt<uint32_t>(r, f.offset, i); });
    case FieldKind::kText: {
      const LfString s = FieldAt<LfString>(r, f.offset);
      const size_t n = s.text ? ::strnlen(s.text, kMaxValueBytes) : 0;
      return e.Bytes(exif::kTypeAscii, s.text, n, n + 1);  // the text and its NUL
    }
    case FieldKind::kBytes: {
      const LfByteArray a = FieldAt<LfByteArray>(r, f.offset);
      const size_t n = static_cast<size_t>(a.size);
      return e.Bytes(f.type, a.data, n, n);
    }
    case FieldKind::kU16List: {
      const LfU16List a = FieldAt<LfU16List>(r, f.offset);
      return e.Numbers(f.type, static_cast<size_t>(a.size), [&](size_t i) { return a.data[i]; });
    }
    case FieldKind::kU32List: {
      const LfU32List a = FieldAt<LfU32List>(r, f.offset);
      return e.Numbers(shortOrLong, static_cast<size_t>(a.size),
                       [&](size_t i) { return a.data[i]; });
    }
    case FieldKind::kSubDirectory: return e.Numbers(exif::kTypeLong, 1, [](size_t) { return 0u; });
  }
}

// ---- Reading: an entry's value into its field. Every read goes through the view and never takes
// more values than the entry holds or the data has.

// Values of `width` bytes the data holds from `off`, at most `wanted`.
uint32_t Available(ByteView tiff, uint64_t off, uint64_t wanted, uint32_t width) {
  if (off >= tiff.size()) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(wanted, (tiff.size() - off) / width));
}

void ReadText(LfString* out, ByteView tiff, const IfdEntry& e) {
  const uint32_t n = Available(tiff, e.value, e.count, 1);
  const uint8_t* p = tiff.Pointer(e.value, n);
  const size_t len = p ? strnlen(reinterpret_cast<const char*>(p), n) : 0;
  char* text = static_cast<char*>(malloc(len + 1));
  if (!text) return;
  if (len) memcpy(text, p, len);
  text[len] = 0;
  free(out->text);
  out->text = text;
}

void ReadBlob(LfByteArray* out, ByteView tiff, const IfdEntry& e) {
  LfByteArrayFree(out);
  const uint8_t* p = tiff.Pointer(e.value, e.count);
  if (!p || e.count == 0 || e.count > INT32_MAX) return;
  auto* data = static_cast<uint8_t*>(malloc(e.count));
  if (!data) return;
  memcpy(data, p, e.count);
  out->data = data;
  out->size = out->capacity = static_cast<int32_t>(e.count);
}

// A list of SHORTs, or (u32) of SHORTs or LONGs by the entry's type.
template <typename List, typename T>
void ReadList(List* out, ByteView tiff, const IfdEntry& e, uint32_t width) {
  const uint32_t n = Available(tiff, e.value, e.count, width);
  if (n == 0) return;
  auto* data = static_cast<T*>(malloc(size_t{n} * sizeof(T)));
  if (!data) return;
  for (uint32_t i = 0; i < n; ++i) {
    data[i] = width == 2 ? tiff.ReadU16(e.value + 2ull * i)
                         : static_cast<T>(tiff.ReadU32(e.value + 4ull * i));
  }
  out->data = data;
  out->size = out->capacity = static_cast<int32_t>(n);
}

}  // namespace

std::vector<FieldValue> PresentFields(uint32_t selector, const void* record, ByteOrder order) {
  std::vector<FieldValue> out;
  const LfPresenceMask* mask = PresenceOf(selector, record);
  if (!mask) return out;
  for (const RecordField& f : FieldsOf(selector)) {
    if (!LfPresenceHas(mask, f.bit)) continue;
    FieldValue v;
    v.tag = f.tag;
    FieldEncoder encoder(order, &v);
    Encode(f, record, encoder);
    out.push_back(std::move(v));
  }
  return out;
}

void ReadField(const RecordField& f, void* r, ByteView t, const IfdEntry& e) {
  const uint32_t n = std::min<uint32_t>(f.count, e.count);  // of a fixed number of values
  switch (f.kind) {
    case FieldKind::kU8: Put(r, f.offset, t.ReadU8(e.value)); break;
    case FieldKind::kRaw4:
      (void)t.Copy(e.value, At<uint8_t>(r, f.offset), std::min<uint32_t>(4, e.count));
      break;  // inside: checked by the walk
    case FieldKind::kU16:
      if (f.count == 1) {
        Put(r, f.offset, t.ReadU16(e.value));
      } else {
        for (uint32_t i = 0; i < n; ++i) Put(r, f.offset, t.ReadU16(e.value + 2ull * i), i);
      }
      break;
    case FieldKind::kU32: Put(r, f.offset, t.ReadU32(e.value)); break;
    case FieldKind::kShortOrLong:
      Put(r, f.offset,
          e.type == exif::kTypeShort ? uint32_t{t.ReadU16(e.value)} : t.ReadU32(e.value));
      if (f.typeOffset) Put(r, f.typeOffset, e.type);
      break;
    case FieldKind::kRational:
    case FieldKind::kSRational:
      for (uint32_t i = 0; i < 2 * n; ++i) Put(r, f.offset, t.ReadU32(e.value + 4ull * i), i);
      break;
    case FieldKind::kText: ReadText(At<LfString>(r, f.offset), t, e); break;
    case FieldKind::kBytes: ReadBlob(At<LfByteArray>(r, f.offset), t, e); break;
    case FieldKind::kU16List: {
      auto* list = At<LfU16List>(r, f.offset);
      LfU16ListFree(list);
      ReadList<LfU16List, uint16_t>(list, t, e, 2);
      break;
    }
    case FieldKind::kU32List: {
      auto* list = At<LfU32List>(r, f.offset);
      LfU32ListFree(list);
      ReadList<LfU32List, uint32_t>(list, t, e, e.type == exif::kTypeShort ? 2 : 4);
      Put(r, f.typeOffset, e.type);
      break;
    }
    case FieldKind::kSubDirectory: {
      // Read only when the count word and every entry lie inside the data.
      const uint32_t sub = t.ReadU32(e.value);
      const uint64_t first = uint64_t{sub} + 2;
      if (first > t.size() || first + 12ull * t.ReadU16(sub) > t.size()) return;
      ReadDirectoryFields(LF_SEL_INTEROP, At<LfInteropRecord>(r, f.offset), t, first,
                          t.ReadU16(sub));
      break;
    }
  }
  LfPresenceSet(PresenceOf(f.selector, r), f.bit);
}

void ReadDirectoryFields(uint32_t selector, void* record, ByteView tiff, uint64_t first,
                         uint64_t count) {
  const std::span<const RecordField> fields = FieldsOf(selector);
  ForEachEntry(tiff, first, count, [&](const IfdEntry& e) {
    if (const RecordField* f = FindField(fields, e.tag)) ReadField(*f, record, tiff, e);
  });
}

}  // namespace lf::record
