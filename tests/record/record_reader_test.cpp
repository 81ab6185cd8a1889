// SPDX-License-Identifier: MIT
// The record reader: fixtures in both byte orders read into directory records (values, types,
// texts, arrays, blobs and presence masks), the result codes of every step, hostile counts and
// offsets, and real files compared with ExifTool's readings of the same standard tags.
#include "exif/record/record_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/faults.h"
#include "tests/support/corpus_manifest.h"
#include "tests/support/exiftool_dump.h"
#include "tests/support/fixture_builder.h"
#include "tests/support/record_lists.h"

namespace lf::record {
namespace {

using test::Bytes;
using test::Order;

uint64_t Mask(const LfPresenceMask& m) { return (uint64_t{m.high} << 32) | m.low; }
uint64_t Bits(std::initializer_list<int> bits) {
  uint64_t m = 0;
  for (int b : bits) m |= uint64_t{1} << b;
  return m;
}
std::string Text(const LfString& s) { return s.text ? s.text : ""; }
std::string BlobText(const LfByteArray& a) {
  return a.data ? std::string(reinterpret_cast<const char*>(a.data), static_cast<size_t>(a.size)) : "";
}

using List = test::RecordList;

// IFD0 with the Exif and GPS sub-directories (the Exif one with an Interop directory) and IFD1.
Bytes CameraTiff(Order order) {
  test::TiffBuilder b(order);
  const int exif = b.AddDirectory(), gps = b.AddDirectory(), interop = b.AddDirectory();
  const int ifd1 = b.AddDirectory();
  b.Ifd0()
      .Short(0x0100, {640})
      .Long(0x0101, {480})
      .Short(0x0102, {8, 8, 8})
      .Ascii(0x010F, "Kestrelon")
      .Data(0x0110, test::kAscii, {'M', 'o', 'd', 'e', 'l', 'X', 'Y', 'Z', '1', '2'})
      .Short(0x0111, {100, 200})
      .Short(0x0112, {6})
      .Rational(0x011A, {{72, 1}})
      .Rational(0x013E, {{313, 1000}, {329, 1000}})
      .Undefined(0xC4A5, {'P', 'r', 'i', 'n', 't', 'I', 'M', 0})
      .Pointer(0x8769, exif)
      .Pointer(0x8825, gps)
      .Next(ifd1);
  b.Dir(exif)
      .Undefined(0x9000, {'0', '2', '2', '0'})
      .Ascii(0x9003, "2024:05:06 07:08:09")
      .Short(0x8827, {100, 200, 400})
      .Values(0x9204, test::kSRational, {static_cast<uint32_t>(-2), 3})
      .Long(0xA002, {4000})
      .Short(0xA003, {3000})
      .Values(0xA300, test::kUndefined, {3})
      .Undefined(0x9286, {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'h', 'i'})
      .Short(0x9214, {10, 20, 30, 40})
      .Short(0xA40C, {2})
      .Long(0xA500, {1})  // a tag the record has no field for
      .Pointer(0xA005, interop);
  b.Dir(interop).Ascii(0x0001, "R98").Undefined(0x0002, {'0', '1', '0', '0'}).Short(0x1001, {1600});
  b.Dir(gps)
      .Values(0x0000, test::kByte, {2, 2, 0, 0})
      .Ascii(0x0001, "N")
      .Rational(0x0002, {{46, 1}, {30, 1}, {1234, 100}})
      .Values(0x0005, test::kByte, {1})
      .Undefined(0x001B, {'A', 'S', 'C', 'I', 'I', 0, 0, 0})  // not a field: skipped
      .Undefined(0x0028, {'G', 'P', 'S'})
      .Ascii(0x002A, "2024:05:06")
      .Short(0x002B, {1});
  b.Dir(ifd1).Short(0x0103, {6}).Long(0x0201, {1234}).Long(0x0202, {567});
  return b.Build();
}

class RecordReaderTest : public ::testing::TestWithParam<Order> {};

TEST_P(RecordReaderTest, JpegAndTiffFillEveryDirectoryInOrder) {
  const Bytes tiff = CameraTiff(GetParam());
  test::TempDir dir;
  const std::string jpeg = dir.Put("a.jpg", test::JpegBuilder().Soi().App1Exif(tiff).BodyOf(test::EncodeJpeg(8, 8)).Build());
  const std::string tif = dir.Put("a.tif", tiff);
  for (const std::string& path : {jpeg, tif}) {
    SCOPED_TRACE(path);
    List l;
    ASSERT_EQ(ReadExifRecord(path.c_str(), &l.list, 0x000F0000), S_OK);
    EXPECT_EQ(l.Selectors(), (std::vector<uint32_t>{LF_SEL_IFD0, LF_SEL_EXIF, LF_SEL_GPS, LF_SEL_IFD1}));
    EXPECT_EQ(l.list.count, 4u);

    const auto* ifd0 = l.Find<LfImageDirRecord>(LF_SEL_IFD0);
    ASSERT_NE(ifd0, nullptr);
    EXPECT_EQ(Mask(ifd0->presence), Bits({0, 1, 2, 5, 9, 12, 17, 25, 26, 30, 31, 32}));
    EXPECT_EQ(ifd0->imageWidth, 640u);
    EXPECT_EQ(ifd0->imageWidthType, 3);
    EXPECT_EQ(ifd0->imageLength, 480u);
    EXPECT_EQ(ifd0->imageLengthType, 4);
    EXPECT_EQ(ifd0->bitsPerSample[2], 8);
    EXPECT_EQ(ifd0->orientation, 6);
    ASSERT_EQ(ifd0->stripOffsets.size, 2);
    EXPECT_EQ(ifd0->stripOffsets.data[1], 200u);
    EXPECT_EQ(ifd0->stripOffsetsType, 3);
    EXPECT_EQ(ifd0->xResolution[0], 72u);
    EXPECT_EQ(ifd0->whitePoint[2], 329u);
    EXPECT_EQ(Text(ifd0->make), "Kestrelon");
    EXPECT_EQ(Text(ifd0->model), "ModelXYZ12");  // count 10, no NUL: all ten letters
    EXPECT_EQ(BlobText(ifd0->printIM), std::string("PrintIM\0", 8));
    EXPECT_EQ(ifd0->dateTime.text, nullptr);  // absent: empty, bit clear

    const auto* ex = l.Find<LfExifDirRecord>(LF_SEL_EXIF);
    ASSERT_NE(ex, nullptr);
    EXPECT_EQ(Mask(ex->presence), Bits({0, 5, 6, 9, 18, 23, 38, 41, 42, 54, 55}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(ex->exifVersion), 4), "0220");
    EXPECT_EQ(Text(ex->dateTimeOriginal), "2024:05:06 07:08:09");
    ASSERT_EQ(ex->isoSpeedRatings.size, 3);
    EXPECT_EQ(ex->isoSpeedRatings.data[2], 400);
    EXPECT_EQ(ex->exposureBiasValue[0], -2);
    EXPECT_EQ(ex->exposureBiasValue[1], 3);
    EXPECT_EQ(ex->pixelXDimension, 4000u);
    EXPECT_EQ(ex->pixelXDimensionType, 4);
    EXPECT_EQ(ex->pixelYDimension, 3000u);
    EXPECT_EQ(ex->pixelYDimensionType, 3);
    EXPECT_EQ(ex->fileSource, 3);
    EXPECT_EQ(BlobText(ex->userComment), std::string("ASCII\0\0\0hi", 10));
    ASSERT_EQ(ex->subjectArea.size, 4);
    EXPECT_EQ(ex->subjectArea.data[3], 40);
    EXPECT_EQ(ex->subjectDistanceRange, 2);
    EXPECT_EQ(Mask(ex->interoperability.presence), Bits({0, 1, 3}));
    EXPECT_EQ(Text(ex->interoperability.interoperabilityIndex), "R98");
    EXPECT_EQ(std::memcmp(ex->interoperability.interoperabilityVersion, "0100", 4), 0);
    EXPECT_EQ(ex->interoperability.relatedImageWidth, 1600u);

    const auto* gps = l.Find<LfGpsDirRecord>(LF_SEL_GPS);
    ASSERT_NE(gps, nullptr);
    EXPECT_EQ(Mask(gps->presence), Bits({0, 1, 2, 5, 27, 29, 30}));
    EXPECT_EQ(gps->versionID[0], 2);
    EXPECT_EQ(gps->versionID[1], 2);
    EXPECT_EQ(Text(gps->latitudeRef), "N");
    EXPECT_EQ(gps->latitude[4], 1234u);
    EXPECT_EQ(gps->latitude[5], 100u);
    EXPECT_EQ(gps->altitudeRef, 1);
    EXPECT_EQ(BlobText(gps->processingData), "GPS");
    EXPECT_EQ(Text(gps->dateText), "2024:05:06");
    EXPECT_EQ(gps->differential, 1);

    const auto* ifd1 = l.Find<LfImageDirRecord>(LF_SEL_IFD1);
    ASSERT_NE(ifd1, nullptr);
    EXPECT_EQ(Mask(ifd1->presence), Bits({3, 19, 20}));
    EXPECT_EQ(ifd1->jpegInterchangeFormat, 1234u);
    EXPECT_EQ(ifd1->jpegInterchangeFormatLength, 567u);
  }
}

TEST_P(RecordReaderTest, MaskSelectsRecordsAndMissingLinksLeaveThemOut) {
  Bytes tiff = CameraTiff(GetParam());
  List gpsOnly;
  ASSERT_EQ(ParseTiffToRecord(exif::ByteView(tiff.data(), tiff.size()), &gpsOnly.list, LF_SEL_GPS | 0x1), S_OK);
  EXPECT_EQ(gpsOnly.Selectors(), std::vector<uint32_t>{LF_SEL_GPS});
  List info;  // only the image-information bits: valid, but nothing to read
  ASSERT_EQ(ParseTiffToRecord(exif::ByteView(tiff.data(), tiff.size()), &info.list, 0x2), S_OK);
  EXPECT_EQ(info.list.count, 0u);
  EXPECT_EQ(ParseTiffToRecord(exif::ByteView(tiff.data(), tiff.size()), &info.list, LF_SEL_INTEROP), E_INVALIDARG);

  // No IFD1 link, and sub-directory pointers that do not fit: records are made, bits stay clear.
  test::TiffBuilder b(GetParam());
  b.Ifd0().Short(0x0112, {3}).RawEntry(0x8769, test::kLong, 1, 0xFFF0).RawEntry(0x8825, test::kLong, 1, 0);
  Bytes lone = b.Build();
  List l;
  ASSERT_EQ(ParseTiffToRecord(exif::ByteView(lone.data(), lone.size()), &l.list, 0x000F0000), S_OK);
  EXPECT_EQ(l.Selectors(), (std::vector<uint32_t>{LF_SEL_IFD0, LF_SEL_EXIF, LF_SEL_GPS}));
  EXPECT_EQ(Mask(l.Find<LfImageDirRecord>(LF_SEL_IFD0)->presence), Bits({5}));
  EXPECT_EQ(Mask(l.Find<LfExifDirRecord>(LF_SEL_EXIF)->presence), 0u);
}

TEST_P(RecordReaderTest, HostileCountsAndOffsetsAreIgnoredOrRefused) {
  test::TiffBuilder b(GetParam());
  const int exif = b.AddDirectory();
  b.Ifd0()
      .Data(0x010F, test::kAscii, {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J'})
      .RawEntry(0x0110, test::kAscii, 9, 0)  // fixed below: nine of ten letters, no NUL
      .RawEntry(0x0131, test::kAscii, 50, 0x7FFFFFF0)      // value past the end: ignored
      .RawEntry(0x0111, test::kLong, 0x40000000, 8)        // 4 GiB of offsets: ignored
      .RawEntry(0x0117, 0, 0xFFFFFFFF, 0)                  // unknown type, huge count: bounded
      .RawEntry(0x9999, test::kAscii, 0xFFFFFFFF, 0)
      .Short(0x0112, {8})                                   // still read after them
      .Pointer(0x8769, exif);
  b.Dir(exif)
      .RawEntry(0x8827, 0, 0xFFFFFFFF, 0)
      .RawEntry(0x927C, test::kUndefined, 0x10000000, 8)
      .RawEntry(0xA005, test::kLong, 1, 0xFFFFFFFE)
      .Ascii(0x9003, "2024:01:02 03:04:05");
  test::TiffLayout layout;
  Bytes tiff = b.Build(&layout);
  // Point Model at Make's ten letters (out of line at the value field of entry 0).
  exif::ByteView view(tiff.data(), tiff.size(), GetParam() == Order::Big ? exif::kBigEndian : exif::kLittleEndian);
  const uint32_t ifd0 = layout.directoryOffsets[0];
  const uint32_t makeValue = view.ReadU32(ifd0 + 2 + 8);
  exif::MutableByteView(tiff.data(), tiff.size(), view.order()).WriteU32(ifd0 + 2 + 12 + 8, makeValue);

  List l;
  ASSERT_EQ(ParseTiffToRecord(exif::ByteView(tiff.data(), tiff.size()), &l.list, 0x000F0000), S_OK);
  const auto* r = l.Find<LfImageDirRecord>(LF_SEL_IFD0);
  EXPECT_EQ(Text(r->make), "ABCDEFGHIJ");
  EXPECT_EQ(Text(r->model), "ABCDEFGHI");
  EXPECT_EQ(Mask(r->presence), Bits({5, 14, 25, 26, 30}));
  EXPECT_LE(static_cast<size_t>(r->stripByteCounts.size), tiff.size());
  const auto* ex = l.Find<LfExifDirRecord>(LF_SEL_EXIF);
  EXPECT_EQ(Mask(ex->presence), Bits({9, 18}));  // no maker note, no Interop
  EXPECT_EQ(Text(ex->dateTimeOriginal), "2024:01:02 03:04:05");
  EXPECT_LE(static_cast<size_t>(ex->isoSpeedRatings.size), tiff.size() / 2);

  // Every truncation of the structure: a result, never a crash; failures add nothing.
  for (size_t n = 0; n <= tiff.size(); ++n) {
    List t;
    const HRESULT hr = ParseTiffToRecord(exif::ByteView(tiff.data(), n), &t.list, 0x000F0000);
    EXPECT_TRUE(hr == S_OK || (hr < 0 && t.list.count == 0)) << n;
  }
}

TEST_P(RecordReaderTest, HeaderAndDirectoryFailures) {
  const bool big = GetParam() == Order::Big;
  auto header = [&](uint16_t magic, uint32_t first) {
    test::ByteWriter w(big ? Order::Big : Order::Little);
    w.Text(big ? "MM" : "II").U16(magic).U32(first).Zeros(32);
    return w.Take();
  };
  auto parse = [](const Bytes& b) {
    List l;
    HRESULT hr = ParseTiffToRecord(exif::ByteView(b.data(), b.size()), &l.list, LF_SEL_IFD0);
    EXPECT_EQ(l.list.count, hr == S_OK ? 1u : 0u);
    return hr;
  };
  EXPECT_EQ(parse(header(42, 8)), S_OK);     // an empty IFD0
  EXPECT_EQ(parse(header(0x2A00, 8)), E_FAIL);
  EXPECT_EQ(parse(header(42, 4)), E_FAIL);
  EXPECT_EQ(parse(header(42, 0)), E_FAIL);
  EXPECT_EQ(parse(header(42, 38)), E_FAIL);  // no room for the count word
  Bytes bad = header(42, 8);
  bad[0] = bad[1] = 'X';
  EXPECT_EQ(parse(bad), E_FAIL);
  // A directory count that passes the end of the data.
  Bytes longCount = header(42, 8);
  longCount[big ? 9 : 8] = 3;
  EXPECT_EQ(parse(longCount), E_FAIL);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, RecordReaderTest, ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) { return info.param == Order::Little ? "Little" : "Big"; });

TEST(RecordReader, ResultCodesOfTheFileSteps) {
  test::TempDir dir;
  List l;
  const Bytes tiff = CameraTiff(Order::Little);
  const std::string good = dir.Put("a.jpg", test::JpegBuilder().Soi().App1Exif(tiff).Eoi().Build());
  EXPECT_EQ(ReadExifRecord(nullptr, &l.list, LF_SEL_IFD0), E_INVALIDARG);
  EXPECT_EQ(ReadExifRecord("", &l.list, LF_SEL_IFD0), E_INVALIDARG);
  EXPECT_EQ(ReadExifRecord(good.c_str(), nullptr, LF_SEL_IFD0), E_INVALIDARG);
  EXPECT_EQ(ReadExifRecord(good.c_str(), &l.list, 0x00F000F0), E_INVALIDARG);
  EXPECT_EQ(ReadExifRecord(dir.File("none.jpg").c_str(), &l.list, LF_SEL_IFD0), E_NO_EXIF);
  const std::string jfif = dir.Put("j.jpg", test::JpegBuilder().Soi().App0Jfif().App1Exif(tiff).Eoi().Build());
  EXPECT_EQ(ReadExifRecord(jfif.c_str(), &l.list, LF_SEL_IFD0), E_NO_EXIF);
  EXPECT_EQ(l.list.count, 0u);
  EXPECT_EQ(ReadExifRecord(good.c_str(), &l.list, 0x1), S_OK);
  EXPECT_EQ(l.list.count, 0u);
  EXPECT_EQ(ReadExifRecord(good.c_str(), &l.list, LF_SEL_IFD1 | LF_SEL_IFD0), S_OK);
  EXPECT_EQ(l.Selectors(), (std::vector<uint32_t>{LF_SEL_IFD0, LF_SEL_IFD1}));

  // The marker walk: found behind other segments, refused after SOS, bounded by truncation.
  const Bytes walk = test::JpegBuilder().Soi().App0Jfif().App(2, {1, 2, 3}).App1Exif(tiff).Eoi().Build();
  exif::ByteView w(walk.data(), walk.size());
  const int64_t at = FindJpegMarker(0xFFE1, w);
  ASSERT_GT(at, 0);
  EXPECT_EQ(walk[static_cast<size_t>(at) + 1], 0xE1);
  EXPECT_EQ(FindJpegMarker(0xFFE1, w.Sub(0, static_cast<uint64_t>(at) + 1)), -1);
  EXPECT_EQ(FindJpegMarker(0xFFD9, w), static_cast<int64_t>(walk.size() - 2));
  EXPECT_EQ(FindJpegMarker(0xFFE1, exif::ByteView(walk.data(), 1)), -1);
  const Bytes afterScan = test::JpegBuilder().Soi().Segment(0xDA, {0, 0}).App1Exif(tiff).Build();
  EXPECT_EQ(FindJpegMarker(0xFFE1, exif::ByteView(afterScan.data(), afterScan.size())), -1);

  // APP1 segments that are not EXIF ones, and one whose length overstates its data.
  const Bytes xmp = test::JpegBuilder().App(1, {'h', 't', 't', 'p', 0}).Build();
  EXPECT_EQ(ParseApp1ToRecord(exif::ByteView(xmp.data(), xmp.size()), &l.list, LF_SEL_IFD0), E_FAIL);
  EXPECT_EQ(ParseApp1ToRecord(exif::ByteView(), &l.list, LF_SEL_IFD0), E_INVALIDARG);
  Bytes app1 = test::JpegBuilder().App1Exif(tiff).Build();
  app1.resize(app1.size() / 2);
  List half;
  const HRESULT hr = ParseApp1ToRecord(exif::ByteView(app1.data(), app1.size()), &half.list, 0x000F0000);
  EXPECT_TRUE(hr == S_OK || hr == E_FAIL);
}

// Real files: the record reader's values of standard tags against ExifTool's.
TEST(RecordReaderCorpus, StandardTagsAgreeWithExifTool) {
  const std::vector<test::CorpusFile> corpus = test::LoadCorpusManifest();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  if (!test::ExifToolAvailable()) GTEST_SKIP() << "no exiftool";
  std::vector<std::string> paths;
  for (const test::CorpusFile& row : corpus) {
    if (row.category == "ok" && (row.format == "JPEG" || row.format == "TIFF")) paths.push_back(row.path);
  }
  std::string error;
  const test::ExifToolDump dump = test::RunExifTool(paths, {}, &error);
  ASSERT_TRUE(error.empty()) << error;
  auto trim = [](std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  };
  int files = 0, values = 0;
  for (const std::string& path : paths) {
    List l;
    if (ReadExifRecord(path.c_str(), &l.list, 0x000F0000) != S_OK || !dump.count(path)) continue;
    ++files;
    SCOPED_TRACE(path);
    const test::ExifToolTags& tags = dump.at(path);
    auto expect = [&](const char* key, const std::string& ours) {
      auto it = tags.find(key);
      if (it == tags.end()) return;
      EXPECT_EQ(trim(ours), trim(it->second)) << key;
      ++values;
    };
    if (const auto* r = l.Find<LfImageDirRecord>(LF_SEL_IFD0)) {
      if (LfPresenceHas(&r->presence, 25)) expect("IFD0:Make", Text(r->make));
      if (LfPresenceHas(&r->presence, 26)) expect("IFD0:Model", Text(r->model));
      if (LfPresenceHas(&r->presence, 5)) expect("IFD0:Orientation", std::to_string(r->orientation));
      if (LfPresenceHas(&r->presence, 11)) expect("IFD0:ResolutionUnit", std::to_string(r->resolutionUnit));
    }
    if (const auto* e = l.Find<LfExifDirRecord>(LF_SEL_EXIF)) {
      if (LfPresenceHas(&e->presence, 9)) expect("ExifIFD:DateTimeOriginal", Text(e->dateTimeOriginal));
      if (LfPresenceHas(&e->presence, 28)) expect("ExifIFD:Flash", std::to_string(e->flash));
      if (LfPresenceHas(&e->presence, 18) && e->isoSpeedRatings.size == 1) {
        expect("ExifIFD:ISO", std::to_string(e->isoSpeedRatings.data[0]));
      }
      if (LfPresenceHas(&e->presence, 41)) expect("InteropIFD:InteropIndex", Text(e->interoperability.interoperabilityIndex));
    }
    if (const auto* g = l.Find<LfGpsDirRecord>(LF_SEL_GPS)) {
      if (LfPresenceHas(&g->presence, 1)) expect("GPS:GPSLatitudeRef", Text(g->latitudeRef));
    }
    if (const auto* t = l.Find<LfImageDirRecord>(LF_SEL_IFD1)) {
      if (LfPresenceHas(&t->presence, 20)) expect("IFD1:ThumbnailLength", std::to_string(t->jpegInterchangeFormatLength));
    }
  }
  EXPECT_GE(files, 20);
  std::printf("corpus: %d files, %d record values agree with ExifTool\n", files, values);
}

}  // namespace
}  // namespace lf::record
