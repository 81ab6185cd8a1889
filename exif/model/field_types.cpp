// SPDX-License-Identifier: MIT
#include "exif/model/field_types.h"

#include <algorithm>
#include <cstring>

namespace lf::exif {

namespace {

template <typename T>
void StoreNative(uint8_t* p, T value) {
  std::memcpy(p, &value, sizeof(T));
}

template <typename T>
T LoadNative(const uint8_t* p) {
  T value;
  std::memcpy(&value, p, sizeof(T));
  return value;
}

void Zero(std::span<uint8_t> buffer) {
  if (!buffer.empty()) std::memset(buffer.data(), 0, buffer.size());
}

// Of a text of `stored` bytes delivered into `fits` of them: the whole text when it fits, so that
// one stored without its NUL keeps its last character; else all but the last byte, which stays
// the terminator of the cut text.
size_t TextBytesKept(size_t fits, size_t stored) { return fits >= stored ? fits : fits - 1; }

}  // namespace

uint16_t FieldTypeSize(FieldType type) {
  switch (type) {
    case kTypeByte:
    case kTypeAscii:
    case kTypeUndefined: return 1;
    case kTypeShort: return 2;
    case kTypeLong:
    case kTypeSLong: return 4;
    case kTypeRational:
    case kTypeSRational: return 8;
    default:  // SBYTE, SSHORT, FLOAT, DOUBLE and unknown codes are not handled
      return 0;
  }
}

uint16_t StoredTypeSize(FieldType type) {
  switch (type) {
    case kTypeSByte: return 1;
    case kTypeSShort: return 2;
    case kTypeFloat: return 4;
    case kTypeDouble: return 8;
    default: return FieldTypeSize(type);
  }
}

uint32_t StoredByteCount(FieldType type, uint32_t count) {
  uint32_t bytes = 0;
  return CheckedMul(StoredTypeSize(type), count, &bytes) ? bytes : 0;
}

uint32_t ValueByteCount(FieldType type, uint32_t count) {
  uint32_t bytes = 0;
  return CheckedMul(FieldTypeSize(type), count, &bytes) ? bytes : 0;
}

int DecodeEntry(std::span<const uint8_t> raw, ByteOrder order, IfdEntry* out) {
  if (!out) return 0;
  *out = IfdEntry{};
  if (raw.size() < kEntrySize) return 0;
  const ByteView view(raw.data(), kEntrySize, order);
  out->tag = view.ReadU16(0);
  out->type = view.ReadU16(2);
  out->count = view.ReadU32(4);
  const uint32_t n = ValueByteCount(out->type, out->count);
  if (n == 0) return 0;
  if (n > kInlineValueBytes) {
    out->value = view.ReadU32(8);
    return 1;
  }
  switch (out->type) {
    case kTypeByte:
    case kTypeAscii:
    case kTypeUndefined:
      for (unsigned i = 0; i < n; ++i) out->value |= static_cast<uint32_t>(raw[8 + i]) << (8 * i);
      break;
    case kTypeShort:
      out->value = out->count == 1
                       ? view.ReadU16(8)
                       : (static_cast<uint32_t>(view.ReadU16(8)) << 16) | view.ReadU16(10);
      break;
    case kTypeLong:
    case kTypeSLong: out->value = view.ReadU32(8); break;
    default: break;
  }
  return 1;
}

int EncodeEntry(std::span<uint8_t> dest, ByteOrder order, const IfdEntry& entry) {
  if (dest.size() < kEntrySize) return 0;
  const MutableByteView out(dest.data(), kEntrySize, order);
  // Every write lies inside the 12 bytes checked above.
  (void)out.WriteU16(0, entry.tag);
  (void)out.WriteU16(2, entry.type);
  (void)out.WriteU32(4, entry.count);
  (void)out.Fill(8, 0, 4);
  const uint32_t n = ValueByteCount(entry.type, entry.count);
  if (n == 0) {
    (void)out.WriteU32(4, 0);
    return 0;
  }
  if (n > kInlineValueBytes) {
    (void)out.WriteU32(8, entry.value);
    return 1;
  }
  switch (entry.type) {
    case kTypeByte:
    case kTypeAscii:
    case kTypeUndefined:
      for (unsigned i = 0; i < n; ++i) (void)out.WriteU8(8 + i, InlineByte(entry.value, i));
      return 1;
    case kTypeShort:
      if (entry.count == 1) {
        (void)out.WriteU16(8, static_cast<uint16_t>(entry.value));
      } else {
        (void)out.WriteU16(8, static_cast<uint16_t>(entry.value >> 16));
        (void)out.WriteU16(10, static_cast<uint16_t>(entry.value));
      }
      return 1;
    case kTypeLong:
    case kTypeSLong: (void)out.WriteU32(8, entry.value); return 1;
    default:  // a rational is never inline
      (void)out.WriteU32(4, 0);
      return 0;
  }
}

uint32_t CopyInlineValue(const IfdEntry& entry, uint32_t byteCount, std::span<uint8_t> buffer) {
  Zero(buffer);
  const uint32_t size = static_cast<uint32_t>(std::min<size_t>(buffer.size(), UINT32_MAX));
  // Only the four bytes of the value field exist.
  const uint32_t m = std::min({byteCount, size, kInlineValueBytes});
  switch (entry.type) {
    case kTypeByte:
    case kTypeUndefined:
      for (uint32_t i = 0; i < m; ++i) buffer[i] = InlineByte(entry.value, i);
      return m;
    case kTypeAscii:
      if (m == 0) return 0;
      for (uint32_t i = 0; i < TextBytesKept(m, byteCount); ++i)
        buffer[i] = InlineByte(entry.value, i);
      return m;
    case kTypeShort:
      if (size < 2) return 0;
      if (entry.count == 1) {
        StoreNative<uint16_t>(buffer.data(), static_cast<uint16_t>(entry.value));
        return 1;
      }
      if (entry.count != 2) return 0;
      StoreNative<uint16_t>(buffer.data(), static_cast<uint16_t>(entry.value >> 16));
      if (size < 4) return 1;
      StoreNative<uint16_t>(buffer.data() + 2, static_cast<uint16_t>(entry.value));
      return 2;
    case kTypeLong:
    case kTypeSLong:
      if (size < 4) return 0;
      StoreNative<uint32_t>(buffer.data(), entry.value);
      return 1;
    default: return 0;
  }
}

uint32_t ConvertValueArray(ByteView source, FieldType type, std::span<uint8_t> buffer) {
  // Each copy below is clamped to both sizes, so none can fail.
  Zero(buffer);
  const size_t byteCount = source.size();
  const size_t size = buffer.size();
  switch (type) {
    case kTypeByte:
    case kTypeUndefined: {
      const size_t m = std::min(byteCount, size);
      (void)source.Copy(0, buffer.data(), m);
      return static_cast<uint32_t>(m);
    }
    case kTypeAscii: {
      const size_t m = std::min(byteCount, size);
      if (m == 0) return 0;
      (void)source.Copy(0, buffer.data(), TextBytesKept(m, byteCount));
      return static_cast<uint32_t>(m);
    }
    case kTypeShort: {
      const size_t n = std::min(byteCount / 2, size / 2);
      for (size_t i = 0; i < n; ++i)
        StoreNative<uint16_t>(buffer.data() + 2 * i, source.ReadU16(2 * i));
      return static_cast<uint32_t>(n);
    }
    case kTypeLong:
    case kTypeSLong: {
      const size_t n = std::min(byteCount / 4, size / 4);
      for (size_t i = 0; i < n; ++i)
        StoreNative<uint32_t>(buffer.data() + 4 * i, source.ReadU32(4 * i));
      return static_cast<uint32_t>(n);
    }
    case kTypeRational:
    case kTypeSRational: {
      const size_t n = std::min(byteCount / 8, size / 8);
      for (size_t i = 0; i < n; ++i) {
        StoreNative<uint32_t>(buffer.data() + 8 * i, source.ReadU32(8 * i));
        StoreNative<uint32_t>(buffer.data() + 8 * i + 4, source.ReadU32(8 * i + 4));
      }
      return static_cast<uint32_t>(n);
    }
    default:  // SBYTE, SSHORT, FLOAT, DOUBLE, unknown
      return 0;
  }
}

uint32_t EncodeValueArray(std::span<uint8_t> dest, FieldType type, ByteOrder order,
                          std::span<const uint8_t> src) {
  // Each write below is clamped to both sizes, so none can fail.
  const MutableByteView out(dest.data(), dest.size(), order);
  switch (type) {
    case kTypeByte:
    case kTypeUndefined: {
      const size_t m = std::min(dest.size(), src.size());
      (void)out.WriteBytes(0, src.data(), m);
      return static_cast<uint32_t>(m);
    }
    case kTypeAscii: {
      // A text that fits is stored as it is (one kept without its NUL keeps its last
      // character); only a text cut to the destination ends in a NUL.
      const size_t m = std::min(dest.size(), src.size());
      if (m == 0) return 0;
      (void)out.WriteBytes(0, src.data(), m);
      if (src.size() > dest.size()) (void)out.WriteU8(m - 1, 0);
      return static_cast<uint32_t>(m);
    }
    case kTypeShort: {
      const size_t n = std::min(src.size(), dest.size()) / 2;
      for (size_t i = 0; i < n; ++i)
        (void)out.WriteU16(2 * i, LoadNative<uint16_t>(src.data() + 2 * i));
      return static_cast<uint32_t>(n);
    }
    case kTypeLong:
    case kTypeSLong: {
      const size_t n = std::min(src.size(), dest.size()) / 4;
      for (size_t i = 0; i < n; ++i)
        (void)out.WriteU32(4 * i, LoadNative<uint32_t>(src.data() + 4 * i));
      return static_cast<uint32_t>(n);
    }
    case kTypeRational:
    case kTypeSRational: {
      const size_t n = std::min(src.size(), dest.size()) / 8;
      for (size_t i = 0; i < n; ++i) {
        (void)out.WriteU32(8 * i, LoadNative<uint32_t>(src.data() + 8 * i));
        (void)out.WriteU32(8 * i + 4, LoadNative<uint32_t>(src.data() + 8 * i + 4));
      }
      return static_cast<uint32_t>(n);
    }
    default: return 0;
  }
}

}  // namespace lf::exif
