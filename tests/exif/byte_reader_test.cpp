// SPDX-License-Identifier: MIT
#include "exif/model/byte_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace lf::exif {
namespace {

class ByteReaderOrder : public ::testing::TestWithParam<ByteOrder> {
 protected:
  ByteOrder order() const { return GetParam(); }
  bool little() const { return GetParam() == kLittleEndian; }
};

TEST_P(ByteReaderOrder, PrimitivesReadAndWriteInTheGivenOrder) {
  const std::array<uint8_t, 4> bytes{0x12, 0x34, 0x56, 0x78};
  EXPECT_EQ(ReadU16(bytes, order()), little() ? 0x3412 : 0x1234);
  EXPECT_EQ(ReadU32(bytes, order()), little() ? 0x78563412u : 0x12345678u);

  std::array<uint8_t, 4> out{};
  ASSERT_TRUE(WriteU32(out, little() ? 0x78563412u : 0x12345678u, order()));
  EXPECT_EQ(out, bytes);
  ASSERT_TRUE(WriteU16(out, 0xABCD, order()));
  EXPECT_EQ(ReadU16(out, order()), 0xABCD);
  EXPECT_EQ(out[0], little() ? 0xCD : 0xAB);
  // Only zero is little-endian.
  EXPECT_EQ(ByteView(bytes.data(), 2, little() ? 0 : 0x4D4D).ReadU16(0), little() ? 0x3412 : 0x1234);
}

TEST_P(ByteReaderOrder, CursorErrorIsSticky) {
  // tag, type, count of one entry, then a truncated value field
  std::vector<uint8_t> data(10, 0);
  MutableByteView w(data.data(), data.size(), order());
  ASSERT_TRUE(w.WriteU16(0, 0x0112));
  ASSERT_TRUE(w.WriteU16(2, 3));
  ASSERT_TRUE(w.WriteU32(4, 1));
  Cursor c(w.view());
  EXPECT_EQ(c.U16(), 0x0112);
  EXPECT_EQ(c.U16(), 3);
  EXPECT_EQ(c.U32(), 1u);
  EXPECT_TRUE(c.ok());
  EXPECT_EQ(c.offset(), 8u);
  EXPECT_EQ(c.U32(), 0u);  // only 2 bytes left
  EXPECT_FALSE(c.ok());
  EXPECT_EQ(c.offset(), 8u);  // a failed read does not move
  EXPECT_EQ(c.U16(), 0);      // would fit, but the error sticks
  EXPECT_EQ(c.U8(), 0);
  EXPECT_TRUE(c.Bytes(1).empty());
  EXPECT_EQ(c.offset(), 8u);
  EXPECT_EQ(c.remaining(), 0u);
}

INSTANTIATE_TEST_SUITE_P(BothOrders, ByteReaderOrder, ::testing::Values(kLittleEndian, kBigEndian),
                         [](const auto& info) { return info.param == kLittleEndian ? "II" : "MM"; });

TEST(ByteReader, RangeChecksDoNotOverflow) {
  EXPECT_TRUE(InRange(10, 10, 0));
  EXPECT_TRUE(InRange(10, 6, 4));
  EXPECT_FALSE(InRange(10, 7, 4));
  EXPECT_FALSE(InRange(10, 11, 0));
  EXPECT_FALSE(InRange(10, UINT64_MAX - 1, 5));
  EXPECT_FALSE(InRange(10, 2, UINT64_MAX));
  const std::vector<uint8_t> data(8, 0xEE);
  const ByteView view(data.data(), data.size());
  EXPECT_EQ(view.Pointer(0xFFFFFFFEu, 5), nullptr);
  EXPECT_EQ(view.Pointer(4, 0xFFFFFFFFu), nullptr);
  EXPECT_TRUE(view.Sub(7, 2).empty());
  EXPECT_EQ(view.Sub(6, 2).size(), 2u);
  EXPECT_TRUE(view.From(9).empty());
  Cursor c(view, 4);
  c.Skip(UINT64_MAX);
  EXPECT_FALSE(c.ok());
  EXPECT_EQ(c.offset(), 4u);
  Cursor past(view, 9);
  EXPECT_FALSE(past.ok());
  EXPECT_EQ(past.U8(), 0);
}

TEST(ByteReader, CheckedArithmetic) {
  uint32_t out = 99;
  EXPECT_TRUE(CheckedMul(0x3FFFFFFF, 4, &out));
  EXPECT_EQ(out, 0xFFFFFFFCu);
  EXPECT_FALSE(CheckedMul(0x40000000, 4, &out));  // would wrap to 0
  EXPECT_FALSE(CheckedMul(0x40000001, 4, &out));  // would wrap to 4 and look inline
  EXPECT_EQ(out, 0xFFFFFFFCu);
  EXPECT_TRUE(CheckedMul(0, UINT64_MAX, &out));
  EXPECT_EQ(out, 0u);
  EXPECT_TRUE(CheckedAdd(0xFFFFFFF0u, 0xF, &out));
  EXPECT_FALSE(CheckedAdd(0xFFFFFFF0u, 0x10, &out));
}

TEST(ByteReader, ShortSpansAndWritesStayInsideTheBuffer) {
  std::array<uint8_t, 3> three{0xFF, 0xFF, 0xFF};
  EXPECT_EQ(ReadU32(three, kBigEndian), 0u);
  EXPECT_FALSE(WriteU32(three, 0, kBigEndian));
  EXPECT_EQ(three, (std::array<uint8_t, 3>{0xFF, 0xFF, 0xFF}));
  std::vector<uint8_t> data(6, 0xEE);
  const MutableByteView w(data.data(), data.size(), kBigEndian);
  EXPECT_TRUE(w.WriteU16(4, 0x0102));
  EXPECT_FALSE(w.WriteU32(3, 0));
  EXPECT_FALSE(w.WriteU16(5, 0));
  EXPECT_FALSE(w.WriteU8(6, 0));
  EXPECT_FALSE(w.Fill(2, 0, 5));
  EXPECT_FALSE(w.WriteBytes(UINT64_MAX, "x", 1));
  EXPECT_EQ(data, (std::vector<uint8_t>{0xEE, 0xEE, 0xEE, 0xEE, 0x01, 0x02}));
}

}  // namespace
}  // namespace lf::exif
