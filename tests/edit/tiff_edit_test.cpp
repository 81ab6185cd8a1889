// SPDX-License-Identifier: MIT
// Orientation edits of TIFF files, whose image data lies in strips that the rewrite moves behind
// the new EXIF block: after the edit every strip must still be found by its StripOffsets.
#include <gtest/gtest.h>

#include "exif/edit/orientation_date.h"
#include "exif/model/exif_reader.h"
#include "tests/support/edit_fixtures.h"
#include "tests/support/exiftool_dump.h"

namespace lf::edit {
namespace {

using test::Bytes;
using test::Order;
using test::TiffLayout;

// The image data as the file's own StripOffsets and StripByteCounts name it.
Bytes StripsOf(const Bytes& file) {
  const ByteView view(file.data(), file.size(), file[0] == 'I' ? exif::kLittleEndian : exif::kBigEndian);
  RawDirectory ifd0;
  if (!LocateRawDirectory(view, view.ReadU32(4), &ifd0)) return {};
  IfdEntry offsets, counts;
  if (!FindRawEntry(view, ifd0, exif::kTagStripOffsets, &offsets) ||
      !FindRawEntry(view, ifd0, exif::kTagStripByteCounts, &counts) || offsets.count != counts.count) {
    return {};
  }
  Bytes strips;
  for (uint32_t i = 0; i < offsets.count; ++i) {
    const uint32_t at = offsets.count == 1 ? offsets.value : view.ReadU32(offsets.value + 4 * i);
    const uint32_t n = counts.count == 1 ? counts.value : view.ReadU32(counts.value + 4 * i);
    if (!view.Contains(at, n)) return {};
    strips.insert(strips.end(), file.begin() + at, file.begin() + at + n);
  }
  return strips;
}

struct TiffCase {
  Order order;
  bool stripsFirst;
  uint16_t orientation;
  bool thumbnail = false;  // IFD1 holds a JPEG thumbnail, without Orientation
};

class TiffEditTest : public ::testing::TestWithParam<TiffCase> {};

TEST_P(TiffEditTest, RebuildMovesTheStripsAndKeepsThemIntact) {
  const TiffCase c = GetParam();
  const test::TiffFile tiff =
      test::MakeTiffFile(c.order, c.orientation, 3, c.stripsFirst, test::TiffMakerNote::kNone,
                          c.thumbnail);
  ASSERT_EQ(StripsOf(tiff.file), tiff.strips);
  test::TempDir dir;
  const std::string src = dir.File("s.tif"), dst = dir.File("d.tif");
  test::WriteFile(src, tiff.file);
  // No thumbnail Orientation to patch: only the rebuild can do it.
  EXPECT_EQ(SetOrientation(dst, src, 3, 0), E_FAIL);
  ASSERT_EQ(SetOrientation(dst, src, 3, 1), S_OK);
  const Bytes written = test::ReadFile(dst);
  EXPECT_EQ(StripsOf(written), tiff.strips);
  exif::ExifReader r(dst.c_str(), true);
  ASSERT_TRUE(r.IsExifTiff());
  IfdEntry o{exif::kTagOrientation};
  ASSERT_EQ(r.FindEntry(exif::kIfd0, &o), 1);
  EXPECT_EQ(o.value, 3u);
  char text[24] = {};
  IfdEntry date{kTagDateTimeOriginal};
  ASSERT_EQ(r.FindEntry(exif::kExifIfd, &date), 1);
  EXPECT_EQ(r.ReadEntryValue(date, text, 20), 20u);
  EXPECT_STREQ(text, "2020:01:02 03:04:05");
  if (c.thumbnail) {
    // The thumbnail follows the main image and keeps its bytes, as ExifTool reads them too.
    IfdEntry thumb{exif::kTagOrientation};
    ASSERT_EQ(r.FindEntry(exif::kIfd1, &thumb), 1);
    EXPECT_EQ(thumb.value, 3u);
    const test::ExifToolDump dump = test::RunExifTool({src, dst});
    auto image = [&](const std::string& f) {
      const auto file = dump.find(f);
      if (file == dump.end()) return std::string();
      const auto at = file->second.find("IFD1:ThumbnailImage");
      return at == file->second.end() ? std::string() : at->second;
    };
    if (dump.size() == 2) {
      EXPECT_FALSE(image(src).empty());
      EXPECT_EQ(image(dst), image(src));
    }
  }
  if (!test::ExpectNoNewIssues(src, dst)) GTEST_SKIP() << "exiftool is not installed";
  // The rewritten file edits again, in place.
  ASSERT_EQ(SetOrientation(dst, dst, 1, 1), S_OK);
  EXPECT_EQ(StripsOf(test::ReadFile(dst)), tiff.strips);
}

TEST(TiffEditRefusalTest, AFileWhoseRestCannotBeCarriedIsNotRebuilt) {
  test::TempDir dir;
  const std::string f = dir.File("pages.tif");
  // A second page in IFD1: its strips lie outside the EXIF block and would be lost.
  test::TiffFile tiff = test::MakeTiffFile(Order::Little, 0);
  test::TiffBuilder t(Order::Little);
  const int exif = t.AddDirectory(), page = t.AddDirectory();
  const int strip = t.AddBlob(tiff.strips);
  t.Ifd0().Long(0x0100, {8}).Long(0x0101, {6}).Short(0x0102, {8, 8, 8}).Short(0x0103, {1}).Short(0x0106, {2});
  t.Ifd0().BlobOffset(0x0111, strip).Short(0x0115, {3}).Long(0x0116, {6}).BlobLength(0x0117, strip);
  t.Ifd0().Pointer(0x8769, exif).Next(page);
  t.Dir(exif).Undefined(0x9000, {'0', '2', '3', '0'});
  t.Dir(page).Long(0x0100, {8}).Long(0x0101, {6}).Short(0x0102, {8, 8, 8}).Short(0x0103, {1});
  t.Dir(page).Short(0x0106, {2}).BlobOffset(0x0111, strip).Short(0x0115, {3}).BlobLength(0x0117, strip);
  const Bytes file = t.Build();
  test::WriteFile(f, file);
  EXPECT_EQ(SetOrientation(f, f, 3, 1), E_FAIL);
  EXPECT_EQ(test::ReadFile(f), file);

}

TEST(TiffEditRefusalTest, ADirectoryReachedThroughAnUnfollowedPointerKeepsItsPlace) {
  // A JPEG whose IFD0 reaches a directory through SubIFDs, which the editor does not follow: the
  // rebuild leaves every byte where it was, so the pointer still names the directory.
  test::TempDir dir;
  test::TiffBuilder j(Order::Big);
  const int jexif = j.AddDirectory(), sub = j.AddDirectory();
  j.Ifd0().Ascii(0x010F, "Kestrelon").Pointer(0x014A, sub).Pointer(0x8769, jexif);
  j.Dir(jexif).Undefined(0x9000, {'0', '2', '3', '0'});
  j.Dir(sub).Long(0x0100, {4}).Rational(0x011A, {{1, 2}});
  TiffLayout layout;
  const Bytes tiff = j.Build(&layout);
  test::JpegBuilder jb;
  const Bytes jpeg = jb.Soi().App1Exif(tiff).BodyOf(test::EncodeJpeg(8, 8)).Build();
  const std::string g = dir.File("sub.jpg");
  test::WriteFile(g, jpeg);
  ASSERT_EQ(SetOrientation(g, g, 3, 1), S_OK);
  exif::ExifReader r(g.c_str(), true);
  IfdEntry pointer{0x014A};
  ASSERT_EQ(r.FindEntry(exif::kIfd0, &pointer), 1);
  const uint32_t at = layout.directoryOffsets[static_cast<size_t>(sub)];
  EXPECT_EQ(pointer.value, at);
  const size_t subBytes = 2 + 2 * 12 + 4 + 8;
  ASSERT_GE(r.Block().size(), at + subBytes);
  EXPECT_EQ(Bytes(r.Block().data() + at, r.Block().data() + at + subBytes), test::Slice(tiff, at, subBytes));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TiffEditTest,
    ::testing::Values(TiffCase{Order::Little, false, 6}, TiffCase{Order::Big, false, 0},
                      TiffCase{Order::Little, true, 0}, TiffCase{Order::Big, true, 6},
                      TiffCase{Order::Little, false, 6, true}, TiffCase{Order::Big, true, 0, true}),
    [](const auto& info) {
      const TiffCase& c = info.param;
      return std::string(c.order == Order::Little ? "II" : "MM") + (c.stripsFirst ? "_StripsFirst" : "_StripsLast") +
             (c.orientation ? "_WithOrientation" : "_WithoutOrientation") + (c.thumbnail ? "_Thumbnail" : "");
    });

}  // namespace
}  // namespace lf::edit
