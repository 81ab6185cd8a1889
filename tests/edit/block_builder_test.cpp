// SPDX-License-Identifier: MIT
// EXIF blocks built from scratch: defaults and generated values, and the sources and thumbnails
// the builder refuses (the files built are judged through Encode and the corpus edits).
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "exif/edit/exif_writer.h"
#include "exif/model/date_text.h"
#include "platform/clock.h"
#include "tests/support/edit_fixtures.h"

namespace lf::edit {
namespace {

using test::Bytes;
using test::Ifd;
using test::Order;

// A JPEG picture with an EXIF APP1 in `order`: IFD0 with Make, Orientation 6 and pointers to an
// Exif IFD (ExifVersion `version` unless empty, DateTimeDigitized when `digitized`) and a GPS IFD.
Bytes SourceJpeg(Order order, const std::string& version, bool digitized) {
  test::TiffBuilder t(order);
  const int exif = t.AddDirectory();
  const int gps = t.AddDirectory();
  t.Ifd0()
      .Ascii(0x010F, "Kestrelon")
      .Short(exif::kTagOrientation, {6})
      .Pointer(0x8769, exif)
      .Pointer(0x8825, gps);
  Ifd& ex = t.Dir(exif);
  ex.Rational(0x829A, {{1, 250}});
  if (!version.empty()) ex.Undefined(exif::kTagExifVersion, Bytes(version.begin(), version.end()));
  if (digitized) ex.Ascii(exif::kTagDateTimeDigitized, "2019:01:02 03:04:05");
  t.Dir(gps).Values(0x0000, test::kByte, {2, 2, 0, 0});
  return test::JpegBuilder().Soi().App1Exif(t.Build()).BodyOf(test::EncodeJpeg(64, 48)).Build();
}

// An RGB TIFF in one strip; without `complete` it lacks RowsPerStrip, which no block can do
// without.
Bytes TiffPicture(Order order, uint32_t width, uint32_t height, bool complete = true) {
  test::TiffBuilder t(order);
  Bytes pixels(width * height * 3);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7);
  const int strip = t.AddBlob(pixels);
  t.Ifd0().Long(0x0100, {width}).Long(0x0101, {height}).Short(0x0102, {8, 8, 8}).Short(0x0103, {1});
  t.Ifd0().Short(0x0106, {2}).BlobOffset(0x0111, strip).Short(0x0115, {3});
  if (complete) t.Ifd0().Long(0x0116, {height});
  t.Ifd0()
      .BlobLength(0x0117, strip)
      .Rational(0x011A, {{96, 1}})
      .Rational(0x011B, {{96, 1}})
      .Short(0x0128, {2});
  return t.Build();
}

struct Params {
  LfExifWriteParams p{};
  explicit Params(const char* make = "", const char* software = "", uint16_t year = 2024) {
    p.exifVersion = LF_EXIF_VERSION_0210;
    EXPECT_EQ(InitExifWriteParams(&p), 1);
    p.make.text = const_cast<char*>(make);
    p.software.text = const_cast<char*>(software);
    p.dateTimeOriginal = {year, 5, 0, 6, 7, 8, 9, 0};
  }
};

IfdEntry Entry(ExifWriter& w, DirectoryId id, uint16_t tag) {
  IfdEntry e{tag};
  if (w.output().FindOutputEntry(id, &e) != exif::kFound) return {};
  return e;
}
std::string Ascii(ExifWriter& w, DirectoryId id, uint16_t tag) {
  const IfdEntry e = Entry(w, id, tag);
  if (e.type != exif::kTypeAscii) return "(none)";
  if (e.count <= 4) return std::string(reinterpret_cast<const char*>(&e.value), e.count - 1);
  const ByteView b = w.output().View();
  return std::string(reinterpret_cast<const char*>(b.Pointer(e.value, e.count)), e.count - 1);
}
std::string Chars(const IfdEntry& e) {
  return std::string(reinterpret_cast<const char*>(&e.value), 4);
}

std::string Stamp(const ExifDateTime& t) {
  std::string text = "    :  :     :  :  ";
  EXPECT_TRUE(exif::FormatExifDateTime(&text, nullptr, t));
  return text;
}
// The local time now and a moment later, as date stamps: a value stamped in between is one of them.
std::set<std::string> StampsAround() {
  ExifDateTime t{};
  EXPECT_TRUE(platform::LocalTime(&t));
  std::set<std::string> s{Stamp(t)};
  ++t.second;  // good enough unless a minute turns over, which the next reading catches
  s.insert(Stamp(t));
  EXPECT_TRUE(platform::LocalTime(&t));
  s.insert(Stamp(t));
  return s;
}

class BlockBuilderTest : public ::testing::TestWithParam<Order> {};

TEST_P(BlockBuilderTest, DefaultsCompleteWhatTheSourceLacksAndGeneratedValuesAreTheirs) {
  test::TempDir dir;
  const std::string src = dir.File("src.jpg");
  struct Case {
    std::string version;  // the source's ExifVersion ("" = none)
    std::string expected;
  };
  for (const Case& c : {Case{"", "0210"}, Case{"0200", "0210"}, Case{"0220", "0220"}}) {
    SCOPED_TRACE(c.version);
    test::WriteFile(src, SourceJpeg(GetParam(), c.version, c.version == "0220"));
    ExifWriter w(src.c_str(), false);
    ASSERT_EQ(w.BuildExifBlock("", Params().p, nullptr), 1);
    EXPECT_EQ(Chars(Entry(w, exif::kExifIfd, exif::kTagExifVersion)), c.expected);
    EXPECT_FALSE(w.HasOutputThumbnail());
    EXPECT_EQ(Entry(w, exif::kExifIfd, exif::kTagInteropIfdPointer).tag,
              0);  // no thumbnail, no Interop
  }

  // The source has Make but no Model: Model is added though empty; empty strings add nothing else.
  test::WriteFile(src, SourceJpeg(GetParam(), "", false));
  const std::set<std::string> before = StampsAround();
  ExifWriter w(src.c_str(), false);
  ASSERT_EQ(w.BuildExifBlock("", Params().p, nullptr), 1);
  std::set<std::string> now = StampsAround();
  now.insert(before.begin(), before.end());
  EXPECT_EQ(Ascii(w, exif::kIfd0, 0x010F), "Kestrelon");
  EXPECT_EQ(Entry(w, exif::kIfd0, 0x0110).count, 1u);
  EXPECT_EQ(Ascii(w, exif::kIfd0, 0x0110), "");
  EXPECT_EQ(Entry(w, exif::kIfd0, 0x010E).tag, 0);
  EXPECT_EQ(Entry(w, exif::kIfd0, 0x0131).tag, 0);
  EXPECT_EQ(Entry(w, exif::kIfd0, 0x0128).value, 2u);
  for (uint16_t tag : {0x011A, 0x011B}) {
    const IfdEntry r = Entry(w, exif::kIfd0, tag);
    ASSERT_EQ(r.type, exif::kTypeRational);
    EXPECT_EQ(w.output().View().ReadU32(r.value), 72u);
    EXPECT_EQ(w.output().View().ReadU32(r.value + 4), 1u);
  }
  EXPECT_EQ(Ascii(w, exif::kExifIfd, kTagDateTimeOriginal), "2024:05:06 07:08:09");
  EXPECT_TRUE(now.count(Ascii(w, exif::kExifIfd, kTagDateTimeDigitized)))
      << Ascii(w, exif::kExifIfd, kTagDateTimeDigitized);
  EXPECT_TRUE(now.count(Ascii(w, exif::kIfd0, kTagDateTime)))
      << Ascii(w, exif::kIfd0, kTagDateTime);
  EXPECT_EQ(Entry(w, exif::kIfd0, exif::kTagGpsIfdPointer).tag, 0);

  // Without a date of its own the block has no IFD0 DateTime; a source's own date stays.
  test::WriteFile(src, SourceJpeg(GetParam(), "0230", true));
  now = StampsAround();
  ExifWriter undated(src.c_str(), false);
  ASSERT_EQ(undated.BuildExifBlock("", Params("", "", 0).p, nullptr), 1);
  const std::set<std::string> later = StampsAround();
  now.insert(later.begin(), later.end());
  EXPECT_EQ(Entry(undated, exif::kIfd0, kTagDateTime).tag, 0);
  EXPECT_EQ(Ascii(undated, exif::kExifIfd, kTagDateTimeDigitized), "2019:01:02 03:04:05");
  EXPECT_TRUE(
      now.count(Ascii(undated, exif::kExifIfd, kTagDateTimeOriginal)));  // year 0: taken now

  // Parameters of another version are refused, and left as they were.
  Params other("Lumen");
  other.p.exifVersion = 0x30323230;
  EXPECT_EQ(InitExifWriteParams(&other.p), 0);
  EXPECT_STREQ(other.p.make.text, "Lumen");
  ExifWriter refused(src.c_str(), false);
  EXPECT_EQ(refused.BuildExifBlock("", other.p, nullptr), 0);
  EXPECT_FALSE(refused.IsBuilt());
}

TEST(BlockBuilderJfifTest, ResolutionFollowsTheJfifDensityAndItsUnit) {
  test::TempDir dir;
  const std::string src = dir.File("src.jpg");
  for (uint8_t unit : {1, 2}) {
    const Bytes jfif = {'J',  'F',  'I',  'F',  0,    1, 1,
                        unit, 0x01, 0x2C, 0x00, 0x96, 0, 0};  // 300 × 150
    test::WriteFile(
        src,
        test::JpegBuilder().Soi().Segment(0xE0, jfif).BodyOf(test::EncodeJpeg(32, 16)).Build());
    ExifWriter w(src.c_str(), false);
    ASSERT_EQ(w.BuildExifBlock("", Params().p, nullptr), 1);
    const ByteView b = w.output().View();
    EXPECT_EQ(b.ReadU32(Entry(w, exif::kIfd0, 0x011A).value), 300u);
    EXPECT_EQ(b.ReadU32(Entry(w, exif::kIfd0, 0x011B).value), 150u);
    EXPECT_EQ(Entry(w, exif::kIfd0, 0x0128).value, unit == 2 ? 3u : 2u);
  }
}

TEST_P(BlockBuilderTest, ATiffLackingARequiredEntryGetsNoBlockAtAll) {
  test::TempDir dir;
  const std::string src = dir.File("src.tif");
  test::WriteFile(src, TiffPicture(GetParam(), 8, 4, false));  // no RowsPerStrip
  ExifWriter w(src.c_str(), false);
  ASSERT_TRUE(w.IsTiffSource());
  // A header without IFD0 would make a TIFF without its image.
  EXPECT_EQ(w.BuildExifBlock("", Params().p, nullptr), 0);
  EXPECT_FALSE(w.IsBuilt());
  test::WriteFile(src, TiffPicture(GetParam(), 8, 4));
  ExifWriter complete(src.c_str(), false);
  EXPECT_EQ(complete.BuildExifBlock("", Params().p, nullptr), 1);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, BlockBuilderTest, ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) {
                           return info.param == Order::Little ? "Little" : "Big";
                         });

}  // namespace
}  // namespace lf::edit
