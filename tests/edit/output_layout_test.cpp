// SPDX-License-Identifier: MIT
// The output block's internals no export reaches alone: the emitter's spacing, the check that
// refuses a damaged block, and hostile blocks (rewrites are judged by the edit exports).
#include <gtest/gtest.h>

#include <deque>

#include "exif/edit/layout_check.h"
#include "exif/edit/output_layout.h"
#include "tests/support/edit_fixtures.h"

namespace lf::edit {
namespace {

using test::Bytes;
using test::CameraFile;
using test::Order;

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

class OutputLayoutTest : public ::testing::TestWithParam<Order> {
 protected:
  CameraFile Camera(test::CameraRecipe recipe = {}) {
    recipe.order = GetParam();
    return test::MakeCameraFile(recipe);
  }
};

// Delivers an ASCII text for an added entry of that tag; nothing for other tags.
class TextValue : public ValueProvider {
 public:
  TextValue(uint16_t tag, std::string text) : tag_(tag), text_(std::move(text)) {}
  uint32_t ValueSize(const IfdEntry& e) override {
    return e.tag == tag_ ? static_cast<uint32_t>(text_.size() + 1) : 0;
  }
  uint32_t DeliverValue(const IfdEntry& e, MutableByteView dest) override {
    return e.tag == tag_ && dest.WriteBytes(0, text_.c_str(), text_.size() + 1)
               ? static_cast<uint32_t>(text_.size() + 1)
               : 0;
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
    uint32_t ValueSize(const IfdEntry& e) override {
      return make.ValueSize(e) + software.ValueSize(e);
    }
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
    ASSERT_EQ(EmitDirectory(&out, OrderOf(GetParam()), row.id, &plan, 0x1234, &values, row.spacing),
              8u);
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

TEST_P(OutputLayoutTest, TheCheckRefusesALayoutThatNamesOtherBytes) {
  const CameraFile c = Camera({.orientation = 0, .thumbnailOrientation = 0});
  const ByteView source(c.tiff.data(), c.tiff.size(), OrderOf(GetParam()));
  OutputLayout out;
  GainOrientation(&out, c.tiff, GetParam());
  // A byte of a value, the maker note or the thumbnail changed behind the writer's back.
  for (auto [id, tag] : {std::pair{exif::kExifIfd, kTagDateTimeOriginal},
                         std::pair{exif::kExifIfd, exif::kTagMakerNote},
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
      (void)out.MeasureImageData(exif::kIfd1, &size);  // any answer: only the check must hold
      CheckEditedBlock(ByteView(bad.data(), bad.size(), OrderOf(GetParam())), out);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, OutputLayoutTest, ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) {
                           return info.param == Order::Little ? "II" : "MM";
                         });

}  // namespace
}  // namespace lf::edit
