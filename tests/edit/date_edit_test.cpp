// SPDX-License-Identifier: MIT
// SetDateTimeOriginal: the 20-byte date text is replaced where it stands (keeping the old text's
// separators), IFD0 DateTime is stamped, and nothing else of the file changes.
#include <gtest/gtest.h>

#include "exif/edit/orientation_date.h"
#include "exif/model/exif_reader.h"
#include "tests/support/edit_fixtures.h"

namespace lf::edit {
namespace {

using test::Bytes;
using test::Slice;

constexpr auto Date = &test::MakeDate<ExifDateTime>;

class DateEditTest : public ::testing::TestWithParam<test::Order> {
 protected:
  test::TempDir dir_;
};

TEST_P(DateEditTest, ReplacesTheTextInPlaceKeepingItsSeparators) {
  const test::CameraFile c = test::MakeCameraFile({.order = GetParam(), .dateTimeOriginal = "2019/03/04 05.06.07"});
  const std::string f = dir_.File("a.jpg");
  test::WriteFile(f, c.file);
  ASSERT_EQ(SetDateTimeOriginal(f, Date(2024, 2, 29, 23, 59, 58)), S_OK);
  const Bytes after = test::ReadFile(f);
  const size_t original = c.tiffBase + c.layout.valueOffsets.at({c.exif, kTagDateTimeOriginal});
  const size_t digitized = c.tiffBase + c.layout.valueOffsets.at({c.exif, kTagDateTimeDigitized});
  const size_t stamp = c.tiffBase + c.layout.valueOffsets.at({0, kTagDateTime});
  const Bytes text = Slice(after, original, 20);
  EXPECT_EQ(std::string(text.begin(), text.end() - 1), "2024/02/29 23.59.58");
  EXPECT_EQ(text.back(), 0);
  // DateTimeDigitized and SubSecTimeOriginal are not touched.
  EXPECT_EQ(Slice(after, digitized, 20), Slice(c.file, digitized, 20));
  for (const auto& [begin, end] : test::DifferingRanges(c.file, after)) {
    EXPECT_TRUE((begin >= original && end <= original + 19) || (begin >= stamp && end <= stamp + 19))
        << "bytes " << begin << ".." << end << " changed";
  }
  const auto issues = test::ValidationIssues(f);
  if (!issues.count("exiftool missing")) {
    test::WriteFile(dir_.File("orig.jpg"), c.file);
    EXPECT_TRUE(test::NewIssues(test::ValidationIssues(dir_.File("orig.jpg")), issues).empty());
  }
}

TEST_P(DateEditTest, RefusesInvalidDatesAndMissingOrOddTexts) {
  const test::CameraFile c = test::MakeCameraFile({.order = GetParam()});
  const std::string f = dir_.File("a.jpg");
  test::WriteFile(f, c.file);
  // The calendar rule itself is platform_test's.
  EXPECT_EQ(SetDateTimeOriginal(f, Date(2023, 2, 29, 1, 2, 3)), E_INVALIDARG);
  EXPECT_EQ(test::ReadFile(f), c.file);

  // A DateTimeOriginal of 19 bytes (no terminator) is not a date text this edit may replace.
  test::TiffBuilder t(GetParam() == test::Order::Little ? test::Order::Little : test::Order::Big);
  const int exif = t.AddDirectory();
  t.Ifd0().Ascii(0x010F, "Kestrelon").Pointer(0x8769, exif);
  t.Dir(exif).Data(kTagDateTimeOriginal, test::kAscii,
                   Bytes{'2', '0', '2', '0', ':', '0', '1', ':', '0', '1', ' ', '0', '0', ':', '0', '0', ':', '0', '0'});
  test::JpegBuilder j;
  const Bytes odd = j.Soi().App1Exif(t.Build()).BodyOf(test::EncodeJpeg(8, 8)).Build();
  test::WriteFile(f, odd);
  EXPECT_EQ(SetDateTimeOriginal(f, Date(2023, 1, 1, 1, 2, 3)), E_FAIL);
  EXPECT_EQ(test::ReadFile(f), odd);

  // Without DateTimeOriginal nothing is added.
  test::TiffBuilder none;
  const int e2 = none.AddDirectory();
  none.Ifd0().Pointer(0x8769, e2);
  none.Dir(e2).Undefined(0x9000, {'0', '2', '3', '0'});
  test::JpegBuilder j2;
  const Bytes bare = j2.Soi().App1Exif(none.Build()).BodyOf(test::EncodeJpeg(8, 8)).Build();
  test::WriteFile(f, bare);
  EXPECT_EQ(SetDateTimeOriginal(f, Date(2023, 1, 1, 1, 2, 3)), E_FAIL);
  EXPECT_EQ(test::ReadFile(f), bare);

  // A JFIF file is not an EXIF file.
  test::WriteFile(f, test::MakeCameraJpeg({.withJfif = true}));
  EXPECT_EQ(SetDateTimeOriginal(f, Date(2023, 1, 1, 1, 2, 3)), E_NO_EXIF);
}

TEST_P(DateEditTest, EntriesArePatchedInTheFileWhenNoBlockIsLoaded) {
  const test::CameraFile c = test::MakeCameraFile({.order = GetParam()});
  const std::string f = dir_.File("a.jpg");
  test::WriteFile(f, c.file);
  {
    ExifWriter writer(f.c_str(), false);
    ASSERT_TRUE(writer.IsExif());
    ASSERT_FALSE(writer.HasBlock());
    EXPECT_EQ(writer.PatchEntry(exif::kIfd0, {exif::kTagOrientation, exif::kTypeShort, 1, 2}), 1);
    EXPECT_EQ(writer.PatchEntry(exif::kIfd0, {0x0110 + 0x7000, exif::kTypeShort, 1, 2}), 0);
    EXPECT_EQ(writer.PatchEntry(5, {exif::kTagOrientation, exif::kTypeShort, 1, 2}), -1);
    // The date and its sub-second text, each over its old value.
    EXPECT_TRUE(WriteDateTimeString(writer, 0, 16, "1999:12:31 23:59:58", "77"));
    EXPECT_FALSE(WriteDateTimeString(writer, 1, 16, "1999:12:31 23:59:58", ""));
  }
  const Bytes after = test::ReadFile(f);
  ASSERT_EQ(after.size(), c.file.size());
  const size_t o0 = c.tiffBase + c.layout.entryOffsets.at({0, exif::kTagOrientation}) + 8;
  EXPECT_EQ(after[o0] + after[o0 + 1], 2);
  const size_t date = c.tiffBase + c.layout.valueOffsets.at({c.exif, kTagDateTimeOriginal});
  const std::string text = "1999:12:31 23:59:58";
  EXPECT_EQ(Slice(after, date, 19), Bytes(text.begin(), text.end()));
  const size_t subsec = c.tiffBase + c.layout.entryOffsets.at({c.exif, kTagSubSecTimeOriginal}) + 8;
  EXPECT_EQ(Slice(after, subsec, 3), (Bytes{'7', '7', 0}));
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, DateEditTest, ::testing::Values(test::Order::Little, test::Order::Big),
                         [](const auto& info) { return info.param == test::Order::Little ? "II" : "MM"; });

}  // namespace
}  // namespace lf::edit
