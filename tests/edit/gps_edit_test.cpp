// SPDX-License-Identifier: MIT
// ReplaceExifGps adding, merging under the Exif version's GPS version, and removing GPS data.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "lumenframe/lumenframe.h"
#include "tests/support/edit_fixtures.h"

namespace lf::test {
namespace {

std::vector<uint16_t> GpsTags(const std::string& path) {
  std::vector<uint16_t> tags;
  for (uint16_t tag = 0; tag <= 0x1F; ++tag) {
    if (!ValueOf(path, LF_DIR_GPS, tag).empty()) tags.push_back(tag);
  }
  return tags;
}

// A JPEG with a thumbnail and GPSSatellites, which no record names; packed, its IFDs lie on odd
// offsets.
Bytes GpsJpeg(Order order, const std::string& exifVersion, bool withGps,
              Bytes gpsVersion = {2, 0, 0, 0}, bool packed = false) {
  TiffBuilder t(order);
  t.SetPacked(packed);
  const int exif = t.AddDirectory();
  if (packed) t.Ifd0().Ascii(0x010E, "A view");
  t.Ifd0().Ascii(0x010F, "Kestrelon").Ascii(0x0132, "2021:07:14 10:00:00").Pointer(0x8769, exif);
  t.Dir(exif)
      .Undefined(0x9000, Bytes(exifVersion.begin(), exifVersion.end()))
      .Ascii(0x9003, "2021:07:14 09:26:53");
  if (packed) t.Dir(exif).Ascii(0x9290, "123456").Ascii(0x9291, "654321");
  if (withGps) {
    const int gps = t.AddDirectory();
    t.Ifd0().Pointer(0x8825, gps);
    t.Dir(gps).Data(0x0000, kByte, gpsVersion).Ascii(0x0001, "S").Ascii(0x0008, "07 satellites");
  }
  const int ifd1 = t.AddDirectory();
  t.Ifd0().Next(ifd1);
  const int blob = t.AddBlob(StripAppSegments(EncodeJpeg(16, 12, 75)));
  t.Dir(ifd1)
      .Short(0x0103, {6})
      .Rational(0x011A, {{72, 1}})
      .BlobOffset(0x0201, blob)
      .BlobLength(0x0202, blob);
  return JpegBuilder().Soi().App1Exif(t.Build()).BodyOf(EncodeJpeg(32, 24)).Build();
}

TEST(GpsEditTest, EditsWriteTheTagsTheExifVersionAllowsAndKeepTheThumbnailBehindTheBlock) {
  struct Row {
    const char* name;
    std::function<Bytes(Order)> file;
    std::vector<uint32_t> tags;
    std::vector<uint16_t> after;  // the GPS tags of the written file
    Bytes version = {};           // told to the host and written
  };
  const auto jpeg = [](const char* exif, bool gps, Bytes version, bool packed = false) {
    return [=](Order o) { return GpsJpeg(o, exif, gps, version, packed); };
  };
  const Bytes v10 = {1, 0, 0, 0}, v20 = {2, 0, 0, 0}, v22 = {2, 2, 0, 0};
  const Row rows[] = {
      // Out of order, one tag twice, one tag the module does not write; Exif 0221 means GPS 2.2.
      {"added",
       CameraIn({.withGps = false}),
       {4, 2, 0, 1, 3, 2, 6, 5, 7, 0x12, 0x1B, 0x1D, 0x99},
       {0, 1, 2, 3, 4, 5, 6, 7, 0x12, 0x1B, 0x1D},
       v22},
      // Exif 0210: GPS 2.0 without the 2.2 tags; the file's version 1.0 is raised.
      {"merged, 0210", jpeg("0210", true, v10), {0, 1, 2, 0x1D, 0x1B, 0x1C}, {0, 1, 2, 8}, v20},
      {"merged, 0220",
       jpeg("0220", true, v22),
       {0, 1, 2, 0x1D, 0x1B, 0x1C},
       {0, 1, 2, 8, 0x1B, 0x1C, 0x1D},
       v22},
      {"removed", CameraIn({}), {}, {}},
      {"empty byte array skipped", jpeg("0220", false, {}), {0, 2, 0x1B}, {0, 2}},
      // Packed without pad bytes: no value may move to an odd offset.
      {"added, packed", jpeg("0220", false, {}, true), {0, 1, 2, 0x12}, {0, 1, 2, 0x12}},
      {"merged, packed", jpeg("0220", true, v22, true), {0, 2, 0x12}, {0, 1, 2, 8, 0x12}},
      {"removed, packed", jpeg("0220", true, v22, true), {}, {}},
      {"unwritten tags kept", jpeg("0220", true, v22, true), {8, 0x99}, {0, 1, 8}},
  };
  for (const Order order : {Order::Little, Order::Big}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.name) + (order == Order::Big ? " (big-endian)" : ""));
      const Bytes file = row.file(order);
      TempDir dir;
      const std::string src = dir.Put("src.jpg", file), dst = dir.File("dst.jpg");
      HostGps gps(row.tags);
      if (row.name == std::string("empty byte array skipped")) gps.record.processingMethod = {};
      gps.record.areaInformation = gps.record.processingMethod;
      ASSERT_EQ(ReplaceExifGps(dst.c_str(), src.c_str(), 90, &gps.record), LF_S_OK);
      EXPECT_EQ(ReadFile(src), file);
      EXPECT_EQ(GpsTags(dst), row.after);
      if (!row.version.empty()) {
        EXPECT_EQ(Bytes(gps.record.versionID, gps.record.versionID + 4), row.version);
        EXPECT_EQ(ValueOf(dst, LF_DIR_GPS, 0), row.version);
      }
      if (row.tags.empty()) {
        EXPECT_TRUE(ValueOf(dst, LF_DIR_IFD0, 0x8825).empty());
        if (row.name == std::string("removed")) {
          // The pointer entry, the directory (6 + 3·12 bytes) and the latitude (24) are gone.
          EXPECT_EQ(TiffOf(ReadFile(dst)).size(), TiffOf(file).size() - (12 + 6 + 3 * 12 + 24));
        }
        // Nothing left to remove.
        EXPECT_EQ(ReplaceExifGps(dst.c_str(), dst.c_str(), 90, &gps.record), LF_E_FAIL);
      }
      // The thumbnail closes the segment, on an even offset.
      const Bytes tiff = TiffOf(ReadFile(dst));
      uint32_t at = 0;
      const Bytes thumbnail = ImageDataOf(tiff, 1, &at);
      EXPECT_EQ(thumbnail, ImageDataOf(TiffOf(file), 1));
      EXPECT_EQ(at + thumbnail.size(), tiff.size());
      EXPECT_EQ(at % 2, 0u);
      EXPECT_EQ(MainScan(ReadFile(dst)), MainScan(file));
      ExpectNoNewIssues(src, dst);
    }
  }
}

// A TIFF's block, thumbnail and main strips follow each other after the edit, every byte intact.
TEST(GpsEditTest, ATiffKeepsItsThumbnailAndStripsMovedBehindTheBlock) {
  struct Row {
    bool withGps, stripsFirst;
    TiffThumbnail thumbnail;
  };
  // GPS added or merged; strips first or last; the thumbnail in strips or a JPEG stream.
  const Row rows[] = {{false, false, TiffThumbnail::kStrips},
                      {true, true, TiffThumbnail::kStrips},
                      {false, false, TiffThumbnail::kJpeg},
                      {true, true, TiffThumbnail::kJpeg}};
  for (const Order order : {Order::Little, Order::Big}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(::testing::Message() << row.withGps << row.stripsFirst << (order == Order::Big));
      const TiffFile tiff = MakeTiffFile(order, 1, 3, row.stripsFirst, TiffMakerNote::kNone,
                                         row.thumbnail, row.withGps);
      const Bytes thumb = ImageDataOf(tiff.file, 1);
      ASSERT_FALSE(thumb.empty());
      TempDir dir;
      const std::string src = dir.Put("src.tif", tiff.file), dst = dir.File("out.tif");
      HostGps gps({0x0000, 0x0001, 0x0002, 0x001B});
      // Quality means nothing for a TIFF.
      ASSERT_EQ(ReplaceExifGps(dst.c_str(), src.c_str(), 0, &gps.record), LF_S_OK);
      const Bytes out = ReadFile(dst);
      uint32_t mainAt = 0, thumbAt = 0;
      EXPECT_EQ(ImageDataOf(out, 0, &mainAt), tiff.strips);
      EXPECT_EQ(ImageDataOf(out, 1, &thumbAt), thumb);
      EXPECT_GT(thumbAt, 8u);
      EXPECT_EQ(thumbAt % 2, 0u);
      EXPECT_EQ(mainAt, (thumbAt + thumb.size() + 1) & ~1u);
      EXPECT_EQ(out.size(), mainAt + tiff.strips.size());
      EXPECT_EQ(GpsTags(dst), row.withGps ? (std::vector<uint16_t>{0, 1, 2, 0x12, 0x1B})
                                          : (std::vector<uint16_t>{0, 1, 2, 0x1B}));
      ExpectNoNewIssues(src, dst);
    }
  }
}

// A block pinned by SubIFDs keeps its thumbnail in place: repeated edits do not re-append it.
TEST(GpsEditTest, RepeatedEditsOfAPinnedBlockDoNotGrowItByAThumbnailEachTime) {
  for (const Order order : {Order::Little, Order::Big}) {
    TiffBuilder t(order);
    const int exif = t.AddDirectory(), sub = t.AddDirectory(), ifd1 = t.AddDirectory();
    t.Ifd0()
        .Ascii(0x010F, "Kestrelon")
        .Pointer(0x014A, sub)
        .Ascii(0x0132, "2021:07:14 10:00:00")
        .Pointer(0x8769, exif);
    t.Ifd0().Next(ifd1);
    t.Dir(exif).Undefined(0x9000, {'0', '2', '2', '0'});
    t.Dir(sub).Long(0x0100, {4}).Rational(0x011A, {{1, 2}});
    const Bytes thumbnail = StripAppSegments(EncodeJpeg(40, 30, 90));
    const int blob = t.AddBlob(thumbnail);
    t.Dir(ifd1).Short(0x0103, {6}).BlobOffset(0x0201, blob).BlobLength(0x0202, blob);
    TempDir dir;
    const std::string path = dir.Put(
        "pinned.jpg", JpegBuilder().Soi().App1Exif(t.Build()).BodyOf(EncodeJpeg(16, 16)).Build());
    std::vector<size_t> sizes;
    for (uint32_t degrees : {10u, 20u, 30u}) {
      HostGps gps({0x0000, 0x0001, 0x0002, 0x0012});
      gps.record.latitude[0] = degrees;
      ASSERT_EQ(ReplaceExifGps(path.c_str(), path.c_str(), 90, &gps.record), LF_S_OK);
      sizes.push_back(ReadFile(path).size());
      EXPECT_EQ(ValueOf(path, LF_DIR_GPS, 0x0002).at(0), degrees);
      EXPECT_EQ(ImageDataOf(TiffOf(ReadFile(path)), 1), thumbnail);
    }
    EXPECT_LT(sizes[2] - sizes[1], thumbnail.size());
    EXPECT_LT(sizes[1] - sizes[0], thumbnail.size());
  }
}

}  // namespace
}  // namespace lf::test
