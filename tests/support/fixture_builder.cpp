// SPDX-License-Identifier: MIT
#include "tests/support/fixture_builder.h"

#include <jpeglib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>

namespace lf::test {

ByteWriter& ByteWriter::U8(uint8_t v) {
  out_.push_back(v);
  return *this;
}

ByteWriter& ByteWriter::Int(uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    const int shift = 8 * (order_ == Order::Big ? bytes - 1 - i : i);
    out_.push_back(static_cast<uint8_t>(v >> shift));
  }
  return *this;
}

ByteWriter& ByteWriter::Raw(const Bytes& b) {
  out_.insert(out_.end(), b.begin(), b.end());
  return *this;
}

ByteWriter& ByteWriter::Raw(const void* p, size_t n) {
  const auto* c = static_cast<const uint8_t*>(p);
  out_.insert(out_.end(), c, c + n);
  return *this;
}

ByteWriter& ByteWriter::Text(const std::string& s) { return Raw(s.data(), s.size()); }

ByteWriter& ByteWriter::Zeros(size_t n) {
  out_.insert(out_.end(), n, 0);
  return *this;
}

namespace {

uint32_t TypeSize(uint16_t type) {
  static constexpr uint8_t kSizes[13] = {1, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return type < 13 ? kSizes[type] : 1;
}

size_t DirectorySize(const Ifd& d) { return 2 + 12 * d.entries.size() + 4; }

}  // namespace

Ifd::Entry& Ifd::Add(uint16_t tag, uint16_t type, uint32_t count) {
  Entry& e = entries.emplace_back();
  e.tag = tag;
  e.type = type;
  e.count = count;
  return e;
}

Ifd& Ifd::Values(uint16_t tag, uint16_t type, std::vector<uint64_t> values) {
  const bool pairs = type == kRational || type == kSRational;
  Add(tag, type, static_cast<uint32_t>(pairs ? values.size() / 2 : values.size())).numbers =
      std::move(values);
  return *this;
}

Ifd& Ifd::Short(uint16_t tag, std::initializer_list<uint16_t> v) {
  return Values(tag, kShort, std::vector<uint64_t>(v.begin(), v.end()));
}

Ifd& Ifd::Long(uint16_t tag, std::initializer_list<uint32_t> v) {
  return Values(tag, kLong, std::vector<uint64_t>(v.begin(), v.end()));
}

Ifd& Ifd::Rational(uint16_t tag, std::initializer_list<std::pair<uint32_t, uint32_t>> v) {
  std::vector<uint64_t> n;
  for (auto [num, den] : v) n.insert(n.end(), {num, den});
  return Values(tag, kRational, std::move(n));
}

Ifd& Ifd::Ascii(uint16_t tag, const std::string& text) {
  Bytes b(text.begin(), text.end());
  b.push_back(0);
  return Data(tag, kAscii, b);
}

Ifd& Ifd::Data(uint16_t tag, uint16_t type, const Bytes& data) {
  Entry& e = Add(tag, type, static_cast<uint32_t>(data.size() / TypeSize(type)));
  e.raw = data;
  e.isRaw = true;
  return *this;
}

Ifd& Ifd::RawEntry(uint16_t tag, uint16_t type, uint32_t count, uint32_t valueField) {
  Entry& e = Add(tag, type, count);
  e.hasFixedField = true;
  e.fixedField = valueField;
  return *this;
}

Ifd& Ifd::Pointer(uint16_t tag, int directoryIndex) {
  Add(tag, kLong, 1).pointerTo = directoryIndex;
  return *this;
}

Ifd& Ifd::BlobOffset(uint16_t tag, int blobIndex, uint16_t type) {
  Add(tag, type, 1).blobOffset = blobIndex;
  return *this;
}

Ifd& Ifd::BlobLength(uint16_t tag, int blobIndex, uint16_t type) {
  Add(tag, type, 1).blobLength = blobIndex;
  return *this;
}

Ifd& Ifd::Next(int directoryIndex) {
  next = directoryIndex;
  return *this;
}

TiffBuilder::TiffBuilder(Order order) : order_(order) { dirs_.emplace_back(); }

int TiffBuilder::AddDirectory() {
  dirs_.emplace_back();
  return static_cast<int>(dirs_.size() - 1);
}

int TiffBuilder::AddBlob(const Bytes& data) {
  blobs_.push_back(data);
  return static_cast<int>(blobs_.size() - 1);
}

Bytes ValueBytes(const Ifd::Entry& e, Order order) {
  if (e.isRaw) return e.raw;
  if (e.hasFixedField || e.pointerTo >= 0 || e.blobOffset >= 0 || e.blobLength >= 0) return {};
  ByteWriter w(order);
  for (uint64_t n : e.numbers) {
    switch (TypeSize(e.type)) {
      case 1: w.U8(static_cast<uint8_t>(n)); break;
      case 2: w.U16(static_cast<uint16_t>(n)); break;
      case 8:
        if (e.type == kDouble) {
          w.U32(static_cast<uint32_t>(n >> (order == Order::Big ? 32 : 0)));
          w.U32(static_cast<uint32_t>(n >> (order == Order::Big ? 0 : 32)));
        } else {
          w.U32(static_cast<uint32_t>(n));
        }
        break;
      default: w.U32(static_cast<uint32_t>(n)); break;
    }
  }
  return w.Take();
}

Bytes TiffBuilder::Build(TiffLayout* layout) const {
  TiffLayout local;
  TiffLayout& L = layout ? *layout : local;
  L = {};
  // Plan: header, (blobs,) each directory with its values, (blobs).
  uint32_t pos = 8;
  if (blobsFirst_) {
    for (const Bytes& b : blobs_) {
      L.blobOffsets.push_back(pos);
      pos += static_cast<uint32_t>(b.size());
      if (pos & 1) ++pos;
    }
  }
  std::vector<std::vector<Bytes>> values(dirs_.size());
  for (size_t d = 0; d < dirs_.size(); ++d) {
    L.directoryOffsets.push_back(pos);
    pos += static_cast<uint32_t>(DirectorySize(dirs_[d]));
    for (const Ifd::Entry& e : dirs_[d].entries) {
      Bytes v = ValueBytes(e, order_);
      if (v.size() > 4) {
        L.valueOffsets[{static_cast<int>(d), e.tag}] = pos;
        pos += static_cast<uint32_t>(v.size());
        if ((pos & 1) && !packed_) ++pos;  // TIFF 6.0: values begin on word boundaries
      }
      values[d].push_back(std::move(v));
    }
  }
  if (!blobsFirst_) {
    for (const Bytes& b : blobs_) {
      L.blobOffsets.push_back(pos);
      pos += static_cast<uint32_t>(b.size());
    }
  }

  ByteWriter w(order_);
  w.Text(order_ == Order::Little ? "II" : "MM").U16(42);
  w.U32(hasForcedIfd0_ ? forcedIfd0_ : L.directoryOffsets[0]);
  if (blobsFirst_) {
    for (const Bytes& b : blobs_) {
      w.Raw(b);
      if (w.size() & 1) w.U8(0);
    }
  }
  for (size_t d = 0; d < dirs_.size(); ++d) {
    const Ifd& dir = dirs_[d];
    w.U16(static_cast<uint16_t>(dir.entries.size()));
    for (size_t i = 0; i < dir.entries.size(); ++i) {
      const Ifd::Entry& e = dir.entries[i];
      L.entryOffsets[{static_cast<int>(d), e.tag}] = static_cast<uint32_t>(w.size());
      w.U16(e.tag).U16(e.type).U32(e.count);
      const Bytes& v = values[d][i];
      if (e.hasFixedField) {
        w.U32(e.fixedField);
      } else if (e.pointerTo >= 0) {
        w.U32(L.directoryOffsets.at(static_cast<size_t>(e.pointerTo)));
      } else if (e.blobOffset >= 0 || e.blobLength >= 0) {
        const uint32_t n =
            e.blobOffset >= 0
                ? L.blobOffsets.at(static_cast<size_t>(e.blobOffset))
                : static_cast<uint32_t>(blobs_.at(static_cast<size_t>(e.blobLength)).size());
        if (e.type == kShort) {
          w.U16(static_cast<uint16_t>(n)).U16(0);
        } else {
          w.U32(n);
        }
      } else if (v.size() > 4) {
        w.U32(L.valueOffsets.at({static_cast<int>(d), e.tag}));
      } else {
        Bytes field = v;
        field.resize(4, 0);
        w.Raw(field);
      }
    }
    const uint32_t next = dir.next >= 0 ? L.directoryOffsets.at(static_cast<size_t>(dir.next)) : 0;
    w.U32(next);
    for (size_t i = 0; i < dir.entries.size(); ++i) {
      const Bytes& v = values[d][i];
      if (v.size() > 4) {
        w.Raw(v);
        if ((w.size() & 1) && !packed_) w.U8(0);
      }
    }
  }
  if (!blobsFirst_) {
    for (const Bytes& b : blobs_) w.Raw(b);
  }
  return w.Take();
}

JpegBuilder& JpegBuilder::Soi() { return Raw({0xFF, 0xD8}); }

JpegBuilder& JpegBuilder::Eoi() { return Raw({0xFF, 0xD9}); }

JpegBuilder& JpegBuilder::Segment(uint8_t marker, const Bytes& payload) {
  return SegmentWithLength(marker, static_cast<uint16_t>(payload.size() + 2), payload);
}

JpegBuilder& JpegBuilder::SegmentWithLength(uint8_t marker, uint16_t length, const Bytes& payload) {
  Raw({0xFF, marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
  return Raw(payload);
}

JpegBuilder& JpegBuilder::App0Jfif() {
  const Bytes jfif = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  return Segment(0xE0, jfif);
}

JpegBuilder& JpegBuilder::App1Exif(const Bytes& tiff) {
  Bytes payload = {'E', 'x', 'i', 'f', 0, 0};
  payload.insert(payload.end(), tiff.begin(), tiff.end());
  return Segment(0xE1, payload);
}

JpegBuilder& JpegBuilder::Raw(const Bytes& b) {
  out_.insert(out_.end(), b.begin(), b.end());
  return *this;
}

JpegBuilder& JpegBuilder::BodyOf(const Bytes& jpeg) {
  // Skip SOI and every APPn segment; copy the rest as it stands.
  size_t pos = 2;
  while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF && jpeg[pos + 1] >= 0xE0 &&
         jpeg[pos + 1] <= 0xEF) {
    pos += 2 + ((jpeg[pos + 2] << 8) | jpeg[pos + 3]);
  }
  out_.insert(out_.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(std::min(pos, jpeg.size())),
              jpeg.end());
  return *this;
}

Bytes CompressJpeg(int width, int height, int components, J_COLOR_SPACE space,
                   const std::function<void(jpeg_compress_struct*)>& setup,
                   const std::function<void(int y, uint8_t* row)>& row) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &mem, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = components;
  cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  setup(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<uint8_t> samples(static_cast<size_t>(width) * components);
  while (cinfo.next_scanline < cinfo.image_height) {
    row(static_cast<int>(cinfo.next_scanline), samples.data());
    JSAMPROW r = samples.data();
    jpeg_write_scanlines(&cinfo, &r, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes out(mem, mem + size);
  jpeg_destroy_compress(&cinfo);
  std::free(mem);
  return out;
}

namespace {

// Width × height RGB rows; `fillRow(y, row)` supplies each row.
Bytes CompressRgb(int width, int height, int quality,
                  const std::function<void(int, uint8_t*)>& fillRow, bool progressive = false) {
  return CompressJpeg(
      width, height, 3, JCS_RGB,
      [&](jpeg_compress_struct* c) {
        jpeg_set_quality(c, quality, TRUE);
        if (progressive) jpeg_simple_progression(c);
      },
      fillRow);
}

}  // namespace

Bytes EncodeJpeg(int width, int height, int quality, int64_t solid) {
  return CompressRgb(width, height, quality, [&](int y, uint8_t* row) {
    for (int x = 0; x < width; ++x) {
      if (solid >= 0) {
        row[x * 3 + 0] = static_cast<uint8_t>(solid >> 16);
        row[x * 3 + 1] = static_cast<uint8_t>(solid >> 8);
        row[x * 3 + 2] = static_cast<uint8_t>(solid);
      } else {
        row[x * 3 + 0] = static_cast<uint8_t>(x * 255 / std::max(1, width - 1));
        row[x * 3 + 1] = static_cast<uint8_t>(y * 255 / std::max(1, height - 1));
        row[x * 3 + 2] = static_cast<uint8_t>((x + y) & 0xFF);
      }
    }
  });
}

Bytes EncodeProgressiveJpeg(int width, int height, int extraScans) {
  Bytes jpeg = CompressRgb(
      width, height, 85,
      [&](int y, uint8_t* row) {
        for (int x = 0; x < width; ++x) {
          row[x * 3 + 0] = static_cast<uint8_t>(x * 7);
          row[x * 3 + 1] = static_cast<uint8_t>(y * 5);
          row[x * 3 + 2] = static_cast<uint8_t>(x ^ y);
        }
      },
      true);
  // The last scan runs from the last SOS marker to EOI; repeat it before EOI.
  size_t lastScan = 0;
  for (size_t i = 2; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) lastScan = i;
  }
  const Bytes scan(jpeg.begin() + static_cast<std::ptrdiff_t>(lastScan), jpeg.end() - 2);
  jpeg.resize(jpeg.size() - 2);
  for (int n = 0; n < extraScans; ++n) jpeg.insert(jpeg.end(), scan.begin(), scan.end());
  jpeg.push_back(0xFF);
  jpeg.push_back(0xD9);
  return jpeg;
}

Bytes EncodeNoiseJpeg(int width, int height, int quality, uint32_t seed) {
  uint32_t state = seed ? seed : 1;
  return CompressRgb(width, height, quality, [&](int, uint8_t* row) {
    for (int i = 0; i < width * 3; ++i) {
      state ^= state << 13;  // xorshift32
      state ^= state >> 17;
      state ^= state << 5;
      row[i] = static_cast<uint8_t>(state);
    }
  });
}

Bytes StripAppSegments(const Bytes& jpeg) {
  JpegBuilder b;
  b.Soi().BodyOf(jpeg);
  return b.Build();
}

Bytes MakeCameraJpeg(const CameraJpegOptions& o) {
  TiffBuilder t(o.order);
  const int exif = t.AddDirectory();
  Ifd& ifd0 = t.Ifd0();
  ifd0.Ascii(0x010F, "Kestrelon").Ascii(0x0110, "KX-100 Test");
  if (o.orientation != 0) ifd0.Short(0x0112, {o.orientation});
  ifd0.Rational(0x011A, {{72, 1}}).Rational(0x011B, {{72, 1}}).Short(0x0128, {2});
  ifd0.Ascii(0x0132, "2021:07:14 10:00:00").Short(0x0213, {1});
  ifd0.Pointer(0x8769, exif);
  Ifd& ex = t.Dir(exif);
  ex.Rational(0x829A, {{1, 250}}).Rational(0x829D, {{28, 10}});
  ex.Undefined(0x9000, {'0', '2', '2', '1'});
  ex.Ascii(0x9003, o.dateTimeOriginal).Ascii(0x9004, o.dateTimeOriginal);
  ex.Undefined(0x9101, {1, 2, 3, 0});
  if (o.withMakerNote) {
    // A maker note with a text header and its own little directory of two entries.
    ByteWriter mn(o.order);
    mn.Text("Kestrelon").U8(0).U8(0).U8(0);
    mn.U16(2);
    mn.U16(0x0001).U16(kShort).U32(1).U16(7).U16(0);
    mn.U16(0x0002).U16(kLong).U32(1).U32(0x01020304);
    mn.U32(0);
    mn.Zeros(o.makerNotePadding);
    ex.Undefined(0x927C, mn.bytes());
  }
  ex.Undefined(0xA000, {'0', '1', '0', '0'}).Short(0xA001, {1});
  ex.Long(0xA002, {static_cast<uint32_t>(o.width)}).Long(0xA003, {static_cast<uint32_t>(o.height)});
  if (o.withGps) {
    const int gps = t.AddDirectory();
    ifd0.Pointer(0x8825, gps);
    t.Dir(gps)
        .Data(0x0000, kByte, {2, 2, 0, 0})
        .Ascii(0x0001, "N")
        .Rational(0x0002, {{48, 1}, {51, 1}, {2400, 100}});
  }
  if (o.withThumbnail) {
    const int ifd1 = t.AddDirectory();
    ifd0.Next(ifd1);
    const int thumb =
        t.AddBlob(StripAppSegments(EncodeJpeg(o.thumbnailWidth, o.thumbnailHeight, 75)));
    Ifd& d1 = t.Dir(ifd1);
    d1.Short(0x0103, {6});
    if (o.thumbnailOrientation != 0) d1.Short(0x0112, {o.thumbnailOrientation});
    d1.Rational(0x011A, {{72, 1}}).Rational(0x011B, {{72, 1}}).Short(0x0128, {2});
    d1.BlobOffset(0x0201, thumb).BlobLength(0x0202, thumb);
  }
  JpegBuilder j;
  j.Soi();
  if (o.withJfif) j.App0Jfif();
  j.App1Exif(t.Build());
  j.BodyOf(o.imageJpeg.empty() ? EncodeJpeg(o.width, o.height, 85) : o.imageJpeg);
  return j.Build();
}

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "lftest-XXXXXX").string();
  if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

// Directories a test made read-only are opened up first, so that everything can go.
TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    }
  }
  std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> TempDir::List() const {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(path_)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void WriteFile(const std::string& path, const Bytes& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) throw std::runtime_error("cannot write " + path);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return {};
  return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::string CorpusDir() {
  const char* env = std::getenv("LF_CORPUS_DIR");
  std::string dir = (env && *env) ? env : LF_CORPUS_DIR;
  return std::filesystem::exists(dir + "/MANIFEST.tsv") ? dir : std::string();
}

}  // namespace lf::test
