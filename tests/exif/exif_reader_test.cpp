// SPDX-License-Identifier: MIT
// ExifReader over fixtures built as bytes: construction, block sizing, directory services from the
// block and from the file, hostile layouts.
#include "exif/model/exif_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "lumenframe/lumenframe.h"
#include "platform/faults.h"
#include "tests/support/fixture_builder.h"

namespace lf::exif {
namespace {

using test::Bytes;
using test::CameraJpegOptions;
using test::Ifd;
using test::JpegBuilder;
using test::Order;
using test::TempDir;
using test::TiffBuilder;
using test::TiffLayout;

// Offset of the TIFF header in a JPEG whose APP1 follows SOI: SOI, marker, length, "Exif\0\0".
constexpr uint32_t kJpegTiffBase = 2 + 4 + 6;

std::string Text(const uint8_t* p) { return reinterpret_cast<const char*>(p); }

// Each case runs in both byte orders, with the block loaded and with every answer read from the
// file, since the two paths must agree.
class ReaderCase : public ::testing::TestWithParam<std::tuple<Order, bool>> {
 protected:
  Order order() const { return std::get<0>(GetParam()); }
  ByteOrder byteOrder() const { return order() == Order::Little ? kLittleEndian : kBigEndian; }
  bool loadBlock() const { return std::get<1>(GetParam()); }
  std::string Write(const std::string& name, const Bytes& data) { return dir_.Put(name, data); }
  CameraJpegOptions Camera() const {
    CameraJpegOptions o;
    o.order = order();
    return o;
  }
  TempDir dir_;
};

TEST_P(ReaderCase, ReadsACameraJpeg) {
  const std::string path = Write("camera.jpg", test::MakeCameraJpeg(Camera()));
  ExifReader r(path.c_str(), loadBlock());
  ASSERT_EQ(r.structureRead(), 1);
  EXPECT_EQ(r.byteOrder(), byteOrder());
  EXPECT_EQ(r.tiffBase(), kJpegTiffBase);
  EXPECT_EQ(r.ifd0Offset(), 8u);
  EXPECT_TRUE(r.IsExif());
  EXPECT_TRUE(r.IsExifJpeg());
  EXPECT_FALSE(r.IsExifTiff());
  EXPECT_EQ(r.sofWidth(), 64);
  EXPECT_EQ(r.sofHeight(), 48);
  EXPECT_EQ(r.sofComponents(), 3);
  EXPECT_EQ(r.app1Position(), 2u);
  EXPECT_EQ(r.blockLength(), r.app1Length() - 8u);
  EXPECT_EQ(r.HasBlock(), loadBlock());
  EXPECT_NE(r.gpsLocation().offset, 0u);
  EXPECT_NE(r.ifd1().location.offset, 0u);

  IfdEntry orientation{kTagOrientation};
  ASSERT_EQ(r.FindEntry(kIfd0, &orientation), 1);
  EXPECT_EQ(orientation, (IfdEntry{kTagOrientation, kTypeShort, 1, 6}));

  IfdEntry date{0x9003};
  ASSERT_EQ(r.FindEntry(kExifIfd, &date), 1);
  EXPECT_EQ(date.type, kTypeAscii);
  EXPECT_EQ(date.count, 20u);
  uint8_t text[20];
  EXPECT_EQ(r.ReadEntryValue(date, text, sizeof text), 20u);
  EXPECT_EQ(text[19], 0);
  EXPECT_EQ(Text(text), "2021:07:14 09:26:53");

  IfdEntry latitude{0x0002};
  ASSERT_EQ(r.FindEntry(kGpsIfd, &latitude), 1);
  uint32_t rationals[6];
  ASSERT_EQ(r.ReadEntryValue(latitude, rationals, sizeof rationals), 3u);
  EXPECT_EQ(rationals[0], 48u);
  EXPECT_EQ(rationals[4], 2400u);
  EXPECT_EQ(rationals[5], 100u);

  IfdEntry missing{0x9999};
  EXPECT_EQ(r.FindEntry(kIfd0, &missing), 0);
  EXPECT_EQ(r.FindEntry(5, &missing), -1);
  EXPECT_EQ(r.FindEntry(kMakerNoteIfd, &missing), -1);
  IfdLocation location;
  EXPECT_EQ(r.LocateDirectory(5, &location), 0);

  // The Interop IFD is located through the Exif IFD's pointer; the camera fixture has none.
  EXPECT_EQ(r.FindEntry(kInteropIfd, &missing), 0);
}

TEST_P(ReaderCase, CollectsEntriesInDirectoryOrder) {
  const std::string path = Write("camera.jpg", test::MakeCameraJpeg(Camera()));
  ExifReader r(path.c_str(), loadBlock());
  IfdEntryList all;
  const int n = r.CollectEntries(kExifIfd, &all);
  ASSERT_EQ(n, 11);
  EXPECT_EQ(all.front().tag, 0x829A);
  EXPECT_EQ(all.back().tag, 0xA003);

  IfdEntryList wanted{IfdEntry{0x9004}, IfdEntry{0x1234}, IfdEntry{0x9003}};
  ASSERT_EQ(r.CollectEntries(kExifIfd, &wanted), 2);
  EXPECT_EQ(wanted[0].tag, 0x9003);  // directory order, not request order
  EXPECT_EQ(wanted[1].tag, 0x9004);
  EXPECT_EQ(wanted[1].count, 20u);

  EXPECT_EQ(r.CollectEntries(kExifIfd, nullptr), -1);
  EXPECT_EQ(r.CollectEntries(99, &wanted), -1);
}

TEST_P(ReaderCase, AbsentDirectoriesAreNotFound) {
  CameraJpegOptions o = Camera();
  o.withGps = false;
  o.withThumbnail = false;
  const std::string path = Write("plain.jpg", test::MakeCameraJpeg(o));
  ExifReader r(path.c_str(), loadBlock());
  ASSERT_TRUE(r.IsExif());
  IfdEntry e{0x0001};
  EXPECT_EQ(r.FindEntry(kGpsIfd, &e), 0);
  EXPECT_EQ(r.FindEntry(kIfd1, &e), 0);
  IfdEntryList list{IfdEntry{0x0001}};
  EXPECT_EQ(r.CollectEntries(kGpsIfd, &list), 0);
  EXPECT_EQ(list.size(), 1u);  // left as it was
  uint32_t offset = 1, length = 1;
  EXPECT_EQ(r.LocateThumbnail(&offset, &length), 0);
  EXPECT_EQ(length, 0u);
  platform::HeapPtr<uint8_t> thumb;
  EXPECT_EQ(r.GetThumbnail(&thumb), 0u);
}

TEST_P(ReaderCase, ExtractsTheJpegThumbnail) {
  const Bytes file = test::MakeCameraJpeg(Camera());
  const std::string path = Write("camera.jpg", file);
  ExifReader r(path.c_str(), loadBlock());
  uint32_t offset = 0, length = 0;
  if (loadBlock()) {
    ASSERT_EQ(r.LocateThumbnail(&offset, &length), 1);
  }
  platform::HeapPtr<uint8_t> thumb;
  const uint32_t size = r.GetThumbnail(&thumb);
  ASSERT_GT(size, 100u);
  EXPECT_EQ(r.HasBlock(), loadBlock());  // a block loaded for the copy is released again
  EXPECT_EQ(thumb.get()[0], 0xFF);
  EXPECT_EQ(thumb.get()[1], 0xD8);
  EXPECT_EQ(thumb.get()[size - 2], 0xFF);
  EXPECT_EQ(thumb.get()[size - 1], 0xD9);
  // The copy is the file's bytes at the located place.
  IfdEntry start{kTagJpegInterchangeFormat};
  ASSERT_EQ(r.FindEntry(kIfd1, &start), 1);
  EXPECT_EQ(std::memcmp(thumb.get(), file.data() + kJpegTiffBase + start.value, size), 0);
}

TEST_P(ReaderCase, ExifBehindLargeSegmentsIsFound) {
  // Two big segments push the APP1 far past the head of the file that is read in one piece.
  TiffBuilder t(order());
  const int exif = t.AddDirectory();
  t.Ifd0().Short(kTagOrientation, {5}).Pointer(kTagExifIfdPointer, exif);
  t.Dir(exif).Ascii(0x9003, "1999:12:31 23:59:59").Undefined(0x927C, Bytes(30000, 0x5A));
  const Bytes jpeg = JpegBuilder().Soi().App(2, Bytes(60000, 0x22)).App(13, Bytes(50000, 0x33))
                         .App1Exif(t.Build()).BodyOf(test::EncodeJpeg(16, 16)).Build();
  ExifReader r(Write("late.jpg", jpeg).c_str(), loadBlock());
  ASSERT_TRUE(r.IsExifJpeg());
  EXPECT_EQ(r.app1Position(), 2u + 60004 + 50004);
  EXPECT_EQ(r.app2Length(), 60002);
  IfdEntry e{kTagOrientation};
  ASSERT_EQ(r.FindEntry(kIfd0, &e), 1);
  EXPECT_EQ(e.value, 5u);
  IfdEntry note{0x927C};
  ASSERT_EQ(r.FindEntry(kExifIfd, &note), 1);
  Bytes value(30000);
  EXPECT_EQ(r.ReadEntryValue(note, value.data(), 30000), 30000u);
  EXPECT_EQ(value, Bytes(30000, 0x5A));
}

TEST_P(ReaderCase, JfifFilesAreNotExif) {
  CameraJpegOptions o = Camera();
  o.withJfif = true;
  const std::string path = Write("jfif.jpg", test::MakeCameraJpeg(o));
  ExifReader r(path.c_str(), loadBlock());
  EXPECT_EQ(r.structureRead(), 1);
  EXPECT_TRUE(r.HasExifDirectory());
  EXPECT_FALSE(r.IsExif());
  EXPECT_FALSE(r.IsExifJpeg());
  EXPECT_EQ(r.app0Position(), 2u);
  EXPECT_EQ(r.app0Length(), 16);
  EXPECT_EQ(r.jfifVersionMajor(), 1);
  EXPECT_EQ(r.jfifXDensity(), 1);
  // The directories are still readable: only the predicate refuses the file.
  IfdEntry orientation{kTagOrientation};
  EXPECT_EQ(r.FindEntry(kIfd0, &orientation), 1);
}

// A TIFF whose first strip lies behind its directories, with RowsPerStrip 16 and ImageLength 100.
Bytes SmallTiff(Order order, TiffLayout* layout, uint32_t firstStripOverride = 0) {
  TiffBuilder t(order);
  const int exif = t.AddDirectory();
  const int strip = t.AddBlob(Bytes(300, 0x80));
  Ifd& ifd0 = t.Ifd0();
  ifd0.Short(kTagImageWidth, {3}).Short(kTagImageLength, {100});
  if (firstStripOverride) {
    ifd0.RawEntry(kTagStripOffsets, test::kLong, 1, firstStripOverride);
  } else {
    ifd0.BlobOffset(kTagStripOffsets, strip);
  }
  ifd0.Short(kTagSamplesPerPixel, {1}).Short(kTagRowsPerStrip, {16}).BlobLength(kTagStripByteCounts, strip);
  ifd0.Short(kTagOrientation, {8}).Pointer(kTagExifIfdPointer, exif);
  t.Dir(exif).Ascii(0x9003, "2004:05:06 07:08:09").Undefined(0x9000, {'0', '2', '2', '0'}).Short(0xA001, {1});
  return t.Build(layout);
}

TEST_P(ReaderCase, ReadsATiffAndSizesItsBlock) {
  TiffLayout layout;
  const Bytes tiff = SmallTiff(order(), &layout);
  const std::string path = Write("image.tif", tiff);
  ExifReader r(path.c_str(), loadBlock());
  ASSERT_EQ(r.structureRead(), 1);
  EXPECT_EQ(r.tiffBase(), 0u);
  EXPECT_TRUE(r.IsTiffImage());
  EXPECT_TRUE(r.IsExifTiff());
  EXPECT_FALSE(r.IsJpegImage());
  EXPECT_EQ(r.ifd0().stripsPerImage, 7u);
  EXPECT_EQ(r.ifd0().planarConfiguration, 1u);
  EXPECT_EQ(r.ifd0().firstStripOffset, layout.blobOffsets[0]);
  EXPECT_EQ(r.blockLength(), layout.blobOffsets[0]);  // up to the first strip
  IfdEntry orientation{kTagOrientation};
  ASSERT_EQ(r.FindEntry(kIfd0, &orientation), 1);
  EXPECT_EQ(orientation.value, 8u);
  IfdDescriptor d;
  ASSERT_EQ(r.GetDirectoryDescriptor(kIfd0, &d), 1);
  EXPECT_EQ(d.imageLength, 100u);
  EXPECT_EQ(r.GetDirectoryDescriptor(kExifIfd, &d), 0);
}

TEST_P(ReaderCase, DirectoriesBehindTheStripsMakeTheBlockTheWholeFile) {
  // The Exif IFD lies behind a first strip that starts right after the header.
  TiffLayout layout;
  const Bytes tiff = SmallTiff(order(), &layout, 8);
  const std::string path = Write("late.tif", tiff);
  ExifReader r(path.c_str(), loadBlock());
  ASSERT_EQ(r.structureRead(), 1);
  EXPECT_EQ(r.blockLength(), tiff.size());
  IfdEntry date{0x9003};
  EXPECT_EQ(r.FindEntry(kExifIfd, &date), 1);
}

TEST_P(ReaderCase, ADirectoryOverrunningTheBlockIsNotFoundThere) {
  // The first strip starts inside the Exif IFD, so the block ends after its first entry; the file
  // still holds the others.
  TiffLayout layout;
  SmallTiff(order(), &layout, 8);
  const uint32_t cut = layout.directoryOffsets[1] + 2 + 12;
  const Bytes tiff = SmallTiff(order(), &layout, cut);
  const std::string path = Write("cut.tif", tiff);
  ExifReader r(path.c_str(), loadBlock());
  ASSERT_EQ(r.structureRead(), 1);
  EXPECT_EQ(r.blockLength(), cut);
  IfdEntry version{0x9000};
  EXPECT_EQ(r.FindEntry(kExifIfd, &version), loadBlock() ? 0 : 1);
  IfdEntryList all;
  EXPECT_EQ(r.CollectEntries(kExifIfd, &all), loadBlock() ? 0 : 3);
}

TEST_P(ReaderCase, ValuesAtTheVeryEndOfTheBlock) {
  // IFD0 only, its last out-of-line value ends exactly where the APP1 payload ends; a second
  // entry claims one byte more.
  TiffBuilder t(order());
  const int exif = t.AddDirectory();
  t.Ifd0().Pointer(kTagExifIfdPointer, exif);
  t.Dir(exif).Short(0xA001, {1}).RawEntry(0x9004, test::kAscii, 20, 0).Ascii(0x9003, "2001:02:03 04:05:06");
  TiffLayout layout;
  Bytes tiff = t.Build(&layout);
  const uint32_t end = static_cast<uint32_t>(tiff.size());
  ASSERT_EQ(layout.valueOffsets.at({1, 0x9003}) + 20, end);
  // Point 0x9004 one byte further than 0x9003.
  t.Dir(exif).entries[1].fixedField = end - 19;
  tiff = t.Build(&layout);
  const Bytes jpeg = JpegBuilder().Soi().App1Exif(tiff).BodyOf(test::EncodeJpeg(8, 8)).Build();
  const std::string path = Write("end.jpg", jpeg);
  ExifReader r(path.c_str(), loadBlock());
  ASSERT_EQ(r.blockLength(), end);
  char text[20];
  IfdEntry last{0x9003};
  ASSERT_EQ(r.FindEntry(kExifIfd, &last), 1);
  EXPECT_EQ(r.ReadEntryValue(last, text, sizeof text), 20u);
  EXPECT_STREQ(text, "2001:02:03 04:05:06");
  IfdEntry over{0x9004};
  ASSERT_EQ(r.FindEntry(kExifIfd, &over), 1);
  // From the block the value runs past its end; from the file the bytes after the APP1 are read.
  EXPECT_EQ(r.ReadEntryValue(over, text, sizeof text), loadBlock() ? 0u : 20u);
  // A value that lies wholly beyond the file is refused on both paths.
  IfdEntry far{0x9004, kTypeAscii, 20, 0xFFFFFFF0};
  EXPECT_EQ(r.ReadEntryValue(far, text, sizeof text), 0u);
  IfdEntry huge{0x9004, kTypeUndefined, 0x7FFFFFFF, 40};
  EXPECT_EQ(r.ReadEntryValue(huge, text, sizeof text), 0u);
  EXPECT_EQ(text[0], 0);  // the buffer is zeroed on failure
}

TEST_P(ReaderCase, DirectoryLoopsTerminate) {
  // IFD0 links to itself, and the Exif and GPS pointers point back at IFD0 and at the Exif IFD.
  TiffBuilder t(order());
  t.Ifd0().Short(kTagOrientation, {3}).RawEntry(kTagExifIfdPointer, test::kLong, 1, 8)
      .RawEntry(kTagGpsIfdPointer, test::kLong, 1, 8).RawNext(8);
  const Bytes jpeg = JpegBuilder().Soi().App1Exif(t.Build()).BodyOf(test::EncodeJpeg(8, 8)).Build();
  const std::string path = Write("loop.jpg", jpeg);
  ExifReader r(path.c_str(), loadBlock());
  ASSERT_EQ(r.structureRead(), 1);
  EXPECT_TRUE(r.IsExifJpeg());
  EXPECT_EQ(r.ifd1().location.offset, 8u);
  IfdEntry e{kTagOrientation};
  EXPECT_EQ(r.FindEntry(kExifIfd, &e), 1);
  EXPECT_EQ(r.FindEntry(kIfd1, &e), 1);
  platform::HeapPtr<uint8_t> thumb;
  EXPECT_EQ(r.GetThumbnail(&thumb), 0u);
  IfdDescriptor d;
  EXPECT_EQ(r.GetDirectoryDescriptor(kIfd1, &d), 1);
}

TEST_P(ReaderCase, ThumbnailLengthIsCutAtTheBlockEnd) {
  // IFD1 names an 8-byte thumbnail at the end of the block; its length and its offset are given.
  const auto build = [&](uint32_t offsetDelta, uint32_t length) {
    TiffBuilder t(order());
    const int ifd1 = t.AddDirectory();
    const int exif = t.AddDirectory();
    t.Ifd0().Pointer(kTagExifIfdPointer, exif).Next(ifd1);
    t.Dir(exif).Short(0xA001, {1});
    t.Dir(ifd1).RawEntry(kTagJpegInterchangeFormat, test::kLong, 1, 0)
        .RawEntry(kTagJpegInterchangeFormatLength, test::kLong, 1, length);
    const uint32_t start = static_cast<uint32_t>(t.Build().size());
    t.Dir(ifd1).entries[0].fixedField = start + offsetDelta;
    Bytes patched = t.Build();
    patched.insert(patched.end(), {0xFF, 0xD8, 1, 2, 3, 4, 0xFF, 0xD9});
    return JpegBuilder().Soi().App1Exif(patched).BodyOf(test::EncodeJpeg(8, 8)).Build();
  };
  platform::HeapPtr<uint8_t> copy;
  ExifReader exact(Write("exact.jpg", build(0, 8)).c_str(), loadBlock());
  ASSERT_TRUE(exact.IsExifJpeg());
  EXPECT_EQ(exact.GetThumbnail(&copy), 8u);
  EXPECT_EQ(copy.get()[7], 0xD9);
  ExifReader longer(Write("long.jpg", build(0, 5000)).c_str(), loadBlock());
  EXPECT_EQ(longer.GetThumbnail(&copy), 8u);
  ExifReader inside(Write("inside.jpg", build(4, 5000)).c_str(), loadBlock());
  EXPECT_EQ(inside.GetThumbnail(&copy), 4u);
  ExifReader atEnd(Write("end.jpg", build(8, 5000)).c_str(), loadBlock());
  EXPECT_EQ(atEnd.GetThumbnail(&copy), 0u);
  ExifReader past(Write("past.jpg", build(9, 4)).c_str(), loadBlock());
  EXPECT_EQ(past.GetThumbnail(&copy), 0u);
  EXPECT_EQ(copy.get(), nullptr);
}

TEST_P(ReaderCase, TiffThumbnailIsTheBlockReheadedAtIfd1) {
  TiffBuilder t(order());
  const int exif = t.AddDirectory();
  const int ifd1 = t.AddDirectory();
  const int thumbStrip = t.AddBlob(Bytes(12, 0x40));
  const int mainStrip = t.AddBlob(Bytes(64, 0x80));
  t.Ifd0().Short(kTagImageWidth, {8}).Short(kTagImageLength, {8}).BlobOffset(kTagStripOffsets, mainStrip)
      .Pointer(kTagExifIfdPointer, exif).Next(ifd1);
  t.Dir(exif).Short(0xA001, {1});
  t.Dir(ifd1).Short(kTagImageWidth, {2}).Short(kTagImageLength, {2}).BlobOffset(kTagStripOffsets, thumbStrip, test::kShort);
  TiffLayout layout;
  const Bytes tiff = t.Build(&layout);
  const std::string path = Write("thumb.tif", tiff);
  ExifReader r(path.c_str(), loadBlock());
  ASSERT_TRUE(r.IsExifTiff());
  const uint32_t blockLength = layout.blobOffsets[1];
  EXPECT_EQ(r.blockLength(), blockLength);
  platform::HeapPtr<uint8_t> copy;
  ASSERT_EQ(r.GetThumbnail(&copy), blockLength);
  Bytes expected(tiff.begin(), tiff.begin() + blockLength);
  const MutableByteView header(expected.data(), 8, byteOrder());
  header.WriteU32(4, layout.directoryOffsets[2]);
  EXPECT_EQ(Bytes(copy.get(), copy.get() + blockLength), expected);
  IfdDescriptor d;
  ASSERT_EQ(r.GetDirectoryDescriptor(kIfd1, &d), 1);
  EXPECT_EQ(d.imageWidth, 2u);
  EXPECT_EQ(d.firstStripOffset, layout.blobOffsets[0]);
}

INSTANTIATE_TEST_SUITE_P(
    OrdersAndSources, ReaderCase,
    ::testing::Combine(::testing::Values(Order::Little, Order::Big), ::testing::Bool()),
    [](const auto& info) {
      return std::string(std::get<0>(info.param) == Order::Little ? "II" : "MM") +
             (std::get<1>(info.param) ? "_Block" : "_File");
    });

class ReaderStructure : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const Bytes& data) { return dir_.Put(name, data); }
  // magic 0 and ifd0 0: as built.
  static Bytes Exif(uint16_t magic = 0, uint32_t ifd0 = 0) {
    TiffBuilder t(Order::Little);
    const int exif = t.AddDirectory();
    t.Ifd0().Short(kTagOrientation, {1}).Pointer(kTagExifIfdPointer, exif);
    t.Dir(exif).Short(0xA001, {1});
    if (magic) t.SetMagic(magic);
    if (ifd0) t.SetIfd0Offset(ifd0);
    return t.Build();
  }
  TempDir dir_;
};

TEST_F(ReaderStructure, JpegStreamsWithoutUsableExif) {
  const Bytes body = JpegBuilder().BodyOf(test::EncodeJpeg(8, 8)).Build();
  {  // no APP1 at all
    ExifReader r(Write("a.jpg", JpegBuilder().Soi().Raw(body).Build()).c_str(), true);
    EXPECT_EQ(r.structureRead(), 1);
    EXPECT_FALSE(r.HasExifDirectory());
    EXPECT_TRUE(r.IsJpegImage());
    EXPECT_FALSE(r.HasBlock());
  }
  {  // an APP1 shorter than 16 bytes is ignored
    ExifReader r(Write("b.jpg", JpegBuilder().Soi().Segment(0xE1, Bytes{'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0}).Raw(body).Build()).c_str(), true);
    EXPECT_EQ(r.structureRead(), 1);
    EXPECT_FALSE(r.HasExifDirectory());
  }
  {  // the last APP1 wins, and it is not EXIF
    Bytes xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.', 'a', 'd', 'o', 'b', 'e', '.', 'c', 'o', 'm'};
    ExifReader r(Write("c.jpg", JpegBuilder().Soi().App1Exif(Exif()).Segment(0xE1, xmp).Raw(body).Build()).c_str(), true);
    EXPECT_EQ(r.structureRead(), 0);
    EXPECT_FALSE(r.IsExif());
  }
  {  // a progressive frame records no size
    Bytes jpeg = JpegBuilder().Soi().App1Exif(Exif()).Raw(body).Build();
    for (size_t i = 2; i + 1 < jpeg.size(); ++i) {
      if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
        jpeg[i + 1] = 0xC2;
        break;
      }
    }
    ExifReader r(Write("d.jpg", jpeg).c_str(), true);
    EXPECT_EQ(r.structureRead(), 1);
    EXPECT_TRUE(r.IsExif());
    EXPECT_FALSE(r.IsJpegImage());
    EXPECT_FALSE(r.IsExifJpeg());
  }
}

TEST_F(ReaderStructure, TiffHeaders) {
  {
    Bytes ab = Exif();
    ab[0] = 'A';
    ab[1] = 'B';
    EXPECT_EQ(ExifReader(Write("ab.tif", ab).c_str(), false).structureRead(), 0);
  }
  {  // another magic: read, but no IFD0
    ExifReader r(Write("big.tif", Exif(43)).c_str(), true);
    EXPECT_EQ(r.structureRead(), 1);
    EXPECT_EQ(r.ifd0Offset(), 0u);
    EXPECT_FALSE(r.HasExifDirectory());
  }
  // IFD0 inside the header, or past the end of the file.
  EXPECT_EQ(ExifReader(Write("low.tif", Exif(0, 4)).c_str(), false).structureRead(), 0);
  EXPECT_EQ(ExifReader(Write("far.tif", Exif(0, 0xFFF0)).c_str(), false).structureRead(), 0);
  EXPECT_EQ(ExifReader(Write("seven.tif", Bytes{'I', 'I', 42, 0, 8, 0, 0}).c_str(), false).structureRead(), 0);
  EXPECT_EQ(ExifReader(dir_.File("missing.jpg").c_str(), true).structureRead(), 0);
  EXPECT_EQ(ExifReader(nullptr, true).structureRead(), 0);
}

TEST_F(ReaderStructure, BlockIsCappedAtTheFileAndLoadsOnDemand) {
  Bytes jpeg = JpegBuilder().Soi().App1Exif(Exif()).Build();
  const uint32_t fullLength = static_cast<uint32_t>(jpeg.size()) - kJpegTiffBase;
  jpeg.resize(jpeg.size() - 3);  // the APP1 claims 3 bytes more than the file holds
  const std::string path = Write("short.jpg", jpeg);
  ExifReader r(path.c_str(), false);
  ASSERT_EQ(r.structureRead(), 1);
  EXPECT_EQ(r.blockLength(), fullLength - 3);
  EXPECT_FALSE(r.HasBlock());

  uint32_t size = 0;
  const uint8_t* block = r.LoadBlock(true, &size);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(size, fullLength - 3);
  EXPECT_EQ(std::memcmp(block, jpeg.data() + kJpegTiffBase, size), 0);
  EXPECT_EQ(r.LoadBlock(false, &size), block);
  EXPECT_EQ(size, 0u);  // already loaded
  IfdEntry e{kTagOrientation};
  EXPECT_EQ(r.FindEntry(kIfd0, &e), 1);
  r.ReleaseBlock();
  EXPECT_FALSE(r.HasBlock());
  EXPECT_EQ(r.loadedSize(), 0u);
  EXPECT_EQ(r.FindEntry(kIfd0, &e), 1);  // from the file now
}

TEST_F(ReaderStructure, TruncatedCameraFilesAnswerWhatTheyStillHold) {
  const Bytes full = test::MakeCameraJpeg();
  const uint32_t app1End = 2 + 2 + ((full[4] << 8) | full[5]);
  const auto cut = [&](size_t length) {
    return Write("cut" + std::to_string(length) + ".jpg", Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length)));
  };
  {  // a partial download: the scan data is cut off
    ExifReader r(cut((app1End + full.size()) / 2).c_str(), true);
    ASSERT_EQ(r.structureRead(), 1);
    EXPECT_TRUE(r.IsExifJpeg());
    IfdEntry e{kTagOrientation};
    EXPECT_EQ(r.FindEntry(kIfd0, &e), 1);
    platform::HeapPtr<uint8_t> thumb;
    EXPECT_GT(r.GetThumbnail(&thumb), 0u);
  }
  {  // cut inside the APP1, behind the Exif IFD: the block is what the file holds
    ExifReader r(cut(app1End - 40).c_str(), true);
    ASSERT_EQ(r.structureRead(), 1);
    EXPECT_EQ(r.blockLength(), app1End - 40 - kJpegTiffBase);
    EXPECT_TRUE(r.IsExif());
    EXPECT_FALSE(r.IsJpegImage());  // no frame header seen
    IfdEntry e{0x9003};
    EXPECT_EQ(r.FindEntry(kExifIfd, &e), 1);
    char text[20];
    EXPECT_EQ(r.ReadEntryValue(e, text, sizeof text), 20u);
  }
  {  // cut inside IFD0
    ExifReader r(cut(kJpegTiffBase + 8 + 20).c_str(), true);
    EXPECT_EQ(r.structureRead(), 0);
    EXPECT_FALSE(r.IsExif());
  }
}

TEST_F(ReaderStructure, EveryFailingFileStepGivesACleanFailure) {
  const std::string path = Write("camera.jpg", test::MakeCameraJpeg());
  platform::ClearFaults();
  { ExifReader probe(path.c_str(), true); }
  const uint32_t reads = platform::CallCount(platform::Service::Read);
  const uint32_t seeks = platform::CallCount(platform::Service::Seek);
  ASSERT_GT(reads, 0u);
  for (auto [service, calls] : {std::pair{platform::Service::Read, reads}, std::pair{platform::Service::Seek, seeks},
                                std::pair{platform::Service::Open, 1u}, std::pair{platform::Service::Allocate, 1u}}) {
    for (uint32_t nth = 1; nth <= calls; ++nth) {
      platform::ClearFaults();
      platform::InjectFault(service, nth, 30);
      ExifReader r(path.c_str(), true);
      EXPECT_EQ(r.structureRead(), 0) << static_cast<int>(service) << " call " << nth;
      EXPECT_FALSE(r.HasBlock());
    }
  }
  platform::ClearFaults();
  ExifReader ok(path.c_str(), true);
  EXPECT_EQ(ok.structureRead(), 1);
}


// A reader that reads its block on demand gives the answers of one that loads the block whole:
// for directories and values that lie beyond its first read, for files shorter than that read,
// and for files cut anywhere, in both byte orders.
class OnDemandReader : public ::testing::TestWithParam<Order> {
 protected:
  // IFD0 → a large value → the Exif IFD with a date and a large maker note → IFD1 → thumbnail, so
  // each part after IFD0 lies pages behind the first read.
  Bytes Structure() const {
    TiffBuilder t(GetParam());
    const int exif = t.AddDirectory();
    const int ifd1 = t.AddDirectory();
    const int thumb = t.AddBlob(test::EncodeJpeg(16, 8));
    t.Ifd0().Short(kTagImageWidth, {64}).Short(kTagImageLength, {48}).Short(kTagOrientation, {6})
        .Undefined(0xC4A5, Bytes(9000, 0x11)).Pointer(kTagExifIfdPointer, exif).Next(ifd1);
    t.Dir(exif).Ascii(kTagDateTimeOriginal, "2021:02:03 04:05:06")
        .Undefined(kTagMakerNote, Bytes(20000, 0x4D));
    t.Dir(ifd1).Short(kTagOrientation, {3}).BlobOffset(kTagJpegInterchangeFormat, thumb)
        .BlobLength(kTagJpegInterchangeFormatLength, thumb);
    return t.Build();
  }
  static void ExpectSameAnswers(const std::string& path) {
    ExifReader whole(path.c_str(), true);
    ExifReader lazy(path.c_str(), kOnDemand);
    ASSERT_EQ(lazy.structureRead(), whole.structureRead());
    EXPECT_EQ(lazy.IsExif(), whole.IsExif());
    EXPECT_EQ(lazy.blockLength(), whole.blockLength());
    for (const auto& [dir, tag] : {std::pair{kIfd0, kTagOrientation}, {kIfd0, uint16_t{0xC4A5}},
                                   {kExifIfd, kTagDateTimeOriginal}, {kExifIfd, kTagMakerNote},
                                   {kIfd1, kTagOrientation}, {kIfd1, kTagJpegInterchangeFormat}}) {
      IfdEntry a{tag}, b{tag};
      ASSERT_EQ(lazy.FindEntry(dir, &a), whole.FindEntry(dir, &b)) << dir << "/" << tag;
      EXPECT_EQ(a.value, b.value);
      Bytes va(a.count + 1, 0xEE), vb(b.count + 1, 0xEE);
      EXPECT_EQ(lazy.ReadEntryValue(a, va.data(), static_cast<uint32_t>(va.size())),
                whole.ReadEntryValue(b, vb.data(), static_cast<uint32_t>(vb.size())));
      EXPECT_EQ(va, vb) << dir << "/" << tag;
    }
    platform::HeapPtr<uint8_t> ta, tb;
    const uint32_t n = lazy.GetThumbnail(&ta);
    ASSERT_EQ(n, whole.GetThumbnail(&tb));
    if (n) {
      EXPECT_EQ(std::memcmp(ta.get(), tb.get(), n), 0);
    }
  }
  TempDir dir_;
};

TEST_P(OnDemandReader, AnswersAsALoadedBlockBeyondTheFirstReadAndInCutFiles) {
  const Bytes tiff = Structure();
  const Bytes jpeg = JpegBuilder().Soi().App1Exif(tiff).BodyOf(test::EncodeJpeg(16, 16)).Build();
  {
    const std::string path = dir_.Put("far.jpg", jpeg);
    ExifReader r(path.c_str(), kOnDemand);
    ASSERT_GT(r.exifLocation().offset, FileReader::kHeadSize);  // the fixture does what it says
    ASSERT_GT(r.ifd1().location.offset, 3 * FileReader::kHeadSize);
    ExpectSameAnswers(path);
    uint32_t orientation = 0, thumbnail = 0;
    ASSERT_EQ(GetOrientation(path.c_str(), &orientation, &thumbnail, 0), LF_S_OK);
    EXPECT_EQ(orientation, 6u);
    EXPECT_EQ(thumbnail, 3u);
    LfExifDateTime t{};
    ASSERT_EQ(GetDateTimeOriginal(path.c_str(), &t), LF_S_OK);
    EXPECT_EQ(t.year * 10000 + t.month * 100 + t.day, 20210203);
  }
  ExpectSameAnswers(dir_.Put("far.tif", tiff));
  // Shorter than the first read, and cut inside each part of the structure.
  ExpectSameAnswers(dir_.Put("small.jpg", test::MakeCameraJpeg(CameraJpegOptions{.order = GetParam()})));
  for (size_t length : {size_t{3000}, size_t{9500}, size_t{20000}, size_t{29800}, jpeg.size() - 100}) {
    const std::string name = "cut" + std::to_string(length) + ".jpg";
    const Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(length));
    ExpectSameAnswers(dir_.Put(name, cut));
  }
}

TEST_P(OnDemandReader, AFailingLaterReadLeavesTheBytesAbsent) {
  const std::string path = dir_.Put("far.jpg", JpegBuilder().Soi().App1Exif(Structure()).Build());
  platform::ClearFaults();
  {
    ExifReader r(path.c_str(), kOnDemand);
    IfdEntry e{kTagMakerNote};
    ASSERT_EQ(r.FindEntry(kExifIfd, &e), 1);
    platform::InjectFault(platform::Service::Read, 1, 30, /*sticky=*/true);  // every later read fails
    Bytes value(e.count);
    EXPECT_EQ(r.ReadEntryValue(e, value.data(), e.count), 0u);
    IfdEntry o{kTagOrientation};
    EXPECT_NE(r.FindEntry(kIfd1, &o), kFound);
    EXPECT_EQ(r.LoadBlock(false, nullptr), nullptr);
  }
  platform::ClearFaults();
}

INSTANTIATE_TEST_SUITE_P(Orders, OnDemandReader, ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) { return info.param == Order::Little ? "II" : "MM"; });

}  // namespace
}  // namespace lf::exif
