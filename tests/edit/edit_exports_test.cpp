// SPDX-License-Identifier: MIT
// Edit refusals leave the file byte for byte; a patch in place changes only the bytes it names.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "lumenframe/lumenframe.h"
#include "tests/support/decoded_images.h"
#include "tests/support/edit_fixtures.h"
#include "tests/support/scratch_tmpdir.h"

namespace lf::test {
namespace {

constexpr auto Date = &test::MakeDate<LfExifDateTime>;

// A JPEG of an Exif version, optionally a 19-byte DateTimeOriginal without end, and a GPS IFD.
Bytes ExifJpeg(Order o, const char* version, bool gps, bool date19 = false) {
  TiffBuilder t(o);
  const int e = t.AddDirectory();
  t.Ifd0().Ascii(0x010F, "Kestrelon").Pointer(0x8769, e);
  t.Dir(e).Undefined(0x9000, Bytes(version, version + 4));
  if (date19) t.Dir(e).Data(0x9003, kAscii, Bytes(19, '1'));
  if (gps) {
    const int g = t.AddDirectory();
    t.Ifd0().Pointer(0x8825, g);
    t.Dir(g).Ascii(0x0001, "S");
  }
  return JpegBuilder().Soi().App1Exif(t.Build()).BodyOf(EncodeJpeg(8, 8)).Build();
}

TEST(EditExportsTest, RefusalsLeaveTheFileByteForByte) {
  const platform::GlobalBlock image = NoiseImage(32, 24);
  HostGps gps({0x0002}), noGps({}), nullMethod({0x0002, 0x001B}), badSize({0x0002, 0x001B});
  HostGps badList({0x0002}), nullList({0x0002}), longText({0x0012});
  nullMethod.record.processingMethod.data = nullptr;
  badSize.record.processingMethod.size = -1;
  badList.record.tagList.size = -3;
  nullList.record.tagList.size = 2;
  nullList.record.tagList.data = nullptr;
  std::string unterminated(0x10000 + 10, 'x');
  longText.record.mapDatum.text = unterminated.data();
  const auto jfif = [](Order o) { return MakeCameraJpeg({.order = o, .withJfif = true}); };
  const auto exif = [](const char* version, bool gps, bool date19 = false) {
    return [=](Order o) { return ExifJpeg(o, version, gps, date19); };
  };
  // A segment whose length word is 1 hides the rest of the stream from the walk.
  const auto unwalkable = [](Order o) {
    Bytes f = MakeCameraFile({.order = o, .thumbnailOrientation = 0}).file;
    const auto app1 = f.begin() + 4 + (f[4] << 8 | f[5]);
    const Bytes bad = {0xFF, 0xFE, 0x00, 0x01};
    f.insert(app1, bad.begin(), bad.end());
    return f;
  };
  // A second page in IFD1: its strips lie outside the EXIF block and would be lost.
  const auto twoPages = [](Order o) {
    const TiffFile tiff = MakeTiffFile(o, 0);
    TiffBuilder t(o);
    const int e = t.AddDirectory(), page = t.AddDirectory(), strip = t.AddBlob(tiff.strips);
    for (Ifd* d : {&t.Ifd0(), &t.Dir(page)}) {
      d->Long(0x0100, {8})
          .Long(0x0101, {6})
          .Short(0x0102, {8, 8, 8})
          .Short(0x0103, {1})
          .Short(0x0106, {2});
      d->BlobOffset(0x0111, strip).Short(0x0115, {3}).Long(0x0116, {6}).BlobLength(0x0117, strip);
    }
    t.Ifd0().Pointer(0x8769, e).Next(page);
    t.Dir(e).Undefined(0x9000, {'0', '2', '3', '0'});
    return t.Build();
  };
  const CameraRecipe noThumbOrientation{.thumbnailOrientation = 0};
  using Call = std::function<LF_RESULT(const char*)>;
  const auto orient = [](int32_t o, int32_t rebuild) -> Call {
    return [=](const char* f) { return SetOrientation(f, f, o, rebuild); };
  };
  const auto setDate = [](LfExifDateTime d) -> Call {
    return [=](const char* f) { return SetDateTimeOriginal(f, d); };
  };
  const auto setGps = [](HostGps& g, int32_t quality = 80) -> Call {
    return [&g, quality](const char* f) { return ReplaceExifGps(f, f, quality, &g.record); };
  };
  const LF_RESULT invalidData = LfResultFromWin32(13);
  struct Row {
    const char* name;
    std::function<Bytes(Order)> file;
    Call call;
    LF_RESULT expected;
    const char* ext = ".jpg";
  };
  const Row rows[] = {
      {"orientation: IFD1 has none to patch", CameraIn(noThumbOrientation), orient(3, 0),
       LF_E_FAIL},
      {"orientation 9", CameraIn(noThumbOrientation), orient(9, 1), LF_E_FAIL},
      {"orientation 0", CameraIn(noThumbOrientation), orient(0, 1), LF_E_FAIL},
      {"orientation the main image has, rebuild needed", CameraIn(noThumbOrientation), orient(6, 1),
       LF_E_FAIL},
      {"orientation of a JFIF file", jfif, orient(3, 1), LF_E_NO_EXIF},
      {"orientation: a stream that cannot be walked", unwalkable, orient(3, 1), invalidData},
      {"orientation: a TIFF whose second page would be lost", twoPages, orient(3, 1), LF_E_FAIL,
       ".tif"},
      {"orientation of a PNG name", CameraIn({}), orient(1, 1), LF_E_FAIL, ".png"},
      {"date: not a calendar day", CameraIn({}), setDate(Date(2023, 2, 29, 1, 2, 3)),
       LF_E_INVALIDARG},
      {"date: a text of 19 bytes", exif("0230", false, true), setDate(Date(2023, 1, 1, 1, 2, 3)),
       LF_E_FAIL},
      {"date: none to replace", exif("0230", false), setDate(Date(2023, 1, 1, 1, 2, 3)), LF_E_FAIL},
      {"date of a JFIF file", jfif, setDate(Date(2023, 1, 1, 1, 2, 3)), LF_E_NO_EXIF},
      {"date of a PNG name", CameraIn({}), setDate(Date(2022, 4, 1, 0, 0, 0)), LF_E_FAIL, ".png"},
      {"GPS in Exif 0200", exif("0200", true), setGps(gps), LF_E_FAIL},
      {"GPS quality 0", exif("0220", false), setGps(gps, 0), LF_E_INVALIDARG},
      {"GPS quality 101", exif("0220", false), setGps(gps, 101), LF_E_INVALIDARG},
      {"GPS: none to remove", exif("0220", false), setGps(noGps), LF_E_FAIL},
      {"GPS: a byte array without data", exif("0220", false), setGps(nullMethod), LF_E_INVALIDARG},
      {"GPS: a byte array of size -1", exif("0220", false), setGps(badSize), LF_E_INVALIDARG},
      {"GPS: a tag list of size -3", exif("0220", false), setGps(badList), LF_E_INVALIDARG},
      {"GPS: a tag list without data", exif("0220", false), setGps(nullList), LF_E_INVALIDARG},
      {"GPS: a text without its end", exif("0220", false), setGps(longText), LF_E_INVALIDARG},
      {"GPS of a JFIF file", jfif, setGps(gps), LF_E_NO_EXIF},
      {"thumbnail of a JFIF file", jfif,
       [&](const char* f) { return ReplaceThumbImage(f, f, image.get(), 80); }, LF_E_NO_EXIF},
      {"main image of a JFIF file", jfif,
       [&](const char* f) { return ReplaceExifImage(f, f, image.get(), 80); }, LF_E_NO_EXIF},
  };
  for (const Order order : {Order::Little, Order::Big}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.name) + (order == Order::Big ? " (big-endian)" : ""));
      TempDir dir;
      const ScratchTmpdir tmp;
      const Bytes file = row.file(order);
      const std::string f = dir.Put(std::string("a") + row.ext, file);
      EXPECT_EQ(row.call(f.c_str()), row.expected);
      EXPECT_EQ(ReadFile(f), file);
      EXPECT_EQ(dir.List().size(), 1u);
      EXPECT_TRUE(tmp.dir().List().empty());
    }
  }
}

// A patch writes only its bytes and IFD0 DateTime's stamp; a date keeps the text's separators.
TEST(EditExportsTest, PatchesChangeOnlyTheirBytes) {
  struct Row {
    const char* name;
    bool copy;  // written to another, existing file
    std::function<LF_RESULT(const char* dst, const char* src)> call;
    uint32_t orientation;  // read back from both directories
  };
  const Row rows[] = {
      {"orientation in place", false, [](auto d, auto s) { return SetOrientation(d, s, 3, 0); }, 3},
      {"orientation into a copy", true, [](auto d, auto s) { return SetOrientation(d, s, 8, 0); },
       8},
      {"the orientation the file has", false,
       [](auto d, auto s) { return SetOrientation(d, s, 6, 0); }, 6},
      {"date", false,
       [](auto d, auto) { return SetDateTimeOriginal(d, Date(2024, 2, 29, 23, 59, 58)); }, 6},
  };
  for (const Order order : {Order::Little, Order::Big}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.name) + (order == Order::Big ? " (big-endian)" : ""));
      const CameraFile c =
          MakeCameraFile({.order = order, .dateTimeOriginal = "2019/03/04 05.06.07"});
      TempDir dir;
      const std::string src = dir.Put("src.jpg", c.file), was = dir.Put("was.jpg", c.file);
      const std::string dst = row.copy ? dir.Put("dst.jpg", {1, 2, 3}) : src;
      ASSERT_EQ(row.call(dst.c_str(), src.c_str()), LF_S_OK);
      if (row.copy) {
        EXPECT_EQ(ReadFile(src), c.file);
      }
      const Bytes after = ReadFile(dst);
      ASSERT_EQ(after.size(), c.file.size());
      const bool date = row.name == std::string("date");
      std::vector<std::pair<size_t, size_t>> allowed = {
          {c.tiffBase + c.layout.valueOffsets.at({0, 0x132}), 19}};
      if (date) {
        allowed.push_back({c.tiffBase + c.layout.valueOffsets.at({c.exif, 0x9003}), 19});
      } else {
        allowed.push_back({c.tiffBase + c.layout.entryOffsets.at({0, 0x112}) + 8, 2});
        allowed.push_back({c.tiffBase + c.layout.entryOffsets.at({c.ifd1, 0x112}) + 8, 2});
      }
      for (const auto& [begin, end] : DifferingRanges(c.file, after)) {
        bool inside = false;
        for (const auto& [at, n] : allowed) inside = inside || (begin >= at && end <= at + n);
        EXPECT_TRUE(inside) << "bytes " << begin << ".." << end << " changed";
      }
      EXPECT_NE(Slice(after, allowed[0].first, 19), Slice(c.file, allowed[0].first, 19))
          << "a new stamp";
      uint32_t main = 0, thumb = 0;
      ASSERT_EQ(GetOrientation(dst.c_str(), &main, &thumb, 0), LF_S_OK);
      EXPECT_EQ(main, row.orientation);
      EXPECT_EQ(thumb, row.orientation);
      if (date) {
        const Bytes text = Slice(after, allowed[1].first, 20);
        EXPECT_EQ(std::string(text.begin(), text.end()), std::string("2024/02/29 23.59.58", 20));
      }
      ExpectNoNewIssues(was, dst);
    }
  }
}

}  // namespace
}  // namespace lf::test
