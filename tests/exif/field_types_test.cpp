// SPDX-License-Identifier: MIT
#include "exif/model/field_types.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "tests/support/fixture_builder.h"

namespace lf::exif {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::Order;

template <typename T, size_t N>
std::span<uint8_t> AsBytes(std::array<T, N>& a) {
  return {reinterpret_cast<uint8_t*>(a.data()), sizeof(T) * N};
}

class FieldTypesOrder : public ::testing::TestWithParam<ByteOrder> {
 protected:
  ByteOrder order() const { return GetParam(); }
  // One raw 12-byte entry with the value field given as bytes in file order.
  Bytes Entry(uint16_t tag, uint16_t type, uint32_t count, std::array<uint8_t, 4> field) const {
    ByteWriter w(order() == kLittleEndian ? Order::Little : Order::Big);
    w.U16(tag).U16(type).U32(count).Raw(field.data(), 4);
    return w.Take();
  }
  Bytes EntryWithLong(uint16_t tag, uint16_t type, uint32_t count, uint32_t field) const {
    ByteWriter w(order() == kLittleEndian ? Order::Little : Order::Big);
    w.U16(tag).U16(type).U32(count).U32(field);
    return w.Take();
  }
  Bytes EntryWithShorts(uint16_t tag, uint32_t count, uint16_t a, uint16_t b) const {
    ByteWriter w(order() == kLittleEndian ? Order::Little : Order::Big);
    w.U16(tag).U16(kTypeShort).U32(count).U16(a).U16(b);
    return w.Take();
  }
};

TEST_P(FieldTypesOrder, DecodesInlineValuesByType) {
  IfdEntry e;
  ASSERT_EQ(DecodeEntry(EntryWithShorts(0x0112, 1, 6, 0), order(), &e), 1);
  EXPECT_EQ(e, (IfdEntry{0x0112, kTypeShort, 1, 6}));

  // A SHORT pair: first short in the high half, whatever the byte order.
  ASSERT_EQ(DecodeEntry(EntryWithShorts(0x0111, 2, 3, 7), order(), &e), 1);
  EXPECT_EQ(e.value, (3u << 16) | 7u);

  ASSERT_EQ(DecodeEntry(EntryWithLong(0x8769, kTypeLong, 1, 0x01020304), order(), &e), 1);
  EXPECT_EQ(e.value, 0x01020304u);

  // Bytes keep their file order: byte 0 in the low bits, bytes beyond the count 0.
  ASSERT_EQ(DecodeEntry(Entry(0x9000, kTypeUndefined, 3, {'0', '2', '2', 'X'}), order(), &e), 1);
  EXPECT_EQ(e.value, 0x0032'3230u);

  // ValueByteCount 5 and above is an offset, read in the block's order.
  ASSERT_EQ(DecodeEntry(EntryWithLong(0x010F, kTypeAscii, 5, 0x1234), order(), &e), 1);
  EXPECT_EQ(e.value, 0x1234u);
  ASSERT_EQ(DecodeEntry(EntryWithLong(0x011A, kTypeRational, 1, 0x88), order(), &e), 1);
  EXPECT_EQ(e.value, 0x88u);
}

TEST_P(FieldTypesOrder, UnsupportedTypesZeroCountsAndShortInputAreInvalid) {
  IfdEntry e;
  for (uint16_t type : {kTypeSByte, kTypeSShort, kTypeFloat, kTypeDouble, uint16_t{0}, uint16_t{13}}) {
    EXPECT_EQ(DecodeEntry(EntryWithLong(0x1234, type, 1, 0xFFFFFFFF), order(), &e), 0) << type;
    EXPECT_EQ(e.tag, 0x1234);
    EXPECT_EQ(e.type, type);
    EXPECT_EQ(e.value, 0u);
  }
  EXPECT_EQ(DecodeEntry(EntryWithLong(0x0112, kTypeShort, 0, 6), order(), &e), 0);
  // A count whose byte count wraps 32 bits must not look inline.
  EXPECT_EQ(DecodeEntry(EntryWithLong(0x0112, kTypeLong, 0x40000001, 6), order(), &e), 0);
  const Bytes raw = EntryWithLong(0x0112, kTypeShort, 1, 6);
  EXPECT_EQ(DecodeEntry(std::span(raw).first(11), order(), &e), 0);
  EXPECT_EQ(DecodeEntry(raw, order(), nullptr), 0);
}

TEST_P(FieldTypesOrder, EncodeIsTheInverseOfDecode) {
  const std::vector<Bytes> raws = {
      EntryWithShorts(0x0112, 1, 6, 0),
      EntryWithShorts(0x0111, 2, 3, 7),
      EntryWithLong(0x8769, kTypeLong, 1, 0xA0B0C0D0),
      EntryWithLong(0x8769, kTypeSLong, 1, 0xFFFFFFFE),
      Entry(0x9000, kTypeUndefined, 4, {'0', '2', '3', '0'}),
      Entry(0x0001, kTypeAscii, 2, {'N', 0, 0, 0}),
      Entry(0x0000, kTypeByte, 3, {2, 2, 0, 0}),
      EntryWithLong(0x9003, kTypeAscii, 20, 0x1A2),
      EntryWithLong(0x829A, kTypeSRational, 2, 0x300),
  };
  for (const Bytes& raw : raws) {
    IfdEntry e;
    ASSERT_EQ(DecodeEntry(raw, order(), &e), 1);
    std::array<uint8_t, 12> out;
    out.fill(0xEE);
    EXPECT_EQ(EncodeEntry(out, order(), e), 1);
    EXPECT_EQ(Bytes(out.begin(), out.end()), raw) << "tag " << e.tag;
  }
}

TEST_P(FieldTypesOrder, EncodeRefusesWhatCannotBeStored) {
  std::array<uint8_t, 12> out;
  out.fill(0xEE);
  EXPECT_EQ(EncodeEntry(out, order(), IfdEntry{0x1234, kTypeFloat, 3, 7}), 0);
  EXPECT_EQ(ReadU32(std::span<const uint8_t>(out).subspan(4), order()), 0u);  // count rewritten 0
  EXPECT_EQ(ReadU32(std::span<const uint8_t>(out).subspan(8), order()), 0u);
  std::array<uint8_t, 11> tooSmall;
  tooSmall.fill(0xEE);
  EXPECT_EQ(EncodeEntry(tooSmall, order(), IfdEntry{0x0112, kTypeShort, 1, 6}), 0);
  EXPECT_EQ(tooSmall[0], 0xEE);
}

TEST_P(FieldTypesOrder, ConvertsArraysIntoNativeValuesAndBack) {
  ByteWriter w(order() == kLittleEndian ? Order::Little : Order::Big);
  w.U32(48).U32(1).U32(51).U32(1).U32(2400).U32(100);  // three rationals
  const Bytes file = w.Take();
  const ByteView source(file.data(), file.size(), order());

  std::array<uint32_t, 4> small{};
  EXPECT_EQ(ConvertValueArray(source, kTypeRational, AsBytes(small)), 2u);
  EXPECT_EQ(small, (std::array<uint32_t, 4>{48, 1, 51, 1}));
  std::array<uint32_t, 8> large{};
  const std::span<uint8_t> largeBytes = AsBytes(large);
  EXPECT_EQ(ConvertValueArray(source, kTypeRational, largeBytes), 3u);
  EXPECT_EQ(large, (std::array<uint32_t, 8>{48, 1, 51, 1, 2400, 100, 0, 0}));

  // Back to file bytes, in place.
  EXPECT_EQ(EncodeValueArray(largeBytes.first(24), kTypeRational, order(), largeBytes.first(24)), 3u);
  EXPECT_EQ(Bytes(largeBytes.begin(), largeBytes.begin() + 24), file);

  // The same bytes as SHORTs and LONGs; a SHORT array into a buffer of one value.
  std::array<uint16_t, 1> one{};
  EXPECT_EQ(ConvertValueArray(source, kTypeShort, AsBytes(one)), 1u);
  EXPECT_EQ(one[0], order() == kLittleEndian ? 48 : 0);
  std::array<uint32_t, 6> longs{};
  EXPECT_EQ(ConvertValueArray(source, kTypeLong, AsBytes(longs)), 6u);
  EXPECT_EQ(longs[4], 2400u);
}

INSTANTIATE_TEST_SUITE_P(BothOrders, FieldTypesOrder, ::testing::Values(kLittleEndian, kBigEndian),
                         [](const auto& info) { return info.param == kLittleEndian ? "II" : "MM"; });

TEST(FieldTypes, ByteCountsAndInlineness) {
  EXPECT_EQ(ValueByteCount(kTypeShort, 2), 4u);
  EXPECT_TRUE(IsInline(IfdEntry{1, kTypeLong, 1, 0}));
  EXPECT_FALSE(IsInline(IfdEntry{1, kTypeAscii, 5, 0}));
  EXPECT_EQ(ValueByteCount(kTypeRational, 0x20000000), 0u);  // 2^32 does not fit
  EXPECT_EQ(ValueByteCount(kTypeRational, 0x1FFFFFFF), 0xFFFFFFF8u);
}

TEST(FieldTypes, InlineDeliveryOfShortsTextAndLongs) {
  std::array<uint8_t, 16> buf;
  const IfdEntry pair{0x0111, kTypeShort, 2, (3u << 16) | 7u};
  buf.fill(0xEE);
  EXPECT_EQ(CopyInlineValue(pair, 4, std::span(buf).first(4)), 2u);
  uint16_t shorts[2];
  std::memcpy(shorts, buf.data(), 4);
  EXPECT_EQ(shorts[0], 3);
  EXPECT_EQ(shorts[1], 7);
  EXPECT_EQ(CopyInlineValue(pair, 4, std::span(buf).first(2)), 1u);
  std::memcpy(shorts, buf.data(), 2);
  EXPECT_EQ(shorts[0], 3);
  EXPECT_EQ(CopyInlineValue(pair, 4, std::span(buf).first(1)), 0u);

  // "AB" and its NUL: text AB, result 3, the rest of the buffer zeroed.
  buf.fill(0xEE);
  const IfdEntry ascii{0x0001, kTypeAscii, 3, 'A' | ('B' << 8)};
  EXPECT_EQ(CopyInlineValue(ascii, 3, buf), 3u);
  EXPECT_STREQ(reinterpret_cast<const char*>(buf.data()), "AB");
  EXPECT_EQ(buf[15], 0);

  // An ASCII value stored without its NUL keeps its last character; cut to a smaller buffer, it
  // ends in a terminator.
  const IfdEntry full{0x0001, kTypeAscii, 4, 'W' | ('X' << 8) | ('Y' << 16) | ('Z' << 24)};
  EXPECT_EQ(CopyInlineValue(full, 4, buf), 4u);
  EXPECT_STREQ(reinterpret_cast<const char*>(buf.data()), "WXYZ");
  EXPECT_EQ(CopyInlineValue(full, 4, std::span(buf).first(3)), 3u);
  EXPECT_STREQ(reinterpret_cast<const char*>(buf.data()), "WX");

  const IfdEntry bytes{0x0000, kTypeByte, 4, 0x00000202};
  EXPECT_EQ(CopyInlineValue(bytes, 4, std::span(buf).first(3)), 3u);
  EXPECT_EQ(buf[0], 2);
  EXPECT_EQ(buf[1], 2);

  EXPECT_EQ(CopyInlineValue(IfdEntry{0x8769, kTypeLong, 1, 0x1234}, 4, std::span(buf).first(3)), 0u);
  EXPECT_EQ(CopyInlineValue(IfdEntry{0x8769, kTypeLong, 1, 0x1234}, 4, buf), 1u);
  uint32_t l;
  std::memcpy(&l, buf.data(), 4);
  EXPECT_EQ(l, 0x1234u);
  EXPECT_EQ(CopyInlineValue(IfdEntry{1, kTypeSShort, 1, 5}, 0, buf), 0u);
}

TEST(FieldTypes, TextArraysKeepATerminator) {
  const char text[] = "2021:07:14 09:26:53";  // 20 bytes with the NUL
  const ByteView source(reinterpret_cast<const uint8_t*>(text), 20);
  std::array<char, 20> out;
  out.fill('x');
  EXPECT_EQ(ConvertValueArray(source, kTypeAscii, AsBytes(out)), 20u);
  EXPECT_STREQ(out.data(), text);
  std::array<char, 8> cut;
  EXPECT_EQ(ConvertValueArray(source, kTypeAscii, AsBytes(cut)), 8u);
  EXPECT_STREQ(cut.data(), "2021:07");
  // Stored without its NUL, the whole text is delivered.
  std::array<char, 20> open{};
  EXPECT_EQ(ConvertValueArray(source.Sub(0, 19), kTypeAscii, AsBytes(open).first(19)), 19u);
  EXPECT_EQ(std::string(open.data()), "2021:07:14 09:26:53");
  EXPECT_EQ(ConvertValueArray(source, kTypeSByte, AsBytes(cut)), 0u);
  EXPECT_EQ(cut[0], 0);

  std::array<uint8_t, 6> dest;
  dest.fill(0xEE);
  const std::array<uint8_t, 10> src{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'};
  EXPECT_EQ(EncodeValueArray(dest, kTypeAscii, kBigEndian, src), 6u);
  EXPECT_EQ(dest, (std::array<uint8_t, 6>{'a', 'b', 'c', 'd', 'e', 0}));
  // A text that fits is copied whole, without a NUL put over its last character.
  std::array<uint8_t, 3> make{};
  EXPECT_EQ(EncodeValueArray(make, kTypeAscii, kBigEndian, std::span(src).first(3)), 3u);
  EXPECT_EQ(make, (std::array<uint8_t, 3>{'a', 'b', 'c'}));
  // Numeric values never spill past the destination, whatever the source holds.
  EXPECT_EQ(EncodeValueArray(dest, kTypeLong, kBigEndian, src), 1u);
  EXPECT_EQ(EncodeValueArray(dest, kTypeFloat, kBigEndian, src), 0u);
}

}  // namespace
}  // namespace lf::exif
