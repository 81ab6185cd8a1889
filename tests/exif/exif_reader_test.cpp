// SPDX-License-Identifier: MIT
// ExifReader in both byte orders and every read mode (whole, on demand, from the file): block
// sizing, far structures, values at the block's end and TIFF thumbnails (queries are judged by the
// export tests).
#include "exif/model/exif_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>

#include "tests/support/fixture_builder.h"

namespace lf::exif {
namespace {

using test::Bytes;
using test::CameraJpegOptions;
using test::JpegBuilder;
using test::Order;
using test::TiffBuilder;
using test::TiffLayout;

// Offset of the TIFF header in a JPEG whose APP1 follows SOI: SOI, marker, length, "Exif\0\0".
constexpr uint32_t kJpegTiffBase = 2 + 4 + 6;

// What the reader answers from: the block loaded whole or read on demand, or the file read on
// demand until the block is loaded.
enum class Mode { kWhole, kOnDemand, kFile };

std::unique_ptr<ExifReader> Open(const std::string& path, Mode mode) {
  if (mode == Mode::kOnDemand) return std::make_unique<ExifReader>(path.c_str(), kOnDemand);
  return std::make_unique<ExifReader>(path.c_str(), mode == Mode::kWhole);
}

// A TIFF whose first strip lies behind its directories, with RowsPerStrip 16 and ImageLength 100.
Bytes SmallTiff(Order order, TiffLayout* layout, uint32_t firstStripOverride = 0) {
  TiffBuilder t(order);
  const int exif = t.AddDirectory(), strip = t.AddBlob(Bytes(300, 0x80));
  test::Ifd& ifd0 = t.Ifd0();
  ifd0.Short(kTagImageWidth, {3}).Short(kTagImageLength, {100});
  firstStripOverride ? ifd0.RawEntry(kTagStripOffsets, test::kLong, 1, firstStripOverride)
                     : ifd0.BlobOffset(kTagStripOffsets, strip);
  ifd0.Short(kTagSamplesPerPixel, {1})
      .Short(kTagRowsPerStrip, {16})
      .BlobLength(kTagStripByteCounts, strip);
  ifd0.Short(kTagOrientation, {8}).Pointer(kTagExifIfdPointer, exif);
  t.Dir(exif)
      .Ascii(0x9003, "2004:05:06 07:08:09")
      .Undefined(0x9000, {'0', '2', '2', '0'})
      .Short(0xA001, {1});
  return t.Build(layout);
}

// Two big segments push the APP1 far past the first read; inside, a large value pushes the Exif
// IFD and IFD1 pages further.
Bytes FarExif(Order order) {
  TiffBuilder t(order);
  const int exif = t.AddDirectory(), ifd1 = t.AddDirectory();
  const int thumb = t.AddBlob(test::EncodeJpeg(16, 8));
  t.Ifd0()
      .Short(kTagOrientation, {5})
      .Undefined(0xC4A5, Bytes(9000, 0x11))
      .Pointer(kTagExifIfdPointer, exif)
      .Next(ifd1);
  t.Dir(exif).Ascii(0x9003, "1999:12:31 23:59:59").Undefined(kTagMakerNote, Bytes(30000, 0x5A));
  t.Dir(ifd1)
      .Short(kTagOrientation, {3})
      .BlobOffset(kTagJpegInterchangeFormat, thumb)
      .BlobLength(kTagJpegInterchangeFormatLength, thumb);
  return JpegBuilder()
      .Soi()
      .App(2, Bytes(60000, 0x22))
      .App(13, Bytes(50000, 0x33))
      .App1Exif(t.Build())
      .BodyOf(test::EncodeJpeg(16, 16))
      .Build();
}

class ReaderCase : public ::testing::TestWithParam<std::tuple<Order, Mode>> {
 protected:
  Order order() const { return std::get<0>(GetParam()); }
  Mode mode() const { return std::get<1>(GetParam()); }
  std::unique_ptr<ExifReader> Read(const std::string& name, const Bytes& data) {
    return Open(dir_.Put(name, data), mode());
  }
  Bytes Camera(CameraJpegOptions o = {}) const {
    o.order = order();
    return test::MakeCameraJpeg(o);
  }
  test::TempDir dir_;
};

TEST_P(ReaderCase, ACameraJpegsBlockAndThumbnailCopy) {
  const Bytes file = Camera();
  const auto r = Read("camera.jpg", file);
  ASSERT_EQ(r->structureRead(), 1);
  EXPECT_EQ(r->tiffBase(), kJpegTiffBase);
  EXPECT_EQ(r->blockLength(), r->app1Length() - 8u);
  EXPECT_EQ(r->loadedSize(),
            mode() == Mode::kFile ? file.size() - kJpegTiffBase : r->blockLength());

  // The thumbnail copy is the file's bytes at the place IFD1 names, looked for in the block.
  platform::HeapPtr<uint8_t> thumb;
  const uint32_t size = r->GetThumbnail(&thumb);
  ASSERT_GT(size, 100u);
  EXPECT_EQ(r->loadedSize(), r->blockLength());
  IfdEntry start{kTagJpegInterchangeFormat};
  ASSERT_EQ(r->FindEntry(kIfd1, &start), 1);
  EXPECT_EQ(std::memcmp(thumb.get(), file.data() + kJpegTiffBase + start.value, size), 0);
}

TEST_P(ReaderCase, ExifBehindLargeSegmentsAndFarStructure) {
  const auto r = Read("late.jpg", FarExif(order()));
  ASSERT_TRUE(r->IsExifJpeg());
  ASSERT_GT(r->ifd1().location.offset, 3 * FileReader::kHeadSize);  // the fixture does what it says
  IfdEntry note{kTagMakerNote}, o{kTagOrientation};
  ASSERT_EQ(r->FindEntry(kExifIfd, &note), 1);
  Bytes value(30000);
  EXPECT_EQ(r->ReadEntryValue(note, value.data(), 30000), 30000u);
  EXPECT_EQ(value, Bytes(30000, 0x5A));
  EXPECT_EQ(r->FindEntry(kIfd1, &o), 1);
  platform::HeapPtr<uint8_t> copy;
  EXPECT_GT(r->GetThumbnail(&copy), 100u);
}

TEST_P(ReaderCase, TiffBlocksEndAtTheFirstStripUnlessDirectoriesLieBehindIt) {
  TiffLayout layout;
  SmallTiff(order(), &layout);
  const uint32_t cut = layout.directoryOffsets[1] + 2 + 12;  // a strip inside the Exif IFD
  struct Row {
    uint32_t firstStrip, blockLength;  // 0: as built, behind the directories; 0: the whole file
    int exifEntries;                   // from the block; the file holds all 3
  };
  for (const Row row : {Row{0, layout.blobOffsets[0], 3}, Row{8, 0, 3}, Row{cut, cut, 0}}) {
    const Bytes tiff = SmallTiff(order(), &layout, row.firstStrip);
    const auto r = Read("image" + std::to_string(row.firstStrip) + ".tif", tiff);
    ASSERT_TRUE(r->IsExifTiff());
    EXPECT_EQ(r->blockLength(), row.blockLength ? row.blockLength : tiff.size());
    IfdEntryList all;
    EXPECT_EQ(r->CollectEntries(kExifIfd, &all), mode() == Mode::kFile ? 3 : row.exifEntries)
        << row.firstStrip;
    IfdDescriptor d;
    ASSERT_EQ(r->GetDirectoryDescriptor(kIfd0, &d), 1);
    EXPECT_EQ(d.stripsPerImage * 10 + d.planarConfiguration, 71u);
    EXPECT_EQ(r->GetDirectoryDescriptor(kExifIfd, &d), 0);
  }
}

TEST_P(ReaderCase, ValuesAtTheVeryEndOfTheBlock) {
  // The last value ends exactly where the APP1 payload ends; a second entry claims one byte more.
  TiffBuilder t(order());
  const int exif = t.AddDirectory();
  t.Ifd0().Pointer(kTagExifIfdPointer, exif);
  t.Dir(exif)
      .Short(0xA001, {1})
      .RawEntry(0x9004, test::kAscii, 20, 0)
      .Ascii(0x9003, "2001:02:03 04:05:06");
  const uint32_t end = static_cast<uint32_t>(t.Build().size());
  t.Dir(exif).entries[1].fixedField = end - 19;
  const auto r = Read(
      "end.jpg", JpegBuilder().Soi().App1Exif(t.Build()).BodyOf(test::EncodeJpeg(8, 8)).Build());
  ASSERT_EQ(r->blockLength(), end);
  char text[20];
  IfdEntry last{0x9003}, over{0x9004};
  ASSERT_TRUE(r->FindEntry(kExifIfd, &last) == 1 && r->FindEntry(kExifIfd, &over) == 1);
  EXPECT_EQ(r->ReadEntryValue(last, text, sizeof text), 20u);
  EXPECT_STREQ(text, "2001:02:03 04:05:06");
  // Past the block's end; only the file holds the bytes after the APP1.
  EXPECT_EQ(r->ReadEntryValue(over, text, sizeof text), mode() == Mode::kFile ? 20u : 0u);
}

TEST_P(ReaderCase, TiffThumbnailIsTheBlockReheadedAtIfd1) {
  TiffBuilder t(order());
  const int exif = t.AddDirectory(), ifd1 = t.AddDirectory();
  const int thumbStrip = t.AddBlob(Bytes(12, 0x40)), mainStrip = t.AddBlob(Bytes(64, 0x80));
  t.Ifd0()
      .Short(kTagImageWidth, {8})
      .Short(kTagImageLength, {8})
      .BlobOffset(kTagStripOffsets, mainStrip)
      .Pointer(kTagExifIfdPointer, exif)
      .Next(ifd1);
  t.Dir(exif).Short(0xA001, {1});
  t.Dir(ifd1)
      .Short(kTagImageWidth, {2})
      .Short(kTagImageLength, {2})
      .BlobOffset(kTagStripOffsets, thumbStrip, test::kShort);
  TiffLayout layout;
  const Bytes tiff = t.Build(&layout);
  const auto r = Read("thumb.tif", tiff);
  const uint32_t blockLength = layout.blobOffsets[1];
  ASSERT_EQ(r->blockLength(), blockLength);
  platform::HeapPtr<uint8_t> copy;
  ASSERT_EQ(r->GetThumbnail(&copy), blockLength);
  Bytes expected(tiff.begin(), tiff.begin() + blockLength);
  ASSERT_TRUE(
      MutableByteView(expected.data(), 8, r->byteOrder()).WriteU32(4, layout.directoryOffsets[2]));
  EXPECT_EQ(Bytes(copy.get(), copy.get() + blockLength), expected);
  IfdDescriptor d;
  ASSERT_EQ(r->GetDirectoryDescriptor(kIfd1, &d), 1);
  EXPECT_EQ(d.firstStripOffset, layout.blobOffsets[0]);
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<Order, Mode>>& info) {
  static const char* const kModes[] = {"Whole", "OnDemand", "File"};
  return std::string(std::get<0>(info.param) == Order::Little ? "II_" : "MM_") +
         kModes[static_cast<int>(std::get<1>(info.param))];
}
INSTANTIATE_TEST_SUITE_P(OrdersAndModes, ReaderCase,
                         ::testing::Combine(::testing::Values(Order::Little, Order::Big),
                                            ::testing::Values(Mode::kWhole, Mode::kOnDemand,
                                                              Mode::kFile)),
                         CaseName);

}  // namespace
}  // namespace lf::exif
