// SPDX-License-Identifier: MIT
// EXIF blocks built from scratch for a new file, and thumbnails attached to and dropped from a
// copied block: the directories in their order on word boundaries, the defaults and generated
// values, the thumbnail directly behind the block, and the files made with them read by ExifTool.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "exif/edit/exif_writer.h"
#include "exif/model/block_structure.h"
#include "exif/model/date_text.h"
#include "platform/clock.h"
#include "tests/support/edit_fixtures.h"
#include "tests/support/exiftool_dump.h"

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
  t.Ifd0().Ascii(0x010F, "Kestrelon").Short(exif::kTagOrientation, {6}).Pointer(0x8769, exif).Pointer(0x8825, gps);
  Ifd& ex = t.Dir(exif);
  ex.Rational(0x829A, {{1, 250}});
  if (!version.empty()) ex.Undefined(exif::kTagExifVersion, Bytes(version.begin(), version.end()));
  if (digitized) ex.Ascii(exif::kTagDateTimeDigitized, "2019:01:02 03:04:05");
  t.Dir(gps).Values(0x0000, test::kByte, {2, 2, 0, 0});
  return test::JpegBuilder().Soi().App1Exif(t.Build()).BodyOf(test::EncodeJpeg(64, 48)).Build();
}

// A TIFF of width × height RGB pixels in one strip behind its directory.
// An RGB TIFF in one strip; without `complete` it lacks RowsPerStrip, which no block can do without.
Bytes TiffPicture(Order order, uint32_t width, uint32_t height, bool complete = true) {
  test::TiffBuilder t(order);
  Bytes pixels(width * height * 3);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7);
  const int strip = t.AddBlob(pixels);
  t.Ifd0().Long(0x0100, {width}).Long(0x0101, {height}).Short(0x0102, {8, 8, 8}).Short(0x0103, {1});
  t.Ifd0().Short(0x0106, {2}).BlobOffset(0x0111, strip).Short(0x0115, {3});
  if (complete) t.Ifd0().Long(0x0116, {height});
  t.Ifd0().BlobLength(0x0117, strip).Rational(0x011A, {{96, 1}}).Rational(0x011B, {{96, 1}}).Short(0x0128, {2});
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

// Where the directories of a built block lie, each located inside it (the emitter lays each one
// on word boundaries and reads it back).
struct Walk {
  uint32_t ifd0 = 0, exif = 0, gps = 0, interop = 0, ifd1 = 0;
};
Walk CheckLayout(ByteView b) {
  const exif::BlockStructure s = exif::Locate(b);
  EXPECT_TRUE(s.header.valid() && s.ifd0.located && s.ifd0.hasLink);
  for (const exif::LocatedDirectory* d : {&s.exif, &s.gps, &s.interop, &s.ifd1}) {
    EXPECT_TRUE(d->named == 0 || (d->located && d->hasLink)) << d->named;
  }
  return {s.ifd0.named, s.exif.named, s.gps.named, s.interop.named, s.ifd1.named};
}

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
std::string Chars(const IfdEntry& e) { return std::string(reinterpret_cast<const char*>(&e.value), 4); }

std::string Stamp(const ExifDateTime& t) {
  std::string text = "    :  :     :  :  ";
  exif::FormatExifDateTime(&text, nullptr, t);
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

TEST_P(BlockBuilderTest, JpegSourceGetsEveryDirectoryInOrderWithTheThumbnailBehind) {
  test::TempDir dir;
  const std::string src = dir.File("src.jpg"), thm = dir.File("thm.jpg"), dst = dir.File("dst.jpg");
  const Bytes source = SourceJpeg(GetParam(), "0200", false);
  const Bytes thumbnail = test::EncodeJpeg(160, 120);  // with its JFIF APP0
  test::WriteFile(src, source);
  test::WriteFile(thm, thumbnail);
  Params params("Lumen", "lf 1.0");

  ExifWriter w(src.c_str(), false);
  ASSERT_EQ(w.BuildExifBlock(thm, params.p, nullptr), 1);
  const ByteView b = w.output().View();
  const Walk walk = CheckLayout(b);
  EXPECT_EQ(walk.ifd0, 8u);
  EXPECT_EQ(walk.gps, 0u);  // no GPS record: the source's GPS pointer does not follow
  EXPECT_LT(walk.ifd0, walk.exif);
  EXPECT_LT(walk.exif, walk.interop);
  EXPECT_LT(walk.interop, walk.ifd1);
  EXPECT_EQ(Ascii(w, exif::kInteropIfd, 0x0001), "R98");
  EXPECT_EQ(Chars(Entry(w, exif::kInteropIfd, 0x0002)), "0100");
  // The thumbnail: the JPEG without its APP segments, directly behind the block.
  EXPECT_EQ(Entry(w, exif::kIfd1, exif::kTagJpegInterchangeFormat).value, w.output().outLength());
  EXPECT_EQ(Entry(w, exif::kIfd1, exif::kTagJpegInterchangeFormatLength).value, w.output().thumbnailData().length());
  const Bytes stored(w.output().thumbnailData().data(), w.output().thumbnailData().data() + w.output().thumbnailData().length());
  EXPECT_EQ(stored, test::StripAppSegments(thumbnail));
  EXPECT_EQ(Entry(w, exif::kIfd1, 0x0103).value, 6u);
  EXPECT_EQ(Entry(w, exif::kIfd1, exif::kTagOrientation).value, 6u);  // IFD0's
  EXPECT_EQ(Entry(w, exif::kExifIfd, 0xA002).value, 64u);
  EXPECT_EQ(Entry(w, exif::kExifIfd, 0xA003).value, 48u);

  ASSERT_EQ(WriteToFile(w, dst, Probe::kDestination), S_OK);
  const Bytes written = test::ReadFile(dst);
  EXPECT_EQ(test::MainScan(written), test::MainScan(source));
  const auto issues = test::ValidationIssues(dst);
  if (issues.count("exiftool missing")) GTEST_SKIP() << "exiftool is not installed";
  EXPECT_TRUE(issues.empty()) << ::testing::PrintToString(issues);
  const test::ExifToolDump dump = test::RunExifTool({dst});
  ASSERT_EQ(dump.count(dst), 1u);
  const test::ExifToolTags& tags = dump.at(dst);
  EXPECT_EQ(tags.at("IFD0:Make"), "Kestrelon");
  EXPECT_EQ(tags.at("IFD0:Software"), "lf 1.0");
  EXPECT_EQ(tags.at("ExifIFD:ExifVersion"), "0210");
  EXPECT_EQ(tags.at("ExifIFD:DateTimeOriginal"), "2024:05:06 07:08:09");
  EXPECT_EQ(tags.at("InteropIFD:InteropIndex"), "R98");
  EXPECT_EQ(tags.at("IFD1:ThumbnailLength"), std::to_string(stored.size()));
  EXPECT_EQ(tags.count("GPS:GPSVersionID"), 0u);
}

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
    EXPECT_EQ(Entry(w, exif::kExifIfd, exif::kTagInteropIfdPointer).tag, 0);  // no thumbnail, no Interop
  }

  // The source has Make but no Model: Model is added though empty; empty strings add nothing else.
  test::WriteFile(src, SourceJpeg(GetParam(), "", false));
  const std::set<std::string> before = StampsAround();
  ExifWriter w(src.c_str(), false);
  ASSERT_EQ(w.BuildExifBlock("", Params().p, nullptr), 1);
  std::set<std::string> now = StampsAround();
  now.insert(before.begin(), before.end());
  CheckLayout(w.output().View());
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
  EXPECT_TRUE(now.count(Ascii(w, exif::kExifIfd, kTagDateTimeDigitized))) << Ascii(w, exif::kExifIfd, kTagDateTimeDigitized);
  EXPECT_TRUE(now.count(Ascii(w, exif::kIfd0, kTagDateTime))) << Ascii(w, exif::kIfd0, kTagDateTime);
  EXPECT_EQ(Entry(w, exif::kIfd0, exif::kTagGpsIfdPointer).tag, 0);

  // With a GPS record the pointer names the GPS IFD laid for it, or is not there at all.
  LfGpsRecord gps{};
  ExifWriter located(src.c_str(), false);
  ASSERT_EQ(located.BuildExifBlock("", Params().p, &gps), 1);
  const Walk walk = CheckLayout(located.output().View());
  const IfdEntry gpsPointer = Entry(located, exif::kIfd0, exif::kTagGpsIfdPointer);
  EXPECT_EQ(gpsPointer.tag != 0, located.output().outGps().offset != 0);
  EXPECT_EQ(gpsPointer.value, located.output().outGps().offset);
  if (walk.gps != 0) {
    EXPECT_GT(walk.gps, walk.exif);
  }

  // Without a date of its own the block has no IFD0 DateTime; a source's own date stays.
  test::WriteFile(src, SourceJpeg(GetParam(), "0230", true));
  now = StampsAround();
  ExifWriter undated(src.c_str(), false);
  ASSERT_EQ(undated.BuildExifBlock("", Params("", "", 0).p, nullptr), 1);
  const std::set<std::string> later = StampsAround();
  now.insert(later.begin(), later.end());
  EXPECT_EQ(Entry(undated, exif::kIfd0, kTagDateTime).tag, 0);
  EXPECT_EQ(Ascii(undated, exif::kExifIfd, kTagDateTimeDigitized), "2019:01:02 03:04:05");
  EXPECT_TRUE(now.count(Ascii(undated, exif::kExifIfd, kTagDateTimeOriginal)));  // year 0: taken now

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
    const Bytes jfif = {'J', 'F', 'I', 'F', 0, 1, 1, unit, 0x01, 0x2C, 0x00, 0x96, 0, 0};  // 300 × 150
    test::WriteFile(src, test::JpegBuilder().Soi().Segment(0xE0, jfif).BodyOf(test::EncodeJpeg(32, 16)).Build());
    ExifWriter w(src.c_str(), false);
    ASSERT_EQ(w.BuildExifBlock("", Params().p, nullptr), 1);
    const ByteView b = w.output().View();
    EXPECT_EQ(b.ReadU32(Entry(w, exif::kIfd0, 0x011A).value), 300u);
    EXPECT_EQ(b.ReadU32(Entry(w, exif::kIfd0, 0x011B).value), 150u);
    EXPECT_EQ(Entry(w, exif::kIfd0, 0x0128).value, unit == 2 ? 3u : 2u);
  }
}

TEST_P(BlockBuilderTest, TiffSourceGetsItsThumbnailStripsAndThenItsOwnBehindTheBlock) {
  test::TempDir dir;
  const std::string src = dir.File("src.tif"), thm = dir.File("thm.tif"), dst = dir.File("dst.tif");
  const test::TiffFile tiff = test::MakeTiffFile(GetParam(), 6);
  const Bytes thumbnail = TiffPicture(GetParam() == Order::Little ? Order::Big : Order::Little, 160, 120);
  test::WriteFile(src, tiff.file);
  test::WriteFile(thm, thumbnail);

  ExifWriter w(src.c_str(), false);
  ASSERT_EQ(w.BuildExifBlock(thm, Params("Lumen").p, nullptr), 1);
  const Walk walk = CheckLayout(w.output().View());
  ASSERT_NE(walk.ifd1, 0u);
  EXPECT_EQ(walk.interop, 0u);  // only JPEG files carry one
  EXPECT_EQ(Ascii(w, exif::kIfd0, 0x010F), "Kestrelon");
  const uint32_t end = w.output().outLength();
  EXPECT_EQ(Entry(w, exif::kIfd1, exif::kTagStripOffsets).value, end);
  EXPECT_EQ(w.output().thumbnailImageSize(), 160u * 120 * 3);
  ASSERT_EQ(WriteToFile(w, dst, Probe::kDestination), S_OK);

  const Bytes written = test::ReadFile(dst);
  const ByteView file(written.data(), written.size(), w.output().order());
  const uint32_t thumbStrip = Entry(w, exif::kIfd1, exif::kTagStripOffsets).value;
  EXPECT_EQ(test::Slice(written, thumbStrip, 160 * 120 * 3), Bytes(thumbnail.end() - 160 * 120 * 3, thumbnail.end()));
  const IfdEntry strips = Entry(w, exif::kIfd0, exif::kTagStripOffsets);
  ASSERT_GT(strips.count, 1u);
  EXPECT_EQ(file.ReadU32(strips.value), end + 160 * 120 * 3);  // behind the thumbnail
  EXPECT_EQ(test::Slice(written, end + 160 * 120 * 3, tiff.strips.size()), tiff.strips);

  if (!test::ExpectNoNewIssues(src, dst)) GTEST_SKIP() << "exiftool is not installed";
  const test::ExifToolDump dump = test::RunExifTool({dst});
  ASSERT_EQ(dump.count(dst), 1u);
  EXPECT_EQ(dump.at(dst).at("IFD1:ImageWidth"), "160");
  EXPECT_EQ(dump.at(dst).at("ExifIFD:ExifVersion"), "0230");

  // Dropped, the main image moves up behind the block; attached again, the file is the same.
  ASSERT_EQ(w.DropThumbnail(true), 1);
  EXPECT_EQ(w.output().outLength(), walk.ifd1);
  EXPECT_EQ(w.output().View().ReadU32(Entry(w, exif::kIfd0, exif::kTagStripOffsets).value), walk.ifd1);
  ASSERT_EQ(w.AttachThumbnail(thm, Params().p), 1);
  const std::string again = dir.File("again.tif");
  ASSERT_EQ(WriteToFile(w, again, Probe::kDestination), S_OK);
  EXPECT_EQ(test::ReadFile(again), written);

  // A copied TIFF block takes the thumbnail the same way, and keeps its strips whole.
  ExifWriter copy(src.c_str(), false);
  ASSERT_EQ(copy.CopyBlockForEdit(false, false), 1);
  ASSERT_EQ(copy.AttachThumbnail(thm, Params().p), 1);
  CheckLayout(copy.output().View());
  const std::string copied = dir.File("copied.tif");
  ASSERT_EQ(WriteToFile(copy, copied, Probe::kDestination), S_OK);
  const Bytes copiedFile = test::ReadFile(copied);
  const uint32_t copiedEnd = copy.output().outLength();
  EXPECT_EQ(test::Slice(copiedFile, copiedEnd, 160 * 120 * 3), Bytes(thumbnail.end() - 160 * 120 * 3, thumbnail.end()));
  EXPECT_EQ(test::Slice(copiedFile, copiedEnd + 160 * 120 * 3, tiff.strips.size()), tiff.strips);
  test::ExpectNoNewIssues(src, copied);
}

TEST_P(BlockBuilderTest, AThumbnailOfAnotherSizeGivesNoIfd1AndNoInterop) {
  test::TempDir dir;
  const std::string src = dir.File("src.jpg"), thm = dir.File("thm.jpg");
  test::WriteFile(src, SourceJpeg(GetParam(), "0220", false));
  test::WriteFile(thm, test::EncodeJpeg(160, 121));
  ExifWriter w(src.c_str(), false);
  ASSERT_EQ(w.BuildExifBlock(thm, Params().p, nullptr), 1);
  const Walk walk = CheckLayout(w.output().View());
  EXPECT_EQ(walk.ifd1, 0u);
  EXPECT_EQ(walk.interop, 0u);
  EXPECT_TRUE(w.output().thumbnailData().empty());
  EXPECT_EQ(w.OutputPayloadSize(), w.output().outLength());
  // Nor does a JPEG source take a TIFF thumbnail.
  test::WriteFile(thm, TiffPicture(GetParam(), 160, 120));
  ExifWriter tiffThumb(src.c_str(), false);
  ASSERT_EQ(tiffThumb.BuildExifBlock(thm, Params().p, nullptr), 1);
  EXPECT_FALSE(tiffThumb.HasOutputThumbnail());
}

TEST_P(BlockBuilderTest, WhatCannotBeCarriedWholeIsLeftOutAndTheFileStaysSound) {
  test::TempDir dir;
  const std::string src = dir.File("src.jpg"), thm = dir.File("thm.jpg"), dst = dir.File("dst.jpg");
  test::TiffBuilder t(GetParam());
  const int exif = t.AddDirectory();
  const int sub = t.AddDirectory();
  t.Ifd0().RawEntry(0x010E, test::kAscii, 40, 0x00FFFF00);  // its value lies beyond the file
  t.Ifd0().RawEntry(0x0110, test::kFloat, 1, 0x3F800000);   // a type whose value is not read
  t.Ifd0().Pointer(0x014A, sub).Pointer(0x8769, exif);      // SubIFDs name bytes of the source
  t.Dir(sub).Short(0x0100, {8});
  t.Dir(exif).Undefined(0x927C, Bytes(40, 7)).Ascii(0x9003, "2018:02:03 04:05:06");
  test::WriteFile(src, test::JpegBuilder().Soi().App1Exif(t.Build()).BodyOf(test::EncodeJpeg(32, 16)).Build());
  // A thumbnail file that ends before its scan.
  const Bytes thumbnail = test::EncodeJpeg(160, 120);
  test::WriteFile(thm, Bytes(thumbnail.begin(), thumbnail.end() - static_cast<std::ptrdiff_t>(test::MainScan(thumbnail).size())));

  ExifWriter w(src.c_str(), false);
  ASSERT_EQ(w.BuildExifBlock(thm, Params().p, nullptr), 1);
  const Walk walk = CheckLayout(w.output().View());
  EXPECT_EQ(walk.ifd1, 0u);
  EXPECT_EQ(Entry(w, exif::kIfd0, 0x010E).tag, 0);
  EXPECT_EQ(Entry(w, exif::kIfd0, 0x014A).tag, 0);
  EXPECT_EQ(Entry(w, exif::kIfd0, 0x0110).type, exif::kTypeAscii);  // the empty Model instead
  EXPECT_EQ(Entry(w, exif::kExifIfd, 0x927C).tag, 0);
  EXPECT_EQ(Ascii(w, exif::kExifIfd, kTagDateTimeOriginal), "2018:02:03 04:05:06");
  ASSERT_EQ(WriteToFile(w, dst, Probe::kDestination), S_OK);
  const auto issues = test::ValidationIssues(dst);
  if (issues.count("exiftool missing")) GTEST_SKIP() << "exiftool is not installed";
  EXPECT_TRUE(issues.empty()) << ::testing::PrintToString(issues);
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

TEST_P(BlockBuilderTest, AttachingAndDroppingAThumbnailReturnsTheCopiedBlockToWhatItWas) {
  test::TempDir dir;
  const std::string src = dir.File("src.jpg"), thm = dir.File("thm.jpg"), dst = dir.File("dst.jpg");
  test::CameraRecipe recipe;
  recipe.order = GetParam();
  const test::CameraFile camera = test::MakeCameraFile(recipe);
  test::WriteFile(src, camera.file);
  test::WriteFile(thm, test::EncodeJpeg(160, 120, 70));
  const Params params;

  ExifWriter w(src.c_str(), false);
  ASSERT_EQ(w.CopyBlockForEdit(false, false), 1);
  const Bytes copied(w.output().block().data(), w.output().block().data() + w.output().outLength());
  EXPECT_EQ(w.DropThumbnail(false), 0);  // nothing to drop
  ASSERT_EQ(w.AttachThumbnail(thm, params.p), 1);
  EXPECT_EQ(w.AttachThumbnail(thm, params.p), 0);  // one thumbnail only
  ASSERT_TRUE(w.HasOutputThumbnail());
  CheckLayout(w.output().View());
  EXPECT_EQ(Entry(w, exif::kIfd1, exif::kTagJpegInterchangeFormat).value, w.output().outLength());
  ASSERT_EQ(WriteToFile(w, dst, Probe::kDestination), S_OK);

  ASSERT_EQ(w.DropThumbnail(false), 1);
  EXPECT_FALSE(w.HasOutputThumbnail());
  EXPECT_TRUE(w.output().thumbnailData().empty());
  EXPECT_EQ(Bytes(w.output().block().data(), w.output().block().data() + w.output().outLength()), copied);

  if (!test::ExpectNoNewIssues(src, dst)) GTEST_SKIP() << "exiftool is not installed";
  const test::ExifToolDump dump = test::RunExifTool({dst});
  ASSERT_EQ(dump.count(dst), 1u);
  EXPECT_EQ(dump.at(dst).at("IFD1:ThumbnailLength"), std::to_string(test::StripAppSegments(test::ReadFile(thm)).size()));
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, BlockBuilderTest, ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) { return info.param == Order::Little ? "Little" : "Big"; });

}  // namespace
}  // namespace lf::edit
