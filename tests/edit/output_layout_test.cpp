// SPDX-License-Identifier: MIT
// The output block: cut lists, the two copies of a source block, directory rewrites and single
// entry edits, checked by walking every pointer of the result to the bytes it must name.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>

#include "exif/edit/entry_list.h"
#include "exif/edit/layout_check.h"
#include "exif/edit/output_layout.h"
#include "tests/support/edit_fixtures.h"

namespace lf::edit {
namespace {

using test::Bytes;
using test::CameraFile;
using test::Order;
using test::TiffLayout;

ByteOrder OrderOf(Order o) { return o == Order::Little ? exif::kLittleEndian : exif::kBigEndian; }

EditSource SourceOf(const Bytes& tiff, Order order) {
  // The located blocks outlive the sources that name them (one test's worth at most).
  static std::deque<exif::BlockStructure> located;
  const ByteView block(tiff.data(), tiff.size(), OrderOf(order));
  EditSource s;
  s.block = &located.emplace_back(exif::Locate(block));
  s.isJpeg = true;
  s.ifd0 = DescribeDirectory(block, block.ReadU32(4));
  RawDirectory ifd0;
  if (LocateRawDirectory(block, block.ReadU32(4), &ifd0)) {
    s.ifd1 = DescribeDirectory(block, block.ReadU32(ifd0.LinkPos()));
  }
  return s;
}

std::string CheckEditedBlock(ByteView source, const OutputLayout& out) {
  return edit::CheckEditedBlock(exif::Locate(source), exif::Locate(out.View()), out);
}

// The value bytes of an entry of the block, or empty when they do not lie inside it.
Bytes ValueBytesAt(ByteView b, const IfdEntry& e) {
  const uint8_t* p = b.Pointer(e.value, ValueBytes(e.type, e.count));
  return p ? Bytes(p, p + ValueBytes(e.type, e.count)) : Bytes{};
}

// Nothing but what the edits of `out` asked for differs from the camera block it was copied from.
void ExpectOnlyEdits(const CameraFile& c, const OutputLayout& out, Order order) {
  EXPECT_EQ(CheckEditedBlock(ByteView(c.tiff.data(), c.tiff.size(), OrderOf(order)), out), "");
}

TEST(CutListTest, EveryCutInsideTheBlockBecomesEvenSoAlignmentSurvives) {
  CutList cuts;
  cuts.Protect(55);
  cuts.AddCut(10, 5);  // on a word boundary: its pad byte goes too
  cuts.AddCut(31, 3);  // on an odd offset: its last byte stays
  cuts.AddCut(50, 5);  // a directory starts behind it: its last byte stays
  cuts.AddCut(61, 1);  // on an odd offset: nothing left to cut
  cuts.AddCut(95, 5);  // ends at the block's end
  cuts.Normalize(100);
  std::vector<int64_t> lengths;
  for (const Cut& c : cuts.items()) lengths.push_back(c.length);
  EXPECT_EQ(lengths, (std::vector<int64_t>{-6, -2, -4, -5}));
  EXPECT_EQ(ShiftForCuts(10, cuts), 0);  // only cuts strictly before an offset count
  EXPECT_EQ(ShiftForCuts(11, cuts), -6);
  EXPECT_EQ(ShiftedOffset(40, cuts), 32u);
  EXPECT_EQ(ShiftedOffset(55, cuts), 43u);
  EXPECT_EQ(ShiftedOffset(2, cuts), 2u);

  Bytes block(100);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i);
  OutputBuffer out;
  ASSERT_TRUE(CopyWithoutCuts(ByteView(block.data(), block.size()), cuts, &out));
  ASSERT_EQ(out.length(), 83u);
  EXPECT_EQ(out.data()[10], 16);  // the byte behind the widened cut
  EXPECT_EQ(out.data()[25], 33);  // the byte left of the odd cut
  EXPECT_EQ(out.data()[43], 55);  // the protected start
}

TEST(CutListTest, OverlappingCutsCountEachByteOnceAndInsertionsMoveWhatFollows) {
  CutList cuts;
  cuts.AddCut(20, 10);
  cuts.AddCut(24, 10);  // overlaps: 20..34 in all
  cuts.AddCut(200, 4);  // beyond the block: ignored
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
  ExpectOnlyEdits(c, out, GetParam());
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

// Delivers an ASCII text for an added entry of that tag; nothing for other tags.
class TextValue : public ValueProvider {
 public:
  TextValue(uint16_t tag, std::string text) : tag_(tag), text_(std::move(text)) {}
  uint32_t ValueSize(const IfdEntry& e) override { return e.tag == tag_ ? static_cast<uint32_t>(text_.size() + 1) : 0; }
  uint32_t DeliverValue(const IfdEntry& e, MutableByteView dest) override {
    return e.tag == tag_ && dest.WriteBytes(0, text_.c_str(), text_.size() + 1) ? static_cast<uint32_t>(text_.size() + 1) : 0;
  }

 private:
  uint16_t tag_;
  std::string text_;
};

// The emitter under each spacing policy: the value area directly behind the directory (the record
// rule's GPS directory 12 bytes later), each value on a word boundary, a value of one-byte units
// padded by its length mod 4 under the record rule, an undelivered value counted 0.
TEST_P(OutputLayoutTest, EmitterLaysValuesByItsSpacingPolicy) {
  struct Provider : ValueProvider {
    TextValue make{0x010F, "Lumenframe test camera"}, software{0x0131, "abcd"};
    uint32_t ValueSize(const IfdEntry& e) override { return make.ValueSize(e) + software.ValueSize(e); }
    uint32_t DeliverValue(const IfdEntry& e, MutableByteView d) override {
      return make.DeliverValue(e, d) + software.DeliverValue(e, d);
    }
  } values;
  const struct {
    ValueSpacing spacing;
    DirectoryId id;
    uint32_t make, software, end;
  } rows[] = {{ValueSpacing::kEven, exif::kIfd0, 62, 86, 91},
              {ValueSpacing::kEven, exif::kGpsIfd, 62, 86, 91},
              {ValueSpacing::kRecord, exif::kIfd0, 62, 88, 94},
              {ValueSpacing::kRecord, exif::kGpsIfd, 74, 100, 106}};
  for (const auto& row : rows) {
    SCOPED_TRACE(&row - rows);
    OutputBuffer out;
    ASSERT_TRUE(out.AppendZeros(7));  // an odd end: the directory starts on the next word
    std::vector<PlannedEntry> plan(4);
    plan[0].entry = {0x010F, exif::kTypeAscii, 23, 0};
    plan[1].entry = {exif::kTagOrientation, exif::kTypeShort, 1, 6};
    plan[2].entry = {0x011A, exif::kTypeRational, 1, 0};  // nobody delivers it
    plan[3].entry = {0x0131, exif::kTypeAscii, 5, 0};
    ASSERT_EQ(EmitDirectory(&out, OrderOf(GetParam()), row.id, &plan, 0x1234, &values, row.spacing), 8u);
    const ByteView b = out.View(OrderOf(GetParam()));
    RawDirectory dir;
    ASSERT_TRUE(LocateRawDirectory(b, 8, &dir));
    IfdEntry e[4];
    for (uint32_t i = 0; i < 4; ++i) ASSERT_TRUE(ReadEntry(b, dir.EntryPos(i), &e[i]));
    EXPECT_EQ(b.ReadU32(dir.LinkPos()), 0x1234u);
    EXPECT_EQ(e[0].value, row.make);
    EXPECT_EQ(ValueBytesAt(b, e[0]).back(), 0);
    EXPECT_EQ(e[1].value, 6u);
    EXPECT_EQ(e[2].count, 0u);
    EXPECT_EQ(e[3].value, row.software);
    EXPECT_EQ(ValueBytesAt(b, e[3]), (Bytes{'a', 'b', 'c', 'd', 0}));
    EXPECT_EQ(out.length(), row.end);
  }
}

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
    TextValue software(0x0131, "lumenframe");
    ASSERT_EQ(out.RewriteDirectory(id, nullptr, &add, &software), 2);
    ExpectOnlyEdits(c, out, GetParam());
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
    ExpectOnlyEdits(c, out, GetParam());
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
  ExpectOnlyEdits(c, out, GetParam());
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

// The rebuild of a camera block as orientation editing does it: IFD0 and IFD1 each gain an
// Orientation entry. Returns the layout after the edit, checked against its source.
void GainOrientation(OutputLayout* out, const Bytes& tiff, Order order) {
  ASSERT_EQ(out->CopyBlockForEdit(SourceOf(tiff, order), true, false), 1);
  const IfdEntryList add{{exif::kTagOrientation, exif::kTypeShort, 1, 3}};
  ASSERT_EQ(out->RewriteDirectory(exif::kIfd0, nullptr, &add, nullptr), 1);
  if (out->HasOutputThumbnail()) {
    ASSERT_EQ(out->RewriteDirectory(exif::kIfd1, nullptr, &add, nullptr), 1);
  }
  EXPECT_EQ(CheckEditedBlock(ByteView(tiff.data(), tiff.size(), OrderOf(order)), *out), "");
}

Bytes OutputBytes(const OutputLayout& out) {
  return Bytes(out.block().data(), out.block().data() + out.outLength());
}

// A camera block whose maker note is `note`; `extra` is added to IFD1 (strips, a thumbnail).
struct MakerNoteBlock {
  Bytes tiff;
  TiffLayout layout;
  int exif = 0, ifd1 = 0;
};
MakerNoteBlock BlockWithMakerNote(Order order, const Bytes& note, const Bytes& preview = {}) {
  test::TiffBuilder t(order);
  MakerNoteBlock m;
  m.exif = t.AddDirectory();
  m.ifd1 = t.AddDirectory();
  t.Ifd0().Ascii(0x010F, "Maker").Rational(0x011A, {{72, 1}}).Pointer(0x8769, m.exif).Next(m.ifd1);
  t.Dir(m.exif).Undefined(0x9000, {'0', '2', '3', '0'}).Undefined(0x927C, note);
  const int thumb = t.AddBlob({0xFF, 0xD8, 1, 2, 3, 4, 0xFF, 0xD9});
  t.Dir(m.ifd1).Rational(0x011A, {{72, 1}}).BlobOffset(0x0201, thumb).BlobLength(0x0202, thumb);
  if (!preview.empty()) t.AddBlob(preview);
  m.tiff = t.Build(&m.layout);
  return m;
}

TEST_P(OutputLayoutTest, UncompressedThumbnailStripsMoveWithTheirOffsets) {
  test::TiffBuilder t(GetParam());
  const int ifd1 = t.AddDirectory();
  t.Ifd0().Ascii(0x010F, "Maker").Next(ifd1);
  const int s1 = t.AddBlob(Bytes(9, 0x11)), s2 = t.AddBlob(Bytes(6, 0x22));
  t.Dir(ifd1).Short(0x0103, {1}).Short(0x0100, {5}).Short(0x0101, {2})
      .Values(0x0111, test::kLong, {0, 0}).Long(0x0116, {1}).Long(0x0117, {9, 6});
  TiffLayout layout;
  Bytes tiff = t.Build(&layout);
  // Point the two strip offsets at the blobs.
  MutableByteView(tiff.data(), tiff.size(), OrderOf(GetParam()))
      .WriteU32(layout.valueOffsets.at({ifd1, 0x0111}), layout.blobOffsets[static_cast<size_t>(s1)]);
  MutableByteView(tiff.data(), tiff.size(), OrderOf(GetParam()))
      .WriteU32(layout.valueOffsets.at({ifd1, 0x0111}) + 4, layout.blobOffsets[static_cast<size_t>(s2)]);
  OutputLayout out;
  GainOrientation(&out, tiff, GetParam());
  EXPECT_FALSE(out.pinned());
  const ByteView b = out.View();
  RawDirectory d1;
  ASSERT_TRUE(LocateRawDirectory(b, out.outIfd1().location.offset, &d1));
  IfdEntry strips;
  ASSERT_TRUE(FindRawEntry(b, d1, exif::kTagStripOffsets, &strips));
  EXPECT_EQ(Bytes(b.data() + b.ReadU32(strips.value), b.data() + b.ReadU32(strips.value) + 9), Bytes(9, 0x11));
  EXPECT_EQ(Bytes(b.data() + b.ReadU32(strips.value + 4), b.data() + b.ReadU32(strips.value + 4) + 6), Bytes(6, 0x22));
}

TEST_P(OutputLayoutTest, ValuesOfUninterpretedTypesMoveWithTheirOffsets) {
  test::TiffBuilder t(GetParam());
  const int exif = t.AddDirectory();
  t.Ifd0().Values(0x9999, test::kSShort, {1, 2, 3, 4}).Pointer(0x8769, exif);
  t.Dir(exif).Values(0x9998, test::kDouble, {0x0123456789ABCDEFull}).Values(0x9997, test::kFloat, {7, 8});
  const Bytes tiff = t.Build();
  OutputLayout out;
  GainOrientation(&out, tiff, GetParam());
  EXPECT_FALSE(out.pinned());
  EXPECT_NE(OutputBytes(out), tiff);  // IFD0 grew in place and everything behind it moved
}

TEST_P(OutputLayoutTest, MakerNotesOfOtherDialectsKeepEveryByteWhereItWas) {
  const Order o = GetParam();
  const bool big = o == Order::Big;
  // With its own TIFF header after a signature: offsets count from that header.
  Bytes ownHeader = {'N', 'i', 'k', 'o', 'n', 0, 2, 0x10, 0, 0};
  const Bytes inner = big ? Bytes{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x00, 0x11, 0, 4, 0, 0, 0, 1, 0, 0, 0, 0x1A, 0, 0, 0, 0}
                          : Bytes{'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x11, 0x00, 4, 0, 1, 0, 0, 0, 0x1A, 0, 0, 0, 0, 0, 0, 0};
  ownHeader.insert(ownHeader.end(), inner.begin(), inner.end());
  // Offsets that count from the maker note's own start.
  const Bytes selfRelative = {'F', 'U', 'J', 'I', 'F', 'I', 'L', 'M', 12, 0, 0, 0, 1, 0, 0x10, 0x10, 7, 0, 6, 0, 0, 0,
                              26, 0, 0, 0, 0, 0, 0, 0, 'v', 'a', 'l', 'u', 'e', 0};
  // A binary block with no directory at all.
  const Bytes binary(40, 0x00);
  for (const Bytes& note : {ownHeader, selfRelative, binary}) {
    const MakerNoteBlock m = BlockWithMakerNote(o, note);
    OutputLayout out;
    GainOrientation(&out, m.tiff, o);
    EXPECT_TRUE(out.pinned());
    const uint32_t at = m.layout.valueOffsets.at({m.exif, exif::kTagMakerNote});
    const Bytes after = OutputBytes(out);
    ASSERT_GE(after.size(), m.tiff.size());
    EXPECT_EQ(Bytes(after.begin() + at, after.begin() + at + static_cast<long>(note.size())), note);
    IfdEntry mn{exif::kTagMakerNote};
    ASSERT_EQ(out.FindOutputEntry(exif::kExifIfd, &mn), 1);
    EXPECT_EQ(mn.value, at);
  }
}

TEST_P(OutputLayoutTest, APreviewThatAMakerNoteNamesStaysWhereItIsNamed) {
  const Order o = GetParam();
  const Bytes preview = {0xFF, 0xD8, 'p', 'r', 'e', 'v', 'i', 'e', 'w', 0xFF, 0xD9, 0};
  // The preview's offset counts from the TIFF header and sits inline in an entry of the maker
  // note, where only its dialect's reader knows it is an offset.
  MakerNoteBlock m = BlockWithMakerNote(o, Bytes(30, 0), preview);
  const uint32_t previewAt = m.layout.blobOffsets.back();
  const uint32_t noteAt = m.layout.valueOffsets.at({m.exif, exif::kTagMakerNote});
  MutableByteView note(m.tiff.data() + noteAt, 30, OrderOf(o));
  note.WriteBytes(0, "OLYMP\0\1\0", 8);
  note.WriteU16(8, 1);
  note.WriteU16(10, 0x0088);
  note.WriteU16(12, exif::kTypeLong);
  note.WriteU32(14, 1);
  note.WriteU32(18, previewAt);
  OutputLayout out;
  GainOrientation(&out, m.tiff, o);
  EXPECT_TRUE(out.pinned());
  const Bytes after = OutputBytes(out);
  EXPECT_EQ(Bytes(after.begin() + previewAt, after.begin() + previewAt + static_cast<long>(preview.size())), preview);
}

TEST_P(OutputLayoutTest, TheCheckRefusesALayoutThatNamesOtherBytes) {
  const CameraFile c = Camera({.orientation = 0, .thumbnailOrientation = 0});
  const ByteView source(c.tiff.data(), c.tiff.size(), OrderOf(GetParam()));
  OutputLayout out;
  GainOrientation(&out, c.tiff, GetParam());
  // A byte of a value, the maker note or the thumbnail changed behind the writer's back.
  for (auto [id, tag] : {std::pair{exif::kExifIfd, kTagDateTimeOriginal}, std::pair{exif::kExifIfd, exif::kTagMakerNote},
                         std::pair{exif::kIfd1, exif::kTagJpegInterchangeFormat}}) {
    IfdEntry e{tag};
    ASSERT_EQ(out.FindOutputEntry(id, &e), 1);
    out.block().data()[e.value + 3] ^= 0x40;
    EXPECT_NE(CheckEditedBlock(source, out), "") << tag;
    out.block().data()[e.value + 3] ^= 0x40;
  }
  EXPECT_EQ(CheckEditedBlock(source, out), "");
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
      CheckEditedBlock(ByteView(cut.data(), cut.size(), OrderOf(GetParam())), out);
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
      CheckEditedBlock(ByteView(bad.data(), bad.size(), OrderOf(GetParam())), out);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, OutputLayoutTest, ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) { return info.param == Order::Little ? "II" : "MM"; });

}  // namespace
}  // namespace lf::edit
