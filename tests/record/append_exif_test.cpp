// SPDX-License-Identifier: MIT
// The record writer and the segment merge: records read from a file in either byte order, written
// into a new JPEG (EncodeJpegWithExif) or merged into another file's segment (AppendExif), read
// again by our reader and by ExifTool; the result codes of the file steps; and hostile host lists
// (real files are the corpus suite's, concurrent calls the thread stress test's).
#include "exif/record/append_exif.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>

#include "exif/model/directory.h"
#include "exif/record/record_fields.h"
#include "exif/record/record_reader.h"
#include "platform/temp_files.h"
#include "tests/imaging/image_files.h"
#include "tests/support/edit_fixtures.h"
#include "tests/support/exiftool_dump.h"
#include "tests/support/fixture_builder.h"
#include "tests/support/record_lists.h"

namespace lf::record {
namespace {

using test::Bytes;
using test::Order;
using test::RecordList;

// IFD0, Exif (with Interop) and GPS directories and IFD1 with a thumbnail, holding every kind of
// field the records carry: SHORT and LONG type fields, arrays, signed rationals, the 768-value
// TransferFunction, an empty string, blobs and Raw4 versions.
Bytes SourceTiff(Order order) {
  test::TiffBuilder b(order);
  const int exif = b.AddDirectory(), gps = b.AddDirectory(), interop = b.AddDirectory(),
            ifd1 = b.AddDirectory();
  const int thumb = b.AddBlob(test::EncodeJpeg(16, 12));
  std::vector<uint64_t> transfer(768);
  for (size_t i = 0; i < transfer.size(); ++i) transfer[i] = i * 85;
  b.Ifd0()
      .Short(0x0100, {640})
      .Long(0x0101, {480})
      .Ascii(0x010F, "Kestrelon")
      .Ascii(0x0110, "K1")
      .Short(0x0112, {6})
      .Rational(0x011A, {{72, 1}})
      .Short(0x0128, {2})
      .Values(0x012D, test::kShort, transfer)
      .Ascii(0x0131, "")
      .Ascii(0x0132, "2024:05:06 07:08:09")
      .Short(0x0213, {2})
      .Pointer(0x8769, exif)
      .Pointer(0x8825, gps)
      .Undefined(0xC4A5, {'P', 'r', 'i', 'n', 't', 'I', 'M', 0})
      .Next(ifd1);
  b.Dir(exif)
      .Rational(0x829A, {{1, 250}})
      .Short(0x8822, {2})
      .Short(0x8827, {100, 200, 400})
      .Undefined(0x9000, {'0', '2', '3', '0'})
      .Ascii(0x9003, "2024:05:06 07:08:09")
      .Values(0x9203, test::kSRational, {static_cast<uint32_t>(-5), 10})
      .Values(0x9204, test::kSRational, {static_cast<uint32_t>(-2), 3})
      .Short(0x9207, {5})
      .Short(0x9209, {16})
      .Short(0x9214, {10, 20, 30, 40})
      .Undefined(0x9286, {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'h', 'i'})
      .Short(0xA001, {1})
      .Long(0xA002, {4000})
      .Short(0xA003, {3000})
      .Pointer(0xA005, interop)
      .Values(0xA300, test::kUndefined, {3})
      .Short(0xA403, {1});
  b.Dir(interop).Ascii(0x0001, "R98").Undefined(0x0002, {'0', '1', '0', '0'});
  b.Dir(gps)
      .Values(0x0000, test::kByte, {2, 2, 0, 0})
      .Ascii(0x0001, "N")
      .Rational(0x0002, {{46, 1}, {30, 1}, {1234, 100}})
      .Values(0x0005, test::kByte, {1})
      .Rational(0x0006, {{120, 1}})
      .Undefined(0x0028, {'G', 'P', 'S'})
      .Ascii(0x002A, "2024:05:06");
  b.Dir(ifd1)
      .Short(0x0103, {6})
      .Short(0x0128, {2})
      .BlobOffset(0x0201, thumb)
      .BlobLength(0x0202, thumb);
  return b.Build();
}

// The file the records are merged into: fewer tags, other values, a maker note and a thumbnail.
Bytes TargetTiff(Order order, const Bytes& thumbnail) {
  test::TiffBuilder b(order);
  const int exif = b.AddDirectory(), ifd1 = b.AddDirectory();
  const int thumb = b.AddBlob(thumbnail);
  // ExposureProgram as the records hold it, the unused half of its value field filled.
  const uint32_t program = order == Order::Little ? 0x0C7C0002u : 0x00027C0Cu;
  b.Ifd0()
      .Ascii(0x010F, "Other")
      .Short(0x0112, {1})
      .Rational(0x011A, {{300, 1}})
      .Short(0x0128, {3})
      .Ascii(0x0132, "2000:01:01 00:00:00")
      .Pointer(0x8769, exif)
      .Next(ifd1);
  b.Dir(exif)
      .Rational(0x829A, {{1, 60}})
      .RawEntry(0x8822, test::kShort, 1, program)
      .Short(0x9208, {0})
      .Short(0x9209, {0})
      .Undefined(0x927C, Bytes(40, 0x5A))
      .Undefined(0x9286, Bytes(16, 0))
      .Short(0xA001, {0xFFFF})
      .Short(0xA002, {100});
  b.Dir(ifd1).Short(0x0103, {6}).BlobOffset(0x0201, thumb).BlobLength(0x0202, thumb);
  return b.Build();
}

Bytes Jpeg(const Bytes& tiff) {
  return test::JpegBuilder().Soi().App1Exif(tiff).BodyOf(test::EncodeJpeg(32, 24)).Build();
}

using test::Rows;

void Read(const std::string& path, RecordList* l) {
  ASSERT_EQ(ReadExifRecord(path.c_str(), &l->list, 0x000F0000), S_OK) << path;
}

class RecordWriterTest : public ::testing::TestWithParam<Order> {};

TEST_P(RecordWriterTest, EncodedJpegCarriesEveryRecordFieldAndAFreshThumbnail) {
  test::TempDir dir;
  const std::string src = dir.Put("src.jpg", Jpeg(SourceTiff(GetParam())));
  RecordList records;
  Read(src, &records);
  LF_HGLOBAL image = test::MakeDib24(200, 100, [](int x, int y) {
    return test::Rgb{uint8_t(x), uint8_t(y), 90};
  });
  const std::string out = dir.File("out.jpg");
  ASSERT_EQ(EncodeJpegWithExif(image, out.c_str(), 90, &records.list), S_OK);
  LfGlobalFree(image);

  // Our reader gives back the same records; only the thumbnail's place and length are new.
  RecordList back;
  Read(out, &back);
  const std::set<std::pair<uint32_t, uint16_t>> thumbnailPlace{{LF_SEL_IFD1, 0x0201},
                                                               {LF_SEL_IFD1, 0x0202}};
  EXPECT_EQ(Rows(back, thumbnailPlace), Rows(records, thumbnailPlace));

  // SOI, the new APP1, then the writer's first non-application marker.
  const Bytes file = test::ReadFile(out);
  ASSERT_GT(file.size(), 8u);
  EXPECT_EQ(file[2], 0xFF);
  EXPECT_EQ(file[3], 0xE1);
  const size_t next = 4 + (size_t{file[4]} << 8 | file[5]);
  EXPECT_EQ(file[next], 0xFF);
  EXPECT_LT(file[next + 1], 0xE0);

  if (!test::ExpectNoNewIssues(src, out)) GTEST_SKIP() << "exiftool missing";
  auto dump = test::RunExifTool({out});
  const test::ExifToolTags& t = dump[out];
  EXPECT_EQ(t.at("IFD0:Make"), "Kestrelon");
  EXPECT_EQ(t.at("ExifIFD:ISO"), "100 200 400");
  EXPECT_EQ(t.at("ExifIFD:BrightnessValue"), "-0.5");
  EXPECT_EQ(t.at("InteropIFD:InteropIndex"), "R98");
  EXPECT_EQ(t.at("GPS:GPSLatitude"), "46.5034277777778");
  EXPECT_EQ(t.at("ExifIFD:ExposureCompensation"), "-0.6666666667");
  // The thumbnail is a 160 x 120 JPEG of the image.
  const std::string thumb = dir.Put(
      "thumb.jpg",
      test::Slice(file, 12 + back.Find<LfImageDirRecord>(LF_SEL_IFD1)->jpegInterchangeFormat,
                  back.Find<LfImageDirRecord>(LF_SEL_IFD1)->jpegInterchangeFormatLength));
  auto thumbDump = test::RunExifTool({thumb});
  EXPECT_EQ(thumbDump[thumb].at("File:ImageWidth"), "160");
  EXPECT_EQ(thumbDump[thumb].at("File:ImageHeight"), "120");
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, RecordWriterTest,
                         ::testing::Values(Order::Little, Order::Big));

// The records of one byte order merged into a target of the other (the corpus edits check through
// ExifTool that nothing else changes).
class AppendExifMergeTest : public ::testing::TestWithParam<Order> {};

TEST_P(AppendExifMergeTest, SmallValuesAreMergedByTheirPlaceAndSize) {
  const Order targetOrder = GetParam() == Order::Little ? Order::Big : Order::Little;
  test::TempDir dir;
  const std::string src = dir.Put("src.jpg", Jpeg(SourceTiff(GetParam())));
  const std::string target =
      dir.Put("target.jpg", Jpeg(TargetTiff(targetOrder, test::EncodeJpeg(16, 12, 70))));
  RecordList records;
  Read(src, &records);
  const std::string out = dir.File("out.jpg");
  ASSERT_EQ(record::AppendExif(out.c_str(), target.c_str(), &records.list, 1), S_OK);

  RecordList after;
  Read(out, &after);
  const auto* ifd0 = after.Find<LfImageDirRecord>(LF_SEL_IFD0);
  const auto* ex = after.Find<LfExifDirRecord>(LF_SEL_EXIF);
  ASSERT_TRUE(ifd0 && ex);
  // Inserted before the first old entry above them, with the type they were read with; replaced
  // when as long and inline; kept when longer, of another size or behind the last old entry.
  const struct {
    const char* what;
    uint32_t ours, expected;
  } values[] = {{"ImageWidth", ifd0->imageWidth, 640},
                {"its type", ifd0->imageWidthType, 3},
                {"ImageLength type", ifd0->imageLengthType, 4},
                {"YCbCrPositioning", ifd0->yCbCrPositioning, 2},
                {"MeteringMode", ex->meteringMode, 5},
                {"Orientation", ifd0->orientation, 6},
                {"ResolutionUnit", ifd0->resolutionUnit, 2},
                {"ExposureProgram", ex->exposureProgram, 2},
                {"Flash", ex->flash, 16},
                {"ColorSpace", ex->colorSpace, 1},
                {"UserComment kept", static_cast<uint32_t>(ex->userComment.size), 16},
                {"PixelXDimension kept", ex->pixelXDimension, 100},
                {"WhiteBalance behind the last",
                 static_cast<uint32_t>(LfPresenceHas(&ex->presence, exif_bit::kWhiteBalance)), 0},
                {"PrintIM too long",
                 static_cast<uint32_t>(LfPresenceHas(&ifd0->presence, image_bit::kPrintIm)), 0}};
  for (const auto& v : values) EXPECT_EQ(v.ours, v.expected) << v.what;
  EXPECT_STREQ(ifd0->make.text, "Other");
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, AppendExifMergeTest,
                         ::testing::Values(Order::Little, Order::Big));

TEST(EncodeJpegWithExif, OptionalDirectories) {
  test::TempDir dir;
  const std::string src = dir.Put("src.jpg", Jpeg(SourceTiff(Order::Big)));
  LF_HGLOBAL image = test::MakeDib24(40, 30, [](int, int) { return test::Rgb{9, 9, 9}; });
  const std::string out = dir.File("out.jpg");

  RecordList ifd0Only;
  ASSERT_EQ(ReadExifRecord(src.c_str(), &ifd0Only.list, LF_SEL_IFD0), S_OK);
  EXPECT_EQ(EncodeJpegWithExif(image, out.c_str(), 80, &ifd0Only.list), E_FAIL);  // no Exif record
  RecordList kept;
  ASSERT_EQ(ReadExifRecord(src.c_str(), &kept.list, LF_SEL_IFD0 | LF_SEL_EXIF), S_OK);
  ASSERT_EQ(EncodeJpegWithExif(image, out.c_str(), 80, &kept.list), S_OK);
  const Bytes plain = test::ReadFile(out);
  RecordList back;
  Read(out, &back);
  // No IFD1 (the reader makes an empty GPS record for the mask) and no GPS pointer.
  EXPECT_EQ(back.Selectors(), (std::vector<uint32_t>{LF_SEL_IFD0, LF_SEL_EXIF, LF_SEL_GPS}));
  EXPECT_FALSE(LfPresenceAny(&back.Find<LfGpsDirRecord>(LF_SEL_GPS)->presence));
  EXPECT_FALSE(LfPresenceHas(&back.Find<LfImageDirRecord>(LF_SEL_IFD0)->presence, 31));

  // Records that add nothing give that same file; an IFD1 that does not name a thumbnail is laid
  // without one (its one entry: 2 + 12 + 4 bytes).
  auto keepOnly = [](LfPresenceMask* mask, std::initializer_list<unsigned> bits) {
    LfPresenceMask m{};
    for (unsigned bit : bits) {
      if (LfPresenceHas(mask, bit)) LfPresenceSet(&m, bit);
    }
    *mask = m;
  };
  const struct {
    const char* what;
    uint32_t selectors;
    std::function<void(RecordList&)> change;
    size_t extraBytes;
  } rows[] = {
      {"empty GPS record", LF_SEL_GPS,
       [&](RecordList& l) { keepOnly(&l.Find<LfGpsDirRecord>(LF_SEL_GPS)->presence, {}); }, 0},
      {"empty IFD1 record", LF_SEL_IFD1,
       [&](RecordList& l) { keepOnly(&l.Find<LfImageDirRecord>(LF_SEL_IFD1)->presence, {}); }, 0},
      {"IFD1 without JPEGInterchangeFormat", LF_SEL_IFD1,
       [&](RecordList& l) { keepOnly(&l.Find<LfImageDirRecord>(LF_SEL_IFD1)->presence, {3}); }, 18},
  };
  for (const auto& row : rows) {
    RecordList l;
    ASSERT_EQ(ReadExifRecord(src.c_str(), &l.list, LF_SEL_IFD0 | LF_SEL_EXIF | row.selectors), S_OK)
        << row.what;
    row.change(l);
    ASSERT_EQ(EncodeJpegWithExif(image, out.c_str(), 80, &l.list), S_OK) << row.what;
    const Bytes file = test::ReadFile(out);
    if (row.extraBytes == 0) {
      EXPECT_EQ(file, plain) << row.what;
    } else {
      EXPECT_EQ(file.size(), plain.size() + row.extraBytes) << row.what;
    }
  }
  LfGlobalFree(image);
}

// Without an APP1 the merge fails, or reports no EXIF data when it requires some; nothing is left
// behind (write failures are the fault-step suite's).
TEST(AppendExif, TargetsWithoutExif) {
  test::TempDir dir;
  RecordList records;
  Read(dir.Put("src.jpg", Jpeg(SourceTiff(Order::Little))), &records);
  const std::string jfif = dir.Put("plain.jpg", test::EncodeJpeg(16, 16));
  const std::vector<std::string> before = dir.List();
  for (const auto& [requireExif, expected] : {std::pair{0, E_FAIL}, std::pair{1, E_NO_EXIF}}) {
    EXPECT_EQ(
        record::AppendExif(dir.File("dest.jpg").c_str(), jfif.c_str(), &records.list, requireExif),
        expected);
    EXPECT_EQ(dir.List(), before);
  }
}

// A host list broken in one way; the test puts back what it changed before the list is freed.
TEST(AppendExif, HostileListsAreRefusedBeforeAnyFileIsTouched) {
  test::TempDir dir;
  RecordList records;
  Read(dir.Put("src.jpg", Jpeg(SourceTiff(Order::Little))), &records);
  const std::string target =
      dir.Put("target.jpg", Jpeg(TargetTiff(Order::Little, test::EncodeJpeg(8, 8))));
  const Bytes old = test::ReadFile(target);
  auto* ifd0 = records.Find<LfImageDirRecord>(LF_SEL_IFD0);
  auto* ex = records.Find<LfExifDirRecord>(LF_SEL_EXIF);
  auto* gps = records.Find<LfGpsDirRecord>(LF_SEL_GPS);
  LfExifRecord& list = records.list;
  LfRecordNode* first = list.head->next;
  std::string unterminated(70000, 'A');
  char* text = nullptr;
  uint8_t* blob = nullptr;
  struct Case {
    const char* name;
    std::function<void()> breakIt, mend;
  } cases[] = {
      {"count above the ring", [&] { ++list.count; }, [&] { --list.count; }},
      {"count below the ring", [&] { --list.count; }, [&] { ++list.count; }},
      {"node pointing at itself", [&] { first->next = first; },
       [&] { first->next = first->prev->next->next; }},
      {"huge blob length", [&] { ifd0->printIM.size = 0x7FFFFFFF; },
       [&] { ifd0->printIM.size = 8; }},
      {"negative array length", [&] { ex->isoSpeedRatings.size = -1; },
       [&] { ex->isoSpeedRatings.size = 3; }},
      {"blob without storage", [&] { std::swap(blob, gps->processingData.data); },
       [&] { std::swap(blob, gps->processingData.data); }},
      {"text without its NUL",
       [&] {
         text = ifd0->make.text;
         ifd0->make.text = unterminated.data();
       },
       [&] {
         ifd0->make.text = text;
         text = nullptr;
       }},
  };
  LF_HGLOBAL image = test::MakeDib24(8, 8, [](int, int) { return test::Rgb{1, 2, 3}; });
  unterminated.back() = 'A';  // no NUL within the string's bytes that a reader may look at
  for (const Case& c : cases) {
    LfRecordNode* second = first->next;
    c.breakIt();
    EXPECT_EQ(record::AppendExif(target.c_str(), target.c_str(), &list, 1), E_INVALIDARG) << c.name;
    EXPECT_EQ(EncodeJpegWithExif(image, target.c_str(), 80, &list), E_INVALIDARG) << c.name;
    if (first->next == first) {
      first->next = second;
    } else {
      c.mend();
    }
    EXPECT_EQ(test::ReadFile(target), old) << c.name;
  }
  LfGlobalFree(image);
  EXPECT_EQ(record::AppendExif(target.c_str(), target.c_str(), &list, 1), S_OK);
}

}  // namespace
}  // namespace lf::record
