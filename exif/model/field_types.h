// SPDX-License-Identifier: MIT
// TIFF field types, the decoded 12-byte directory entry, and the conversions between an entry's
// value bytes (in the block's byte order) and native values in a caller's buffer. Stateless, no
// allocation: these run once per entry while directories are scanned.
#pragma once

#include <cstdint>
#include <span>

#include "exif/model/byte_reader.h"

namespace lf::exif {

// TIFF 6.0, Section 2: field type codes.
using FieldType = uint16_t;
inline constexpr FieldType kTypeByte = 1;
inline constexpr FieldType kTypeAscii = 2;
inline constexpr FieldType kTypeShort = 3;
inline constexpr FieldType kTypeLong = 4;
inline constexpr FieldType kTypeRational = 5;
inline constexpr FieldType kTypeSByte = 6;
inline constexpr FieldType kTypeUndefined = 7;
inline constexpr FieldType kTypeSShort = 8;
inline constexpr FieldType kTypeSLong = 9;
inline constexpr FieldType kTypeSRational = 10;
inline constexpr FieldType kTypeFloat = 11;
inline constexpr FieldType kTypeDouble = 12;

// Bytes per value; 0 for the types the module does not handle (SBYTE, SSHORT, FLOAT, DOUBLE and
// unknown codes), which makes their entries invalid wherever a size is needed.
uint16_t FieldTypeSize(FieldType type);

// Bytes per value as TIFF stores every type, including those whose values the module does not
// interpret (SBYTE, SSHORT, FLOAT, DOUBLE): an editor that moves a directory must still find and
// move their values. 0 for unknown codes (their values cannot be found).
uint16_t StoredTypeSize(FieldType type);
// StoredTypeSize(type) × count; 0 for an unknown type or a product above 32 bits.
uint32_t StoredByteCount(FieldType type, uint32_t count);

// FieldTypeSize(type) × count. A product that does not fit 32 bits gives 0 as well: no such value
// can exist in a file, and a wrapped product could make a huge value look inline.
uint32_t ValueByteCount(FieldType type, uint32_t count);

// Values of at most this many bytes sit inside the entry (TIFF 6.0, Section 2).
inline constexpr uint32_t kInlineValueBytes = 4;
inline constexpr uint32_t kEntrySize = 12;

// One directory entry, decoded. `value` holds the offset of the value data (relative to the TIFF
// header) when the value is out of line; an inline value is normalised:
//   BYTE, ASCII, UNDEFINED: the bytes in file order, byte i in bits 8i..8i+7, the rest 0;
//   SHORT ×1: the short; SHORT ×2: first short in the high half, second in the low half;
//   LONG, SLONG ×1: the long.
struct IfdEntry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  uint32_t value = 0;
};

inline bool operator==(const IfdEntry& a, const IfdEntry& b) {
  return a.tag == b.tag && a.type == b.type && a.count == b.count && a.value == b.value;
}

// The byte count of an entry's value (0 for an entry of an unsupported type or count 0).
inline uint32_t EntryByteCount(const IfdEntry& entry) {
  return ValueByteCount(entry.type, entry.count);
}
inline bool IsInline(const IfdEntry& entry) { return EntryByteCount(entry) <= kInlineValueBytes; }

// Byte i (0-3, file order) of an inline BYTE/ASCII/UNDEFINED value.
inline uint8_t InlineByte(uint32_t value, unsigned i) {
  return static_cast<uint8_t>(value >> (8 * i));
}

// Decodes the 12 raw bytes of an entry. 1 when the entry is valid; 0 when `raw` is shorter than
// 12 bytes, or the type is unsupported or the count 0 (tag, type and count are still filled then,
// value 0).
[[nodiscard]] int DecodeEntry(std::span<const uint8_t> raw, ByteOrder order, IfdEntry* out);

// Encodes an entry into 12 bytes. 0 (count written as 0) when the value byte count is 0 or the
// entry is a RATIONAL that claims to be inline; 0 without writing when dest is too short.
[[nodiscard]] int EncodeEntry(std::span<uint8_t> dest, ByteOrder order, const IfdEntry& entry);

// Delivers an inline value (byteCount ≤ 4) into buffer as native values. The whole buffer is zeroed
// first. Returns the number of values (bytes for BYTE, ASCII, UNDEFINED) delivered, 0 on failure.
uint32_t CopyInlineValue(const IfdEntry& entry, uint32_t byteCount, std::span<uint8_t> buffer);

// Converts value data (source.size() bytes in source.order()) of the given type into native values
// in buffer, as many as fit both. The whole buffer is zeroed first. Returns the number of values
// (bytes, terminator position included, for BYTE, ASCII, UNDEFINED), 0 on failure. An ASCII text
// that fits is delivered whole (a text stored without its NUL keeps its last character); one cut
// to the buffer ends with a NUL in the buffer's last byte. Rationals are
// delivered as two u32 halves, numerator first; nothing is divided.
uint32_t ConvertValueArray(ByteView source, FieldType type, std::span<uint8_t> buffer);

// The inverse of ConvertValueArray: stores native values from src as file bytes in dest (may be
// the same memory). Never writes past dest. Returns the number of values (bytes) stored.
uint32_t EncodeValueArray(std::span<uint8_t> dest, FieldType type, ByteOrder order,
                          std::span<const uint8_t> src);

}  // namespace lf::exif
