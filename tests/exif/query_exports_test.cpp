// SPDX-License-Identifier: MIT
// The query exports as the host calls them (the module loaded with dlopen), in both byte orders.
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

using MakeFile = std::function<Bytes(Order)>;

MakeFile Camera(const std::function<void(CameraJpegOptions&)>& set) {
  return [set](Order order) {
    CameraJpegOptions o;
    o.order = order;
    set(o);
    return MakeCameraJpeg(o);
  };
}

// ExifTiff with entries added by `add` (IFD0 is directory 0, the Exif IFD directory 1).
MakeFile Exif(const std::function<void(TiffBuilder&)>& add, bool jfif = false) {
  return [add, jfif](Order order) {
    TiffBuilder t = ExifTiff(order);
    add(t);
    return JpegOf(t, jfif);
  };
}

MakeFile Version(uint16_t type, const Bytes& version) {
  return Exif([=](TiffBuilder& t) { t.Dir(1).Data(kExifVersion, type, version); });
}

// Largest-size segments around the APP1, so no single read covers the EXIF data alone.
MakeFile BehindLargeSegments(int before) {
  return [before](Order order) {
    TiffBuilder t = ExifTiff(order);
    t.Ifd0().Short(kOrientation, {8});
    t.Dir(1).Ascii(kDateTimeOriginal, "2019:11:30 08:15:00");
    const Bytes large(65533, 0x5A);
    JpegBuilder j;
    j.Soi();
    for (int i = 0; i < before; ++i) j.App(2, large);
    return j.App1Exif(t.Build()).App(2, large).App(13, large).BodyOf(SmallPicture()).Build();
  };
}

const Bytes kPrintIm = {'P', 'r', 'i', 'n', 't', 'I', 'M', 0, '0', '3', '0', '0', 0, 0};

MakeFile PrintImSegment(bool jfif) {
  return [jfif](Order order) {
    JpegBuilder j;
    j.Soi();
    if (jfif) j.App0Jfif();
    return j.App1Exif(ExifTiff(order).Build()).App(6, kPrintIm).BodyOf(SmallPicture()).Build();
  };
}

// A maker note whose entry 0x0E00 holds `count` bytes of print image data.
MakeFile PrintImInMakerNote(uint32_t count) {
  return [count](Order order) {
    ByteWriter note(order);
    note.Text("Kestrelon").U8(0).U8(0).U8(0).U16(1);
    note.U16(0x0E00).U16(kUndefined).U32(count).U32(count ? 8 : 0).U32(0);
    TiffBuilder t = ExifTiff(order);
    t.Dir(1).Undefined(0x927C, note.bytes());
    return JpegOf(t);
  };
}

// A TIFF image of one strip, with an Orientation entry and optionally an Exif IFD.
MakeFile TiffImage(bool withExif) {
  return [withExif](Order order) {
    TiffBuilder t(order);
    const int strip = t.AddBlob(Bytes(8 * 8 * 3, 0x80));
    t.Ifd0().Long(0x0100, {8}).Long(0x0101, {8}).Short(0x0102, {8, 8, 8}).Short(0x0103, {1});
    t.Ifd0().Short(0x0106, {2}).BlobOffset(0x0111, strip).Short(kOrientation, {3});
    t.Ifd0().Short(0x0115, {3}).Long(0x0116, {8}).BlobLength(0x0117, strip);
    if (withExif) {
      const int exif = t.AddDirectory();
      t.Ifd0().Pointer(kExifPointer, exif);
      t.Dir(exif).Ascii(kDateTimeOriginal, "2020:02:29 12:34:56");
    }
    return t.Build();
  };
}

struct QueryRow {
  const char* name;
  MakeFile file;
  const char* extension;
  uint32_t isExifFile;
  LF_RESULT orientation;
  uint32_t main, thumb;
  LF_RESULT date;
  uint16_t year;  // of DateTimeOriginal, when answered
  uint32_t isExif, printImage, isExif22;
};

// clang-format off
const QueryRow kQueryRows[] = {
    {"camera photo", Camera([](auto& o) { o.thumbnailOrientation = 8; }), ".jpg", 1, LF_S_OK, 6, 8, LF_S_OK, 2021, 1, 0, 1},
    {"no thumbnail", Camera([](auto& o) { o.withThumbnail = false; }), ".jpg", 1, LF_S_OK, 6, 0, LF_S_OK, 2021, 1, 0, 1},
    {"JFIF with EXIF is no EXIF", Camera([](auto& o) { o.withJfif = true; }), ".jpg", 0, LF_E_NO_EXIF, 0, 0, LF_E_NO_EXIF, 0, 0, 0, 0},
    // IsExifEx alone reads a file whatever its extension.
    {"the extension decides", Camera([](auto&) {}), ".png", 0, LF_E_FAIL, 0, 0, LF_E_FAIL, 0, 1, 0, 1},
    {"broken JPEG", [](Order) { return Bytes{0xFF, 0xD8, 0xFF}; }, ".jpg", 0, LF_E_NO_EXIF, 0, 0, LF_E_NO_EXIF, 0, 0, 0, 0},
    {"Orientation as LONG", Exif([](auto& t) { t.Ifd0().Long(kOrientation, {6}); }), ".jpg", 1, LF_S_OK, 0, 0, LF_E_FAIL, 0, 1, 0, 0},
    {"Orientation as two SHORTs", Exif([](auto& t) { t.Ifd0().Short(kOrientation, {6, 6}); }), ".jpg", 1, LF_S_OK, 0, 0, LF_E_FAIL, 0, 1, 0, 0},
    {"TIFF image without Exif IFD", TiffImage(false), ".tif", 0, LF_S_OK, 0, 0, LF_E_NO_EXIF, 0, 0, 0, 0},
    {"TIFF image with Exif IFD", TiffImage(true), ".TIF", 1, LF_S_OK, 3, 0, LF_S_OK, 2020, 1, 0, 0},
    {"APP1 behind a large segment", BehindLargeSegments(1), ".jpg", 1, LF_S_OK, 8, 0, LF_S_OK, 2019, 1, 0, 0},
    {"APP1 behind two large segments", BehindLargeSegments(2), ".jpg", 1, LF_S_OK, 8, 0, LF_S_OK, 2019, 1, 0, 0},
    {"ExifVersion 0220", Version(kUndefined, {'0', '2', '2', '0'}), ".jpg", 1, LF_S_OK, 0, 0, LF_E_FAIL, 0, 1, 0, 1},
    {"ExifVersion 0230", Version(kUndefined, {'0', '2', '3', '0'}), ".jpg", 1, LF_S_OK, 0, 0, LF_E_FAIL, 0, 1, 0, 1},
    {"ExifVersion 0210", Version(kUndefined, {'0', '2', '1', '0'}), ".jpg", 1, LF_S_OK, 0, 0, LF_E_FAIL, 0, 1, 0, 0},
    {"ExifVersion 0300", Version(kUndefined, {'0', '3', '0', '0'}), ".jpg", 1, LF_S_OK, 0, 0, LF_E_FAIL, 0, 1, 0, 0},
    {"ExifVersion as BYTE", Version(kByte, {'0', '2', '3', '0'}), ".jpg", 1, LF_S_OK, 0, 0, LF_E_FAIL, 0, 1, 0, 0},
    {"ExifVersion of five bytes", Version(kUndefined, {'0', '2', '3', '0', '0'}), ".jpg", 1, LF_S_OK, 0, 0, LF_E_FAIL, 0, 1, 0, 0},
    {"PrintIM segment", PrintImSegment(false), ".jpg", 1, LF_S_OK, 0, 0, LF_E_FAIL, 0, 1, 1, 0},
    {"PrintIM segment of a JFIF file", PrintImSegment(true), ".jpg", 0, LF_E_NO_EXIF, 0, 0, LF_E_NO_EXIF, 0, 0, 1, 0},
    {"PrintIM entry of IFD0", Exif([](auto& t) { t.Ifd0().Undefined(0xC4A5, kPrintIm); }), ".jpg", 1, LF_S_OK, 0, 0, LF_E_FAIL, 0, 1, 1, 0},
    {"PrintIM in the maker note", PrintImInMakerNote(14), ".jpg", 1, LF_S_OK, 0, 0, LF_E_FAIL, 0, 1, 1, 0},
    {"empty PrintIM in the maker note", PrintImInMakerNote(0), ".jpg", 1, LF_S_OK, 0, 0, LF_E_FAIL, 0, 1, 0, 0},
};
// clang-format on

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

  struct Value {
    LF_RESULT result;
    uint32_t size;
    uint16_t type;
    uint32_t count;
    Bytes bytes;
  };
  Value Get(const std::string& path, uint32_t directory, uint16_t tag, uint32_t bufferSize = 64) {
    Value v{0, bufferSize, 0xEEEE, 0xEEEEEEEE, Bytes(bufferSize, 0xCD)};
    v.result =
        m.GetExifValue(path.c_str(), directory, tag, v.bytes.data(), &v.size, &v.type, &v.count);
    v.bytes.resize(v.size);
    return v;
  }
};

INSTANTIATE_TEST_SUITE_P(ByteOrders, QueryExports, ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) {
                           return info.param == Order::Little ? "II" : "MM";
                         });

TEST_P(QueryExports, EachFileAnsweredByEveryQuery) {
  for (const QueryRow& row : kQueryRows) {
    SCOPED_TRACE(row.name);
    const std::string path = Write(row.file(GetParam()), row.extension);
    uint32_t isExifFile = 7, main = 99, thumb = 99, isExif = 7, printImage = 7, v22 = 7;
    EXPECT_EQ(m.IsExifFile(path.c_str(), &isExifFile), LF_S_OK);
    EXPECT_EQ(isExifFile, row.isExifFile);
    EXPECT_EQ(m.GetOrientation(path.c_str(), &main, &thumb, 1), row.orientation);
    if (row.orientation == LF_S_OK) {
      EXPECT_EQ(main, row.main);
      EXPECT_EQ(thumb, row.thumb);
    }
    LfExifDateTime d{};
    EXPECT_EQ(m.GetDateTimeOriginal(path.c_str(), &d), row.date);
    EXPECT_EQ(d.year, row.year);
    EXPECT_EQ(m.IsExifEx(path.c_str(), &isExif, &printImage, &v22), LF_S_OK);
    EXPECT_EQ(isExif, row.isExif);
    EXPECT_EQ(printImage, row.printImage);
    EXPECT_EQ(v22, row.isExif22);
  }
}

TEST_P(QueryExports, OutputsAskedAloneAndFilesNotOpened) {
  const std::string path = Write(Camera([](auto& o) { o.thumbnailOrientation = 8; })(GetParam()));
  uint32_t value = 99;
  EXPECT_EQ(m.GetOrientation(path.c_str(), nullptr, &value, 1), LF_S_OK);
  EXPECT_EQ(value, 8u);
  EXPECT_EQ(m.IsExifEx(path.c_str(), nullptr, nullptr, &value), LF_S_OK);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(m.IsExifEx(path.c_str(), nullptr, nullptr, nullptr), LF_E_INVALIDARG);
  // A TIFF with acceptTiff 0 is answered without being opened; a missing JPEG has no EXIF.
  EXPECT_EQ(m.GetOrientation(Write(Bytes{}, ".tif").c_str(), &value, nullptr, 0), LF_S_OK);
  EXPECT_EQ(value, 0u);
  const std::string missing = dir.File("missing.jpg");
  EXPECT_EQ(m.GetOrientation(missing.c_str(), &value, nullptr, 1), LF_E_NO_EXIF);
  value = 7;
  EXPECT_EQ(m.IsExifFile(missing.c_str(), &value), LF_S_OK);
  EXPECT_EQ(value, 0u);
  value = 7;
  EXPECT_EQ(m.IsExifEx(missing.c_str(), nullptr, nullptr, &value), LF_S_OK);
  EXPECT_EQ(value, 0u);
}

// A calendar date answers S_OK, other text 1 with a zeroed record, another length or type fails.
TEST_P(QueryExports, DateTimeOriginal) {
  const std::string text = "2021:07:14 09:26:53";
  const Bytes noNul(text.begin(), text.end());
  Bytes longer = noNul;
  longer.insert(longer.end(), {' ', 0});
  const struct {
    std::function<void(Ifd&)> add;
    LF_RESULT result;
    LfExifDateTime expected;
    // clang-format off
  } rows[] = {
      {[](Ifd& e) { e.Ascii(kDateTimeOriginal, "2024:02:29 23:59:58"); }, LF_S_OK, {2024, 2, 0, 29, 23, 59, 58, 0}},
      {[](Ifd& e) { e.Ascii(kDateTimeOriginal, "0000:00:00 00:00:00"); }, 1, {}},
      {[](Ifd& e) { e.Ascii(kDateTimeOriginal, "    :  :     :  :  "); }, 1, {}},
      {[](Ifd& e) { e.Ascii(kDateTimeOriginal, "2023:02:29 12:00:00"); }, 1, {}},
      {[&](Ifd& e) { e.Data(kDateTimeOriginal, kAscii, noNul); }, LF_E_FAIL, {}},
      {[&](Ifd& e) { e.Data(kDateTimeOriginal, kAscii, longer); }, LF_E_FAIL, {}},
      {[&](Ifd& e) { e.Ascii(0x9004, text); }, LF_E_FAIL, {}},
      // A count that claims far more than the file holds is no date and costs nothing.
      {[](Ifd& e) { e.RawEntry(kDateTimeOriginal, kAscii, 0x7FFFFFFF, 8); }, LF_E_FAIL, {}},
  };
  // clang-format on
  for (const auto& row : rows) {
    TiffBuilder t = ExifTiff(GetParam());
    row.add(t.Dir(1));
    LfExifDateTime d;
    std::memset(&d, 0xAB, sizeof d);
    EXPECT_EQ(m.GetDateTimeOriginal(Write(JpegOf(t)).c_str(), &d), row.result);
    if (row.result != LF_E_FAIL) {
      EXPECT_EQ(std::memcmp(&d, &row.expected, sizeof d), 0) << d.year;
    }
  }
}

template <typename T>
Bytes Native(std::initializer_list<T> values) {
  Bytes out(values.size() * sizeof(T));
  std::memcpy(out.data(), std::data(values), out.size());
  return out;
}
Bytes Text(const std::string& s) { return Bytes(s.c_str(), s.c_str() + s.size() + 1); }

// GetExifValue delivers the whole values that fit; texts end in a NUL within the buffer.
TEST_P(QueryExports, GetExifValue) {
  TiffBuilder t = ExifTiff(GetParam());
  t.Ifd0().Short(0x0212, {2, 1}).Ascii(0x013B, "AB").Data(0x8298, kAscii, {'W', 'X', 'Y', 'Z'});
  t.Dir(1).Rational(kExposureTime, {{1, 250}}).Rational(0x9204, {{1, 3}, {2, 3}, {5, 3}});
  t.Dir(1)
      .Ascii(kDateTimeOriginal, "2021:07:14 09:26:53")
      .RawEntry(0x829D, kRational, 1, 0xFFFFFFF0);
  const int interop = t.AddDirectory();
  t.Dir(1).Pointer(0xA005, interop);
  t.Dir(interop).Ascii(0x0001, "R98");
  const std::string path = Write(JpegOf(t));
  const struct {
    uint32_t directory;
    uint16_t tag;
    uint32_t buffer;
    LF_RESULT result;
    uint16_t type;
    uint32_t count;
    Bytes bytes;
    // clang-format off
  } rows[] = {
      {LF_DIR_EXIF, kExposureTime, 64, LF_S_OK, kRational, 1, Native<uint32_t>({1, 250})},
      {LF_DIR_EXIF, kExposureTime, 4, LF_E_FAIL, kRational, 0, {}},  // smaller than one value
      {LF_DIR_EXIF, 0x9204, 16, LF_S_OK, kRational, 2, Native<uint32_t>({1, 3, 2, 3})},
      {LF_DIR_IFD0, 0x0212, 2, LF_S_OK, kShort, 1, Native<uint16_t>({2})},
      {LF_DIR_IFD0, 0x0212, 64, LF_S_OK, kShort, 2, Native<uint16_t>({2, 1})},
      {LF_DIR_IFD0, 0x010F, 64, LF_S_OK, kAscii, 10, Text("Kestrelon")},
      {LF_DIR_IFD0, 0x013B, 3, LF_S_OK, kAscii, 3, Text("AB")},
      {LF_DIR_IFD0, 0x8298, 64, LF_S_OK, kAscii, 4, {'W', 'X', 'Y', 'Z'}},  // stored without NUL
      {LF_DIR_IFD0, 0x8298, 3, LF_S_OK, kAscii, 3, Text("WX")},
      {LF_DIR_EXIF, kDateTimeOriginal, 8, LF_S_OK, kAscii, 8, Text("2021:07")},
      {LF_DIR_INTEROP, 0x0001, 64, LF_S_OK, kAscii, 4, Text("R98")},  // through the Exif IFD
      {LF_DIR_IFD0, 0x0110, 64, LF_E_FAIL, 0, 0, {}},                  // absent tag
      {LF_DIR_GPS, 0x0001, 64, LF_E_FAIL, 0, 0, {}},                   // absent directory
      {LF_DIR_IFD1, 0x0202, 64, LF_E_FAIL, 0, 0, {}},
      {LF_DIR_EXIF, 0x829D, 64, LF_E_FAIL, kRational, 0, {}},  // value offset past the block
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message()
                 << row.directory << " 0x" << std::hex << row.tag << " in " << row.buffer);
    const Value v = Get(path, row.directory, row.tag, row.buffer);
    EXPECT_EQ(v.result, row.result);
    EXPECT_EQ(v.type, row.type);
    EXPECT_EQ(v.count, row.count);
    EXPECT_EQ(v.bytes, row.bytes);
  }
  // IFD1's thumbnail length; a JFIF file has no EXIF.
  const Bytes camera = MakeCameraJpeg({.order = GetParam()});
  Value v = Get(Write(camera), LF_DIR_IFD1, 0x0202);
  EXPECT_EQ(v.bytes, Native<uint32_t>(
                         {static_cast<uint32_t>(StripAppSegments(EncodeJpeg(16, 12, 75)).size())}));
  v = Get(Write(Camera([](auto& o) { o.withJfif = true; })(GetParam())), LF_DIR_IFD0, 0x010F);
  EXPECT_EQ(v.result, LF_E_NO_EXIF);
  EXPECT_EQ(v.size, 0u);
}

}  // namespace
}  // namespace lf::test
