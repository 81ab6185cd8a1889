// SPDX-License-Identifier: MIT
// Hostile input through every query export: malformed structures with their answers, then cut and
// corrupted fixtures and corpus files that must not crash, hang or over-read (fixed seeds).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "lumenframe/lumenframe.h"
#include "tests/support/corpus_manifest.h"
#include "tests/support/fixture_builder.h"
#include "tests/support/maker_note_fixtures.h"

namespace lf::test {
namespace {

const char* Name(LF_RESULT r) {
  switch (r) {
    case LF_S_OK: return "ok";
    case LF_E_FAIL: return "fail";
    case LF_E_NO_EXIF: return "noexif";
    default: return "other";
  }
}

// What every query export answers for the file, in one line; sizes never exceed the buffer.
std::string Answers(const std::string& path) {
  const char* p = path.c_str();
  std::ostringstream out;
  uint32_t a = 9, b = 9, c = 9;
  IsExifFile(p, &a);
  out << "file " << a;
  out << " | orient " << Name(GetOrientation(p, &a, &b, 1)) << " " << a << "/" << b;
  LfExifDateTime date{};
  out << " | date " << Name(GetDateTimeOriginal(p, &date)) << " " << date.year;
  IsExifEx(p, &a, &b, &c);
  out << " | ex " << a << b << c << " | values";
  IsExifEx(p, &a, &b, nullptr);  // the maker note read from the file rather than the block
  uint8_t buffer[64];
  for (const auto& [directory, tag] : {std::pair<uint32_t, uint16_t>{LF_DIR_IFD0, 0x010F},
                                       {LF_DIR_EXIF, 0x927C},
                                       {LF_DIR_EXIF, 0x9003},
                                       {LF_DIR_GPS, 0x0002},
                                       {LF_DIR_IFD1, 0x0201}}) {
    uint32_t size = sizeof buffer, count = 0;
    uint16_t type = 0;
    const LF_RESULT r = GetExifValue(p, directory, tag, buffer, &size, &type, &count);
    out << " " << (r == LF_S_OK ? std::to_string(size) : Name(r));
    EXPECT_LE(size, sizeof buffer);
  }
  LfExifSummary exif{};
  LfGpsSummary gps{};
  LfMakerNoteSummary note{};
  out << " | summary " << Name(GetExif(p, &exif, &gps, &note)) << " " << exif.tags.size << "/"
      << gps.tags.size << "/" << note.tags.size;
  LfExifSummaryClear(&exif);
  LfGpsSummaryClear(&gps);
  LfMakerNoteSummaryClear(&note);
  MakerNoteLists n;
  out << " | note " << Name(n.Read(path)) << " " << n.tags.size;
  uint32_t size = sizeof buffer, count = 0;
  uint16_t type = 0;
  out << " " << Name(GetExifMakerValue(p, n.header.text, 0x0001, buffer, &size, &type, &count));
  EXPECT_LE(size, sizeof buffer);
  return out.str();
}

// Thousands of rewrites: in memory where possible, as online discard makes disk rewrites slow.
std::unique_ptr<TempDir> ScratchDir() {
  const char* previous = std::getenv("TMPDIR");
  const std::string saved = previous ? previous : "";
  if (::access("/dev/shm", W_OK) == 0) ::setenv("TMPDIR", "/dev/shm", 1);
  auto dir = std::make_unique<TempDir>();
  if (previous) {
    ::setenv("TMPDIR", saved.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
  return dir;
}

Bytes Jpeg(const TiffBuilder& t) {
  return JpegBuilder().Soi().App1Exif(t.Build()).BodyOf(EncodeJpeg(8, 8)).Build();
}

// IFD0 (Make, Orientation 6) → Exif IFD (DateTimeOriginal, a one-entry maker note), then `change`.
std::function<Bytes(Order)> Broken(const std::function<void(TiffBuilder&)>& change) {
  return [change](Order order) {
    TiffBuilder t(order);
    const int exif = t.AddDirectory();
    t.Ifd0().Ascii(0x010F, "Kestrelon").Short(0x0112, {6}).Pointer(0x8769, exif);
    ByteWriter note(order);
    note.Text("Kestrelon").U8(0).U8(0).U8(0).U16(1).U16(1).U16(kShort).U32(1).U32(7).U32(0);
    t.Dir(exif).Ascii(0x9003, "2020:01:02 03:04:05").Undefined(0x927C, note.bytes());
    change(t);
    return Jpeg(t);
  };
}

class ExifRobustness : public ::testing::TestWithParam<Order> {};
INSTANTIATE_TEST_SUITE_P(ByteOrders, ExifRobustness, ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) {
                           return info.param == Order::Little ? "II" : "MM";
                         });

TEST_P(ExifRobustness, MalformedStructures) {
  const std::string whole =
      "file 1 | orient ok 6/0 | date ok 2020 | ex 100 | values 10 30 20 fail fail | summary ok "
      "3/0/1 | note ok 1 ok";
  const std::string none =
      "file 0 | orient noexif 0/0 | date noexif 0 | ex 000 | values noexif noexif noexif "
      "noexif noexif | summary noexif 0/0/0 | note noexif 0 noexif";
  const struct {
    const char* name;
    std::function<Bytes(Order)> file;
    std::string answers;
    // clang-format off
  } rows[] = {
      {"well formed", Broken([](TiffBuilder&) {}), whole},
      {"IFD0 links to itself", Broken([](TiffBuilder& t) { t.Ifd0().Next(0); }),
       "file 1 | orient ok 6/6 | date ok 2020 | ex 100 | values 10 30 20 fail fail | summary ok 3/0/1 | note ok 1 ok"},
      {"Interop pointer to the Exif IFD", Broken([](TiffBuilder& t) { t.Dir(1).Pointer(0xA005, 1); }), whole},
      {"GPS pointer to IFD0", Broken([](TiffBuilder& t) { t.Ifd0().Pointer(0x8825, 0); }), whole},
      {"Exif pointer out of range", Broken([](TiffBuilder& t) { t.Ifd0().entries[2].hasFixedField = true, t.Ifd0().entries[2].fixedField = 0xFFFFFF00; }),
       "file 1 | orient ok 6/0 | date fail 0 | ex 100 | values 10 fail fail fail fail | summary ok 2/0/0 | note fail 0 fail"},
      {"IFD0 past the end", Broken([](TiffBuilder& t) { t.SetIfd0Offset(0x7FFFFFF0); }), none},
      {"IFD0 inside the header", Broken([](TiffBuilder& t) { t.SetIfd0Offset(4); }), none},
      {"text offset out of range", Broken([](TiffBuilder& t) { t.Ifd0().RawEntry(0x0110, kAscii, 12, 0xFFFFFFF0); }), whole},
      {"huge value count", Broken([](TiffBuilder& t) { t.Dir(1).RawEntry(0x9004, kAscii, 0x7FFFFFFF, 8); }), whole},
      {"huge maker-note count", Broken([](TiffBuilder& t) { t.Dir(1).entries[1].raw[12] = 0xFF, t.Dir(1).entries[1].raw[13] = 0xFF; }),
       "file 1 | orient ok 6/0 | date ok 2020 | ex 100 | values 10 30 20 fail fail | summary ok 3/0/0 | note ok 0 fail"},
      {"thumbnail past the end", Broken([](TiffBuilder& t) { const int d = t.AddDirectory(); t.Ifd0().Next(d); t.Dir(d).Long(0x0201, {0xFFFFFF00}).Long(0x0202, {0x100000}); }),
       "file 1 | orient ok 6/0 | date ok 2020 | ex 100 | values 10 30 20 fail 4 | summary ok 3/0/1 | note ok 1 ok"},
      {"huge entry count", [](Order order) { Bytes b = Broken([](TiffBuilder&) {})(order); b[20] = b[21] = 0xFF; return b; }, none},
      {"APP1 longer than the file", [](Order order) { Bytes b = Broken([](TiffBuilder&) {})(order); b.resize(60); return b; }, none},
  };
  // clang-format on
  const std::unique_ptr<TempDir> dir = ScratchDir();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = dir->Put("f.jpg", row.file(GetParam()));
    EXPECT_EQ(Answers(path), row.answers);
  }
}

// Where the EXIF data of a fixture lies: the APP segments of a JPEG, all of a TIFF.
size_t ExifEnd(const Bytes& data) {
  if (data.size() > 6 && data[0] == 0xFF && data[1] == 0xD8) {
    size_t pos = 2, end = 2;
    while (pos + 4 <= data.size() && data[pos] == 0xFF && data[pos + 1] >= 0xE0 &&
           data[pos + 1] <= 0xEF) {
      pos += 2 + ((data[pos + 2] << 8) | data[pos + 3]);
      end = pos;
    }
    return std::min(end + 64, data.size());
  }
  return data.size();
}

// `data` with random bytes or hostile 16/32-bit numbers written inside [from, to).
Bytes Corrupt(const Bytes& data, size_t from, size_t to, std::mt19937& rng) {
  Bytes out = data;
  to = std::min(to, out.size());
  if (from + 4 >= to) return out;
  std::uniform_int_distribution<size_t> pos(from, to - 4);
  static const uint32_t kHostile[] = {
      0,      1,          2,          7,          8,       0xFF,       0xFFFF, 0x7FFF,
      0x8000, 0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 0x10000, 0xFFFFFFF0, 12,     0x4000};
  for (int edits = 1 + static_cast<int>(rng() % 4); edits > 0; --edits) {
    const size_t at = pos(rng);
    const uint32_t v = kHostile[rng() % std::size(kHostile)];
    switch (rng() % 3) {
      case 0: out[at] = static_cast<uint8_t>(rng()); break;
      case 1: out[at] = static_cast<uint8_t>(v), out[at + 1] = static_cast<uint8_t>(v >> 8); break;
      default:
        for (int i = 0; i < 4; ++i)
          out[at + i] = static_cast<uint8_t>(v >> (rng() % 2 ? 8 * i : 24 - 8 * i));
    }
  }
  return out;
}

// A camera-like TIFF: IFD0 and IFD1 with a strip each, Exif IFD with a maker note, GPS IFD.
Bytes CameraTiff(Order order) {
  TiffBuilder t(order);
  const int exif = t.AddDirectory(), gps = t.AddDirectory(), ifd1 = t.AddDirectory();
  const int thumb = t.AddBlob(Bytes(48, 0x20)), strip = t.AddBlob(Bytes(192, 0x80));
  t.Ifd0().Short(0x0100, {8}).Short(0x0101, {8}).BlobOffset(0x0111, strip).Short(0x0112, {6});
  t.Ifd0().Short(0x0116, {8}).BlobLength(0x0117, strip).Pointer(0x8769, exif);
  t.Ifd0().Pointer(0x8825, gps).Next(ifd1);
  t.Dir(exif).Ascii(0x9003, "2020:01:02 03:04:05").Undefined(0x927C, Bytes(40, 0x11));
  t.Dir(exif).Short(0xA001, {1});
  t.Dir(gps).Data(0x0000, kByte, {2, 2, 0, 0}).Rational(0x0002, {{1, 1}, {2, 1}, {3, 1}});
  t.Dir(ifd1).Short(0x0100, {4}).Short(0x0101, {4}).BlobOffset(0x0111, thumb);
  t.Dir(ifd1).BlobLength(0x0117, thumb);
  return t.Build();
}

// Every length through the EXIF data, then random corruptions of it.
void CutAndCorrupt(const TempDir& dir, const std::string& name, const Bytes& data, uint32_t seed,
                   int corruptions) {
  SCOPED_TRACE(name);
  const std::string path = dir.File(name);
  const size_t end = ExifEnd(data);
  for (size_t length = 0; length <= end; length += (length < 64 ? 1 : 5)) {
    Answers(dir.Put(name, Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length))));
  }
  std::mt19937 rng(seed);
  for (int i = 0; i < corruptions; ++i) Answers(dir.Put(name, Corrupt(data, 2, end, rng)));
}

TEST(ExifRobustness, TruncatedAndCorruptedFixtures) {
  const std::unique_ptr<TempDir> dir = ScratchDir();
  uint32_t seed = 1;
  for (Order order : {Order::Little, Order::Big}) {
    const std::string tag = order == Order::Little ? "II" : "MM";
    CameraJpegOptions o;
    o.order = order;
    o.thumbnailOrientation = 1;
    CutAndCorrupt(*dir, "camera_" + tag + ".jpg", MakeCameraJpeg(o), seed++, 300);
    o.withJfif = true;
    o.withGps = false;
    CutAndCorrupt(*dir, "jfif_" + tag + ".jpg", MakeCameraJpeg(o), seed++, 300);
    CutAndCorrupt(*dir, "camera_" + tag + ".tif", CameraTiff(order), seed++, 300);
  }
}

// The head of every malformed corpus file and every JPEG, TIFF and DNG, cut and corrupted.
TEST(ExifRobustness, CorruptedCorpusFiles) {
  const std::unique_ptr<TempDir> dir = ScratchDir();
  std::mt19937 rng(20261205);
  bool any = false;
  for (const CorpusFile& f : LoadCorpusManifest()) {
    if (f.category != "malformed" && f.format != "JPEG" && f.format != "TIFF" && f.format != "DNG")
      continue;
    any = true;
    SCOPED_TRACE(f.path);
    const Bytes data = ReadFile(f.path);
    const Bytes head(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(
                                                      std::min<size_t>(data.size(), 96 * 1024)));
    const std::string name =
        "corpus" + f.path.substr(std::min(f.path.find_last_of('.'), f.path.size()));
    for (int i = 0; i < 3; ++i) {
      Answers(dir->Put(name, Bytes(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(
                                                                    rng() % (head.size() + 1)))));
    }
    for (int i = 0; i < 6; ++i) Answers(dir->Put(name, Corrupt(head, 2, ExifEnd(head), rng)));
  }
  if (!any) GTEST_SKIP() << "no corpus";
}

}  // namespace
}  // namespace lf::test
