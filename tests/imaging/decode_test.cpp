// SPDX-License-Identifier: MIT
// Decode and its loaders: the checks before the toolkit reads a file, the 24-bit bottom-up
// packed DIBs it returns, thumbnails from JPEG and TIFF files, and the formats users expect to
// open (palette, 16-bit and alpha PNGs, multi-strip TIFFs, interlaced GIFs, BMPs of every depth,
// CMYK and progressive JPEGs). Pixels are compared with what was written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "imaging/decode.h"
#include "imaging/toolkit.h"
#include "platform/faults.h"
#include "plugin/operations.h"
#include "tests/imaging/image_files.h"
#include "tests/support/fixture_builder.h"
#include "tests/support/host_module.h"

namespace lf::test {
namespace {

// A decoded packed DIB, freed at the end of the test.
struct Dib {
  LF_HGLOBAL h = nullptr;
  explicit Dib(LF_HGLOBAL handle) : h(handle) {}
  Dib(Dib&& o) noexcept : h(o.h) { o.h = nullptr; }
  Dib& operator=(Dib&& o) noexcept {
    std::swap(h, o.h);
    return *this;
  }
  ~Dib() { LfGlobalFree(h); }
  const uint8_t* bytes() const { return static_cast<const uint8_t*>(static_cast<void*>(h + 1)); }
  int32_t I32(size_t at) const {
    int32_t v;
    std::memcpy(&v, bytes() + at, 4);
    return v;
  }
  int32_t width() const { return I32(4); }
  int32_t height() const { return I32(8); }
  int bits() const { return bytes()[14] | bytes()[15] << 8; }
  // The colour at (x, y), y = 0 the top row; rows are stored bottom-up after the header.
  Rgb At(int x, int y) const {
    const size_t stride = ((size_t(width()) * 24 + 31) / 32) * 4;
    const uint8_t* p = bytes() + 40 + size_t(height() - 1 - y) * stride + size_t(x) * 3;
    return Rgb{p[2], p[1], p[0]};
  }
};

Dib DecodeFile(const std::string& path, uint32_t source = 0) { return Dib{ops::Decode(path.c_str(), source)}; }

void ExpectPlain24(const Dib& d, int w, int h) {
  ASSERT_NE(d.h, nullptr);
  EXPECT_EQ(d.I32(0), 40);
  EXPECT_EQ(d.width(), w);
  EXPECT_EQ(d.height(), h);  // positive: bottom-up
  EXPECT_EQ(d.bits(), 24);
  EXPECT_EQ(d.I32(16), 0);  // uncompressed
  EXPECT_EQ(LfGlobalSize(d.h), 40u + ((size_t(w) * 24 + 31) / 32) * 4 * h);  // no colour table
}

class DecodeTest : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(DecodeTest, JpegDecodesTo24BitsAndWrongNamesAreRefused) {
  const Bytes jpeg = EncodeJpeg(33, 17, 95, 0x2040C0);
  Dib d = DecodeFile(dir.Put("a.jpg", jpeg));
  ExpectPlain24(d, 33, 17);
  const Rgb c = d.At(16, 8);
  EXPECT_NEAR(c.r, 0x20, 3);
  EXPECT_NEAR(c.g, 0x40, 3);
  EXPECT_NEAR(c.b, 0xC0, 3);
  // A JPEG under a .png name fails the signature check; a PNG under a .jpg name the JPEG check.
  EXPECT_EQ(DecodeFile(dir.Put("jpeg.png", jpeg)).h, nullptr);
  WritePalettePng(dir.File("png.jpg"), 2, 2, {{1, 2, 3}}, {0, 0, 0, 0});
  EXPECT_EQ(DecodeFile(dir.File("png.jpg")).h, nullptr);
  EXPECT_EQ(DecodeFile(dir.File("missing.jpg")).h, nullptr);
  EXPECT_EQ(DecodeFile(dir.File("a.jpg"), 2).h, nullptr);
  EXPECT_EQ(DecodeFile("").h, nullptr);
}

TEST_F(DecodeTest, CmykJpegAsAdobeWritesIt) {
  // Inverted CMYK with an APP14 marker: full cyan (stored 0), no magenta, yellow or black (255).
  const Bytes cmyk = CompressJpeg(
      8, 8, 4, JCS_CMYK, [](jpeg_compress_struct* c) { jpeg_set_quality(c, 100, TRUE); },
      [](int, uint8_t* row) {
        for (int x = 0; x < 8; ++x) std::memcpy(row + x * 4, "\x00\xFF\xFF\xFF", 4);
      });
  Dib d = DecodeFile(dir.Put("cmyk.jpg", cmyk));
  ExpectPlain24(d, 8, 8);
  EXPECT_LE(d.At(3, 3).r, 4);
  EXPECT_GE(d.At(3, 3).g, 251);
  EXPECT_GE(d.At(3, 3).b, 251);
}

TEST_F(DecodeTest, BmpOf54BytesIsRefusedAndEveryDepthDecodes) {
  // Headers only: nothing after them.
  Bytes empty = MakeBmp(1, 1, 24, 0, {}, {});
  ASSERT_EQ(empty.size(), 54u);
  EXPECT_EQ(DecodeFile(dir.Put("empty.bmp", empty)).h, nullptr);

  const std::vector<Rgb> pal = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};
  struct Case {
    const char* name;
    Bytes file;
  };
  // 2 × 2 images, bottom row first in the file: bottom = red, green; top = blue, grey.
  const std::vector<Case> cases = {
      {"1bit", MakeBmp(2, 2, 1, 0, {{255, 0, 0}, {0, 0, 255}}, {0x40, 0, 0, 0, 0x80, 0, 0, 0})},
      {"4bit", MakeBmp(2, 2, 4, 0, pal, {0x01, 0, 0, 0, 0x23, 0, 0, 0})},
      {"8bit", MakeBmp(2, 2, 8, 0, pal, {0, 1, 0, 0, 2, 3, 0, 0})},
      {"rle8", MakeBmp(2, 2, 8, 1, pal, {1, 0, 1, 1, 0, 0, 1, 2, 1, 3, 0, 1})},
      {"rle4", MakeBmp(2, 2, 4, 2, pal, {2, 0x01, 0, 0, 2, 0x23, 0, 1})},
      {"16bit", MakeBmp(2, 2, 16, 0, {}, {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0x21, 0x04})},
      {"24bit", MakeBmp(2, 2, 24, 0, {},
                        {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 9, 9, 9, 0, 0})},
      {"32bitfields", MakeBmp(2, 2, 32, 3, {},
                              {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 9, 9, 9, 0},
                              {0x00FF0000, 0x0000FF00, 0x000000FF})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dib d = DecodeFile(dir.Put(std::string(c.name) + ".bmp", c.file));
    ExpectPlain24(d, 2, 2);
    if (!d.h) continue;
    if (std::string(c.name) == "1bit") {
      EXPECT_EQ(d.At(0, 1), (Rgb{255, 0, 0}));
      EXPECT_EQ(d.At(1, 1), (Rgb{0, 0, 255}));
      EXPECT_EQ(d.At(0, 0), (Rgb{0, 0, 255}));
      continue;
    }
    EXPECT_EQ(d.At(0, 1), (Rgb{255, 0, 0}));
    EXPECT_EQ(d.At(1, 1), (Rgb{0, 255, 0}));
    EXPECT_EQ(d.At(0, 0), (Rgb{0, 0, 255}));
    if (std::string(c.name) != "16bit") {
      EXPECT_EQ(d.At(1, 0), (Rgb{9, 9, 9}));
    }
  }
  // Top-down rows (negative height).
  Dib d = DecodeFile(dir.Put("topdown.bmp", MakeBmp(1, -2, 24, 0, {}, {0, 0, 255, 0, 255, 0, 0, 0})));
  ExpectPlain24(d, 1, 2);
  EXPECT_EQ(d.At(0, 0), (Rgb{255, 0, 0}));
}

TEST_F(DecodeTest, PngsOfEveryKindDecodeTo24Bits) {
  // An 8-bit palette PNG becomes 24 bits with the palette's colours.
  WritePalettePng(dir.File("pal.png"), 3, 2, {{10, 20, 30}, {200, 100, 0}},
                  {0, 1, 0, 1, 1, 0});
  Dib d = DecodeFile(dir.File("pal.png"));
  ExpectPlain24(d, 3, 2);
  EXPECT_EQ(d.At(1, 0), (Rgb{200, 100, 0}));
  EXPECT_EQ(d.At(2, 1), (Rgb{10, 20, 30}));
  // 16-bit RGB, RGBA (alpha dropped), interlaced, 2-bit grey.
  WritePng(dir.File("rgb16.png"), 2, 1, PNG_COLOR_TYPE_RGB, 16,
           {0xFFFF, 0x8080, 0x0000, 0x0101, 0x0202, 0x0303});
  d = DecodeFile(dir.File("rgb16.png"));
  ExpectPlain24(d, 2, 1);
  EXPECT_EQ(d.At(0, 0), (Rgb{255, 128, 0}));
  WritePng(dir.File("rgba.png"), 1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, {40, 50, 60, 0});
  d = DecodeFile(dir.File("rgba.png"));
  ExpectPlain24(d, 1, 1);
  EXPECT_EQ(d.At(0, 0), (Rgb{40, 50, 60}));
  std::vector<uint16_t> grey(9 * 9);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint16_t(i % 4);
  WritePng(dir.File("grey2.png"), 9, 9, PNG_COLOR_TYPE_GRAY, 2, grey, /*interlaced=*/true);
  d = DecodeFile(dir.File("grey2.png"));
  ExpectPlain24(d, 9, 9);
  EXPECT_EQ(d.At(3, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(d.At(1, 1), (Rgb{170, 170, 170}));  // index 10 % 4 = 2 of 3
}

TEST_F(DecodeTest, TiffSizeCheckRefusesOnlyTruncatedUncompressedFiles) {
  std::vector<Rgb> pixels(20 * 10);
  // Flat rows, so that LZW has something to compress.
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = Rgb{uint8_t(i / 20 * 10), 7, 9};
  WriteRgbTiff(dir.File("whole.tif"), 20, 10, pixels, COMPRESSION_NONE, 3);
  Dib d = DecodeFile(dir.File("whole.tif"));
  ExpectPlain24(d, 20, 10);
  EXPECT_EQ(d.At(5, 4), (Rgb{40, 7, 9}));
  // Cut the file so that it is no longer than its 600 bytes of raw pixels.
  Bytes whole = ReadFile(dir.File("whole.tif"));
  WriteRgbTiff(dir.File("lzw.tif"), 20, 10, pixels, COMPRESSION_LZW);
  EXPECT_EQ(DecodeFile(dir.Put("cut.tif", Bytes(whole.begin(), whole.begin() + 600))).h, nullptr);
  // A compressed file smaller than its raw pixels is normal and decodes.
  ASSERT_LT(ReadFile(dir.File("lzw.tif")).size(), 600u);
  d = DecodeFile(dir.File("lzw.tif"));
  ExpectPlain24(d, 20, 10);
  EXPECT_EQ(d.At(19, 9), (Rgb{90, 7, 9}));
}

// Samples `bits` wide in the file's byte order, rows of `perRow` samples each starting on a byte
// boundary; depths that are not whole bytes are packed most significant bit first.
Bytes PackSamples(Order order, int bits, const std::vector<uint64_t>& values, size_t perRow) {
  ByteWriter w(order);
  for (size_t start = 0; start < values.size(); start += perRow) {
    uint64_t acc = 0;
    int held = 0;
    for (size_t i = start; i < start + perRow; ++i) {
      const uint64_t v = values[i];
      if (bits == 24) {
        for (int b : {0, 8, 16}) w.U8(uint8_t(v >> (order == Order::Big ? 16 - b : b)));
      } else if (bits == 32) {
        w.U32(uint32_t(v));
      } else if (bits == 64) {
        order == Order::Big ? w.U32(uint32_t(v >> 32)).U32(uint32_t(v))
                            : w.U32(uint32_t(v)).U32(uint32_t(v >> 32));
      } else {
        acc = acc << bits | v;
        for (held += bits; held >= 8; held -= 8) w.U8(uint8_t(acc >> (held - 8)));
      }
    }
    if (held > 0) w.U8(uint8_t(acc << (8 - held)));
  }
  return w.Take();
}

uint64_t FloatBits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}
uint64_t DoubleBits(double d) {
  uint64_t u;
  std::memcpy(&u, &d, 8);
  return u;
}

TEST_F(DecodeTest, TiffSamplesOfEveryDepthScaleTo8Bits) {
  enum Storage { kStrips, kPlanes, kTiles };
  struct Case {
    const char* name;
    uint16_t bits, format, photometric;
    Storage storage;
    std::vector<uint64_t> samples;  // 2 × 2 pixels, top row first, samples of a pixel together
    std::vector<Rgb> expected;
  };
  const std::vector<Rgb> greys = {{0, 0, 0}, {255, 255, 255}, {128, 128, 128}, {64, 64, 64}};
  const std::vector<Rgb> colours = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {128, 64, 0}};
  const uint64_t f1 = FloatBits(1), fHalf = FloatBits(0.5f), fQuarter = FloatBits(0.25f);
  const uint64_t d1 = DoubleBits(1), dHalf = DoubleBits(0.5), dQuarter = DoubleBits(0.25);
  const uint64_t u1 = 0xFFFFFFFF, uHalf = 0x80000000, uQuarter = 0x40000000;
  // clang-format off
  const Case cases[] = {
      {"12-bit grey", 12, 1, 1, kStrips, {0, 4095, 2048, 1024}, greys},
      {"12-bit white is zero", 12, 1, 0, kStrips, {4095, 0, 2047, 3071}, greys},
      {"12-bit RGB", 12, 1, 2, kStrips, {4095, 0, 0, 0, 4095, 0, 0, 0, 4095, 2048, 1024, 0}, colours},
      {"24-bit grey", 24, 1, 1, kStrips, {0, 0xFFFFFF, 0x800000, 0x400000}, greys},
      {"32-bit RGB in planes", 32, 1, 2, kPlanes, {u1, 0, 0, 0, u1, 0, 0, 0, u1, uHalf, uQuarter, 0}, colours},
      {"32-bit signed grey", 32, 2, 1, kStrips, {uHalf, u1 - uHalf, 0, uHalf + uQuarter}, greys},
      {"32-bit float grey in tiles", 32, 3, 1, kTiles, {FloatBits(-1), FloatBits(2), fHalf, fQuarter}, greys},
      {"32-bit float RGB", 32, 3, 2, kStrips, {f1, 0, 0, 0, f1, 0, 0, 0, f1, fHalf, fQuarter, 0}, colours},
      {"64-bit float RGB", 64, 3, 2, kStrips, {d1, 0, 0, 0, d1, 0, 0, 0, d1, dHalf, dQuarter, 0}, colours},
  };
  // clang-format on
  for (const Case& c : cases) {
    const uint16_t spp = c.photometric == 2 ? 3 : 1;
    for (Order order : {Order::Little, Order::Big}) {
      SCOPED_TRACE(std::string(c.name) + (order == Order::Little ? " II" : " MM"));
      Bytes data;
      std::vector<uint64_t> offsets = {8}, counts;
      if (c.storage == kPlanes) {
        for (uint16_t p = 0; p < spp; ++p) {
          std::vector<uint64_t> plane;
          for (size_t i = p; i < c.samples.size(); i += spp) plane.push_back(c.samples[i]);
          const Bytes b = PackSamples(order, c.bits, plane, 2);
          data.insert(data.end(), b.begin(), b.end());
          counts.push_back(b.size());
          if (p + 1 < spp) offsets.push_back(8 + data.size());
        }
      } else if (c.storage == kTiles) {  // one 16 × 16 tile, the image in its top-left corner
        std::vector<uint64_t> tile(16 * 16 * spp, 0);
        for (size_t i = 0; i < c.samples.size(); ++i) {
          tile[(i / (2 * spp)) * 16 * spp + i % (2 * spp)] = c.samples[i];
        }
        data = PackSamples(order, c.bits, tile, 16 * spp);
        counts.push_back(data.size());
      } else {
        data = PackSamples(order, c.bits, c.samples, 2 * spp);
        counts.push_back(data.size());
      }
      TiffBuilder b(order);
      b.SetBlobsFirst(true);
      b.AddBlob(data);
      const bool tiled = c.storage == kTiles;
      Ifd& d = b.Ifd0();
      d.Long(0x0100, {2}).Long(0x0101, {2});
      d.Values(0x0102, kShort, std::vector<uint64_t>(spp, c.bits)).Short(0x0103, {1});
      d.Short(0x0106, {c.photometric});
      if (!tiled) d.Values(0x0111, kLong, offsets);
      d.Short(0x0115, {spp});
      if (!tiled) d.Long(0x0116, {2}).Values(0x0117, kLong, counts);
      d.Short(0x011C, {uint16_t(c.storage == kPlanes ? 2 : 1)});
      if (tiled) d.Long(0x0142, {16}).Long(0x0143, {16});
      if (tiled) d.Values(0x0144, kLong, offsets).Values(0x0145, kLong, counts);
      d.Values(0x0153, kShort, std::vector<uint64_t>(spp, c.format));
      Dib dib = DecodeFile(dir.Put("samples.tif", b.Build()));
      ExpectPlain24(dib, 2, 2);
      if (!dib.h) continue;
      for (int i = 0; i < 4; ++i) EXPECT_EQ(dib.At(i % 2, i / 2), c.expected[size_t(i)]) << i;
    }
  }
}

TEST_F(DecodeTest, GifFirstFrameInterlacedOrNot) {
  std::vector<uint8_t> indices(5 * 11);
  for (size_t i = 0; i < indices.size(); ++i) indices[i] = uint8_t(i / 5 % 3);
  const std::vector<Rgb> pal = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  for (bool interlaced : {false, true}) {
    WriteGif(dir.File("g.gif"), 5, 11, pal, indices, interlaced);
    Dib d = DecodeFile(dir.File("g.gif"));
    ExpectPlain24(d, 5, 11);
    for (int y = 0; y < 11; ++y) EXPECT_EQ(d.At(2, y), pal[y % 3]) << "row " << y;
  }
}

TEST_F(DecodeTest, ThumbnailsFromJpegAndTiffSources) {
  CameraJpegOptions o;
  ExpectPlain24(DecodeFile(dir.Put("camera.jpg", MakeCameraJpeg(o)), 1), 16, 12);
  o.withThumbnail = false;
  EXPECT_EQ(DecodeFile(dir.Put("bare.jpg", MakeCameraJpeg(o)), 1).h, nullptr);
  WritePalettePng(dir.File("p.png"), 2, 2, {{1, 2, 3}}, {0, 0, 0, 0});
  EXPECT_EQ(DecodeFile(dir.File("p.png"), 1).h, nullptr);

  // A TIFF's thumbnail is delivered as a TIFF stream of its own (IFD1 as the first directory),
  // which is not a JPEG stream: no thumbnail bitmap, even though the thumbnail exists.
  TiffBuilder b(Order::Big);
  const int exif = b.AddDirectory();
  const int ifd1 = b.AddDirectory();
  const int strip = b.AddBlob(Bytes(4 * 4 * 3, 0x80));
  const int thumbStrip = b.AddBlob(Bytes(2 * 2 * 3, 0x40));
  b.Ifd0().Long(0x0100, {4}).Long(0x0101, {4}).Short(0x0102, {8, 8, 8}).Short(0x0103, {1})
      .Short(0x0106, {2}).BlobOffset(0x0111, strip).Short(0x0115, {3}).Long(0x0116, {4})
      .BlobLength(0x0117, strip).Pointer(0x8769, exif).Next(ifd1);
  b.Dir(exif).Ascii(0x9003, "2020:01:01 00:00:00");
  b.Dir(ifd1).Long(0x0100, {2}).Long(0x0101, {2}).Short(0x0103, {1}).Short(0x0106, {2})
      .BlobOffset(0x0111, thumbStrip).BlobLength(0x0117, thumbStrip);
  ExpectPlain24(DecodeFile(dir.Put("t.tif", b.Build())), 4, 4);
  EXPECT_EQ(DecodeFile(dir.File("t.tif"), 1).h, nullptr);
}

TEST(PackedDibSize, FollowsTheHeaderArithmetic) {
  const struct {
    int32_t height;
    uint16_t bits;
    uint32_t compression;
    int expected;  // for a width of 3
  } cases[] = {{2, 8, 0, 40 + 1024 + 4 * 2}, {2, 24, 0, 40 + 12 * 2}, {2, 16, 3, 40 + 8 * 2 + 12},
               {2, 1, 0, 40 + 8 + 4 * 2}, {-2, 24, 0, 40 - 24}};
  for (const auto& c : cases) {
    const Bytes h = DibHeader(3, c.height, c.bits, c.compression);
    EXPECT_EQ(imaging::PackedDibSize(h.data(), h.size()), c.expected) << c.bits << " " << c.height;
  }
  // A hostile header whose rows overflow 64 bits names no block at all.
  const Bytes huge = DibHeader(INT32_MAX, INT32_MAX, 32, 0);
  EXPECT_EQ(imaging::PackedDibSize(huge.data(), huge.size()), INT64_MAX);
}

TEST(DibToBitmap, CopiesTheHostBlockAndLeavesItAlone) {
  // An 8-bit packed DIB: header, 256-entry colour table, rows.
  ByteWriter b(Order::Little);
  b.Raw(DibHeader(3, 2, 8));
  for (int i = 0; i < 256; ++i) b.U8(uint8_t(i)).U8(0).U8(uint8_t(255 - i)).U8(0);
  b.Raw(Bytes{1, 2, 3, 0, 4, 5, 6, 0});
  const Bytes dib = b.Take();
  ASSERT_EQ(dib.size(), 40u + 1024 + 8);
  LF_HGLOBAL host = LfGlobalAlloc(dib.size());
  std::memcpy(LfGlobalLock(host), dib.data(), dib.size());
  LfGlobalUnlock(host);
  imaging::ScopedBitmap bitmap;
  ASSERT_EQ(imaging::DibToBitmap(host, bitmap.get()), S_OK);
  EXPECT_EQ(bitmap->width, 3);
  EXPECT_EQ(bitmap->height, 2);
  // Bottom row first: the top row holds indices 4, 5, 6.
  EXPECT_EQ(imaging::GetPixelColor(bitmap.get(), 0, 0), 251u | (4u << 16));
  EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(static_cast<void*>(host + 1)), dib.data(), dib.size()), 0);
  EXPECT_EQ(host->lockCount, 0u);
  // A header that claims more rows than the block holds is refused, never read past.
  uint8_t* p = static_cast<uint8_t*>(LfGlobalLock(host));
  p[8] = 200;
  LfGlobalUnlock(host);
  imaging::ScopedBitmap refused;
  EXPECT_EQ(imaging::DibToBitmap(host, refused.get()), E_FAIL);
  EXPECT_EQ(imaging::DibToBitmap(nullptr, refused.get()), E_INVALIDARG);
  LfGlobalFree(host);
}


// The export as a host sees it: the extension check comes before any decoding.
TEST(DecodeExport, ChecksTheExtensionFirst) {
  const HostModule& m = HostModule::Get();
  ASSERT_TRUE(m.error.empty()) << m.error;
  TempDir dir;
  const Bytes jpeg = EncodeJpeg(5, 3, 80);
  LF_HGLOBAL h = m.Decode(dir.Put("a.jpg", jpeg).c_str(), 0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(LfGlobalSize(h), 40u + 16 * 3);
  LfGlobalFree(h);
  EXPECT_EQ(m.Decode(dir.Put("a.xyz", jpeg).c_str(), 0), nullptr);
}


// The thumbnail path reads the EXIF block only: as many reads for a large photo as for a tiny
// one, and a main image that is garbage does not matter.
TEST(DecodeThumbnail, NeverReadsTheMainImage) {
  TempDir dir;
  CameraJpegOptions o;
  o.width = 1600;
  o.height = 1200;
  Bytes big = MakeCameraJpeg(o);
  // Overwrite the last half of the entropy-coded data: the main image is now undecodable.
  std::fill(big.begin() + big.size() / 2, big.end() - 2, 0x00);
  WriteFile(dir.File("big.jpg"), big);
  o.width = 32;
  o.height = 24;
  WriteFile(dir.File("small.jpg"), MakeCameraJpeg(o));
  uint32_t reads[2] = {};
  const std::string files[2] = {dir.File("big.jpg"), dir.File("small.jpg")};
  for (int i = 0; i < 2; ++i) {
    platform::ClearFaults();
    LF_HGLOBAL h = ops::Decode(files[i].c_str(), 1);
    reads[i] = platform::CallCount(platform::Service::Read);
    ASSERT_NE(h, nullptr);
    LfGlobalFree(h);
  }
  EXPECT_EQ(reads[0], reads[1]);
}

}  // namespace
}  // namespace lf::test
