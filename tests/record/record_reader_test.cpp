// SPDX-License-Identifier: MIT
// The record codec: every field of the record-field table written as entries in both byte orders
// and read back from a JPEG and a TIFF, hostile counts and offsets, and segments not EXIF data.
#include "exif/record/record_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/fixture_builder.h"
#include "tests/support/record_lists.h"

namespace lf::record {
namespace {

using test::Bytes;
using test::Order;
using List = test::RecordList;

uint64_t Mask(const LfPresenceMask& m) { return (uint64_t{m.high} << 32) | m.low; }
uint64_t Bits(std::initializer_list<int> bits) {
  uint64_t m = 0;
  for (int b : bits) m |= uint64_t{1} << b;
  return m;
}
std::string Text(const LfString& s) { return s.text ? s.text : ""; }
exif::ByteOrder OrderOf(Order o) {
  return o == Order::Big ? exif::kBigEndian : exif::kLittleEndian;
}

template <typename T>
T* Alloc(size_t n) {
  return static_cast<T*>(std::calloc(n, sizeof(T)));
}

// Gives the field of `row` a value derived from `seed` and sets its presence bit. Texts of up to
// three letters and values of up to four bytes lie inline, longer ones out of line; SHORT and LONG
// alternate where the record keeps the type read.
void Fill(const RecordField& row, void* record, uint32_t seed) {
  uint8_t* at = static_cast<uint8_t*>(record) + row.offset;
  const uint16_t kept = seed % 2 ? exif::kTypeShort : exif::kTypeLong;
  if (row.typeOffset) std::memcpy(static_cast<uint8_t*>(record) + row.typeOffset, &kept, 2);
  auto put = [&](auto v, size_t i) { std::memcpy(at + sizeof v * i, &v, sizeof v); };
  switch (row.kind) {
    case FieldKind::kU8: put(uint8_t(seed), 0); break;
    case FieldKind::kU16:
      for (size_t i = 0; i < row.count; ++i) put(uint16_t(seed + i), i);
      break;
    case FieldKind::kU32:
    case FieldKind::kShortOrLong: put(uint32_t(seed * 7), 0); break;
    case FieldKind::kRational:
      for (size_t i = 0; i < 2u * row.count; ++i) put(uint32_t(seed + i + 1), i);
      break;
    case FieldKind::kSRational:
      for (size_t i = 0; i < 2u * row.count; ++i) put(int32_t(i % 2 ? 3 : -int32_t(seed)), i);
      break;
    case FieldKind::kRaw4:
      for (size_t i = 0; i < 4; ++i) put(uint8_t('0' + (seed + i) % 10), i);
      break;
    case FieldKind::kText: {
      const std::string text =
          std::string(seed % 4, 'a') + (seed % 3 ? std::to_string(seed * 1234567) : "");
      reinterpret_cast<LfString*>(at)->text = strdup(text.c_str());
      break;
    }
    case FieldKind::kBytes: {
      auto* a = reinterpret_cast<LfByteArray*>(at);
      a->size = a->capacity = static_cast<int32_t>(seed % 9 + 1);
      a->data = Alloc<uint8_t>(static_cast<size_t>(a->size));
      for (int32_t i = 0; i < a->size; ++i)
        a->data[i] = static_cast<uint8_t>(seed + static_cast<uint32_t>(i));
      break;
    }
    case FieldKind::kU16List: {
      auto* l = reinterpret_cast<LfU16List*>(at);
      l->size = l->capacity = 3;
      l->data = Alloc<uint16_t>(3);
      for (int32_t i = 0; i < 3; ++i)
        l->data[i] = static_cast<uint16_t>(seed * 100 + static_cast<uint32_t>(i));
      break;
    }
    case FieldKind::kU32List: {
      auto* l = reinterpret_cast<LfU32List*>(at);
      l->size = l->capacity = 2;
      l->data = Alloc<uint32_t>(2);
      for (int32_t i = 0; i < 2; ++i) l->data[i] = seed * 1000 + static_cast<uint32_t>(i);
      break;
    }
    case FieldKind::kSubDirectory: break;
  }
  LfPresenceSet(PresenceOf(row.selector, record), row.bit);
}

// The entries of a record as the fixture builder lays them, from the codec's encoding of them.
void AddFields(test::Ifd& dir, uint32_t selector, const void* record, exif::ByteOrder order) {
  for (const FieldValue& f : PresentFields(selector, record, order)) {
    if (f.tag == exif::kTagInteropIfdPointer) continue;  // laid as the builder's pointer
    const uint32_t width = exif::FieldTypeSize(f.type);
    if (width == 1) {
      dir.Data(f.tag, f.type, f.bytes);
      continue;
    }
    const exif::ByteView v(f.bytes.data(), f.bytes.size(), order);
    std::vector<uint64_t> numbers;
    for (size_t i = 0; i < f.bytes.size(); i += width == 2 ? 2 : 4)
      numbers.push_back(width == 2 ? v.ReadU16(i) : v.ReadU32(i));
    dir.Values(f.tag, f.type, numbers);
  }
}

class RecordReaderTest : public ::testing::TestWithParam<Order> {};

// Read, written, read again: every row of the table in IFD0, Exif, Interop, GPS and IFD1.
TEST_P(RecordReaderTest, EveryTableFieldRoundTripsThroughJpegAndTiff) {
  List written;
  void* records[] = {LfImageDirRecordNew(), LfExifDirRecordNew(), LfGpsDirRecordNew(),
                     LfImageDirRecordNew()};
  const uint32_t selectors[] = {LF_SEL_IFD0, LF_SEL_EXIF, LF_SEL_GPS, LF_SEL_IFD1};
  uint32_t seed = 1;
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(LfRecordListAppend(&written.list, selectors[i], records[i]));
    for (const RecordField& row : FieldsOf(selectors[i])) Fill(row, records[i], seed++);
  }
  auto* exifRecord = static_cast<LfExifDirRecord*>(records[1]);
  for (const RecordField& row : FieldsOf(LF_SEL_INTEROP))
    Fill(row, &exifRecord->interoperability, seed++);
  auto* ifd0 = static_cast<LfImageDirRecord*>(records[0]);
  LfPresenceSet(&ifd0->presence, image_bit::kExifRead);
  LfPresenceSet(&ifd0->presence, image_bit::kGpsRead);

  const exif::ByteOrder order = OrderOf(GetParam());
  test::TiffBuilder b(GetParam());
  const int exif = b.AddDirectory(), gps = b.AddDirectory(), interop = b.AddDirectory(),
            ifd1 = b.AddDirectory();
  AddFields(b.Ifd0(), LF_SEL_IFD0, records[0], order);
  b.Ifd0().Pointer(exif::kTagExifIfdPointer, exif).Pointer(exif::kTagGpsIfdPointer, gps).Next(ifd1);
  AddFields(b.Dir(exif), LF_SEL_EXIF, records[1], order);
  b.Dir(exif)
      .Long(0xA500, {1})
      .Pointer(exif::kTagInteropIfdPointer, interop);  // a tag no field holds
  AddFields(b.Dir(interop), LF_SEL_INTEROP, &exifRecord->interoperability, order);
  AddFields(b.Dir(gps), LF_SEL_GPS, records[2], order);
  b.Dir(gps).Data(0x001B, test::kUndefined,
                  {'A', 'S', 'C', 'I', 'I', 0, 0, 0});  // not the record's GPS field
  AddFields(b.Dir(ifd1), LF_SEL_IFD1, records[3], order);
  const Bytes tiff = b.Build();

  test::TempDir dir;
  const std::string jpeg = dir.Put(
      "a.jpg", test::JpegBuilder().Soi().App1Exif(tiff).BodyOf(test::EncodeJpeg(8, 8)).Build());
  const std::string tif = dir.Put("a.tif", tiff);
  for (const std::string& path : {jpeg, tif}) {
    List read;
    ASSERT_EQ(ReadExifRecord(path.c_str(), &read.list, 0x000F0000), S_OK) << path;
    EXPECT_EQ(test::Rows(read), test::Rows(written)) << path;
  }
}

TEST_P(RecordReaderTest, HostileCountsAndOffsetsAreIgnoredOrRefused) {
  test::TiffBuilder b(GetParam());
  const int exif = b.AddDirectory();
  b.Ifd0()
      .Data(0x010F, test::kAscii, {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J'})  // no NUL
      .RawEntry(0x0110, test::kAscii, 9, 0)            // fixed below: nine of Make's ten letters
      .RawEntry(0x0131, test::kAscii, 50, 0x7FFFFFF0)  // value past the end: ignored
      .RawEntry(0x0111, test::kLong, 0x40000000, 8)    // 4 GiB of offsets: ignored
      .RawEntry(0x0117, 0, 0xFFFFFFFF, 0)              // unknown type, huge count: bounded
      .RawEntry(0x9999, test::kAscii, 0xFFFFFFFF, 0)
      .Short(0x0112, {8})  // still read after them
      .Pointer(0x8769, exif);
  b.Dir(exif)
      .RawEntry(0x8827, 0, 0xFFFFFFFF, 0)
      .RawEntry(0x927C, test::kUndefined, 0x10000000, 8)
      .RawEntry(0xA005, test::kLong, 1, 0xFFFFFFFE)
      .Ascii(0x9003, "2024:01:02 03:04:05");
  test::TiffLayout layout;
  Bytes tiff = b.Build(&layout);
  const uint32_t ifd0 = layout.directoryOffsets[0];
  const exif::MutableByteView view(tiff.data(), tiff.size(), OrderOf(GetParam()));
  ASSERT_TRUE(view.WriteU32(ifd0 + 2 + 12 + 8, view.view().ReadU32(ifd0 + 2 + 8)));

  List l;
  ASSERT_EQ(ParseTiffToRecord(exif::ByteView(tiff.data(), tiff.size()), &l.list, 0x000F0000), S_OK);
  const auto* r = l.Find<LfImageDirRecord>(LF_SEL_IFD0);
  EXPECT_EQ(Text(r->make), "ABCDEFGHIJ");
  EXPECT_EQ(Text(r->model), "ABCDEFGHI");
  EXPECT_EQ(Mask(r->presence), Bits({5, 14, 25, 26, 30}));
  EXPECT_LE(static_cast<size_t>(r->stripByteCounts.size), tiff.size());
  const auto* ex = l.Find<LfExifDirRecord>(LF_SEL_EXIF);
  EXPECT_EQ(Mask(ex->presence), Bits({9, 18}));  // no maker note, no Interop
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
    test::ByteWriter w(GetParam());
    w.Text(big ? "MM" : "II").U16(magic).U32(first).Zeros(32);
    return w.Take();
  };
  auto parse = [](const Bytes& b) {
    List l;
    HRESULT hr = ParseTiffToRecord(exif::ByteView(b.data(), b.size()), &l.list, LF_SEL_IFD0);
    EXPECT_EQ(l.list.count, hr == S_OK ? 1u : 0u);
    return hr;
  };
  Bytes bad = header(42, 8), longCount = header(42, 8);
  bad[0] = bad[1] = 'X';
  longCount[big ? 9 : 8] = 3;  // a directory count that passes the end of the data
  const struct {
    Bytes bytes;
    HRESULT expected;
  } rows[] = {{header(42, 8), S_OK},   {header(0x2A00, 8), E_FAIL}, {header(42, 4), E_FAIL},
              {header(42, 0), E_FAIL}, {header(42, 38), E_FAIL},    {bad, E_FAIL},
              {longCount, E_FAIL}};
  for (const auto& row : rows) EXPECT_EQ(parse(row.bytes), row.expected) << &row - rows;
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, RecordReaderTest, ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) {
                           return info.param == Order::Little ? "Little" : "Big";
                         });

TEST(RecordReader, JfifAndNonExifSegments) {
  test::TempDir dir;
  List l;
  test::TiffBuilder b(Order::Little);
  const int exif = b.AddDirectory(), ifd1 = b.AddDirectory();
  b.Ifd0().Short(0x0112, {1}).Pointer(exif::kTagExifIfdPointer, exif).Next(ifd1);
  b.Dir(exif).Undefined(exif::kTagExifVersion, {'0', '2', '3', '0'});
  b.Dir(ifd1).Short(0x0103, {6});
  const Bytes tiff = b.Build();
  // A JFIF file is not an EXIF file, though an EXIF APP1 follows its APP0.
  const std::string jfif =
      dir.Put("j.jpg", test::JpegBuilder().Soi().App0Jfif().App1Exif(tiff).Eoi().Build());
  EXPECT_EQ(ReadExifRecord(jfif.c_str(), &l.list, LF_SEL_IFD0), E_NO_EXIF);
  const std::string good = dir.Put("a.jpg", test::JpegBuilder().Soi().App1Exif(tiff).Eoi().Build());
  EXPECT_EQ(ReadExifRecord(good.c_str(), &l.list, LF_SEL_IFD1 | LF_SEL_IFD0), S_OK);
  EXPECT_EQ(l.Selectors(), (std::vector<uint32_t>{LF_SEL_IFD0, LF_SEL_IFD1}));

  // An APP1 segment that is not an EXIF one.
  const Bytes xmp = test::JpegBuilder().App(1, {'h', 't', 't', 'p', 0}).Build();
  EXPECT_EQ(ParseApp1ToRecord(exif::ByteView(xmp.data(), xmp.size()), &l.list, LF_SEL_IFD0),
            E_FAIL);
}

}  // namespace
}  // namespace lf::record
