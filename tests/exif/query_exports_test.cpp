// SPDX-License-Identifier: MIT
// IsExifFile, GetOrientation, GetDateTimeOriginal, GetExifValue and IsExifEx as the host calls them (the
// module loaded with dlopen), on fixtures built in both byte orders.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "lumenframe/lumenframe.h"
#include "tests/support/fixture_builder.h"
#include "tests/support/host_module.h"

namespace lf::test {
namespace {

constexpr uint16_t kOrientation = 0x0112;
constexpr uint16_t kExifPointer = 0x8769;
constexpr uint16_t kExifVersion = 0x9000;
constexpr uint16_t kDateTimeOriginal = 0x9003;
constexpr uint16_t kExposureTime = 0x829A;
constexpr uint16_t kMakerNote = 0x927C;
constexpr uint16_t kPrintIm = 0xC4A5;

const Bytes& SmallPicture() {
  static const Bytes picture = EncodeJpeg(16, 16, 75);
  return picture;
}

// IFD0 pointing to an Exif IFD (directory 1); callers add entries to both.
TiffBuilder ExifTiff(Order order) {
  TiffBuilder t(order);
  const int exif = t.AddDirectory();
  t.Ifd0().Ascii(0x010F, "Kestrelon").Pointer(kExifPointer, exif);
  return t;
}

Bytes JpegOf(const TiffBuilder& tiff, bool jfif = false) {
  JpegBuilder j;
  j.Soi();
  if (jfif) j.App0Jfif();
  j.App1Exif(tiff.Build()).BodyOf(SmallPicture());
  return j.Build();
}

class QueryExports : public ::testing::TestWithParam<Order> {
 protected:
  const HostModule& m = HostModule::Get();
  TempDir dir;
  int files = 0;

  std::string Write(const Bytes& bytes, const std::string& extension = ".jpg") {
    const std::string path = dir.File(std::to_string(files++) + extension);
    WriteFile(path, bytes);
    return path;
  }

  LF_RESULT Orientation(const std::string& path, uint32_t* main, uint32_t* thumb,
                        int32_t acceptTiff = 1) {
    return m.GetOrientation(path.c_str(), main, thumb, acceptTiff);
  }

  LF_RESULT Date(const Bytes& jpeg, LfExifDateTime* t) {
    std::memset(t, 0xAB, sizeof *t);
    return m.GetDateTimeOriginal(Write(jpeg).c_str(), t);
  }

  struct Value {
    LF_RESULT result;
    uint32_t size;
    uint16_t type;
    uint32_t count;
    std::vector<uint8_t> bytes;
  };
  Value Get(const std::string& path, uint32_t directory, uint16_t tag, uint32_t bufferSize = 64) {
    Value v{};
    v.bytes.assign(bufferSize, 0xCD);
    v.size = bufferSize;
    v.type = 0xEEEE;
    v.count = 0xEEEEEEEE;
    v.result = m.GetExifValue(path.c_str(), directory, tag, v.bytes.data(), &v.size, &v.type,
                              &v.count);
    return v;
  }

  struct Flags {
    LF_RESULT result;
    uint32_t isExif, hasPrintImage, isExif22;
  };
  Flags ExifFlags(const std::string& path) {
    Flags f{};
    f.result = m.IsExifEx(path.c_str(), &f.isExif, &f.hasPrintImage, &f.isExif22);
    return f;
  }
};

INSTANTIATE_TEST_SUITE_P(ByteOrders, QueryExports, ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) {
                           return info.param == Order::Little ? std::string("II")
                                                              : std::string("MM");
                         });

TEST_P(QueryExports, OrientationOfMainImageAndThumbnail) {
  CameraJpegOptions o;
  o.order = GetParam();
  o.orientation = 6;
  o.thumbnailOrientation = 8;
  const std::string path = Write(MakeCameraJpeg(o));
  uint32_t main = 99, thumb = 99;
  EXPECT_EQ(Orientation(path, &main, &thumb), LF_S_OK);
  EXPECT_EQ(main, 6u);
  EXPECT_EQ(thumb, 8u);
  thumb = 99;
  EXPECT_EQ(Orientation(path, nullptr, &thumb), LF_S_OK);
  EXPECT_EQ(thumb, 8u);

  o.withThumbnail = false;
  EXPECT_EQ(Orientation(Write(MakeCameraJpeg(o)), &main, &thumb), LF_S_OK);
  EXPECT_EQ(main, 6u);
  EXPECT_EQ(thumb, 0u);
}

TEST_P(QueryExports, OrientationStoredAsLongOrAsTwoShortsReadsZero) {
  for (int variant = 0; variant < 2; ++variant) {
    TiffBuilder t = ExifTiff(GetParam());
    if (variant == 0) {
      t.Ifd0().Long(kOrientation, {6});
    } else {
      t.Ifd0().Short(kOrientation, {6, 6});
    }
    uint32_t main = 99, thumb = 99;
    EXPECT_EQ(Orientation(Write(JpegOf(t)), &main, &thumb), LF_S_OK) << variant;
    EXPECT_EQ(main, 0u) << variant;
    EXPECT_EQ(thumb, 0u) << variant;
  }
}

TEST_P(QueryExports, OrientationByFileKind) {
  CameraJpegOptions o;
  o.order = GetParam();
  o.orientation = 3;
  uint32_t main = 99;
  // A TIFF with acceptTiff 0 is answered without being opened.
  EXPECT_EQ(Orientation(dir.File("missing.tif"), &main, nullptr, 0), LF_S_OK);
  EXPECT_EQ(main, 0u);
  EXPECT_EQ(Orientation(Write(MakeCameraJpeg(o), ".tif"), &main, nullptr, 0), LF_S_OK);
  EXPECT_EQ(main, 0u);
  EXPECT_EQ(Orientation(Write(MakeCameraJpeg(o), ".png"), &main, nullptr), LF_E_FAIL);
  // A file that cannot be opened reads as one without EXIF.
  EXPECT_EQ(Orientation(dir.File("missing.jpg"), &main, nullptr), LF_E_NO_EXIF);
}

TEST_P(QueryExports, TiffImageWithAndWithoutExifIfd) {
  for (const bool withExif : {false, true}) {
    TiffBuilder t(GetParam());
    const int strip = t.AddBlob(Bytes(8 * 8 * 3, 0x80));
    t.Ifd0().Long(0x0100, {8}).Long(0x0101, {8}).Short(0x0102, {8, 8, 8}).Short(0x0103, {1});
    t.Ifd0().Short(0x0106, {2}).BlobOffset(0x0111, strip).Short(kOrientation, {3});
    t.Ifd0().Short(0x0115, {3}).Long(0x0116, {8}).BlobLength(0x0117, strip);
    if (withExif) {
      const int exif = t.AddDirectory();
      t.Ifd0().Pointer(kExifPointer, exif);
      t.Dir(exif).Ascii(kDateTimeOriginal, "2020:02:29 12:34:56");
    }
    const std::string path = Write(t.Build(), ".tif");
    uint32_t main = 99;
    // Without an Exif IFD a TIFF image still answers, with orientation 0.
    EXPECT_EQ(Orientation(path, &main, nullptr), LF_S_OK);
    EXPECT_EQ(main, withExif ? 3u : 0u);
    LfExifDateTime d{};
    EXPECT_EQ(m.GetDateTimeOriginal(path.c_str(), &d), withExif ? LF_S_OK : LF_E_NO_EXIF);
    EXPECT_EQ(d.day, withExif ? 29 : 0);
  }
}

TEST_P(QueryExports, IsExifFileAnswersForJpegAndTiffFilesOnly) {
  CameraJpegOptions o;
  o.order = GetParam();
  const auto isExif = [&](const std::string& path) {
    uint32_t answer = 7;
    EXPECT_EQ(m.IsExifFile(path.c_str(), &answer), LF_S_OK) << path;
    return answer;
  };
  EXPECT_EQ(isExif(Write(MakeCameraJpeg(o))), 1u);
  // The extension decides whether the file is opened at all.
  EXPECT_EQ(isExif(Write(MakeCameraJpeg(o), ".png")), 0u);
  // TIFF data in a .TIF file is probed like a JPEG's.
  TiffBuilder t = ExifTiff(GetParam());
  t.Ifd0().Short(0x0100, {1}).Short(0x0101, {1});
  t.Dir(1).Short(0xA001, {1});
  EXPECT_EQ(isExif(Write(t.Build(), ".TIF")), 1u);
  // Unreadable or broken files are simply not EXIF files (the JFIF case is below).
  EXPECT_EQ(isExif(dir.File("missing.jpg")), 0u);
  EXPECT_EQ(isExif(Write(Bytes{0xFF, 0xD8, 0xFF})), 0u);
}

TEST_P(QueryExports, JfifFileWithExifIsNotExif) {
  CameraJpegOptions o;
  o.order = GetParam();
  o.withJfif = true;
  const std::string path = Write(MakeCameraJpeg(o));
  uint32_t main = 99;
  EXPECT_EQ(Orientation(path, &main, nullptr), LF_E_NO_EXIF);
  LfExifDateTime d{};
  EXPECT_EQ(m.GetDateTimeOriginal(path.c_str(), &d), LF_E_NO_EXIF);
  const Value v = Get(path, LF_DIR_IFD0, 0x010F);
  EXPECT_EQ(v.result, LF_E_NO_EXIF);
  EXPECT_EQ(v.size, 0u);
  const Flags f = ExifFlags(path);
  EXPECT_EQ(f.result, LF_S_OK);
  EXPECT_EQ(f.isExif, 0u);
  EXPECT_EQ(f.isExif22, 0u);
  uint32_t isExif = 7;
  EXPECT_EQ(m.IsExifFile(path.c_str(), &isExif), LF_S_OK);
  EXPECT_EQ(isExif, 0u);
}

// A calendar date answers S_OK with the fields; text that is no calendar date answers 1 with a
// zeroed record (the calendar rule itself is tested in platform_test); a value of another length
// or type, or none, fails.
TEST_P(QueryExports, DateTimeOriginal) {
  const auto date = [&](const std::function<void(Ifd&)>& add, LfExifDateTime* d) {
    TiffBuilder t = ExifTiff(GetParam());
    add(t.Dir(1));
    return Date(JpegOf(t), d);
  };
  LfExifDateTime d{};
  ASSERT_EQ(date([](Ifd& e) { e.Ascii(kDateTimeOriginal, "2024:02:29 23:59:58"); }, &d), LF_S_OK);
  const LfExifDateTime leapDay{2024, 2, 0, 29, 23, 59, 58, 0};
  EXPECT_EQ(std::memcmp(&d, &leapDay, sizeof d), 0);

  const LfExifDateTime zero{};
  for (const char* text : {"0000:00:00 00:00:00", "    :  :     :  :  ", "2023:02:29 12:00:00"}) {
    EXPECT_EQ(date([&](Ifd& e) { e.Ascii(kDateTimeOriginal, text); }, &d), 1) << text;
    EXPECT_EQ(std::memcmp(&d, &zero, sizeof d), 0) << text;
  }

  const std::string text = "2021:07:14 09:26:53";
  const Bytes noNul(text.begin(), text.end());  // count 19
  Bytes longer = noNul;
  longer.insert(longer.end(), {' ', 0});  // count 21
  for (const Bytes& value : {noNul, longer}) {
    EXPECT_EQ(date([&](Ifd& e) { e.Data(kDateTimeOriginal, kAscii, value); }, &d), LF_E_FAIL)
        << value.size();
  }
  EXPECT_EQ(date([&](Ifd& e) { e.Ascii(0x9004, text); }, &d), LF_E_FAIL);
  // A count that claims far more than the file holds is no date and costs nothing.
  EXPECT_EQ(date([](Ifd& e) { e.RawEntry(kDateTimeOriginal, kAscii, 0x7FFFFFFF, 8); }, &d),
            LF_E_FAIL);
  TiffBuilder t = ExifTiff(GetParam());
  t.Dir(1).Ascii(kDateTimeOriginal, text);
  EXPECT_EQ(m.GetDateTimeOriginal(Write(JpegOf(t), ".bmp").c_str(), &d), LF_E_FAIL);
}

TEST_P(QueryExports, GetExifValueReportsBytesTypeAndValuesDelivered) {
  TiffBuilder t = ExifTiff(GetParam());
  t.Ifd0().Short(0x0212, {2, 1});
  t.Dir(1).Rational(kExposureTime, {{1, 250}}).Rational(0x9204, {{1, 3}, {2, 3}, {5, 3}});
  const int interop = t.AddDirectory();
  t.Dir(1).Pointer(0xA005, interop);
  t.Dir(interop).Ascii(0x0001, "R98");
  const std::string path = Write(JpegOf(t));

  Value v = Get(path, LF_DIR_EXIF, kExposureTime);
  ASSERT_EQ(v.result, LF_S_OK);
  EXPECT_EQ(v.size, 8u);
  EXPECT_EQ(v.count, 1u);
  EXPECT_EQ(v.type, 5);
  uint32_t halves[2];
  std::memcpy(halves, v.bytes.data(), sizeof halves);
  EXPECT_EQ(halves[0], 1u);
  EXPECT_EQ(halves[1], 250u);

  v = Get(path, LF_DIR_IFD0, 0x010F);
  ASSERT_EQ(v.result, LF_S_OK);
  EXPECT_EQ(v.type, 2);
  EXPECT_EQ(v.size, 10u);  // "Kestrelon" and its NUL
  EXPECT_EQ(v.count, 10u);
  EXPECT_STREQ(reinterpret_cast<const char*>(v.bytes.data()), "Kestrelon");
  // The Interop IFD is reached through the Exif IFD's pointer.
  v = Get(path, LF_DIR_INTEROP, 0x0001);
  ASSERT_EQ(v.result, LF_S_OK);
  EXPECT_STREQ(reinterpret_cast<const char*>(v.bytes.data()), "R98");

  // Only what fits is delivered: two of three rationals in 16 bytes, one of two shorts in 2.
  v = Get(path, LF_DIR_EXIF, 0x9204, 16);
  EXPECT_EQ(v.result, LF_S_OK);
  EXPECT_EQ(v.size, 16u);
  EXPECT_EQ(v.count, 2u);
  v = Get(path, LF_DIR_IFD0, 0x0212, 2);
  EXPECT_EQ(v.result, LF_S_OK);
  EXPECT_EQ(v.size, 2u);
  EXPECT_EQ(v.count, 1u);
  uint16_t first;
  std::memcpy(&first, v.bytes.data(), 2);
  EXPECT_EQ(first, 2);
  // A buffer smaller than one value delivers nothing.
  v = Get(path, LF_DIR_EXIF, kExposureTime, 4);
  EXPECT_EQ(v.result, LF_E_FAIL);
  EXPECT_EQ(v.size, 0u);
}

TEST_P(QueryExports, GetExifValueNotFound) {
  TiffBuilder t = ExifTiff(GetParam());
  t.Dir(1).Rational(kExposureTime, {{1, 250}}).RawEntry(0x829D, kRational, 1, 0xFFFFFFF0);
  const std::string path = Write(JpegOf(t));
  for (const auto& [directory, tag] : std::vector<std::pair<uint32_t, uint16_t>>{
           {LF_DIR_IFD0, 0x0110},         // absent tag
           {LF_DIR_GPS, 0x0001},          // absent directory
           {LF_DIR_IFD1, 0x0202},         // no thumbnail directory
           {LF_DIR_INTEROP, 0x0001},      // no Interop pointer in this file
           {LF_DIR_EXIF, 0x829D}}) {      // value offset past the block
    const Value v = Get(path, directory, tag);
    EXPECT_EQ(v.result, LF_E_FAIL) << directory << " " << tag;
    EXPECT_EQ(v.size, 0u);
    EXPECT_EQ(v.count, 0u);
    if (tag != 0x829D) {
      EXPECT_EQ(v.type, 0);
    }
  }
  // Unknown directory selectors are refused before the file is read (exports_test).
}

TEST_P(QueryExports, ExifSegmentBehindOrBetweenLargeSegments) {
  // Segments of the largest size around the APP1: the reader's first read and its read-through
  // over a skipped segment do not cover the EXIF data alone, and the answers must not change.
  TiffBuilder t = ExifTiff(GetParam());
  t.Ifd0().Short(kOrientation, {8});
  t.Dir(1).Ascii(kDateTimeOriginal, "2019:11:30 08:15:00");
  const Bytes large(65533, 0x5A);
  for (int layout = 0; layout < 3; ++layout) {
    JpegBuilder j;
    j.Soi();
    if (layout >= 1) j.App(2, large);
    if (layout >= 2) j.App(2, large);
    j.App1Exif(t.Build()).App(2, large).App(13, large).BodyOf(SmallPicture());
    const std::string path = Write(j.Build());
    uint32_t main = 0;
    EXPECT_EQ(Orientation(path, &main, nullptr), LF_S_OK) << layout;
    EXPECT_EQ(main, 8u) << layout;
    LfExifDateTime d{};
    EXPECT_EQ(m.GetDateTimeOriginal(path.c_str(), &d), LF_S_OK) << layout;
    EXPECT_EQ(d.year, 2019) << layout;
    EXPECT_EQ(Get(path, LF_DIR_IFD0, 0x010F).size, 10u) << layout;
    EXPECT_EQ(ExifFlags(path).isExif, 1u) << layout;
  }
}

TEST_P(QueryExports, ThumbnailLengthThroughGetExifValue) {
  CameraJpegOptions o;
  o.order = GetParam();
  const Value v = Get(Write(MakeCameraJpeg(o)), LF_DIR_IFD1, 0x0202);
  ASSERT_EQ(v.result, LF_S_OK);
  EXPECT_EQ(v.type, 4);
  uint32_t length;
  std::memcpy(&length, v.bytes.data(), 4);
  EXPECT_EQ(length, StripAppSegments(EncodeJpeg(16, 12, 75)).size());
}

TEST_P(QueryExports, ExifVersionTwoPointTwoOrLater) {
  const struct {
    uint16_t type;
    Bytes version;
    uint32_t expected;
  } cases[] = {
      {kUndefined, {'0', '2', '2', '0'}, 1}, {kUndefined, {'0', '2', '2', '1'}, 1},
      {kUndefined, {'0', '2', '3', '0'}, 1}, {kUndefined, {'0', '2', '1', '0'}, 0},
      {kUndefined, {'0', '3', '0', '0'}, 0}, {kByte, {'0', '2', '3', '0'}, 0},
      {kUndefined, {'0', '2', '3', '0', '0'}, 0},
  };
  for (const auto& c : cases) {
    TiffBuilder t = ExifTiff(GetParam());
    t.Dir(1).Data(kExifVersion, c.type, c.version);
    const Flags f = ExifFlags(Write(JpegOf(t)));
    EXPECT_EQ(f.result, LF_S_OK);
    EXPECT_EQ(f.isExif, 1u);
    EXPECT_EQ(f.isExif22, c.expected) << std::string(c.version.begin(), c.version.end());
  }
  // Asked alone, and without any output.
  TiffBuilder t = ExifTiff(GetParam());
  t.Dir(1).Undefined(kExifVersion, {'0', '2', '2', '1'});
  const std::string path = Write(JpegOf(t));
  uint32_t v22 = 0;
  EXPECT_EQ(m.IsExifEx(path.c_str(), nullptr, nullptr, &v22), LF_S_OK);
  EXPECT_EQ(v22, 1u);
  EXPECT_EQ(m.IsExifEx(path.c_str(), nullptr, nullptr, nullptr), LF_E_INVALIDARG);
  EXPECT_EQ(m.IsExifEx(dir.File("missing.jpg").c_str(), nullptr, nullptr, &v22), LF_S_OK);
  EXPECT_EQ(v22, 0u);
}

TEST_P(QueryExports, PrintImageDataInAnyOfItsPlaces) {
  const Bytes printIm = {'P', 'r', 'i', 'n', 't', 'I', 'M', 0, '0', '3', '0', '0', 0, 0};
  // A plain photo has none.
  CameraJpegOptions o;
  o.order = GetParam();
  EXPECT_EQ(ExifFlags(Write(MakeCameraJpeg(o))).hasPrintImage, 0u);

  // An APP6 "PrintIM" segment counts for any JPEG, even a JFIF one.
  for (const bool jfif : {false, true}) {
    JpegBuilder j;
    j.Soi();
    if (jfif) j.App0Jfif();
    j.App1Exif(ExifTiff(GetParam()).Build()).App(6, printIm).BodyOf(SmallPicture());
    const Flags f = ExifFlags(Write(j.Build()));
    EXPECT_EQ(f.hasPrintImage, 1u) << jfif;
    EXPECT_EQ(f.isExif, jfif ? 0u : 1u);
  }

  // A PrintIM entry of IFD0.
  TiffBuilder t = ExifTiff(GetParam());
  t.Ifd0().Undefined(kPrintIm, printIm);
  EXPECT_EQ(ExifFlags(Write(JpegOf(t))).hasPrintImage, 1u);

  // Entry 0x0E00 of a maker note, which does not count when it is empty.
  for (const uint32_t count : {14u, 0u}) {
    ByteWriter note(GetParam());
    note.Text("Kestrelon").U8(0).U8(0).U8(0).U16(1);
    note.U16(0x0E00).U16(kUndefined).U32(count).U32(count ? 8 : 0).U32(0);
    TiffBuilder mn = ExifTiff(GetParam());
    mn.Dir(1).Undefined(kMakerNote, note.bytes());
    EXPECT_EQ(ExifFlags(Write(JpegOf(mn))).hasPrintImage, count ? 1u : 0u) << count;
  }
}

}  // namespace
}  // namespace lf::test
