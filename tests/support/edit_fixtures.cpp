// SPDX-License-Identifier: MIT
#include "tests/support/edit_fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace lf::test {

namespace {

// The maker note's print-matching value (entry 0x0E00).
const Bytes kPrintMatchingValue = {0x50, 0x4D, 0x01, 0x00, 0x0E, 0x0E, 0x0E, 0x0E};

// The maker-note directory starts 12 bytes into the value; its value follows the entries.
uint32_t MakerNoteValueAt(bool printMatching) { return 12 + 2 + (printMatching ? 3 : 2) * 12 + 4; }

Bytes MakerNote(Order order, const std::string& header, uint32_t valueOffset, const Bytes& value,
                size_t padding, bool printMatching) {
  ByteWriter mn(order);
  mn.Text(header).U8(0).U8(0).U8(0);
  mn.U16(printMatching ? 3 : 2);
  mn.U16(0x0001).U16(kShort).U32(1).U16(7).U16(0);
  mn.U16(0x0003).U16(kUndefined).U32(static_cast<uint32_t>(value.size())).U32(valueOffset);
  if (printMatching) {
    mn.U16(0x0E00).U16(kUndefined).U32(static_cast<uint32_t>(kPrintMatchingValue.size()));
    mn.U32(valueOffset == 0 ? 0 : valueOffset + static_cast<uint32_t>(value.size()));
  }
  mn.U32(0);
  mn.Raw(value);
  if (printMatching) mn.Raw(kPrintMatchingValue);
  mn.Zeros(padding);
  return mn.Take();
}

// A PrintIM block without entries: identifier, version "0300", two reserved bytes, entry count 0.
Bytes PrintImBlock(Order order) {
  ByteWriter w(order);
  w.Text("PrintIM").U8(0).Text("0300").U16(0).U16(0);
  return w.Take();
}

CameraFile BuildCamera(const CameraRecipe& s, uint32_t makerNoteValueOffset) {
  CameraFile c;
  c.makerNoteValue = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
                      0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};
  TiffBuilder t(s.order);
  c.exif = t.AddDirectory();
  Ifd& ifd0 = t.Ifd0();
  ifd0.Ascii(0x010F, "Kestrelon").Ascii(0x0110, "KX-100 Test");
  if (s.orientation) ifd0.Short(0x0112, {s.orientation});
  ifd0.Rational(0x011A, {{72, 1}}).Rational(0x011B, {{72, 1}}).Short(0x0128, {2});
  ifd0.Ascii(0x0132, "2021:07:14 10:00:00").Short(0x0213, {1});
  ifd0.Pointer(0x8769, c.exif);
  Ifd& ex = t.Dir(c.exif);
  ex.Rational(0x829A, {{1, 250}}).Rational(0x829D, {{28, 10}});
  ex.Undefined(0x9000, {'0', '2', '2', '1'});
  ex.Ascii(0x9003, s.dateTimeOriginal).Ascii(0x9004, s.dateTimeOriginal);
  ex.Undefined(0x927C, MakerNote(s.order, s.makerNoteHeader, makerNoteValueOffset, c.makerNoteValue,
                                 s.makerNotePadding, s.withPrintMatching));
  ex.Ascii(0x9291, "25");
  ex.Undefined(0xA000, {'0', '1', '0', '0'}).Short(0xA001, {1});
  ex.Long(0xA002, {64}).Long(0xA003, {48});
  if (s.withInterop) {
    c.interop = t.AddDirectory();
    ex.Pointer(0xA005, c.interop);
    t.Dir(c.interop).Ascii(0x0001, "R98").Undefined(0x0002, {'0', '1', '0', '0'});
  }
  if (s.withGps) {
    c.gps = t.AddDirectory();
    ifd0.Pointer(0x8825, c.gps);
    t.Dir(c.gps)
        .Data(0x0000, kByte, {2, 2, 0, 0})
        .Ascii(0x0001, "N")
        .Rational(0x0002, {{48, 1}, {51, 1}, {2400, 100}});
  }
  if (s.withPrintIm) ifd0.Undefined(0xC4A5, PrintImBlock(s.order));  // after the pointers
  if (s.withThumbnail) {
    c.ifd1 = t.AddDirectory();
    ifd0.Next(c.ifd1);
    c.thumbnail = StripAppSegments(EncodeJpeg(16, 12, 75));
    c.thumbnailBlob = t.AddBlob(c.thumbnail);
    Ifd& d1 = t.Dir(c.ifd1);
    d1.Short(0x0103, {6});
    if (s.thumbnailOrientation) d1.Short(0x0112, {s.thumbnailOrientation});
    d1.Rational(0x011A, {{72, 1}}).Rational(0x011B, {{72, 1}}).Short(0x0128, {2});
    d1.BlobOffset(0x0201, c.thumbnailBlob).BlobLength(0x0202, c.thumbnailBlob);
  }
  c.tiff = t.Build(&c.layout);
  JpegBuilder j;
  j.Soi();
  j.App1Exif(c.tiff);
  j.Raw(s.segmentsAfterExif);
  j.BodyOf(EncodeJpeg(64, 48, 85));
  j.Raw(s.trailer);
  c.file = j.Build();
  c.tiffBase = 2 + 4 + 6;
  c.makerNoteValueOffset =
      c.layout.valueOffsets.at({c.exif, 0x927C}) + MakerNoteValueAt(s.withPrintMatching);
  return c;
}

}  // namespace

CameraFile MakeCameraFile(const CameraRecipe& recipe) {
  // The value's offset from the TIFF header is known after a first build of the same layout.
  const CameraFile first = BuildCamera(recipe, 0);
  return BuildCamera(recipe, first.makerNoteValueOffset);
}

std::function<Bytes(Order)> CameraIn(CameraRecipe recipe) {
  return [recipe](Order order) {
    CameraRecipe r = recipe;
    r.order = order;
    return MakeCameraFile(r).file;
  };
}

TiffFile MakeTiffFile(Order order, uint16_t orientation, int stripCount, bool stripsFirst,
                      TiffMakerNote makerNote, TiffThumbnail thumbnail, bool withGps) {
  const uint32_t width = 8, rowsPerStrip = 2;
  const uint32_t height = rowsPerStrip * static_cast<uint32_t>(stripCount);
  const uint32_t stripBytes = width * rowsPerStrip * 3;
  auto build = [&](const std::vector<uint64_t>& offsets, TiffFile* out) {
    TiffBuilder t(order);
    t.SetBlobsFirst(stripsFirst);
    const int exif = t.AddDirectory();
    Ifd& d = t.Ifd0();
    d.Long(0x0100, {width}).Long(0x0101, {height}).Short(0x0102, {8, 8, 8}).Short(0x0103, {1});
    d.Short(0x0106, {2}).Ascii(0x010F, "Kestrelon");
    d.Values(0x0111, kLong, offsets);
    if (orientation) d.Short(0x0112, {orientation});
    d.Short(0x0115, {3}).Long(0x0116, {rowsPerStrip});
    d.Values(0x0117, kLong, std::vector<uint64_t>(static_cast<size_t>(stripCount), stripBytes));
    d.Rational(0x011A, {{300, 1}})
        .Rational(0x011B, {{300, 1}})
        .Short(0x011C, {1})
        .Short(0x0128, {2});
    d.Ascii(0x0132, "2020:01:02 03:04:05").Pointer(0x8769, exif);
    t.Dir(exif).Undefined(0x9000, {'0', '2', '3', '0'}).Ascii(0x9003, "2020:01:02 03:04:05");
    if (makerNote == TiffMakerNote::kForeign)
      t.Dir(exif).Undefined(0x927C, MakerNote(order, "Ospreyfot", 0, {1, 2, 3, 4, 5}, 0, false));
    if (withGps) {
      const int gps = t.AddDirectory();
      d.Pointer(0x8825, gps);
      t.Dir(gps).Data(0x0000, kByte, {2, 2, 0, 0}).Ascii(0x0012, "TOKYO-1918");
    }
    if (thumbnail != TiffThumbnail::kNone) {
      const int ifd1 = t.AddDirectory();
      d.Next(ifd1);
      Ifd& d1 = t.Dir(ifd1);
      if (thumbnail == TiffThumbnail::kJpeg) {
        const int jpeg = t.AddBlob(EncodeJpeg(8, 8));
        d1.Short(0x0103, {6}).BlobOffset(0x0201, jpeg).BlobLength(0x0202, jpeg);
      } else {
        Bytes small(4 * 3 * 3);
        for (size_t k = 0; k < small.size(); ++k) small[k] = static_cast<uint8_t>(200 - k);
        const int strip = t.AddBlob(small);
        d1.Long(0x0100, {4}).Long(0x0101, {3}).Short(0x0102, {8, 8, 8}).Short(0x0103, {1});
        d1.Short(0x0106, {2}).BlobOffset(0x0111, strip).Short(0x0115, {3}).Long(0x0116, {3});
        d1.BlobLength(0x0117, strip);
      }
    }
    out->strips.clear();
    for (int i = 0; i < stripCount; ++i) {
      Bytes strip(stripBytes);
      for (uint32_t k = 0; k < stripBytes; ++k) strip[k] = static_cast<uint8_t>(i * 50 + k);
      t.AddBlob(strip);
      out->strips.insert(out->strips.end(), strip.begin(), strip.end());
    }
    out->file = t.Build(&out->layout);
  };
  TiffFile f;
  build(std::vector<uint64_t>(static_cast<size_t>(stripCount), 0), &f);
  std::vector<uint64_t> offsets(
      f.layout.blobOffsets.begin() + (thumbnail == TiffThumbnail::kNone ? 0 : 1),
      f.layout.blobOffsets.end());
  build(offsets, &f);
  return f;
}

HostGps::HostGps(std::vector<uint32_t> list) : tags(std::move(list)) {
  const auto n = static_cast<int32_t>(tags.size());
  record = {.tagList = {nullptr, tags.data(), n, n, 0},
            .versionID = {2, 3, 0, 0},
            .latitudeRef = "N",
            .latitude = {48, 1, 51, 1, 3024, 100},
            .longitudeRef = "E",
            .longitude = {2, 1, 17, 1, 4020, 100},
            .altitudeRef = 0x101,  // only the low byte is written
            .altitude = {35, 1},
            .timeStamp = {13, 1, 45, 1, 30, 1},
            .mapDatum = {datum.data()},
            .processingMethod = {nullptr, method.data(), static_cast<int32_t>(method.size()), 0, 0},
            .areaInformation = {},
            .dateStamp = {date.data()}};
}

std::set<std::string> ValidationIssues(const std::string& path) {
  std::set<std::string> issues;
  const std::string command = "exiftool -validate -warning -a '" + path + "' 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  if (!pipe) return {"exiftool missing"};
  char line[1024];
  bool any = false;
  while (std::fgets(line, sizeof line, pipe.get())) {
    any = true;
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const size_t colon = text.find(':');
    const std::string key = text.substr(0, text.find(' '));
    if (key == "Warning" || key == "Error") {
      issues.insert(key + ":" + (colon == std::string::npos ? text : text.substr(colon + 1)));
    } else if (text.find("exiftool: not found") != std::string::npos) {
      return {"exiftool missing"};
    }
  }
  if (!any) return {"exiftool missing"};
  return issues;
}

std::set<std::string> NewIssues(const std::set<std::string>& before,
                                const std::set<std::string>& after) {
  // Edits keep word alignment: a new "Odd offset" message is a fault like any other.
  std::set<std::string> added;
  for (const std::string& s : after) {
    if (!before.count(s)) added.insert(s);
  }
  return added;
}

std::vector<std::pair<size_t, size_t>> DifferingRanges(const Bytes& a, const Bytes& b) {
  std::vector<std::pair<size_t, size_t>> ranges;
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n;) {
    if (a[i] == b[i]) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < n && a[j] != b[j]) ++j;
    ranges.push_back({i, j});
    i = j;
  }
  return ranges;
}

Bytes MainScan(const Bytes& jpeg) {
  size_t pos = 2;
  while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
    if (jpeg[pos + 1] == 0xDA) return Bytes(jpeg.begin() + static_cast<long>(pos), jpeg.end());
    pos += 2 + (static_cast<size_t>(jpeg[pos + 2]) << 8 | jpeg[pos + 3]);
  }
  return {};
}

Bytes Slice(const Bytes& data, size_t offset, size_t n) {
  if (offset > data.size() || n > data.size() - offset) return {};
  return Bytes(data.begin() + static_cast<long>(offset),
               data.begin() + static_cast<long>(offset + n));
}

Bytes ImageDataOf(const Bytes& tiff, int ifd, uint32_t* at) {
  const bool little = !tiff.empty() && tiff[0] == 'I';
  auto u = [&](size_t pos, int n) -> uint64_t {
    if (pos > tiff.size() || static_cast<size_t>(n) > tiff.size() - pos) return UINT64_MAX;
    uint64_t v = 0;
    for (int k = 0; k < n; ++k)
      v |= uint64_t{tiff[pos + static_cast<size_t>(little ? k : n - 1 - k)]} << (8 * k);
    return v;
  };
  uint64_t dir = u(4, 4);
  for (int i = 0; i < ifd && dir != UINT64_MAX; ++i) dir = u(dir + 2 + 12 * u(dir, 2), 4);
  const uint64_t count = dir == UINT64_MAX ? UINT64_MAX : u(dir, 2);
  if (count == UINT64_MAX) return {};
  // Each tag's values: inline when they fit in four bytes.
  auto values = [&](uint16_t tag) {
    std::vector<uint64_t> v;
    for (uint64_t e = dir + 2; e < dir + 2 + 12 * count; e += 12) {
      if (u(e, 2) != tag) continue;
      const int size = u(e + 2, 2) == 3 ? 2 : 4;
      const uint64_t n = u(e + 4, 4),
                     from = n * static_cast<uint64_t>(size) <= 4 ? e + 8 : u(e + 8, 4);
      for (uint64_t k = 0; k < n && k < 4096; ++k)
        v.push_back(u(from + k * static_cast<uint64_t>(size), size));
    }
    return v;
  };
  std::vector<uint64_t> offsets = values(0x0111), counts = values(0x0117);
  if (offsets.empty()) offsets = values(0x0201), counts = values(0x0202);
  if (offsets.empty() || offsets.size() != counts.size()) return {};
  Bytes data;
  for (size_t k = 0; k < offsets.size(); ++k) {
    const Bytes part = Slice(tiff, offsets[k], counts[k]);
    if (part.size() != counts[k]) return {};
    data.insert(data.end(), part.begin(), part.end());
  }
  if (at) *at = static_cast<uint32_t>(offsets[0]);
  return data;
}

Bytes TiffOf(const Bytes& jpeg) {
  return jpeg.size() < 12 ? Bytes{} : Slice(jpeg, 12, (jpeg[4] << 8 | jpeg[5]) - 8);
}

Bytes ValueOf(const std::string& path, uint32_t directory, uint16_t tag) {
  Bytes buffer(256);
  uint32_t size = static_cast<uint32_t>(buffer.size()), count = 0;
  uint16_t type = 0;
  if (GetExifValue(path.c_str(), directory, tag, buffer.data(), &size, &type, &count) != LF_S_OK)
    return {};
  buffer.resize(size);
  return buffer;
}

bool ExpectNoNewIssues(const std::string& before, const std::string& after) {
  const auto issues = ValidationIssues(after);
  if (issues.count("exiftool missing")) return false;
  EXPECT_TRUE(NewIssues(ValidationIssues(before), issues).empty())
      << ::testing::PrintToString(issues);
  return true;
}

}  // namespace lf::test
