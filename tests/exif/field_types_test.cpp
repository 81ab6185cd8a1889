// SPDX-License-Identifier: MIT
// Entry decoding and encoding in either byte order: what is no entry, and the round trip.
#include "exif/model/field_types.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "tests/support/fixture_builder.h"

namespace lf::exif {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::Order;

class FieldTypes : public ::testing::TestWithParam<ByteOrder> {
 protected:
  ByteOrder order() const { return GetParam(); }
  ByteWriter Entry(uint16_t tag, uint16_t type, uint32_t count) const {
    ByteWriter w(order() == kLittleEndian ? Order::Little : Order::Big);
    w.U16(tag).U16(type).U32(count);
    return w;
  }
};

TEST_P(FieldTypes, DecodeAndEncodeEntries) {
  const struct {
    Bytes raw;
    int valid;
    uint32_t value;
    // clang-format off
  } rows[] = {
      {Entry(0x0112, kTypeShort, 1).U16(6).U16(0).Take(), 1, 6},
      // A SHORT pair: the first short in the high half, whatever the byte order.
      {Entry(0x0111, kTypeShort, 2).U16(3).U16(7).Take(), 1, (3u << 16) | 7u},
      {Entry(0x8769, kTypeLong, 1).U32(0xA0B0C0D0).Take(), 1, 0xA0B0C0D0},
      {Entry(0x8769, kTypeSLong, 1).U32(0xFFFFFFFE).Take(), 1, 0xFFFFFFFE},
      // Bytes keep their file order: byte 0 in the low bits.
      {Entry(0x9000, kTypeUndefined, 4).Text("0230").Take(), 1, 0x3033'3230},
      {Entry(0x0000, kTypeByte, 3).Raw(Bytes{2, 2, 0, 0}).Take(), 1, 0x0202},
      {Entry(0x0001, kTypeAscii, 2).Raw(Bytes{'N', 0, 0, 0}).Take(), 1, 'N'},
      // Five bytes and more: an offset, read in the block's order.
      {Entry(0x010F, kTypeAscii, 5).U32(0x1234).Take(), 1, 0x1234},
      {Entry(0x829A, kTypeSRational, 2).U32(0x300).Take(), 1, 0x300},
      // No entry: types the module does not read, a zero count, a byte count that wraps.
      {Entry(0x1234, kTypeSByte, 1).U32(0xFFFFFFFF).Take(), 0, 0},
      {Entry(0x1234, kTypeSShort, 1).U32(0xFFFFFFFF).Take(), 0, 0},
      {Entry(0x1234, kTypeFloat, 1).U32(0xFFFFFFFF).Take(), 0, 0},
      {Entry(0x1234, kTypeDouble, 1).U32(0xFFFFFFFF).Take(), 0, 0},
      {Entry(0x1234, 0, 1).U32(0xFFFFFFFF).Take(), 0, 0},
      {Entry(0x1234, 13, 1).U32(0xFFFFFFFF).Take(), 0, 0},
      {Entry(0x0112, kTypeShort, 0).U32(6).Take(), 0, 0},
      {Entry(0x0112, kTypeLong, 0x40000001).U32(6).Take(), 0, 0},
      {Entry(0x0112, kTypeShort, 1).U16(6).U8(0).Take(), 0, 0},  // 11 bytes
  };
  // clang-format on
  for (const auto& row : rows) {
    IfdEntry e;
    ASSERT_EQ(DecodeEntry(row.raw, order(), &e), row.valid) << testing::PrintToString(row.raw);
    EXPECT_EQ(e.value, row.value);
    if (!row.valid) continue;
    std::array<uint8_t, 12> out;
    out.fill(0xEE);
    EXPECT_EQ(EncodeEntry(out, order(), e), 1);
    EXPECT_EQ(Bytes(out.begin(), out.end()), row.raw) << "tag " << e.tag;
  }
  IfdEntry e;
  EXPECT_EQ(DecodeEntry(rows[0].raw, order(), nullptr), 0);
  ASSERT_EQ(DecodeEntry(rows[0].raw, order(), &e), 1);
  EXPECT_EQ(e, (IfdEntry{0x0112, kTypeShort, 1, 6}));

  // What cannot be stored is written as a zero count and value, or not at all.
  std::array<uint8_t, 12> out;
  EXPECT_EQ(EncodeEntry(out, order(), IfdEntry{0x1234, kTypeFloat, 3, 7}), 0);
  EXPECT_EQ(ReadU32(std::span<const uint8_t>(out).subspan(4), order()), 0u);
  EXPECT_EQ(ReadU32(std::span<const uint8_t>(out).subspan(8), order()), 0u);
  std::array<uint8_t, 11> tooSmall;
  tooSmall.fill(0xEE);
  EXPECT_EQ(EncodeEntry(tooSmall, order(), IfdEntry{0x0112, kTypeShort, 1, 6}), 0);
  EXPECT_EQ(tooSmall[0], 0xEE);
}

INSTANTIATE_TEST_SUITE_P(BothOrders, FieldTypes, ::testing::Values(kLittleEndian, kBigEndian),
                         [](const auto& info) {
                           return info.param == kLittleEndian ? "II" : "MM";
                         });

TEST(FieldTypes, EncodedTextsAndArraysStayInTheirDestination) {
  const std::array<uint8_t, 10> src{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'};
  std::array<uint8_t, 6> dest;
  dest.fill(0xEE);
  EXPECT_EQ(EncodeValueArray(dest, kTypeAscii, kBigEndian, src), 6u);
  EXPECT_EQ(dest, (std::array<uint8_t, 6>{'a', 'b', 'c', 'd', 'e', 0}));
  // A text that fits is copied whole, without a NUL put over its last character.
  std::array<uint8_t, 3> fits{};
  EXPECT_EQ(EncodeValueArray(fits, kTypeAscii, kBigEndian, std::span(src).first(3)), 3u);
  EXPECT_EQ(fits, (std::array<uint8_t, 3>{'a', 'b', 'c'}));
  EXPECT_EQ(EncodeValueArray(dest, kTypeLong, kBigEndian, src), 1u);
  EXPECT_EQ(EncodeValueArray(dest, kTypeFloat, kBigEndian, src), 0u);
}

}  // namespace
}  // namespace lf::exif
