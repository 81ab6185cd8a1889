// SPDX-License-Identifier: MIT
// The maker-note directory: its header, entry count and gate, lookups and value delivery with and
// without the EXIF block, and the in-place update.
#include "exif/makernote/maker_note_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/support/fixture_builder.h"

namespace lf::exif {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::Order;

constexpr int kExifDir = 1;

class MakerNoteReaderTest : public ::testing::TestWithParam<Order> {
 protected:
  test::TempDir dir;
  int files = 0;

  Order order() const { return GetParam(); }

  // A JPEG whose Exif IFD holds the maker note that `make` returns. `make` is called twice, the
  // second time with the TIFF offset where the maker note lands, so that out-of-line values can
  // point into it; the note must keep its size. Returns the path; *noteOffset receives the offset.
  std::string WriteWithNote(const std::function<Bytes(uint32_t)>& make, uint32_t* noteOffset) {
    auto build = [&](uint32_t at, test::TiffLayout* layout) {
      test::TiffBuilder t(order());
      const int exif = t.AddDirectory();
      t.Ifd0().Pointer(0x8769, exif);
      t.Dir(exif).Undefined(0x927C, make(at));
      return t.Build(layout);
    };
    test::TiffLayout layout;
    build(0, &layout);
    *noteOffset = layout.valueOffsets.at({kExifDir, kTagMakerNote});
    const Bytes tiff = build(*noteOffset, &layout);
    EXPECT_EQ(layout.valueOffsets.at({kExifDir, kTagMakerNote}), *noteOffset);
    return WriteJpeg(tiff);
  }

  std::string WriteJpeg(const Bytes& tiff) {
    test::JpegBuilder j;
    j.Soi().App1Exif(tiff).BodyOf(test::EncodeJpeg(16, 16, 75));
    const std::string path = dir.File(std::to_string(files++) + ".jpg");
    test::WriteFile(path, j.Build());
    return path;
  }

  // "Kestrelon", NUL, two bytes, count 3, entries: SHORT 7, LONG 0x01020304, RATIONAL ×2 out of
  // line (1/3, 2/3, stored after the directory's next link).
  std::function<Bytes(uint32_t)> KestrelonNote() {
    return [this](uint32_t at) {
      ByteWriter w(order());
      w.Text("Kestrelon").U8(0).U8(0xAA).U8(0xBB).U16(3);
      w.U16(0x0001).U16(test::kShort).U32(1).U16(7).U16(0);
      w.U16(0x0002).U16(test::kLong).U32(1).U32(0x01020304);
      w.U16(0x0003).U16(test::kRational).U32(2).U32(at + 14 + 3 * 12 + 4);
      w.U32(0);
      w.U32(1).U32(3).U32(2).U32(3);
      return w.Take();
    };
  }
};

INSTANTIATE_TEST_SUITE_P(ByteOrders, MakerNoteReaderTest,
                         ::testing::Values(Order::Little, Order::Big), [](const auto& info) {
                           return info.param == Order::Little ? std::string("II")
                                                              : std::string("MM");
                         });

IfdEntry Find(MakerNoteReader& r, uint16_t tag, int* result) {
  IfdEntry e;
  e.tag = tag;
  *result = r.FindMakerNoteEntry(&e);
  return e;
}

TEST_P(MakerNoteReaderTest, WithoutTheBlockOnlyInlineValuesAreDelivered) {
  uint32_t noteOffset = 0;
  const std::string path = WriteWithNote(KestrelonNote(), &noteOffset);
  MakerNoteReader r(path.c_str(), false);
  EXPECT_EQ(r.GetMakerNoteHeader(), "Kestrelon");
  IfdEntryList list;
  ASSERT_EQ(r.CollectMakerNoteEntries(&list), 3);
  uint32_t rationals[4] = {};
  EXPECT_EQ(r.ReadMakerNoteValue(list[2], rationals, sizeof rationals), 0u);
  uint32_t longValue = 0;
  EXPECT_EQ(r.ReadMakerNoteValue(list[1], &longValue, sizeof longValue), 1u);
  EXPECT_EQ(longValue, 0x01020304u);
}

TEST_P(MakerNoteReaderTest, DirectoryWithoutHeader) {
  // 21 entries straight away. Little-endian, the count's bytes 0x15 0x00 read as a one-character
  // text, which is no header; big-endian, the leading 0x00 reads as an empty text: no entries.
  uint32_t noteOffset = 0;
  const std::string path = WriteWithNote(
      [this](uint32_t) {
        ByteWriter w(order());
        w.U16(21);
        for (uint16_t tag = 1; tag <= 21; ++tag) w.U16(tag).U16(test::kShort).U32(1).U16(tag).U16(0);
        w.U32(0);
        return w.Take();
      },
      &noteOffset);
  MakerNoteReader r(path.c_str(), true);
  EXPECT_EQ(r.GetMakerNoteHeader(), "");
  int found = 0;
  const IfdEntry last = Find(r, 21, &found);
  if (order() == Order::Little) {
    EXPECT_EQ(r.makerEntryCount(), 21);
    EXPECT_EQ(r.EntriesStart(), 2u);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(last.value, 21u);
  } else {
    EXPECT_EQ(r.makerEntryCount(), 0);
    EXPECT_EQ(found, 0);
  }
}

// Makers whose signature sets the directory's position, byte order and offset base. Each note
// holds 0x0001 SHORT 7 and 0x0002 RATIONAL 5/4 stored behind the directory; the lookups report
// the rational's offset from the TIFF header whatever the dialect counts it from.
TEST_P(MakerNoteReaderTest, DialectsReadByTheirSignature) {
  const Order other = order() == Order::Little ? Order::Big : Order::Little;
  const auto marks = [](Order o) {
    return o == Order::Little ? std::string("II") : std::string("MM");
  };
  struct Case {
    const char* name;
    Bytes prefix;   // the bytes in front of the entry count
    Order order;    // the directory's byte order
    bool fromNote;  // offsets count from the note ...
    uint32_t base;  // ... at this byte of it
    std::string header;
  };
  const Case cases[] = {
      {"own TIFF header",
       ByteWriter(other)
           .Raw({'N', 'i', 'k', 'o', 'n', 0, 2, 0x10, 0, 0})
           .Text(marks(other))
           .U16(42)
           .U32(8)
           .Take(),
       other, true, 10, "Nikon"},
      {"own byte order", ByteWriter(other).Text("OLYMPUS").U8(0).Text(marks(other)).U16(3).Take(),
       other, true, 0, "OLYMPUS"},
      {"pointer to the directory", ByteWriter(Order::Little).Text("FUJIFILM").U32(12).Take(),
       Order::Little, true, 0, "FUJIFILM\x0c"},
      {"count behind eight bytes", ByteWriter(order()).Text("SIGMA").Zeros(3).U16(1).Take(),
       order(), false, 0, "SIGMA"},
      {"text rule", ByteWriter(order()).Text("Kestrelon").U8(0).U16(0).Take(), order(), false, 0,
       "Kestrelon"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t valueAt = static_cast<uint32_t>(c.prefix.size()) + 2 + 2 * 12 + 4;
    uint32_t at = 0;
    const std::string path = WriteWithNote(
        [&](uint32_t noteAt) {
          ByteWriter w(c.order);
          w.Raw(c.prefix).U16(2);
          w.U16(0x0001).U16(test::kShort).U32(1).U16(7).U16(0);
          w.U16(0x0002)
              .U16(test::kRational)
              .U32(1)
              .U32(c.fromNote ? valueAt - c.base : noteAt + valueAt);
          w.U32(0).U32(5).U32(4);
          return w.Take();
        },
        &at);
    MakerNoteReader r(path.c_str(), true);
    EXPECT_EQ(r.makerNoteOffset(), at);
    EXPECT_EQ(r.GetMakerNoteHeader(), c.header);
    ASSERT_EQ(r.makerEntryCount(), 2);
    EXPECT_EQ(r.EntriesStart(), c.prefix.size() + 2);
    int found = 0;
    Find(r, 0x0004, &found);
    EXPECT_EQ(found, 0);
    IfdEntryList list = {IfdEntry{0x0002}, IfdEntry{0x0009}, IfdEntry{0x0001}};
    ASSERT_EQ(r.CollectMakerNoteEntries(&list), 2);
    EXPECT_EQ(list[0].tag, 0x0001);  // directory order, not request order
    EXPECT_EQ(list[0].value, 7u);
    EXPECT_EQ(list[1].value, at + valueAt);
    uint32_t rational[2] = {};
    EXPECT_EQ(r.ReadMakerNoteValue(list[1], rational, sizeof rational), 1u);
    EXPECT_EQ(rational[0], 5u);
    EXPECT_EQ(rational[1], 4u);
    EXPECT_EQ(r.ReadMakerNoteValue(list[1], rational, 4), 0u);  // smaller than one value
    // An edit takes the offset as the lookups give it, and refuses one outside the note.
    EXPECT_EQ(r.UpdateMakerNoteEntry(IfdEntry{0x0002, test::kRational, 1, at + valueAt}), 1);
    IfdEntry again{0x0002};
    EXPECT_EQ(r.FindMakerNoteEntry(&again), 1);
    EXPECT_EQ(again.value, at + valueAt);
    EXPECT_EQ(r.UpdateMakerNoteEntry(IfdEntry{0x0002, test::kRational, 1, 0xFFFFFF00u}),
              MakerNoteReader::kEntryRefused);
    if (c.fromNote) {
      EXPECT_EQ(r.UpdateMakerNoteEntry(IfdEntry{0x0002, test::kRational, 1, at + valueAt + 4}),
                MakerNoteReader::kEntryRefused);
    }
  }
}

TEST_P(MakerNoteReaderTest, MakerNotesThatLeaveNoReachableEntry) {
  uint32_t at = 0;
  const auto entryCountAndFind = [&](const std::function<Bytes(uint32_t)>& make) {
    const std::string path = WriteWithNote(make, &at);
    MakerNoteReader r(path.c_str(), true);
    int found = 0;
    Find(r, 1, &found);
    IfdEntryList all;
    EXPECT_EQ(r.CollectMakerNoteEntries(&all), 0);
    return std::make_pair(r.makerEntryCount(), found);
  };
  // A count claiming more entries than the maker note holds.
  EXPECT_EQ(entryCountAndFind([this](uint32_t) {
              ByteWriter w(order());
              w.Text("Kestrelon").U8(0).U16(0).U16(50);
              w.U16(1).U16(test::kShort).U32(1).U32(0);
              return w.Take();
            }),
            std::make_pair(uint16_t{0}, 0));
  // Entries that are no directory's: a type of no size, a value outside the block.
  for (const auto& [type, field] :
       {std::pair<uint16_t, uint32_t>{0x0020, 0}, {test::kRational, 0xFFFFFF00u}}) {
    EXPECT_EQ(entryCountAndFind([&](uint32_t) {
                ByteWriter w(order());
                w.Text("Kestrelon").U8(0).U16(0).U16(2);
                w.U16(1).U16(test::kShort).U32(1).U32(0);
                w.U16(2).U16(type).U32(1).U32(field);
                return w.Take();
              }),
              std::make_pair(uint16_t{0}, 0));
  }
  // A header that leaves no room for a count.
  EXPECT_EQ(entryCountAndFind([](uint32_t) { return Bytes{'K', 'e', 's', 't', 'r', 'e', 'l', 0, 1, 0, 1, 0}; }),
            std::make_pair(uint16_t{0}, 0));
  // A text longer than any header: cut at 63 characters, and the "count" behind it does not fit.
  const std::string path = WriteWithNote([](uint32_t) { return Bytes(100, 'A'); }, &at);
  MakerNoteReader r(path.c_str(), true);
  EXPECT_EQ(r.GetMakerNoteHeader(), std::string(63, 'A'));
  EXPECT_EQ(r.makerEntryCount(), 0);
}

TEST_P(MakerNoteReaderTest, ShortOrMisplacedMakerNotesAreIgnored) {
  // Four bytes are no maker note.
  {
    test::TiffBuilder t(order());
    const int exif = t.AddDirectory();
    t.Ifd0().Pointer(0x8769, exif);
    t.Dir(exif).Undefined(0x927C, {2, 0, 0, 0});
    MakerNoteReader r(WriteJpeg(t.Build()).c_str(), true);
    EXPECT_FALSE(r.HasMakerNote());
  }
  // A maker note that runs past the EXIF block (into the image data behind the APP1), or past
  // the end of the file, is found in neither state of the reader.
  for (const uint32_t count : {2000u, 0xFFFFFFF0u}) {
    test::TiffBuilder t(order());
    const int exif = t.AddDirectory();
    t.Ifd0().Pointer(0x8769, exif);
    t.Dir(exif).RawEntry(0x927C, test::kUndefined, count, 8);
    const std::string path = WriteJpeg(t.Build());
    for (const bool block : {true, false}) {
      MakerNoteReader r(path.c_str(), block);
      EXPECT_TRUE(r.HasMakerNote());
      EXPECT_FALSE(r.MakerNoteInBlock());
      int found = 0;
      Find(r, 1, &found);
      EXPECT_EQ(found, 0) << count << " " << block;
      IfdEntryList all;
      EXPECT_EQ(r.CollectMakerNoteEntries(&all), 0);
      EXPECT_EQ(r.UpdateMakerNoteEntry(IfdEntry{1, test::kShort, 1, 5}), 0);
    }
  }
}

TEST_P(MakerNoteReaderTest, UpdateRewritesTheEntryInTheBlock) {
  uint32_t at = 0;
  const std::string path = WriteWithNote(KestrelonNote(), &at);
  MakerNoteReader r(path.c_str(), true);
  EXPECT_EQ(r.UpdateMakerNoteEntry(IfdEntry{0x0002, test::kShort, 1, 9}), 1);
  int found = 0;
  const IfdEntry e = Find(r, 0x0002, &found);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(e.type, test::kShort);
  EXPECT_EQ(e.value, 9u);
  // The bytes changed are those of the entry inside the block.
  const ByteView block = r.Block();
  const uint32_t entryAt = at + 14 + 12;
  EXPECT_EQ(block.ReadU16(entryAt), 0x0002);
  EXPECT_EQ(block.ReadU16(entryAt + 2), test::kShort);
  EXPECT_EQ(block.ReadU16(entryAt + 8), 9);
  // No entry is ever added.
  EXPECT_EQ(r.UpdateMakerNoteEntry(IfdEntry{0x0044, test::kShort, 1, 9}), 0);
}

}  // namespace
}  // namespace lf::exif
