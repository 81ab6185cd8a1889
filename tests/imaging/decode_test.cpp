// SPDX-License-Identifier: MIT
// Decode as a host calls it: every format to a 24-bit bottom-up packed DIB, and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "imaging/decode.h"
#include "imaging/toolkit.h"
#include "platform/faults.h"
#include "plugin/operations.h"
#include "tests/imaging/image_files.h"
#include "tests/support/host_module.h"

namespace lf::test {
namespace {

struct Pixel {
  int x, y;
  Rgb colour;
};

struct Decoded {
  const char* name;
  std::string path;
  uint32_t source;
  int width, height;  // 0: Decode must answer no block
  std::vector<Pixel> pixels = {};
  int tolerance = 0;
};

// Decodes each file through the export and compares the block's header and pixels.
void ExpectDecodes(const std::vector<Decoded>& cases) {
  const HostModule& m = HostModule::Get();
  for (const Decoded& c : cases) {
    SCOPED_TRACE(c.name);
    OwnedDib d(m.Decode(c.path.c_str(), c.source));
    if (c.width == 0) {
      EXPECT_EQ(d.block, nullptr);
      continue;
    }
    ASSERT_NE(d.block, nullptr);
    EXPECT_EQ(d.I32(0), 40);
    EXPECT_EQ(d.width(), c.width);
    EXPECT_EQ(d.height(), c.height);  // positive: bottom-up
    EXPECT_EQ(d.bytes()[14], 24);
    EXPECT_EQ(d.I32(16), 0);  // uncompressed, and no colour table:
    EXPECT_EQ(LfGlobalSize(d.block), 40u + ((size_t(c.width) * 24 + 31) / 32) * 4 * c.height);
    for (const Pixel& p : c.pixels) {
      const Rgb got = d.At(p.x, p.y);
      EXPECT_NEAR(got.r, p.colour.r, c.tolerance) << p.x << "," << p.y;
      EXPECT_NEAR(got.g, p.colour.g, c.tolerance) << p.x << "," << p.y;
      EXPECT_NEAR(got.b, p.colour.b, c.tolerance) << p.x << "," << p.y;
    }
  }
}

constexpr Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kGrey{9, 9, 9};

TEST(Decode, EveryFormatTo24BitsAndEveryRefusal) {
  TempDir dir;
  const Bytes jpeg = EncodeJpeg(33, 17, 95, 0x2040C0);
  // Inverted CMYK with an APP14 marker: full cyan (stored 0), no magenta, yellow or black (255).
  const Bytes cmyk = CompressJpeg(
      8, 8, 4, JCS_CMYK, [](jpeg_compress_struct* c) { jpeg_set_quality(c, 100, TRUE); },
      [](int, uint8_t* row) {
        for (int x = 0; x < 8; ++x) std::memcpy(row + x * 4, "\x00\xFF\xFF\xFF", 4);
      });
  // 2 × 2 BMPs, bottom row first in the file: bottom = red, green; top = blue, grey.
  const std::vector<Rgb> pal = {kRed, kGreen, kBlue, kGrey};
  const std::vector<Pixel> quad = {{0, 1, kRed}, {1, 1, kGreen}, {0, 0, kBlue}, {1, 0, kGrey}};
  const std::vector<Pixel> three(quad.begin(), quad.begin() + 3);
  const auto bmp = [&](const char* name, int32_t w, int32_t h, uint16_t bits, uint32_t compression,
                       const std::vector<Rgb>& palette, const Bytes& rows,
                       const std::vector<uint32_t>& masks = {}) {
    return dir.Put(std::string(name) + ".bmp",
                   MakeBmp(w, h, bits, compression, palette, rows, masks));
  };
  std::vector<Rgb> strips(20 * 10);  // flat rows, so that LZW has something to compress
  for (size_t i = 0; i < strips.size(); ++i) strips[i] = Rgb{uint8_t(i / 20 * 10), 7, 9};
  const std::string whole =
      WriteRgbTiff(dir.File("whole.tif"), 20, 10, strips, COMPRESSION_NONE, 3);
  const Bytes wholeBytes = ReadFile(whole);
  const std::string lzw = WriteRgbTiff(dir.File("lzw.tif"), 20, 10, strips, COMPRESSION_LZW, 10);
  ASSERT_LT(ReadFile(lzw).size(), 600u);  // smaller than its raw pixels, which is normal
  std::vector<uint16_t> grey(9 * 9);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint16_t(i % 4);
  std::vector<uint8_t> rows(5 * 11);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = uint8_t(i / 5 % 3);
  std::vector<Pixel> gifColumn;
  for (int y = 0; y < 11; ++y) gifColumn.push_back({2, y, pal[size_t(y % 3)]});
  CameraJpegOptions bare;
  bare.withThumbnail = false;
  // A TIFF's thumbnail comes as a TIFF stream of its own, not a JPEG: no thumbnail bitmap.
  TiffBuilder t(Order::Big);
  const int exif = t.AddDirectory(), ifd1 = t.AddDirectory();
  const int strip = t.AddBlob(Bytes(4 * 4 * 3, 0x80)), thumb = t.AddBlob(Bytes(2 * 2 * 3, 0x40));
  t.Ifd0().Long(0x0100, {4}).Long(0x0101, {4}).Short(0x0102, {8, 8, 8}).Short(0x0103, {1});
  t.Ifd0().Short(0x0106, {2}).BlobOffset(0x0111, strip).Short(0x0115, {3}).Long(0x0116, {4});
  t.Ifd0().BlobLength(0x0117, strip).Pointer(0x8769, exif).Next(ifd1);
  t.Dir(exif).Ascii(0x9003, "2020:01:01 00:00:00");
  t.Dir(ifd1).Long(0x0100, {2}).Long(0x0101, {2}).Short(0x0103, {1}).Short(0x0106, {2});
  t.Dir(ifd1).BlobOffset(0x0111, thumb).BlobLength(0x0117, thumb);
  const std::string tiffWithThumb = dir.Put("t.tif", t.Build());
  const std::string png = WritePng(dir.File("p.png"), 2, 2, PNG_COLOR_TYPE_PALETTE, 8, {0, 0, 0, 0},
                                   false, {{1, 2, 3}});

  // clang-format off
  ExpectDecodes({
      {"jpeg", dir.Put("a.jpg", jpeg), 0, 33, 17, {{16, 8, {0x20, 0x40, 0xC0}}}, 3},
      {"cmyk jpeg", dir.Put("cmyk.jpg", cmyk), 0, 8, 8, {{3, 3, {0, 255, 255}}}, 4},
      {"progressive jpeg", dir.Put("ten.jpg", EncodeProgressiveJpeg(64, 64, 0)), 0, 64, 64},
      {"1-bit bmp", bmp("1", 2, 2, 1, 0, {kRed, kBlue}, {0x40, 0, 0, 0, 0x80, 0, 0, 0}), 0, 2, 2,
       {{0, 1, kRed}, {1, 1, kBlue}, {0, 0, kBlue}}},
      {"4-bit bmp", bmp("4", 2, 2, 4, 0, pal, {0x01, 0, 0, 0, 0x23, 0, 0, 0}), 0, 2, 2, quad},
      {"8-bit bmp", bmp("8", 2, 2, 8, 0, pal, {0, 1, 0, 0, 2, 3, 0, 0}), 0, 2, 2, quad},
      {"rle8 bmp", bmp("r8", 2, 2, 8, 1, pal, {1, 0, 1, 1, 0, 0, 1, 2, 1, 3, 0, 1}), 0, 2, 2, quad},
      {"rle4 bmp", bmp("r4", 2, 2, 4, 2, pal, {2, 0x01, 0, 0, 2, 0x23, 0, 1}), 0, 2, 2, quad},
      {"16-bit bmp", bmp("16", 2, 2, 16, 0, {}, {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0x21, 0x04}),
       0, 2, 2, three},
      {"24-bit bmp", bmp("24", 2, 2, 24, 0, {}, {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 9, 9, 9, 0, 0}),
       0, 2, 2, quad},
      {"32-bit bit-field bmp", bmp("32", 2, 2, 32, 3, {}, {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0,
       9, 9, 9, 0}, {0x00FF0000, 0x0000FF00, 0x000000FF}), 0, 2, 2, quad},
      {"top-down bmp", bmp("down", 1, -2, 24, 0, {}, {0, 0, 255, 0, 255, 0, 0, 0}), 0, 1, 2,
       {{0, 0, kRed}, {0, 1, kBlue}}},
      {"palette png", WritePng(dir.File("pal.png"), 3, 2, PNG_COLOR_TYPE_PALETTE, 8, {0, 1, 0, 1, 1, 0}, false,
       {{10, 20, 30}, {200, 100, 0}}), 0, 3, 2, {{1, 0, {200, 100, 0}}, {2, 1, {10, 20, 30}}}},
      {"16-bit png", WritePng(dir.File("rgb16.png"), 2, 1, PNG_COLOR_TYPE_RGB, 16,
       {0xFFFF, 0x8080, 0x0000, 0x0101, 0x0202, 0x0303}), 0, 2, 1, {{0, 0, {255, 128, 0}}}},
      {"alpha png (dropped)", WritePng(dir.File("rgba.png"), 1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8,
       {40, 50, 60, 0}), 0, 1, 1, {{0, 0, {40, 50, 60}}}},
      {"2-bit interlaced grey png", WritePng(dir.File("grey2.png"), 9, 9, PNG_COLOR_TYPE_GRAY, 2, grey, true),
       0, 9, 9, {{3, 0, {255, 255, 255}}, {1, 1, {170, 170, 170}}}},
      {"tiff in strips", whole, 0, 20, 10, {{5, 4, {40, 7, 9}}}},
      {"lzw tiff smaller than its pixels", lzw, 0, 20, 10, {{19, 9, {90, 7, 9}}}},
      {"gif", WriteGif(dir.File("g.gif"), 5, 11, pal, rows, false), 0, 5, 11, gifColumn},
      {"interlaced gif", WriteGif(dir.File("i.gif"), 5, 11, pal, rows, true), 0, 5, 11, gifColumn},
      {"thumbnail of a jpeg", dir.Put("camera.jpg", MakeCameraJpeg()), 1, 16, 12},
      {"main image of a tiff with a thumbnail", tiffWithThumb, 0, 4, 4},
      // Refusals: every one is the handle 0.
      {"jpeg under a png name", dir.Put("jpeg.png", jpeg), 0, 0, 0},
      {"png under a jpeg name", dir.Put("png.jpg", ReadFile(png)), 0, 0, 0},
      {"unsupported name", dir.Put("a.xyz", jpeg), 0, 0, 0},
      {"missing file", dir.File("missing.jpg"), 0, 0, 0},
      {"empty path", "", 0, 0, 0},
      {"source 2", dir.File("a.jpg"), 2, 0, 0},
      {"54-byte bmp", bmp("empty", 1, 1, 24, 0, {}, {}), 0, 0, 0},
      {"uncompressed tiff cut to its raw size", dir.Put("cut.tif", Bytes(wholeBytes.begin(),
       wholeBytes.begin() + 600)), 0, 0, 0},
      {"jpeg without a thumbnail", dir.Put("bare.jpg", MakeCameraJpeg(bare)), 1, 0, 0},
      {"thumbnail of a png", png, 1, 0, 0},
      {"tiff thumbnail as a tiff stream", tiffWithThumb, 1, 0, 0},
      // Every progressive scan is a pass over the whole image; the decoder stops counting at 500.
      {"600 progressive scans", dir.Put("endless.jpg", EncodeProgressiveJpeg(64, 64, 600)), 0, 0, 0},
  });
  // clang-format on
}

// Samples `bits` wide in `order`, each row byte-aligned; sub-byte depths packed MSB first.
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
        const bool big = order == Order::Big;
        w.U32(uint32_t(big ? v >> 32 : v)).U32(uint32_t(big ? v : v >> 32));
      } else {
        acc = acc << bits | v;
        for (held += bits; held >= 8; held -= 8) w.U8(uint8_t(acc >> (held - 8)));
      }
    }
    if (held > 0) w.U8(uint8_t(acc << (8 - held)));
  }
  return w.Take();
}

template <typename T>
uint64_t BitsOf(T value) {
  std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t> u;
  std::memcpy(&u, &value, sizeof u);
  return u;
}

TEST(Decode, TiffSamplesOfEveryDepthScaleTo8Bits) {
  enum Storage { kStrips, kPlanes, kTiles };
  struct Case {
    const char* name;
    uint16_t bits, format, photometric;
    Storage storage;
    std::vector<uint64_t> samples;  // 2 × 2 pixels, top row first, samples of a pixel together
  };
  const uint64_t f1 = BitsOf(1.0f), fHalf = BitsOf(0.5f), fQuarter = BitsOf(0.25f);
  const uint64_t d1 = BitsOf(1.0), dHalf = BitsOf(0.5), dQuarter = BitsOf(0.25);
  const uint64_t u1 = 0xFFFFFFFF, uHalf = 0x80000000, uQuarter = 0x40000000;
  // clang-format off
  const Case cases[] = {
      {"12-bit grey", 12, 1, 1, kStrips, {0, 4095, 2048, 1024}},
      {"12-bit white is zero", 12, 1, 0, kStrips, {4095, 0, 2047, 3071}},
      {"12-bit RGB", 12, 1, 2, kStrips, {4095, 0, 0, 0, 4095, 0, 0, 0, 4095, 2048, 1024, 0}},
      {"24-bit grey", 24, 1, 1, kStrips, {0, 0xFFFFFF, 0x800000, 0x400000}},
      {"32-bit RGB in planes", 32, 1, 2, kPlanes, {u1, 0, 0, 0, u1, 0, 0, 0, u1, uHalf, uQuarter, 0}},
      {"32-bit signed grey", 32, 2, 1, kStrips, {uHalf, u1 - uHalf, 0, uHalf + uQuarter}},
      {"32-bit float grey in tiles", 32, 3, 1, kTiles, {BitsOf(-1.0f), BitsOf(2.0f), fHalf, fQuarter}},
      {"32-bit float RGB", 32, 3, 2, kStrips, {f1, 0, 0, 0, f1, 0, 0, 0, f1, fHalf, fQuarter, 0}},
      {"64-bit float RGB", 64, 3, 2, kStrips, {d1, 0, 0, 0, d1, 0, 0, 0, d1, dHalf, dQuarter, 0}},
  };
  // clang-format on
  const std::vector<Pixel> greys = {
      {0, 0, {0, 0, 0}}, {1, 0, {255, 255, 255}}, {0, 1, {128, 128, 128}}, {1, 1, {64, 64, 64}}};
  const std::vector<Pixel> colours = {
      {0, 0, kRed}, {1, 0, kGreen}, {0, 1, kBlue}, {1, 1, {128, 64, 0}}};
  TempDir dir;
  std::vector<Decoded> decoded;
  for (const Case& c : cases) {
    const uint16_t spp = c.photometric == 2 ? 3 : 1;
    for (Order order : {Order::Little, Order::Big}) {
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
      d.Short(0x0106, {c.photometric}).Short(0x0115, {spp});
      if (!tiled) d.Values(0x0111, kLong, offsets).Long(0x0116, {2}).Values(0x0117, kLong, counts);
      d.Short(0x011C, {uint16_t(c.storage == kPlanes ? 2 : 1)});
      if (tiled) d.Long(0x0142, {16}).Long(0x0143, {16});
      if (tiled) d.Values(0x0144, kLong, offsets).Values(0x0145, kLong, counts);
      d.Values(0x0153, kShort, std::vector<uint64_t>(spp, c.format));
      const std::string file = std::to_string(decoded.size()) + ".tif";
      decoded.push_back({c.name, dir.Put(file, b.Build()), 0, 2, 2, spp == 3 ? colours : greys});
    }
  }
  ExpectDecodes(decoded);
}

TEST(PackedDibSize, FollowsTheHeaderArithmetic) {
  const struct {
    int32_t height;
    uint16_t bits;
    uint32_t compression;
    int expected;  // for a width of 3
  } cases[] = {{2, 8, 0, 40 + 1024 + 4 * 2},
               {2, 24, 0, 40 + 12 * 2},
               {2, 16, 3, 40 + 8 * 2 + 12},
               {2, 1, 0, 40 + 8 + 4 * 2},
               {-2, 24, 0, 40 - 24}};
  for (const auto& c : cases) {
    const Bytes h = DibHeader(3, c.height, c.bits, c.compression);
    EXPECT_EQ(imaging::PackedDibSize(h.data(), h.size()), c.expected) << c.bits << " " << c.height;
  }
  // A hostile header whose rows overflow 64 bits names no block at all.
  const Bytes huge = DibHeader(INT32_MAX, INT32_MAX, 32, 0);
  EXPECT_EQ(imaging::PackedDibSize(huge.data(), huge.size()), INT64_MAX);
}

TEST(DibToBitmap, LooksUpAnEightBitBlocksColourTable) {
  ByteWriter b(Order::Little);
  b.Raw(DibHeader(3, 2, 8));
  for (int i = 0; i < 256; ++i) b.U8(uint8_t(i)).U8(0).U8(uint8_t(255 - i)).U8(0);
  b.Raw(Bytes{1, 2, 3, 0, 4, 5, 6, 0});
  const Bytes dib = b.Take();
  ASSERT_EQ(dib.size(), 40u + 1024 + 8);
  OwnedDib host(LfGlobalAlloc(dib.size()));
  std::memcpy(LfGlobalLock(host.block), dib.data(), dib.size());
  LfGlobalUnlock(host.block);
  imaging::ScopedBitmap bitmap;
  ASSERT_EQ(imaging::DibToBitmap(host.block, bitmap.get()), S_OK);
  EXPECT_EQ(bitmap->width, 3);
  EXPECT_EQ(bitmap->height, 2);
  // Bottom row first: the top row holds indices 4, 5, 6.
  EXPECT_EQ(imaging::GetPixelColor(bitmap.get(), 0, 0), 251u | (4u << 16));
}

// The thumbnail path reads the EXIF block only: as many reads for a big photo as a tiny one.
TEST(Decode, ThumbnailNeverReadsTheMainImage) {
  TempDir dir;
  CameraJpegOptions o;
  o.width = 1600;
  o.height = 1200;
  Bytes big = MakeCameraJpeg(o);
  std::fill(big.begin() + big.size() / 2, big.end() - 2, 0x00);  // an undecodable main image
  o.width = 32;
  o.height = 24;
  const std::string files[2] = {dir.Put("big.jpg", big), dir.Put("small.jpg", MakeCameraJpeg(o))};
  uint32_t reads[2] = {};
  for (int i = 0; i < 2; ++i) {
    platform::ClearFaults();
    OwnedDib thumbnail(ops::Decode(files[i].c_str(), 1));
    reads[i] = platform::CallCount(platform::Service::Read);
    EXPECT_NE(thumbnail.block, nullptr);
  }
  EXPECT_EQ(reads[0], reads[1]);
}

}  // namespace
}  // namespace lf::test
