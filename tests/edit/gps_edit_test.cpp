// SPDX-License-Identifier: MIT
// ReplaceExifGps on whole files in both byte orders: GPS data added to a file without any, merged
// into an existing GPS IFD, and removed; the thumbnail laid again behind the block unchanged; a
// TIFF's strips moved behind the thumbnail; refusals and every failed step leave the file as it
// was. Written files are read back by our reader and judged by ExifTool.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "exif/edit/gps_edit.h"
#include "exif/model/exif_reader.h"
#include "tests/support/fault_steps.h"
#include "tests/support/edit_fixtures.h"
#include "tests/support/exiftool_dump.h"

namespace lf::edit {
namespace {

using test::Bytes;
using test::Order;
using test::ReadFile;
using test::WriteFile;

// A host record that owns its storage.
struct HostGps {
  std::vector<uint32_t> tags;
  std::string datum = "WGS-84", date = "2024:05:06";
  Bytes method = {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'G', 'P', 'S'};
  LfGpsRecord record{};

  explicit HostGps(std::vector<uint32_t> list) : tags(std::move(list)) {
    record.tagList.data = tags.data();
    record.tagList.size = static_cast<int32_t>(tags.size());
    record.tagList.capacity = record.tagList.size;
    const uint8_t version[4] = {2, 3, 0, 0};
    std::memcpy(record.versionID, version, 4);
    record.latitudeRef[0] = 'N';
    const uint32_t lat[6] = {48, 1, 51, 1, 3024, 100}, lon[6] = {2, 1, 17, 1, 4020, 100};
    std::memcpy(record.latitude, lat, sizeof lat);
    record.longitudeRef[0] = 'E';
    std::memcpy(record.longitude, lon, sizeof lon);
    record.altitudeRef = 0x101;  // only the low byte is written
    record.altitude[0] = 35;
    record.altitude[1] = 1;
    const uint32_t time[6] = {13, 1, 45, 1, 30, 1};
    std::memcpy(record.timeStamp, time, sizeof time);
    record.mapDatum.text = datum.data();
    record.dateStamp.text = date.data();
    record.processingMethod.data = method.data();
    record.processingMethod.size = static_cast<int32_t>(method.size());
  }
  HostGps(const HostGps&) = delete;
};

IfdEntry Find(exif::ExifReader& r, DirectoryId id, uint16_t tag) {
  IfdEntry e{tag};
  EXPECT_EQ(r.FindEntry(id, &e), 1) << "directory " << id << " tag 0x" << std::hex << tag;
  return e;
}

std::vector<uint32_t> Numbers(exif::ExifReader& r, const IfdEntry& e) {
  std::vector<uint32_t> v(2 * e.count + 1);
  r.ReadEntryValue(e, v.data(), static_cast<uint32_t>(v.size() * 4));
  v.resize(2 * e.count);
  return v;
}

std::string Text(exif::ExifReader& r, const IfdEntry& e) {
  std::string s(e.count + 1, '\0');
  r.ReadEntryValue(e, s.data(), static_cast<uint32_t>(s.size()));
  return s.c_str();
}

std::vector<uint16_t> GpsTags(exif::ExifReader& r) {
  IfdEntryList all;
  if (r.CollectEntries(exif::kGpsIfd, &all) <= 0) return {};
  std::vector<uint16_t> tags;
  for (const IfdEntry& e : all) tags.push_back(e.tag);
  return tags;
}

// The thumbnail as the file's IFD1 names it, and whether it ends the APP1 segment.
void ExpectThumbnailBehindBlock(const std::string& path, const Bytes& thumbnail) {
  exif::ExifReader r(path.c_str(), true);
  platform::HeapPtr<uint8_t> thumb;
  const uint32_t n = r.GetThumbnail(&thumb);
  ASSERT_EQ(n, thumbnail.size());
  EXPECT_EQ(Bytes(thumb.get(), thumb.get() + n), thumbnail);
  const IfdEntry at = Find(r, exif::kIfd1, exif::kTagJpegInterchangeFormat);
  EXPECT_EQ(at.value + n, r.blockLength());
  EXPECT_EQ(at.value % 2, 0u);
}

using test::ExpectNoNewIssues;

// A JPEG with a chosen Exif version and GPS IFD, a thumbnail, and one GPS entry the record never
// names (GPSSatellites, out of line). Packed, its values have no pad bytes and odd lengths, so the
// Exif IFD, the GPS IFD and the thumbnail start on odd offsets and SubSecTimeOriginal on an even
// one behind them.
struct GpsFixture {
  Bytes file;
  Bytes thumbnail;
};
GpsFixture MakeGpsJpeg(Order order, const std::string& exifVersion, bool withGps,
                       Bytes gpsVersion = {2, 0, 0, 0}, bool packed = false) {
  GpsFixture f;
  test::TiffBuilder t(order);
  t.SetPacked(packed);
  const int exif = t.AddDirectory();
  if (packed) t.Ifd0().Ascii(0x010E, "A view");
  t.Ifd0().Ascii(0x010F, "Kestrelon").Ascii(0x0132, "2021:07:14 10:00:00").Pointer(0x8769, exif);
  t.Dir(exif).Undefined(0x9000, Bytes(exifVersion.begin(), exifVersion.end())).Ascii(0x9003, "2021:07:14 09:26:53");
  if (packed) t.Dir(exif).Ascii(0x9290, "123456").Ascii(0x9291, "654321");
  if (withGps) {
    const int gps = t.AddDirectory();
    t.Ifd0().Pointer(0x8825, gps);
    t.Dir(gps).Data(0x0000, test::kByte, gpsVersion).Ascii(0x0001, "S").Ascii(0x0008, "07 satellites");
  }
  const int ifd1 = t.AddDirectory();
  t.Ifd0().Next(ifd1);
  f.thumbnail = test::StripAppSegments(test::EncodeJpeg(16, 12, 75));
  const int blob = t.AddBlob(f.thumbnail);
  t.Dir(ifd1).Short(0x0103, {6}).Rational(0x011A, {{72, 1}}).BlobOffset(0x0201, blob).BlobLength(0x0202, blob);
  test::JpegBuilder j;
  f.file = j.Soi().App1Exif(t.Build()).BodyOf(test::EncodeJpeg(32, 24)).Build();
  return f;
}

class GpsEditTest : public ::testing::TestWithParam<Order> {
 protected:
  test::TempDir dir_;
};

TEST_P(GpsEditTest, AFileWithoutGpsGainsADirectoryInTagOrderWithTheThumbnailBehindIt) {
  const test::CameraFile c = test::MakeCameraFile({.order = GetParam(), .withGps = false});
  const std::string src = dir_.File("a.jpg"), dst = dir_.File("b.jpg");
  WriteFile(src, c.file);
  // Out of order, one tag twice, one tag the module does not write.
  HostGps gps({0x0004, 0x0002, 0x0000, 0x0001, 0x0003, 0x0002, 0x0006, 0x0005, 0x0007, 0x0012, 0x001B,
               0x001D, 0x0099});
  ASSERT_EQ(ReplaceExifGps(dst, src, 90, &gps.record), S_OK);
  EXPECT_EQ(ReadFile(src), c.file);
  // Exif 0221: GPS 2.2, also in the host's record.
  EXPECT_EQ(Bytes(gps.record.versionID, gps.record.versionID + 4), (Bytes{2, 2, 0, 0}));

  exif::ExifReader r(dst.c_str(), true);
  ASSERT_TRUE(r.IsExifJpeg());
  EXPECT_EQ(GpsTags(r), (std::vector<uint16_t>{0, 1, 2, 3, 4, 5, 6, 7, 0x12, 0x1B, 0x1D}));
  const IfdEntry version = Find(r, exif::kGpsIfd, 0x0000);
  EXPECT_EQ(InlineFourBytesBigEndian(version), 0x02020000u);
  EXPECT_EQ(Text(r, Find(r, exif::kGpsIfd, 0x0001)), "N");
  EXPECT_EQ(Numbers(r, Find(r, exif::kGpsIfd, 0x0002)), (std::vector<uint32_t>{48, 1, 51, 1, 3024, 100}));
  EXPECT_EQ(Numbers(r, Find(r, exif::kGpsIfd, 0x0004)), (std::vector<uint32_t>{2, 1, 17, 1, 4020, 100}));
  EXPECT_EQ(Find(r, exif::kGpsIfd, 0x0005).value, 1u);
  EXPECT_EQ(Numbers(r, Find(r, exif::kGpsIfd, 0x0006)), (std::vector<uint32_t>{35, 1}));
  EXPECT_EQ(Numbers(r, Find(r, exif::kGpsIfd, 0x0007)), (std::vector<uint32_t>{13, 1, 45, 1, 30, 1}));
  EXPECT_EQ(Text(r, Find(r, exif::kGpsIfd, 0x0012)), "WGS-84");
  EXPECT_EQ(Text(r, Find(r, exif::kGpsIfd, 0x001D)), "2024:05:06");
  const IfdEntry method = Find(r, exif::kGpsIfd, 0x001B);
  EXPECT_EQ(method.type, exif::kTypeUndefined);
  EXPECT_EQ(method.count, gps.method.size());
  // The rest of the file: the image, the maker note's own value, Exif entries.
  EXPECT_EQ(test::MainScan(ReadFile(dst)), test::MainScan(c.file));
  EXPECT_EQ(Text(r, Find(r, exif::kExifIfd, 0x9003)), "2021:07:14 09:26:53");
  const IfdEntry note = Find(r, exif::kExifIfd, 0x927C);
  IfdEntry inner;
  ASSERT_TRUE(ReadEntry(r.Block(), note.value + 12 + 2 + 12, &inner));
  ASSERT_TRUE(r.Block().Contains(inner.value, 16));
  EXPECT_EQ(Bytes(r.Block().data() + inner.value, r.Block().data() + inner.value + 16), c.makerNoteValue);
  ExpectThumbnailBehindBlock(dst, c.thumbnail);
  ExpectNoNewIssues(src, dst);

  // ExifTool reads the same position.
  if (!test::ExifToolAvailable()) return;
  const test::ExifToolDump dump = test::RunExifTool({dst});
  ASSERT_TRUE(dump.count(dst));
  const test::ExifToolTags& tags = dump.at(dst);
  EXPECT_NEAR(std::stod(tags.at("GPS:GPSLatitude")), 48 + 51 / 60.0 + 30.24 / 3600, 1e-9);
  EXPECT_NEAR(std::stod(tags.at("GPS:GPSLongitude")), 2 + 17 / 60.0 + 40.2 / 3600, 1e-9);
  EXPECT_EQ(tags.at("GPS:GPSLatitudeRef"), "N");
  EXPECT_EQ(tags.at("GPS:GPSAltitude"), "35");
  EXPECT_EQ(tags.at("GPS:GPSVersionID"), "2 2 0 0");
  EXPECT_EQ(tags.at("GPS:GPSMapDatum"), "WGS-84");
}

TEST_P(GpsEditTest, AMergeKeepsTheFilesOtherEntriesAndRespectsAnOldGpsVersion) {
  const GpsFixture f = MakeGpsJpeg(GetParam(), "0210", true, {1, 0, 0, 0});
  const std::string path = dir_.File("old.jpg");
  WriteFile(path, f.file);
  HostGps gps({0x0000, 0x0001, 0x0002, 0x001D, 0x001B, 0x001C});
  gps.record.areaInformation = gps.record.processingMethod;
  ASSERT_EQ(ReplaceExifGps(path, path, 80, &gps.record), S_OK);
  // Exif 0210: GPS 2.0, so the tags of GPS 2.2 are not written; version 1.0 of the file is raised.
  EXPECT_EQ(Bytes(gps.record.versionID, gps.record.versionID + 4), (Bytes{2, 0, 0, 0}));
  exif::ExifReader r(path.c_str(), true);
  EXPECT_EQ(GpsTags(r), (std::vector<uint16_t>{0, 1, 2, 8}));
  EXPECT_EQ(InlineFourBytesBigEndian(Find(r, exif::kGpsIfd, 0)), kGpsVersion20);
  EXPECT_EQ(Text(r, Find(r, exif::kGpsIfd, 0x0001)), "N");
  EXPECT_EQ(Text(r, Find(r, exif::kGpsIfd, 0x0008)), "07 satellites");
  ExpectThumbnailBehindBlock(path, f.thumbnail);

  // Exif 0220 with GPS 2.2: the same record now writes them all, and a second run changes nothing
  // but the stamp.
  const GpsFixture g = MakeGpsJpeg(GetParam(), "0220", true, {2, 2, 0, 0});
  WriteFile(path, g.file);
  ASSERT_EQ(ReplaceExifGps(path, path, 80, &gps.record), S_OK);
  const Bytes once = ReadFile(path);
  exif::ExifReader s(path.c_str(), true);
  EXPECT_EQ(GpsTags(s), (std::vector<uint16_t>{0, 1, 2, 8, 0x1B, 0x1C, 0x1D}));
  EXPECT_EQ(Text(s, Find(s, exif::kGpsIfd, 0x0008)), "07 satellites");
  ASSERT_EQ(ReplaceExifGps(path, path, 80, &gps.record), S_OK);
  EXPECT_EQ(ReadFile(path).size(), once.size());
  ExpectNoNewIssues(dir_.File("old.jpg"), path);
}

TEST_P(GpsEditTest, AnEmptyTagListRemovesEveryGpsEntryTheDirectoryAndThePointer) {
  const test::CameraFile c = test::MakeCameraFile({.order = GetParam()});
  const std::string src = dir_.File("a.jpg"), dst = dir_.File("b.jpg");
  WriteFile(src, c.file);
  HostGps gps({});
  ASSERT_EQ(ReplaceExifGps(dst, src, 90, &gps.record), S_OK);
  exif::ExifReader r(dst.c_str(), true);
  ASSERT_TRUE(r.IsExif());
  IfdEntry pointer{exif::kTagGpsIfdPointer};
  EXPECT_EQ(r.FindEntry(exif::kIfd0, &pointer), 0);
  // The pointer entry, the directory (6 + 3·12 bytes) and the latitude (24) are gone.
  EXPECT_EQ(r.blockLength(), c.tiff.size() - (12 + 6 + 3 * 12 + 24));
  ExpectThumbnailBehindBlock(dst, c.thumbnail);
  EXPECT_EQ(Text(r, Find(r, exif::kIfd0, 0x0110)), "KX-100 Test");
  ExpectNoNewIssues(src, dst);
  // Nothing left to remove.
  EXPECT_EQ(ReplaceExifGps(dst, dst, 90, &gps.record), E_FAIL);
}

// Edits of a JPEG packed without pad bytes (its directories and thumbnail on odd offsets): the GPS
// IFD holds the tags of the row, the thumbnail stays intact behind the block, and ExifTool finds
// nothing new, no value moved to an odd offset above all. Only an empty tag list removes the GPS
// data.
TEST_P(GpsEditTest, EditsKeepWordAlignmentTheThumbnailAndTheGpsEntriesNotNamed) {
  struct Row {
    const char* what;
    bool withGps;
    std::vector<uint32_t> tags;
    std::vector<uint16_t> after;  // the GPS tags of the written file
  };
  const Row rows[] = {
      {"added", false, {0, 1, 2, 0x12}, {0, 1, 2, 0x12}},
      {"merged", true, {0, 2, 0x12}, {0, 1, 2, 8, 0x12}},
      {"removed", true, {}, {}},
      {"a list of tags not written keeps the GPS data", true, {0x0008, 0x0099}, {0, 1, 8}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const GpsFixture f = MakeGpsJpeg(GetParam(), "0220", row.withGps, {2, 2, 0, 0}, true);
    const std::string src = dir_.File("src.jpg"), dst = dir_.File("dst.jpg");
    WriteFile(src, f.file);
    HostGps gps(row.tags);
    ASSERT_EQ(ReplaceExifGps(dst, src, 90, &gps.record), S_OK);
    exif::ExifReader r(dst.c_str(), true);
    EXPECT_EQ(GpsTags(r), row.after);
    ExpectThumbnailBehindBlock(dst, f.thumbnail);
    ExpectNoNewIssues(src, dst);
  }
}

TEST_P(GpsEditTest, RefusalsLeaveTheFileByteForByte) {
  const GpsFixture f = MakeGpsJpeg(GetParam(), "0200", true);
  const std::string path = dir_.File("x.jpg");
  WriteFile(path, f.file);
  HostGps gps({0x0002});
  auto expectRefused = [&](HRESULT want, HRESULT got, const Bytes& file) {
    EXPECT_EQ(got, want);
    EXPECT_EQ(ReadFile(path), file);
    EXPECT_EQ(dir_.List(), std::vector<std::string>{"x.jpg"});
  };
  // Exif 0200 with a GPS IFD.
  expectRefused(E_FAIL, ReplaceExifGps(path, path, 80, &gps.record), f.file);
  // JPEG quality.
  const GpsFixture g = MakeGpsJpeg(GetParam(), "0220", false);
  WriteFile(path, g.file);
  expectRefused(E_INVALIDARG, ReplaceExifGps(path, path, 0, &gps.record), g.file);
  expectRefused(E_INVALIDARG, ReplaceExifGps(path, path, 101, &gps.record), g.file);
  // No GPS to remove.
  HostGps none({});
  expectRefused(E_FAIL, ReplaceExifGps(path, path, 80, &none.record), g.file);
  // Records that cannot be read safely.
  HostGps bad({0x0002, 0x001B});
  bad.record.processingMethod.data = nullptr;
  expectRefused(E_INVALIDARG, ReplaceExifGps(path, path, 80, &bad.record), g.file);
  bad.record.processingMethod.size = -1;
  expectRefused(E_INVALIDARG, ReplaceExifGps(path, path, 80, &bad.record), g.file);
  HostGps badList({0x0002});
  badList.record.tagList.size = -3;
  expectRefused(E_INVALIDARG, ReplaceExifGps(path, path, 80, &badList.record), g.file);
  badList.record.tagList.size = 2;
  badList.record.tagList.data = nullptr;
  expectRefused(E_INVALIDARG, ReplaceExifGps(path, path, 80, &badList.record), g.file);
  std::string unterminated(kMaxGpsBytes + 10, 'x');
  HostGps longText({0x0012});
  longText.record.mapDatum.text = unterminated.data();
  expectRefused(E_INVALIDARG, ReplaceExifGps(path, path, 80, &longText.record), g.file);
  // An empty byte array is skipped, not refused.
  HostGps empty({0x0002, 0x001B});
  empty.record.processingMethod = {};
  ASSERT_EQ(ReplaceExifGps(path, path, 80, &empty.record), S_OK);
  exif::ExifReader r(path.c_str(), true);
  EXPECT_EQ(GpsTags(r), (std::vector<uint16_t>{2}));
  // A JFIF file is no EXIF file.
  test::JpegBuilder j;
  const Bytes jfif = j.Soi().App0Jfif().BodyOf(test::EncodeJpeg(8, 8)).Build();
  WriteFile(path, jfif);
  expectRefused(E_NO_EXIF, ReplaceExifGps(path, path, 80, &gps.record), jfif);
}

// A TIFF whose thumbnail (strips, or a JPEG stream) comes before its main strips: after the edit
// the block, the thumbnail and the main image follow each other, every byte intact.
TEST_P(GpsEditTest, ATiffKeepsItsThumbnailAndStripsMovedBehindTheBlock) {
  const Order order = GetParam();
  Bytes main(8 * 6 * 3), strips(4 * 3 * 3);
  for (size_t i = 0; i < main.size(); ++i) main[i] = static_cast<uint8_t>(i * 7 + 1);
  for (size_t i = 0; i < strips.size(); ++i) strips[i] = static_cast<uint8_t>(200 - i);
  const Bytes jpeg = test::StripAppSegments(test::EncodeJpeg(16, 12, 75));
  auto build = [&](bool withGps, bool stripsFirst, bool jpegThumbnail) {
    test::TiffBuilder t(order);
    t.SetBlobsFirst(stripsFirst);
    const int exif = t.AddDirectory(), ifd1 = t.AddDirectory();
    const int thumbBlob = t.AddBlob(jpegThumbnail ? jpeg : strips), mainBlob = t.AddBlob(main);
    t.Ifd0().Long(0x0100, {8}).Long(0x0101, {6}).Short(0x0102, {8, 8, 8}).Short(0x0103, {1}).Short(0x0106, {2});
    t.Ifd0().BlobOffset(0x0111, mainBlob).Short(0x0115, {3}).Long(0x0116, {6}).BlobLength(0x0117, mainBlob);
    t.Ifd0().Rational(0x011A, {{300, 1}}).Rational(0x011B, {{300, 1}}).Short(0x0128, {2});
    t.Ifd0().Ascii(0x0132, "2020:01:02 03:04:05").Pointer(0x8769, exif).Next(ifd1);
    if (withGps) {
      const int gps = t.AddDirectory();
      t.Ifd0().Pointer(0x8825, gps);
      t.Dir(gps).Data(0x0000, test::kByte, {2, 2, 0, 0}).Ascii(0x0012, "TOKYO-1918");
    }
    t.Dir(exif).Undefined(0x9000, {'0', '2', '2', '0'}).Ascii(0x9003, "2020:01:02 03:04:05");
    t.Dir(exif).Undefined(0xA000, {'0', '1', '0', '0'}).Short(0xA001, {1});
    if (jpegThumbnail) {
      t.Dir(ifd1).Short(0x0103, {6}).Rational(0x011A, {{72, 1}}).BlobOffset(0x0201, thumbBlob);
      t.Dir(ifd1).BlobLength(0x0202, thumbBlob);
    } else {
      t.Dir(ifd1).Long(0x0100, {4}).Long(0x0101, {3}).Short(0x0102, {8, 8, 8}).Short(0x0103, {1});
      t.Dir(ifd1).Short(0x0106, {2}).BlobOffset(0x0111, thumbBlob).Short(0x0115, {3});
      t.Dir(ifd1).Long(0x0116, {3}).BlobLength(0x0117, thumbBlob);
    }
    return t.Build();
  };
  // Image data of one directory as its own entries name it: strips, or IFD1's JPEG stream.
  auto dataOf = [](const Bytes& file, bool thumbnail) {
    const ByteView v(file.data(), file.size(), file[0] == 'I' ? exif::kLittleEndian : exif::kBigEndian);
    RawDirectory d;
    if (!LocateRawDirectory(v, v.ReadU32(4), &d)) return std::make_pair(Bytes{}, 0u);
    if (thumbnail && !LocateRawDirectory(v, v.ReadU32(d.LinkPos()), &d))
      return std::make_pair(Bytes{}, 0u);
    IfdEntry at, n;
    if (!(FindRawEntry(v, d, exif::kTagStripOffsets, &at) &&
          FindRawEntry(v, d, exif::kTagStripByteCounts, &n)) &&
        !(FindRawEntry(v, d, exif::kTagJpegInterchangeFormat, &at) &&
          FindRawEntry(v, d, exif::kTagJpegInterchangeFormatLength, &n))) {
      return std::make_pair(Bytes{}, 0u);
    }
    return std::make_pair(test::Slice(file, at.value, n.value), at.value);
  };
  struct Row {
    bool withGps, stripsFirst, jpegThumbnail;
  };
  for (const Row& row : {Row{false, false, false}, Row{true, false, false}, Row{true, true, false},
                         Row{false, false, true}, Row{true, true, true}}) {
    SCOPED_TRACE(std::string(row.withGps ? "merged into GPS" : "GPS added") +
                 (row.stripsFirst ? ", strips first" : "") +
                 (row.jpegThumbnail ? ", JPEG thumbnail" : ""));
    const Bytes file = build(row.withGps, row.stripsFirst, row.jpegThumbnail);
    const Bytes& thumb = row.jpegThumbnail ? jpeg : strips;
    const std::string src = dir_.File(row.withGps ? "g.tif" : "n.tif"), dst = dir_.File("out.tif");
    WriteFile(src, file);
    HostGps gps({0x0000, 0x0001, 0x0002, 0x001B});
    ASSERT_EQ(ReplaceExifGps(dst, src, 0, &gps.record), S_OK);  // quality means nothing for a TIFF
    const Bytes out = ReadFile(dst);
    const auto [mainOut, mainAt] = dataOf(out, false);
    const auto [thumbOut, thumbAt] = dataOf(out, true);
    EXPECT_EQ(mainOut, main);
    EXPECT_EQ(thumbOut, thumb);
    exif::ExifReader r(dst.c_str(), true);
    ASSERT_TRUE(r.IsExifTiff());
    EXPECT_GT(thumbAt, 8u);
    EXPECT_EQ(thumbAt % 2, 0u);
    EXPECT_EQ(mainAt, (thumbAt + thumb.size() + 1) & ~1u);
    EXPECT_EQ(out.size(), mainAt + main.size());
    EXPECT_EQ(Numbers(r, Find(r, exif::kGpsIfd, 0x0002)), (std::vector<uint32_t>{48, 1, 51, 1, 3024, 100}));
    if (row.withGps) {
      EXPECT_EQ(Text(r, Find(r, exif::kGpsIfd, 0x0012)), "TOKYO-1918");
    }
    ExpectNoNewIssues(src, dst);
    if (row.jpegThumbnail && test::ExifToolAvailable()) {
      const test::ExifToolDump dump = test::RunExifTool({src, dst});
      ASSERT_TRUE(dump.count(src) && dump.count(dst) && dump.at(src).count("IFD1:ThumbnailImage"));
      EXPECT_EQ(dump.at(dst).at("IFD1:ThumbnailImage"), dump.at(src).at("IFD1:ThumbnailImage"));
    }
    // And taken out again: the image data stays intact.
    HostGps none({});
    ASSERT_EQ(ReplaceExifGps(dst, dst, 0, &none.record), S_OK);
    const Bytes removed = ReadFile(dst);
    EXPECT_EQ(dataOf(removed, false).first, main);
    EXPECT_EQ(dataOf(removed, true).first, thumb);
    exif::ExifReader s(dst.c_str(), true);
    IfdEntry gpsPointer{exif::kTagGpsIfdPointer};
    EXPECT_EQ(s.FindEntry(exif::kIfd0, &gpsPointer), 0);
  }
}

// A block the editor pins (a directory reached through SubIFDs) keeps every byte in place: the
// thumbnail stays where it is, so repeated edits grow the file by no more than a GPS directory.
TEST_P(GpsEditTest, RepeatedEditsOfAPinnedBlockDoNotGrowItByAThumbnailEachTime) {
  test::TiffBuilder t(GetParam());
  const int exif = t.AddDirectory(), sub = t.AddDirectory(), ifd1 = t.AddDirectory();
  t.Ifd0().Ascii(0x010F, "Kestrelon").Pointer(0x014A, sub).Ascii(0x0132, "2021:07:14 10:00:00").Pointer(0x8769, exif);
  t.Ifd0().Next(ifd1);
  t.Dir(exif).Undefined(0x9000, {'0', '2', '2', '0'});
  t.Dir(sub).Long(0x0100, {4}).Rational(0x011A, {{1, 2}});
  const Bytes thumbnail = test::StripAppSegments(test::EncodeJpeg(40, 30, 90));
  const int blob = t.AddBlob(thumbnail);
  t.Dir(ifd1).Short(0x0103, {6}).BlobOffset(0x0201, blob).BlobLength(0x0202, blob);
  test::TiffLayout layout;
  const Bytes tiff = t.Build(&layout);
  test::JpegBuilder j;
  const std::string path = dir_.File("pinned.jpg");
  WriteFile(path, j.Soi().App1Exif(tiff).BodyOf(test::EncodeJpeg(16, 16)).Build());
  std::vector<size_t> sizes;
  for (uint32_t degrees : {10u, 20u, 30u}) {
    HostGps gps({0x0000, 0x0001, 0x0002, 0x0012});
    gps.record.latitude[0] = degrees;
    ASSERT_EQ(ReplaceExifGps(path, path, 90, &gps.record), S_OK);
    sizes.push_back(ReadFile(path).size());
    exif::ExifReader r(path.c_str(), true);
    EXPECT_EQ(Find(r, exif::kIfd0, 0x014A).value, layout.directoryOffsets[static_cast<size_t>(sub)]);
    EXPECT_EQ(Numbers(r, Find(r, exif::kGpsIfd, 0x0002))[0], degrees);
    platform::HeapPtr<uint8_t> thumb;
    const uint32_t n = r.GetThumbnail(&thumb);
    ASSERT_EQ(n, thumbnail.size());
    EXPECT_EQ(Bytes(thumb.get(), thumb.get() + n), thumbnail);
  }
  EXPECT_LT(sizes[2] - sizes[1], thumbnail.size());
  EXPECT_LT(sizes[1] - sizes[0], thumbnail.size());
}

// The GPS step of a block built from scratch: the source's GPS entries, their values read from the
// source, merged with the record, laid at the end of the block and named by IFD0's GPSInfo.
TEST_P(GpsEditTest, BuildingABlockLaysTheSourcesGpsEntriesMergedWithTheRecord) {
  const GpsFixture f = MakeGpsJpeg(GetParam(), "0220", true, {2, 2, 0, 0});
  const std::string src = dir_.File("s.jpg");
  WriteFile(src, f.file);
  ExifWriter writer(src.c_str(), true);
  OutputLayout& out = writer.output();
  HostGps gps({0x0000, 0x0002, 0x001D});
  LfGpsRecord* record = &gps.record;
  EXPECT_EQ(writer.BuildGpsDirectory(record), 0);  // no block yet
  ASSERT_TRUE(out.StartBlock(GetParam() == Order::Little ? exif::kLittleEndian : exif::kBigEndian, false, true));
  const uint32_t at0 = out.LayDirectory(
      exif::kIfd0, {{exif::kTagExifIfdPointer, exif::kTypeLong, 1, 0}, {exif::kTagGpsIfdPointer, exif::kTypeLong, 1, 0}},
      nullptr);
  ASSERT_TRUE(at0 != 0 && out.SetDirectoryPointer(exif::kIfd0, at0));
  EXPECT_EQ(writer.BuildGpsDirectory(record), 0);  // no Exif IFD with an Exif version
  const uint32_t atExif = out.LayDirectory(exif::kExifIfd, {{0x9000, exif::kTypeUndefined, 4, 0x30323230}}, nullptr);
  ASSERT_TRUE(atExif != 0 && out.SetDirectoryPointer(exif::kExifIfd, atExif));
  ASSERT_EQ(writer.BuildGpsDirectory(record), 1);
  // The host's record learns the version written (Exif 0220: GPS 2.2).
  EXPECT_EQ(Bytes(gps.record.versionID, gps.record.versionID + 4), (Bytes{2, 2, 0, 0}));

  IfdEntry pointer{exif::kTagGpsIfdPointer};
  ASSERT_EQ(out.FindOutputEntry(exif::kIfd0, &pointer), exif::kFound);
  EXPECT_EQ(pointer.value, out.outGps().offset);
  EXPECT_GT(pointer.value, atExif);
  IfdEntryList laid;
  ASSERT_EQ(out.CollectOutputEntries(exif::kGpsIfd, &laid), 5);
  const ByteView b = out.View();
  auto bytesOf = [&](const IfdEntry& e) {
    return Bytes(b.data() + e.value, b.data() + e.value + ValueBytes(e.type, e.count));
  };
  EXPECT_EQ(laid[0].tag, 0x0000);
  EXPECT_EQ(InlineFourBytesBigEndian(laid[0]), kGpsVersion22);
  EXPECT_EQ(laid[1].tag, 0x0001);
  EXPECT_EQ(laid[1].value, uint32_t{'S'});
  ASSERT_EQ(laid[2].tag, 0x0002);
  ASSERT_EQ(laid[2].count, 3u);
  EXPECT_EQ(b.ReadU32(laid[2].value + 16), 3024u);
  EXPECT_EQ(b.ReadU32(laid[2].value + 20), 100u);
  ASSERT_EQ(laid[3].tag, 0x0008);
  EXPECT_EQ(bytesOf(laid[3]), (Bytes{'0', '7', ' ', 's', 'a', 't', 'e', 'l', 'l', 'i', 't', 'e', 's', 0}));
  ASSERT_EQ(laid[4].tag, 0x001D);
  EXPECT_EQ(bytesOf(laid[4]), (Bytes{'2', '0', '2', '4', ':', '0', '5', ':', '0', '6', 0}));
  for (const IfdEntry& e : laid) {
    if (HasOutOfLineValue(e)) {
      EXPECT_EQ(e.value % 2, 0u) << e.tag;
    }
  }
}

TEST_P(GpsEditTest, EveryFailedStepOfAWriteLeavesTheOldFileAndNoTemporaryFile) {
  const test::CameraFile c = test::MakeCameraFile({.order = GetParam(), .withGps = false});
  const std::string f = dir_.File("a.jpg");
  WriteFile(f, c.file);
  HostGps gps({0x0000, 0x0001, 0x0002, 0x0012});
  size_t written = 0;
  size_t failures = 0;
  test::ForEachFailedStep<HRESULT>(
      [&] { WriteFile(f, c.file); }, [&] { return ReplaceExifGps(f, f, 90, &gps.record); },
      [&](HRESULT r, platform::Service) {
        if (r == S_OK) {
          EXPECT_EQ(ReadFile(f).size(), written);
        } else {
          ++failures;
          EXPECT_EQ(ReadFile(f), c.file);
        }
        EXPECT_EQ(dir_.List(), std::vector<std::string>{"a.jpg"});
      },
      {.error = 29},
      [&](HRESULT clean) {
        ASSERT_EQ(clean, S_OK);
        written = ReadFile(f).size();
      });
  EXPECT_GT(failures, 0u);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, GpsEditTest, ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) { return info.param == Order::Little ? "II" : "MM"; });

}  // namespace
}  // namespace lf::edit
