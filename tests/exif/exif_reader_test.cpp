// SPDX-License-Identifier: MIT
// ExifReader over fixtures built as bytes, in both byte orders and every read mode: construction,
// block sizing, directory services, thumbnails and hostile layouts.
#include "exif/model/exif_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>

#include "platform/faults.h"
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

// How the reader reaches the block: loaded whole, read on demand, or (no block) from the file.
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
  ifd0.Short(kTagSamplesPerPixel, {1}).Short(kTagRowsPerStrip, {16}).BlobLength(kTagStripByteCounts, strip);
  ifd0.Short(kTagOrientation, {8}).Pointer(kTagExifIfdPointer, exif);
  t.Dir(exif).Ascii(0x9003, "2004:05:06 07:08:09").Undefined(0x9000, {'0', '2', '2', '0'}).Short(0xA001, {1});
  return t.Build(layout);
}

// Two big segments push the APP1 far past the first read; inside, a large value pushes the Exif
// IFD and IFD1 pages further.
Bytes FarExif(Order order) {
  TiffBuilder t(order);
  const int exif = t.AddDirectory(), ifd1 = t.AddDirectory();
  const int thumb = t.AddBlob(test::EncodeJpeg(16, 8));
  t.Ifd0().Short(kTagOrientation, {5}).Undefined(0xC4A5, Bytes(9000, 0x11)).Pointer(kTagExifIfdPointer, exif).Next(ifd1);
  t.Dir(exif).Ascii(0x9003, "1999:12:31 23:59:59").Undefined(kTagMakerNote, Bytes(30000, 0x5A));
  t.Dir(ifd1).Short(kTagOrientation, {3}).BlobOffset(kTagJpegInterchangeFormat, thumb)
      .BlobLength(kTagJpegInterchangeFormatLength, thumb);
  return JpegBuilder().Soi().App(2, Bytes(60000, 0x22)).App(13, Bytes(50000, 0x33)).App1Exif(t.Build())
      .BodyOf(test::EncodeJpeg(16, 16)).Build();
}

class ReaderCase : public ::testing::TestWithParam<std::tuple<Order, Mode>> {
 protected:
  Order order() const { return std::get<0>(GetParam()); }
  Mode mode() const { return std::get<1>(GetParam()); }
  std::unique_ptr<ExifReader> Read(const std::string& name, const Bytes& data) { return Open(dir_.Put(name, data), mode()); }
  Bytes Camera(CameraJpegOptions o = {}) const {
    o.order = order();
    return test::MakeCameraJpeg(o);
  }
  test::TempDir dir_;
};

TEST_P(ReaderCase, ReadsACameraJpeg) {
  const Bytes file = Camera();
  const auto r = Read("camera.jpg", file);
  ASSERT_EQ(r->structureRead(), 1);
  EXPECT_EQ(r->byteOrder(), order() == Order::Little ? kLittleEndian : kBigEndian);
  EXPECT_EQ(r->tiffBase(), kJpegTiffBase);
  EXPECT_TRUE(r->IsExifJpeg() && !r->IsExifTiff());
  EXPECT_EQ(r->sofWidth(), 64);
  EXPECT_EQ(r->blockLength(), r->app1Length() - 8u);
  EXPECT_EQ(r->HasBlock(), mode() != Mode::kFile);

  IfdEntry orientation{kTagOrientation};
  ASSERT_EQ(r->FindEntry(kIfd0, &orientation), 1);
  EXPECT_EQ(orientation, (IfdEntry{kTagOrientation, kTypeShort, 1, 6}));
  IfdEntry latitude{0x0002};
  ASSERT_EQ(r->FindEntry(kGpsIfd, &latitude), 1);
  uint32_t rationals[6];
  ASSERT_EQ(r->ReadEntryValue(latitude, rationals, sizeof rationals), 3u);
  EXPECT_EQ(rationals[4], 2400u);
  IfdEntry missing{0x9999};
  EXPECT_EQ(r->FindEntry(kIfd0, &missing), 0);
  EXPECT_EQ(r->FindEntry(kMakerNoteIfd, &missing), -1);

  // Entries come back in directory order, not request order.
  IfdEntryList wanted{IfdEntry{0x9004}, IfdEntry{0x1234}, IfdEntry{0x9003}};
  ASSERT_EQ(r->CollectEntries(kExifIfd, &wanted), 2);
  EXPECT_EQ(wanted[0].tag, 0x9003);
  EXPECT_EQ(wanted[1].count, 20u);
  EXPECT_EQ(r->CollectEntries(99, &wanted), -1);

  // The thumbnail copy is the file's bytes at the place IFD1 names; a block loaded for the copy
  // is released again.
  platform::HeapPtr<uint8_t> thumb;
  const uint32_t size = r->GetThumbnail(&thumb);
  ASSERT_GT(size, 100u);
  EXPECT_EQ(r->HasBlock(), mode() != Mode::kFile);
  IfdEntry start{kTagJpegInterchangeFormat};
  ASSERT_EQ(r->FindEntry(kIfd1, &start), 1);
  EXPECT_EQ(std::memcmp(thumb.get(), file.data() + kJpegTiffBase + start.value, size), 0);
}

TEST_P(ReaderCase, AbsentDirectoriesAndJfif) {
  const auto r = Read("plain.jpg", Camera({.withThumbnail = false, .withGps = false, .withJfif = true}));
  EXPECT_TRUE(r->HasExifDirectory() && !r->IsExif());  // a JFIF file is not an EXIF file
  IfdEntry e{0x0001};
  EXPECT_EQ(r->FindEntry(kGpsIfd, &e), 0);
  IfdEntryList list{IfdEntry{0x0001}};
  EXPECT_EQ(r->CollectEntries(kIfd1, &list), 0);
  EXPECT_EQ(list.size(), 1u);  // left as it was
  platform::HeapPtr<uint8_t> thumb;
  EXPECT_EQ(r->GetThumbnail(&thumb), 0u);
}

TEST_P(ReaderCase, ExifBehindLargeSegmentsAndFarStructure) {
  const auto r = Read("late.jpg", FarExif(order()));
  ASSERT_TRUE(r->IsExifJpeg());
  EXPECT_EQ(r->app1Position(), 2u + 60004 + 50004);
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
    EXPECT_EQ(r->CollectEntries(kExifIfd, &all), mode() == Mode::kFile ? 3 : row.exifEntries) << row.firstStrip;
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
  t.Dir(exif).Short(0xA001, {1}).RawEntry(0x9004, test::kAscii, 20, 0).Ascii(0x9003, "2001:02:03 04:05:06");
  const uint32_t end = static_cast<uint32_t>(t.Build().size());
  t.Dir(exif).entries[1].fixedField = end - 19;
  const auto r = Read("end.jpg", JpegBuilder().Soi().App1Exif(t.Build()).BodyOf(test::EncodeJpeg(8, 8)).Build());
  ASSERT_EQ(r->blockLength(), end);
  char text[20];
  IfdEntry last{0x9003}, over{0x9004};
  ASSERT_TRUE(r->FindEntry(kExifIfd, &last) == 1 && r->FindEntry(kExifIfd, &over) == 1);
  EXPECT_EQ(r->ReadEntryValue(last, text, sizeof text), 20u);
  EXPECT_STREQ(text, "2001:02:03 04:05:06");
  // Past the block's end; only the file holds the bytes after the APP1.
  EXPECT_EQ(r->ReadEntryValue(over, text, sizeof text), mode() == Mode::kFile ? 20u : 0u);
  IfdEntry far{0x9004, kTypeAscii, 20, 0xFFFFFFF0}, huge{0x9004, kTypeUndefined, 0x7FFFFFFF, 40};
  EXPECT_EQ(r->ReadEntryValue(far, text, sizeof text), 0u);
  EXPECT_EQ(r->ReadEntryValue(huge, text, sizeof text), 0u);
  EXPECT_EQ(text[0], 0);  // the buffer is zeroed on failure
}

TEST_P(ReaderCase, ThumbnailLengthIsCutAtTheBlockEnd) {
  // IFD1 names an 8-byte thumbnail at the end of the block, by an offset and a length given here.
  const auto build = [&](uint32_t offsetDelta, uint32_t length) {
    TiffBuilder t(order());
    const int ifd1 = t.AddDirectory(), exif = t.AddDirectory();
    t.Ifd0().Pointer(kTagExifIfdPointer, exif).Next(ifd1);
    t.Dir(exif).Short(0xA001, {1});
    t.Dir(ifd1).RawEntry(kTagJpegInterchangeFormat, test::kLong, 1, 0)
        .RawEntry(kTagJpegInterchangeFormatLength, test::kLong, 1, length);
    t.Dir(ifd1).entries[0].fixedField = static_cast<uint32_t>(t.Build().size()) + offsetDelta;
    Bytes patched = t.Build();
    patched.insert(patched.end(), {0xFF, 0xD8, 1, 2, 3, 4, 0xFF, 0xD9});
    return JpegBuilder().Soi().App1Exif(patched).BodyOf(test::EncodeJpeg(8, 8)).Build();
  };
  for (const auto& [delta, length, expected] : {std::tuple{0u, 8u, 8u}, {0u, 5000u, 8u}, {4u, 5000u, 4u},
                                               {8u, 5000u, 0u}, {9u, 4u, 0u}}) {
    platform::HeapPtr<uint8_t> copy;
    EXPECT_EQ(Read("t.jpg", build(delta, length))->GetThumbnail(&copy), expected) << delta << "/" << length;
  }
}

TEST_P(ReaderCase, TiffThumbnailIsTheBlockReheadedAtIfd1) {
  TiffBuilder t(order());
  const int exif = t.AddDirectory(), ifd1 = t.AddDirectory();
  const int thumbStrip = t.AddBlob(Bytes(12, 0x40)), mainStrip = t.AddBlob(Bytes(64, 0x80));
  t.Ifd0().Short(kTagImageWidth, {8}).Short(kTagImageLength, {8}).BlobOffset(kTagStripOffsets, mainStrip)
      .Pointer(kTagExifIfdPointer, exif).Next(ifd1);
  t.Dir(exif).Short(0xA001, {1});
  t.Dir(ifd1).Short(kTagImageWidth, {2}).Short(kTagImageLength, {2}).BlobOffset(kTagStripOffsets, thumbStrip, test::kShort);
  TiffLayout layout;
  const Bytes tiff = t.Build(&layout);
  const auto r = Read("thumb.tif", tiff);
  const uint32_t blockLength = layout.blobOffsets[1];
  ASSERT_EQ(r->blockLength(), blockLength);
  platform::HeapPtr<uint8_t> copy;
  ASSERT_EQ(r->GetThumbnail(&copy), blockLength);
  Bytes expected(tiff.begin(), tiff.begin() + blockLength);
  MutableByteView(expected.data(), 8, r->byteOrder()).WriteU32(4, layout.directoryOffsets[2]);
  EXPECT_EQ(Bytes(copy.get(), copy.get() + blockLength), expected);
  IfdDescriptor d;
  ASSERT_EQ(r->GetDirectoryDescriptor(kIfd1, &d), 1);
  EXPECT_EQ(d.firstStripOffset, layout.blobOffsets[0]);
}

TEST_P(ReaderCase, CutFilesAnswerWhatTheyStillHold) {
  const Bytes full = Camera();
  const uint32_t app1End = 2 + 2 + ((full[4] << 8) | full[5]);
  const auto cut = [&](size_t n) {
    return Read("cut" + std::to_string(n) + ".jpg", Bytes(full.begin(), full.begin() + static_cast<long>(n)));
  };
  platform::HeapPtr<uint8_t> thumb;
  EXPECT_GT(cut((app1End + full.size()) / 2)->GetThumbnail(&thumb), 0u);  // a partial download
  const auto r = cut(app1End - 40);  // cut behind the Exif IFD
  ASSERT_EQ(r->blockLength(), app1End - 40 - kJpegTiffBase);
  EXPECT_FALSE(r->IsJpegImage());  // no frame header seen
  IfdEntry e{0x9003};
  ASSERT_EQ(r->FindEntry(kExifIfd, &e), 1);
  char text[20];
  EXPECT_EQ(r->ReadEntryValue(e, text, sizeof text), 20u);
  EXPECT_EQ(cut(kJpegTiffBase + 8 + 20)->structureRead(), 0);  // cut inside IFD0
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<Order, Mode>>& info) {
  static const char* const kModes[] = {"Whole", "OnDemand", "File"};
  return std::string(std::get<0>(info.param) == Order::Little ? "II_" : "MM_") +
         kModes[static_cast<int>(std::get<1>(info.param))];
}
INSTANTIATE_TEST_SUITE_P(OrdersAndModes, ReaderCase,
                         ::testing::Combine(::testing::Values(Order::Little, Order::Big),
                                            ::testing::Values(Mode::kWhole, Mode::kOnDemand, Mode::kFile)),
                         CaseName);

TEST(ReaderStructure, FilesWithoutUsableExif) {
  test::TempDir dir;
  const auto exif = [](uint16_t magic, uint32_t ifd0, char order = 'I') {
    TiffBuilder t(Order::Little);
    t.Ifd0().Short(kTagOrientation, {1}).Pointer(kTagExifIfdPointer, t.AddDirectory());
    t.SetMagic(magic);
    if (ifd0) t.SetIfd0Offset(ifd0);
    Bytes b = t.Build();
    b[0] = static_cast<uint8_t>(order);
    return b;
  };
  const Bytes body = JpegBuilder().BodyOf(test::EncodeJpeg(8, 8)).Build();
  const Bytes xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.', 'a', 'd', 'o', 'b', 'e', '.', 'c', 'o'};
  const std::tuple<const char*, Bytes, int> rows[] = {
      {"no APP1", JpegBuilder().Soi().Raw(body).Build(), 1},
      {"APP1 under 16 bytes", JpegBuilder().Soi().Segment(0xE1, {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0}).Raw(body).Build(), 1},
      {"last APP1 not EXIF", JpegBuilder().Soi().App1Exif(exif(42, 0)).Segment(0xE1, xmp).Raw(body).Build(), 0},
      {"no byte order", exif(42, 0, 'A'), 0},
      {"another magic", exif(43, 0), 1},
      {"IFD0 inside the header", exif(42, 4), 0},
      {"IFD0 past the end", exif(42, 0xFFF0), 0},
      {"seven bytes", {'I', 'I', 42, 0, 8, 0, 0}, 0},
  };
  for (const auto& [name, file, structureRead] : rows) {
    ExifReader r(dir.Put("f", file).c_str(), true);
    EXPECT_EQ(r.structureRead(), structureRead) << name;
    EXPECT_FALSE(r.HasExifDirectory()) << name;
  }
  EXPECT_EQ(ExifReader(dir.File("missing.jpg").c_str(), true).structureRead(), 0);
  EXPECT_EQ(ExifReader(nullptr, true).structureRead(), 0);

  // An APP1 that claims 3 bytes more than the file holds: the block is what the file holds, and
  // loads later when asked.
  Bytes jpeg = JpegBuilder().Soi().App1Exif(exif(42, 0)).Build();
  jpeg.resize(jpeg.size() - 3);
  ExifReader r(dir.Put("short.jpg", jpeg).c_str(), false);
  ASSERT_EQ(r.blockLength(), jpeg.size() - kJpegTiffBase);
  uint32_t size = 0;
  const uint8_t* block = r.LoadBlock(true, &size);
  ASSERT_EQ(size, r.blockLength());
  EXPECT_EQ(std::memcmp(block, jpeg.data() + kJpegTiffBase, size), 0);
  EXPECT_EQ(r.LoadBlock(false, &size), block);
  EXPECT_EQ(size, 0u);  // already loaded
}

TEST(ReaderStructure, FailingFileStepsGiveCleanFailures) {
  test::TempDir dir;
  const std::string path = dir.Put("camera.jpg", test::MakeCameraJpeg());
  platform::ClearFaults();
  { ExifReader probe(path.c_str(), true); }
  const uint32_t reads = platform::CallCount(platform::Service::Read), seeks = platform::CallCount(platform::Service::Seek);
  for (auto [service, calls] : {std::pair{platform::Service::Read, reads}, std::pair{platform::Service::Seek, seeks},
                                std::pair{platform::Service::Open, 1u}, std::pair{platform::Service::Allocate, 1u}}) {
    for (uint32_t nth = 1; nth <= calls; ++nth) {
      platform::ClearFaults();
      platform::InjectFault(service, nth, 30);
      ExifReader r(path.c_str(), true);
      EXPECT_TRUE(r.structureRead() == 0 && !r.HasBlock()) << static_cast<int>(service) << " call " << nth;
    }
  }
  // A read on demand that fails later leaves the bytes absent.
  platform::ClearFaults();
  {
    ExifReader r(dir.Put("far.jpg", FarExif(Order::Little)).c_str(), kOnDemand);
    platform::InjectFault(platform::Service::Read, 1, 30, /*sticky=*/true);
    IfdEntry o{kTagOrientation};
    EXPECT_NE(r.FindEntry(kIfd1, &o), kFound);
    EXPECT_EQ(r.LoadBlock(false, nullptr), nullptr);
  }
  platform::ClearFaults();
}

}  // namespace
}  // namespace lf::exif
