// SPDX-License-Identifier: MIT
// Locate over TIFF structures built as bytes, well-formed and malformed, in both byte orders.
#include "exif/model/block_structure.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>

#include "tests/support/fixture_builder.h"

namespace lf::exif {
namespace {

using test::Bytes;
using test::Order;
using test::TiffBuilder;
using test::TiffLayout;

// IFD0 (0) → Exif (1) → Interop (2), GPS (3), IFD1 (4) with a JPEG thumbnail; a maker note.
TiffBuilder Full(Order order) {
  TiffBuilder t(order);
  const int exifDir = t.AddDirectory(), interop = t.AddDirectory(), gps = t.AddDirectory(),
            ifd1 = t.AddDirectory();
  const int thumb = t.AddBlob({0xFF, 0xD8, 0xFF, 0xD9});
  const Bytes note = {'K', 'e', 's', 't', 'r', 'e', 'l', 'o', 'n', 0, 0, 0};
  t.Ifd0()
      .Ascii(0x010F, "Maker")
      .Pointer(kTagExifIfdPointer, exifDir)
      .Pointer(kTagGpsIfdPointer, gps)
      .Next(ifd1);
  t.Dir(exifDir).Pointer(kTagInteropIfdPointer, interop);
  t.Dir(interop).Ascii(0x0001, "R98");
  t.Dir(gps).Short(0x0000, {2});
  t.Dir(ifd1)
      .BlobOffset(kTagJpegInterchangeFormat, thumb)
      .BlobLength(kTagJpegInterchangeFormatLength, thumb);
  // A maker note of one entry behind its text.
  test::ByteWriter w(order);
  w.Raw(note).U16(1).U16(0x0001).U16(3).U32(1).U16(7).U16(0).U32(0);
  t.Dir(exifDir).Undefined(kTagMakerNote, w.Take());
  return t;
}

struct Row {
  std::string name;
  std::function<void(TiffBuilder&)> change;  // applied to Full()
  std::function<void(Bytes&, const TiffLayout&, ByteOrder)> corrupt;
  bool header, ifd0, ifd1, exifDir, gps, interop, thumbnail, note;
};

const Row kRows[] = {
    {"complete", nullptr, nullptr, true, true, true, true, true, true, true, true},
    {"bad byte order", nullptr, [](Bytes& b, const TiffLayout&, ByteOrder) { b[0] = 'X'; }, false,
     false, false, false, false, false, false, false},
    {"bad magic", [](TiffBuilder& t) { t.SetMagic(43); }, nullptr, false, false, false, false,
     false, false, false, false},
    {"IFD0 outside", [](TiffBuilder& t) { t.SetIfd0Offset(0xFFFFFF00); }, nullptr, true, false,
     false, false, false, false, false, false},
    {"entry count runs past the end", nullptr,
     [](Bytes& b, const TiffLayout& l, ByteOrder o) {
       MutableByteView(b.data(), b.size(), o).WriteU16(l.directoryOffsets[3], 0x4000);
     },
     true, true, true, true, false, true, true, true},
    {"Exif pointer of type SHORT", nullptr,
     [](Bytes& b, const TiffLayout& l, ByteOrder o) {
       MutableByteView(b.data(), b.size(), o)
           .WriteU16(l.entryOffsets.at({0, kTagExifIfdPointer}) + 2, 3);
     },
     true, true, true, false, true, false, true, false},
    {"link outside", nullptr,
     [](Bytes& b, const TiffLayout& l, ByteOrder o) {
       const uint32_t link = l.directoryOffsets[0] + 2 + 3 * kEntrySize;
       MutableByteView(b.data(), b.size(), o).WriteU32(link, 0x7FFFFFF0);
     },
     true, true, false, true, true, true, false, true},
    {"maker note outside", nullptr,
     [](Bytes& b, const TiffLayout& l, ByteOrder o) {
       MutableByteView(b.data(), b.size(), o)
           .WriteU32(l.entryOffsets.at({1, kTagMakerNote}) + 8, 0x7FFFFFF0);
     },
     true, true, true, true, true, true, true, false},
};

class LocateTest : public ::testing::TestWithParam<std::tuple<Row, Order>> {};

TEST_P(LocateTest, FindsWhatLiesInside) {
  const auto& [row, order] = GetParam();
  const ByteOrder byteOrder = order == Order::Little ? kLittleEndian : kBigEndian;
  TiffBuilder t = Full(order);
  if (row.change) row.change(t);
  TiffLayout layout;
  Bytes bytes = t.Build(&layout);
  if (row.corrupt) row.corrupt(bytes, layout, byteOrder);
  // The view's own order must not matter: the header decides.
  const BlockStructure s = Locate(ByteView(bytes.data(), bytes.size(), kLittleEndian));

  EXPECT_EQ(s.header.valid(), row.header);
  EXPECT_EQ(s.ifd0.located, row.ifd0);
  EXPECT_EQ(s.ifd1.located, row.ifd1);
  EXPECT_EQ(s.exif.located, row.exifDir);
  EXPECT_EQ(s.gps.located, row.gps);
  EXPECT_EQ(s.interop.located, row.interop);
  EXPECT_EQ(s.thumbnailOffset.found && s.thumbnailLength.found, row.thumbnail);
  EXPECT_EQ(s.makerNote.located, row.note);
  if (!row.header) return;
  EXPECT_EQ(s.header.order, byteOrder);
  EXPECT_EQ(s.tiff.order(), byteOrder);
  // Each located directory is where the builder put it, and its pointer entry where the writer
  // would patch it.
  const std::pair<const LocatedDirectory*, int> dirs[] = {
      {&s.ifd0, 0}, {&s.exif, 1}, {&s.interop, 2}, {&s.gps, 3}, {&s.ifd1, 4}};
  for (const auto& [d, index] : dirs) {
    if (d->located) {
      EXPECT_EQ(d->dir.offset, layout.directoryOffsets[static_cast<size_t>(index)]) << index;
    }
  }
  if (row.exifDir) {
    EXPECT_EQ(s.exifPointer.pos, layout.entryOffsets.at({0, kTagExifIfdPointer}));
  }
  if (row.interop) {
    EXPECT_EQ(s.interopPointer.pos, layout.entryOffsets.at({1, kTagInteropIfdPointer}));
  }
  if (row.thumbnail) {
    EXPECT_EQ(s.thumbnailOffset.entry.value, layout.blobOffsets[0]);
    EXPECT_EQ(s.thumbnailLength.entry.value, 4u);
  }
  if (row.note) {
    EXPECT_TRUE(s.makerNote.layout.IsKestrelon());
    EXPECT_EQ(s.makerNote.dir.count, 1u);
    EXPECT_EQ(s.makerNote.dir.offset, layout.valueOffsets.at({1, kTagMakerNote}) + 12);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, LocateTest,
                         ::testing::Combine(::testing::ValuesIn(kRows),
                                            ::testing::Values(Order::Little, Order::Big)),
                         [](const auto& info) {
                           std::string name =
                               std::get<0>(info.param).name +
                               (std::get<1>(info.param) == Order::Little ? "_II" : "_MM");
                           for (char& c : name)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
}  // namespace lf::exif
