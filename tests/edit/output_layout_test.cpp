// The output block: cut lists, the two copies of a source block, directory rewrites and single
// entry edits, checked by walking every pointer of the result to the bytes it must name.
#include <gtest/gtest.h>

#include <cstring>

#include "exif/edit/entry_list.h"
#include "exif/edit/output_layout.h"
#include "tests/support/edit_fixtures.h"

namespace lf::edit {
namespace {

using test::Bytes;
using test::CameraFile;
using test::Order;

ByteOrder OrderOf(Order o) { return o == Order::Little ? exif::kLittleEndian : exif::kBigEndian; }

EditSource SourceOf(const Bytes& tiff, Order order) {
  EditSource s;
  s.block = ByteView(tiff.data(), tiff.size(), OrderOf(order));
  s.isJpeg = true;
  s.ifd0 = DescribeDirectory(s.block, s.block.ReadU32(4));
  RawDirectory ifd0;
  if (LocateRawDirectory(s.block, s.block.ReadU32(4), &ifd0)) {
    s.ifd1 = DescribeDirectory(s.block, s.block.ReadU32(ifd0.LinkPos()));
  }
  return s;
}

// Finds an entry of the directory at `offset`; fails the test when it is missing.
IfdEntry EntryAt(ByteView b, uint32_t offset, uint16_t tag) {
  RawDirectory dir;
  IfdEntry e;
  EXPECT_TRUE(LocateRawDirectory(b, offset, &dir)) << "directory at " << offset;
  EXPECT_TRUE(FindRawEntry(b, dir, tag, &e)) << "tag " << tag << " at " << offset;
  return e;
}

Bytes ValueBytesAt(ByteView b, const IfdEntry& e) {
  const uint32_t n = ValueBytes(e.type, e.count);
  const uint8_t* p = b.Pointer(e.value, n);
  EXPECT_NE(p, nullptr) << "value of tag " << e.tag << " outside the block";
  if (!p) return {};
  EXPECT_EQ(e.value % 2, 0u) << "value of tag " << e.tag << " at an odd offset";
  return Bytes(p, p + n);
}

Bytes SourceValue(const CameraFile& c, int dir, uint16_t tag, uint32_t n) {
  const uint32_t at = c.layout.valueOffsets.at({dir, tag});
  return Bytes(c.tiff.begin() + at, c.tiff.begin() + at + n);
}

// Every pointer of a camera block still names the bytes it named in the source.
void ExpectCameraBlock(ByteView b, const CameraFile& c, bool thumbnail, bool gps = true) {
  const uint32_t ifd0 = b.ReadU32(4);
  const IfdEntry exif = EntryAt(b, ifd0, exif::kTagExifIfdPointer);
  EXPECT_EQ(ValueBytesAt(b, EntryAt(b, exif.value, kTagDateTimeOriginal)),
            SourceValue(c, c.exif, kTagDateTimeOriginal, 20));
  EXPECT_EQ(ValueBytesAt(b, EntryAt(b, ifd0, 0x0110)), SourceValue(c, 0, 0x0110, 12));
  const IfdEntry interop = EntryAt(b, exif.value, exif::kTagInteropIfdPointer);
  EXPECT_EQ(EntryAt(b, interop.value, 0x0001).value, 0x00383952u);  // "R98"
  if (gps) {
    const IfdEntry gpsPointer = EntryAt(b, ifd0, exif::kTagGpsIfdPointer);
    EXPECT_EQ(ValueBytesAt(b, EntryAt(b, gpsPointer.value, 0x0002)), SourceValue(c, c.gps, 0x0002, 24));
  }
  const IfdEntry mn = EntryAt(b, exif.value, exif::kTagMakerNote);
  const IfdEntry inner = EntryAt(b, mn.value + 12, 0x0003);
  EXPECT_EQ(ValueBytesAt(b, inner), c.makerNoteValue);
  RawDirectory d0;
  ASSERT_TRUE(LocateRawDirectory(b, ifd0, &d0));
  const uint32_t link = b.ReadU32(d0.LinkPos());
  if (thumbnail) {
    const IfdEntry at = EntryAt(b, link, exif::kTagJpegInterchangeFormat);
    const IfdEntry length = EntryAt(b, link, exif::kTagJpegInterchangeFormatLength);
    ASSERT_TRUE(b.Contains(at.value, length.value));
    EXPECT_EQ(Bytes(b.data() + at.value, b.data() + at.value + length.value), c.thumbnail);
  } else {
    EXPECT_EQ(link, 0u);
  }
}

TEST(CutListTest, OddCutsAreWidenedToKeepWordAlignment) {
  CutList cuts;
  cuts.AddCut(10, 5, 100, true);   // a value at an even offset: its pad byte goes too
  cuts.AddCut(31, 3, 100, true);   // a value at an odd offset stays as it is
  cuts.AddCut(95, 5, 100, false);  // ends at the block's end
  cuts.Normalize(100);
  ASSERT_EQ(cuts.items().size(), 3u);
  EXPECT_EQ(cuts.items()[0].length, -6);
  EXPECT_EQ(cuts.items()[1].length, -3);
  EXPECT_EQ(cuts.items()[2].length, -5);
  EXPECT_EQ(ShiftForCuts(10, cuts), 0);  // only cuts strictly before an offset count
  EXPECT_EQ(ShiftForCuts(11, cuts), -6);
  EXPECT_EQ(ShiftedOffset(40, cuts), 31u);
  EXPECT_EQ(ShiftedOffset(2, cuts), 2u);

  Bytes block(100);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i);
  OutputBuffer out;
  ASSERT_TRUE(CopyWithoutCuts(ByteView(block.data(), block.size()), cuts, &out));
  ASSERT_EQ(out.length(), 86u);
  EXPECT_EQ(out.data()[10], 16);  // the byte behind the widened cut
  EXPECT_EQ(out.data()[25], 34);
}

TEST(CutListTest, OverlappingCutsCountEachByteOnceAndInsertionsMoveWhatFollows) {
  CutList cuts;
  cuts.AddCut(20, 10, 100, false);
  cuts.AddCut(24, 10, 100, false);  // overlaps: 20..34 in all
  cuts.AddCut(200, 4, 100, false);  // beyond the block: ignored
  cuts.AddInsertion(20, 8);
  cuts.Normalize(100);
  EXPECT_EQ(ShiftForCuts(20, cuts), 0);
  EXPECT_EQ(ShiftForCuts(40, cuts), 8 - 14);
  OutputBuffer out;
  Bytes block(100, 7);
  ASSERT_TRUE(CopyWithoutCuts(ByteView(block.data(), block.size()), cuts, &out));
  EXPECT_EQ(out.length(), 86u);
}

TEST(EntryListTest, SortedInsertionReplacementAndPagingTags) {
  IfdEntryList list;
  EXPECT_EQ(SetEntry(&list, {0x0112, 3, 1, 1}, false), 0);
  EXPECT_EQ(SetEntry(&list, {0x0100, 4, 1, 9}, false), 0);
  EXPECT_EQ(SetEntry(&list, {0x8769, 4, 1, 8}, false), 2);
  EXPECT_EQ(SetEntry(&list, {0x0112, 3, 1, 6}, false), -1);
  EXPECT_EQ(list[1].value, 1u);
  EXPECT_EQ(SetEntry(&list, {0x0112, 3, 1, 6}, true), 1);
  EXPECT_EQ(list[1].value, 6u);
  EXPECT_EQ(IndexOfTag(list, 0x8769), 2);
  EXPECT_EQ(IndexOfTag(list, 0x0101), -1);
  list.push_back({0x00FE, 4, 1, 0});
  list.push_back({0x0100, 4, 1, 7});
  list.push_back({0x013D, 3, 1, 2});
  SortEntries(&list);
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[0].tag, 0x00FE);
  EXPECT_EQ(list[1].value, 9u);  // the first of the two ImageWidth entries stays
  DropPagingTags(&list);
  EXPECT_EQ(list.size(), 3u);
  EXPECT_EQ(IndexOfTag(list, 0x013D), -1);
}

class OutputLayoutTest : public ::testing::TestWithParam<Order> {
 protected:
  CameraFile Camera(test::CameraRecipe recipe = {}) {
    recipe.order = GetParam();
    return test::MakeCameraFile(recipe);
  }
};

TEST_P(OutputLayoutTest, CopyKeepingTheThumbnailIsTheSourceBlock) {
  const CameraFile c = Camera();
  OutputLayout out;
  ASSERT_EQ(out.CopyBlockForEdit(SourceOf(c.tiff, GetParam()), true, false), 1);
  EXPECT_EQ(Bytes(out.block().data(), out.block().data() + out.outLength()), c.tiff);
  EXPECT_EQ(out.outIfd0().location.offset, c.layout.directoryOffsets[0]);
  EXPECT_EQ(out.outIfd1().location.offset, c.layout.directoryOffsets[static_cast<size_t>(c.ifd1)]);
  EXPECT_EQ(out.outExif().offset, c.layout.directoryOffsets[static_cast<size_t>(c.exif)]);
  IfdLocation mn;
  ASSERT_EQ(out.LocateOutputDirectory(exif::kMakerNoteIfd, &mn), 1);
  EXPECT_EQ(mn.offset, c.layout.valueOffsets.at({c.exif, exif::kTagMakerNote}) + 12);
  EXPECT_EQ(mn.entryCount, 2);
  EXPECT_TRUE(out.HasOutputThumbnail());
}

TEST_P(OutputLayoutTest, CopyRemovingTheThumbnailDropsIfd1ItsValuesAndTheImage) {
  const CameraFile c = Camera();
  OutputLayout out;
  ASSERT_EQ(out.CopyBlockForEdit(SourceOf(c.tiff, GetParam()), false, false), 1);
  const ByteView b = out.View();
  ExpectCameraBlock(b, c, false);
  EXPECT_FALSE(out.HasOutputThumbnail());
  // IFD1 (7 entries), its two rationals and the thumbnail are gone.
  const size_t removed = 6 + 12 * 7 + 16 + c.thumbnail.size() + (c.thumbnail.size() & 1);
  EXPECT_EQ(out.outLength(), c.tiff.size() - removed);
  EXPECT_EQ(std::search(b.data(), b.data() + b.size(), c.thumbnail.begin(), c.thumbnail.end()),
            b.data() + b.size());
  // Removing the Interop pointer as well.
  OutputLayout noInterop;
  ASSERT_EQ(noInterop.CopyBlockForEdit(SourceOf(c.tiff, GetParam()), false, true), 1);
  IfdEntry pointer{exif::kTagInteropIfdPointer};
  EXPECT_EQ(noInterop.FindOutputEntry(exif::kExifIfd, &pointer), 0);
  EXPECT_EQ(noInterop.outInterop().offset, 0u);
}

// Delivers an ASCII text for an added entry.
class TextValue : public ValueProvider {
 public:
  explicit TextValue(std::string text) : text_(std::move(text)) {}
  uint32_t ValueSize(const IfdEntry&) override { return static_cast<uint32_t>(text_.size() + 1); }
  uint32_t DeliverValue(const IfdEntry&, MutableByteView dest) override {
    dest.WriteBytes(0, text_.c_str(), text_.size() + 1);
    return static_cast<uint32_t>(text_.size() + 1);
  }

 private:
  std::string text_;
};

TEST_P(OutputLayoutTest, RewriteAddsAndRemovesEntriesAndEveryPointerFollows) {
  const CameraFile c = Camera({.orientation = 0, .thumbnailOrientation = 0});
  for (DirectoryId id : {exif::kIfd0, exif::kExifIfd, exif::kIfd1}) {
    SCOPED_TRACE(id);
    OutputLayout out;
    ASSERT_EQ(out.CopyBlockForEdit(SourceOf(c.tiff, GetParam()), true, false), 1);
    const uint32_t before = out.outLength();
    IfdLocation where;
    out.LocateOutputDirectory(id, &where);
    const IfdEntryList add{{exif::kTagOrientation, exif::kTypeShort, 1, 3},
                           {0x0131, exif::kTypeAscii, 11, 0}};
    TextValue software("lumenframe");
    ASSERT_EQ(out.RewriteDirectory(id, nullptr, &add, &software), 2);
    ExpectCameraBlock(out.View(), c, true);
    IfdLocation after;
    out.LocateOutputDirectory(id, &after);
    EXPECT_EQ(after.offset, where.offset);
    EXPECT_EQ(after.entryCount, where.entryCount + 2);
    EXPECT_EQ(out.outLength(), before + 24 + 12);
    IfdEntry added{0x0131};
    ASSERT_EQ(out.FindOutputEntry(id, &added), 1);
    EXPECT_EQ(ValueBytesAt(out.View(), added), (Bytes{'l', 'u', 'm', 'e', 'n', 'f', 'r', 'a', 'm', 'e', 0}));
    IfdEntry orientation{exif::kTagOrientation};
    ASSERT_EQ(out.FindOutputEntry(id, &orientation), 1);
    EXPECT_EQ(orientation.value, 3u);

    const std::vector<uint16_t> remove{0x0131, exif::kTagOrientation};
    EXPECT_EQ(out.RewriteDirectory(id, &remove, nullptr, nullptr), -2);
    ExpectCameraBlock(out.View(), c, true);
    EXPECT_EQ(out.outLength(), before);
  }
}

TEST_P(OutputLayoutTest, EmptiedGpsDirectoryGoesWithItsPointer) {
  const CameraFile c = Camera();
  OutputLayout out;
  ASSERT_EQ(out.CopyBlockForEdit(SourceOf(c.tiff, GetParam()), true, false), 1);
  const uint32_t before = out.outLength();
  const std::vector<uint16_t> all{0x0000, 0x0001, 0x0002};
  EXPECT_EQ(out.RewriteDirectory(exif::kGpsIfd, &all, nullptr, nullptr), -3);
  EXPECT_EQ(out.outLength(), before - 36 - 24);
  const std::vector<uint16_t> pointer{exif::kTagGpsIfdPointer};
  EXPECT_EQ(out.RewriteDirectory(exif::kIfd0, &pointer, nullptr, nullptr), -1);
  EXPECT_EQ(out.outLength(), before - 36 - 24 - 12 - 6);
  ExpectCameraBlock(out.View(), c, true, false);
}

TEST_P(OutputLayoutTest, SingleEntryEdits) {
  test::TiffBuilder t(GetParam());
  const int exif = t.AddDirectory();
  t.Ifd0().Short(0x0128, {2}).Ascii(0x0132, "2020:01:02 03:04:0").Short(0x0128, {3}).Pointer(0x8769, exif);
  t.Dir(exif).Ascii(0x9003, "2020:01:02 03:04:05");
  test::TiffLayout layout;
  const Bytes tiff = t.Build(&layout);
  OutputLayout out;
  ASSERT_EQ(out.CopyBlockForEdit(SourceOf(tiff, GetParam()), true, false), 1);
  EXPECT_EQ(out.UpdateOutputEntry(exif::kIfd0, {0, exif::kTypeShort, 1, 1}), 0);
  EXPECT_EQ(out.UpdateOutputEntry(5, {0x0128, exif::kTypeShort, 1, 1}), -1);
  EXPECT_EQ(out.UpdateOutputEntry(exif::kGpsIfd, {0x0128, exif::kTypeShort, 1, 1}), 0);
  // DateTime of 19 bytes is not a stamp the writer may overwrite.
  out.StampDateTime(ExifDateTime{2030, 1, 0, 1, 1, 1, 1, 0});
  EXPECT_EQ(Bytes(out.block().data(), out.block().data() + out.outLength()), tiff);

  const uint32_t ifd0 = layout.directoryOffsets[0];
  EXPECT_EQ(out.RemoveOutputEntries(exif::kIfd0, 0x0128), 2);
  const ByteView b = out.View();
  EXPECT_EQ(b.ReadU16(ifd0), 2);
  EXPECT_EQ(b.ReadU32(ifd0 + 2 + 24), 0u);  // the link, moved up
  for (uint32_t i = 0; i < 24; ++i) EXPECT_EQ(b.ReadU8(ifd0 + 2 + 24 + 4 + i), 0) << i;
  IfdEntry date{kTagDateTimeOriginal};
  EXPECT_EQ(out.FindOutputEntry(exif::kExifIfd, &date), 1);
}

TEST_P(OutputLayoutTest, AMovedMakerNoteWithoutAFindableDirectoryIsRemoved) {
  // A maker note whose header leaves no directory where one is looked for.
  test::TiffBuilder t(GetParam());
  const int exif = t.AddDirectory();
  t.Ifd0().Ascii(0x010F, "Other").Pointer(0x8769, exif);
  Bytes note = {'O', 't', 'h', 'e', 'r', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  t.Dir(exif).Undefined(0x9000, {'0', '2', '3', '0'}).Undefined(0x927C, note);
  const Bytes tiff = t.Build();
  OutputLayout kept;
  ASSERT_EQ(kept.CopyBlockForEdit(SourceOf(tiff, GetParam()), true, false), 1);
  // An edit behind the maker note leaves it where it was.
  const IfdEntryList version{{0x9000, exif::kTypeUndefined, 4, 0x30333230}};
  ASSERT_EQ(kept.UpdateOutputEntry(exif::kExifIfd, version[0]), 1);
  IfdEntry mn{exif::kTagMakerNote};
  EXPECT_EQ(kept.FindOutputEntry(exif::kExifIfd, &mn), 1);
  // One in front of it moves it: its offsets cannot be corrected, so it goes.
  const IfdEntryList add{{exif::kTagOrientation, exif::kTypeShort, 1, 1}};
  ASSERT_EQ(kept.RewriteDirectory(exif::kIfd0, nullptr, &add, nullptr), 1);
  EXPECT_EQ(kept.FindOutputEntry(exif::kExifIfd, &mn), 0);
  IfdEntry v{0x9000};
  EXPECT_EQ(kept.FindOutputEntry(exif::kExifIfd, &v), 1);
}

TEST_P(OutputLayoutTest, HostileBlocksFailWithoutHarm) {
  const CameraFile c = Camera();
  // Every truncation and a few corrupted pointers: the copy and the rewrite may fail, never
  // touch memory outside their buffers (the sanitizer build watches).
  for (size_t n = 0; n < c.tiff.size(); n += 7) {
    Bytes cut(c.tiff.begin(), c.tiff.begin() + static_cast<long>(n));
    OutputLayout out;
    if (out.CopyBlockForEdit(SourceOf(cut, GetParam()), n % 2 == 0, false) == 1) {
      const IfdEntryList add{{exif::kTagOrientation, exif::kTypeShort, 1, 2}};
      out.RewriteDirectory(exif::kIfd1, nullptr, &add, nullptr);
      out.RewriteDirectory(exif::kIfd0, nullptr, &add, nullptr);
    }
  }
  for (size_t at = 0; at + 4 <= c.tiff.size(); at += 5) {
    Bytes bad = c.tiff;
    bad[at] ^= 0xFF;
    bad[at + 1] ^= 0x5A;
    OutputLayout out;
    if (out.CopyBlockForEdit(SourceOf(bad, GetParam()), false, true) == 1) {
      const IfdEntryList add{{exif::kTagOrientation, exif::kTypeShort, 1, 2}};
      out.RewriteDirectory(exif::kIfd0, nullptr, &add, nullptr);
      uint32_t size = 0;
      out.MeasureImageData(exif::kIfd1, &size);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, OutputLayoutTest, ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) { return info.param == Order::Little ? "II" : "MM"; });

}  // namespace
}  // namespace lf::edit
