// SPDX-License-Identifier: MIT
// Draw and DrawImage into memory surfaces: stretching and placement, the untouched host block,
// the one-bit device, whitening arithmetic, turns with white corners and crops in turned
// coordinates, and the argument refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "imaging/draw.h"
#include "imaging/toolkit.h"
#include "plugin/operations.h"
#include "tests/imaging/image_files.h"
#include "tests/support/fixture_builder.h"

namespace lf::test {
namespace {

// A memory device surface filled with one byte value.
struct Surface {
  Surface(int w, int h, int bits, uint8_t fill = 0x55)
      : dc{w, h, bits, bits == 1 ? ((w + 31) / 32) * 4 : w * (bits / 8), nullptr},
        pixels(size_t(dc.stride) * h, fill) {
    dc.pixels = pixels.data();
  }
  Rgb At(int x, int y) const {
    const uint8_t* p = pixels.data() + size_t(y) * dc.stride + size_t(x) * (dc.bitsPerPixel / 8);
    return Rgb{p[2], p[1], p[0]};
  }
  bool Bit(int x, int y) const {
    return (pixels[size_t(y) * dc.stride + x / 8] >> (7 - x % 8)) & 1;
  }
  LfDeviceContext dc;
  std::vector<uint8_t> pixels;
};

// A 24-bit bottom-up packed DIB, w × h, left half red and right half blue.
LF_HGLOBAL HalfAndHalfDib(int w, int h) {
  return MakeDib24(w, h, [w](int x, int) { return x < w / 2 ? Rgb{255, 0, 0} : Rgb{0, 0, 255}; });
}

TEST(Draw, StretchesIntoTheDestinationAndLeavesTheHostBlockAlone) {
  LF_HGLOBAL dib = HalfAndHalfDib(100, 50);
  const Bytes before(static_cast<uint8_t*>(LfGlobalLock(dib)),
                     static_cast<uint8_t*>(LfGlobalLock(dib)) + LfGlobalSize(dib));
  LfGlobalUnlock(dib);
  LfGlobalUnlock(dib);
  for (int bits : {24, 32}) {
    SCOPED_TRACE(bits);
    Surface s(300, 200, bits);
    ASSERT_EQ(ops::Draw(&s.dc, dib, LfRect{10, 10, 210, 110}), S_OK);
    EXPECT_EQ(s.At(9, 50), (Rgb{0x55, 0x55, 0x55}));   // left of the rectangle
    EXPECT_EQ(s.At(10, 10), (Rgb{255, 0, 0}));
    EXPECT_EQ(s.At(105, 109), (Rgb{255, 0, 0}));
    EXPECT_EQ(s.At(115, 109), (Rgb{0, 0, 255}));
    EXPECT_EQ(s.At(209, 60), (Rgb{0, 0, 255}));
    EXPECT_EQ(s.At(210, 60), (Rgb{0x55, 0x55, 0x55}));  // right edge is exclusive
    EXPECT_EQ(s.At(50, 110), (Rgb{0x55, 0x55, 0x55}));
  }
  EXPECT_EQ(Bytes(static_cast<uint8_t*>(LfGlobalLock(dib)),
                  static_cast<uint8_t*>(LfGlobalLock(dib)) + LfGlobalSize(dib)),
            before);
  LfGlobalUnlock(dib);
  LfGlobalUnlock(dib);
  // An empty destination is refused before the image is looked at.
  Surface s(10, 10, 24);
  EXPECT_EQ(ops::Draw(&s.dc, dib, LfRect{5, 0, 5, 10}), E_INVALIDARG);
  EXPECT_EQ(ops::Draw(&s.dc, reinterpret_cast<LF_HGLOBAL>(8), LfRect{5, 0, 5, 10}), E_INVALIDARG);
  // Clipped at the surface's edges.
  EXPECT_EQ(ops::Draw(&s.dc, dib, LfRect{-50, -50, 5, 5}), S_OK);
  EXPECT_EQ(s.At(4, 4), (Rgb{0, 0, 255}));
  EXPECT_EQ(s.At(5, 5), (Rgb{0x55, 0x55, 0x55}));
  LfGlobalFree(dib);
}

TEST(Draw, OneBitDeviceGetsBlackAndWhite) {
  // Left half red (luma 76, dark: paints 0), right half white (paints 1), from a host block and
  // from a file.
  const auto colour = [](int x, int) { return x < 4 ? Rgb{255, 0, 0} : Rgb{255, 255, 255}; };
  LF_HGLOBAL dib = MakeDib24(8, 8, colour);
  TempDir dir;
  Bytes rows;
  for (int i = 0; i < 64; ++i) {
    const Rgb c = colour(i % 8, 0);
    rows.insert(rows.end(), {c.b, c.g, c.r});
  }
  const std::string file = dir.Put("halves.bmp", MakeBmp(8, 8, 24, 0, {}, rows));
  const std::pair<const char*, std::function<HRESULT(LfDeviceContext*, LfRect)>> calls[] = {
      {"Draw", [&](LfDeviceContext* dc, LfRect r) { return ops::Draw(dc, dib, r); }},
      {"DrawImage", [&](LfDeviceContext* dc,
                        LfRect r) { return ops::DrawImage(file.c_str(), dc, r, 0, {}, 0); }},
  };
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    Surface s(32, 4, 1, 0xAA);
    ASSERT_EQ(call(&s.dc, LfRect{8, 0, 24, 4}), S_OK);
    EXPECT_TRUE(s.Bit(6, 0));  // outside: untouched
    EXPECT_FALSE(s.Bit(7, 0));
    EXPECT_FALSE(s.Bit(8, 0));  // red
    EXPECT_FALSE(s.Bit(13, 3));
    EXPECT_TRUE(s.Bit(18, 0));  // white
    EXPECT_TRUE(s.Bit(23, 3));
    EXPECT_TRUE(s.Bit(24, 0));  // outside again
    EXPECT_FALSE(s.Bit(25, 0));
  }
  LfGlobalFree(dib);
}

class DrawImageTest : public ::testing::Test {
 protected:
  // A square BMP file of one colour (side a multiple of 4, so rows need no padding).
  std::string SolidBmp(const std::string& name, Rgb c, int side = 4) {
    Bytes rows;
    for (int i = 0; i < side * side; ++i) rows.insert(rows.end(), {c.b, c.g, c.r});
    WriteFile(dir.File(name), MakeBmp(side, side, 24, 0, {}, rows));
    return dir.File(name);
  }
  TempDir dir;
};

TEST_F(DrawImageTest, WhitenArithmetic) {
  const std::string black = SolidBmp("black.bmp", {0, 0, 0});
  const std::string white = SolidBmp("white.bmp", {255, 255, 255});
  const LfRect none{0, 0, 0, 0};
  struct Case {
    const std::string* file;
    int percent;
    uint8_t expected;
  } cases[] = {{&black, 0, 0},   {&black, -5, 0},  {&black, 50, 127}, {&white, 50, 255},
               {&black, 100, 255}, {&black, 200, 254}, {&white, 200, 255}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.percent);
    Surface s(8, 8, 24);
    ASSERT_EQ(ops::DrawImage(c.file->c_str(), &s.dc, LfRect{0, 0, 8, 8}, 0, none, c.percent), S_OK);
    EXPECT_EQ(s.At(3, 3), (Rgb{c.expected, c.expected, c.expected}));
  }
  // 200 % of a black channel: 510, whose low 8 bits are 254; of white: 255 × -100 + 510 × 100...
  EXPECT_EQ(imaging::WhitenColor(0x000000, 200), 0xFEFEFEu);
  EXPECT_EQ(imaging::WhitenColor(0x0000FF, 50), 0x7F7FFFu);
  EXPECT_EQ(imaging::WhitenColor(0x102030, 0x7FFFFFFF) >> 24, 0u);
}

TEST_F(DrawImageTest, FortyFiveDegreesLeavesWhiteCorners) {
  const std::string black = SolidBmp("black.bmp", {0, 0, 0}, 40);
  Surface s(100, 100, 24);
  ASSERT_EQ(ops::DrawImage(black.c_str(), &s.dc, LfRect{0, 0, 100, 100}, 4500, LfRect{}, 0), S_OK);
  for (auto [x, y] : {std::pair{1, 1}, {98, 1}, {1, 98}, {98, 98}}) {
    EXPECT_EQ(s.At(x, y), (Rgb{255, 255, 255})) << x << "," << y;
  }
  EXPECT_EQ(s.At(50, 50), (Rgb{0, 0, 0}));
  EXPECT_EQ(s.At(50, 8), (Rgb{0, 0, 0}));  // near the turned square's top corner
  EXPECT_EQ(s.At(8, 50), (Rgb{0, 0, 0}));
}

TEST_F(DrawImageTest, CropIsInTheTurnedImagesCoordinates) {
  // 20 × 10 BMP: left half red, right half blue. Turned a quarter clockwise it is 10 × 20 with
  // red on top; its top-left 10 × 10 is all red.
  Bytes rows;
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 20; ++x) {
      if (x < 10) rows.insert(rows.end(), {0, 0, 255});
      else rows.insert(rows.end(), {255, 0, 0});
    }
  }
  WriteFile(dir.File("halves.bmp"), MakeBmp(20, 10, 24, 0, {}, rows));
  Surface s(10, 10, 24);
  ASSERT_EQ(ops::DrawImage(dir.File("halves.bmp").c_str(), &s.dc, LfRect{0, 0, 10, 10}, 9000,
                           LfRect{0, 0, 10, 10}, 0),
            S_OK);
  EXPECT_EQ(s.At(0, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(s.At(9, 9), (Rgb{255, 0, 0}));
  // Unturned, the same crop is the left (red) half too; the bottom-left crop after a quarter turn
  // the other way is red as well, while the right half of the unturned image is blue.
  ASSERT_EQ(ops::DrawImage(dir.File("halves.bmp").c_str(), &s.dc, LfRect{0, 0, 10, 10}, 0,
                           LfRect{10, 0, 20, 10}, 0),
            S_OK);
  EXPECT_EQ(s.At(5, 5), (Rgb{0, 0, 255}));
  ASSERT_EQ(ops::DrawImage(dir.File("halves.bmp").c_str(), &s.dc, LfRect{0, 0, 10, 10}, -9000,
                           LfRect{0, 0, 10, 10}, 0),
            S_OK);
  EXPECT_EQ(s.At(5, 5), (Rgb{0, 0, 255}));  // turned anticlockwise, blue comes on top
}

TEST_F(DrawImageTest, ScaledDecodingKeepsThePixelsOfTheFullDecode) {
  // A 640 × 480 gradient (red across, green down) in camera files of both byte orders, whose EXIF
  // orientation DrawImage does not apply. A crop of the whole image makes DrawImage decode at full
  // size; without one a JPEG is decoded as small as the destination allows.
  const LfRect whole{0, 0, 100000, 100000};
  struct Case {
    int width, height, angle;
  } cases[] = {{640, 480, 0}, {320, 240, 0},  {80, 60, 0},    {100, 50, 0},
               {37, 23, 0},   {60, 80, 9000}, {90, 90, 4500}, {40, 30, -27000}};
  for (Order order : {Order::Little, Order::Big}) {
    CameraJpegOptions o;
    o.order = order;
    o.width = 640;
    o.height = 480;
    const std::string file = dir.Put("gradient.jpg", MakeCameraJpeg(o));
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " at " << c.angle);
      Surface scaled(c.width, c.height, 24), full(c.width, c.height, 24);
      const LfRect to{0, 0, c.width, c.height};
      ASSERT_EQ(ops::DrawImage(file.c_str(), &scaled.dc, to, c.angle, LfRect{}, 0), S_OK);
      ASSERT_EQ(ops::DrawImage(file.c_str(), &full.dc, to, c.angle, whole, 0), S_OK);
      // The blue sawtooth's sharp wraps ring differently at each scale: a few pixels beside them
      // differ by several levels. The full decode is halved in steps that each round down, so the
      // picture as a whole may differ by up to a level and a half.
      int worst = 0, total = 0;
      for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
          const Rgb a = scaled.At(x, y), b = full.At(x, y);
          const int d = std::max(std::abs(a.r - b.r), std::abs(a.g - b.g));
          worst = std::max(worst, d);
          total += d;
        }
      }
      EXPECT_LE(worst, 10);
      EXPECT_LE(total * 4, c.width * c.height * 7);
      if (c.angle == 0) {
        // The gradient's value at the centre of the middle pixel: nothing was shifted.
        const int x = c.width / 2, y = c.height / 2;
        EXPECT_NEAR(scaled.At(x, y).r, (x + 0.5) * 640 / c.width * 255 / 639, 3);
        EXPECT_NEAR(scaled.At(x, y).g, (y + 0.5) * 480 / c.height * 255 / 479, 3);
      }
    }
  }
}

TEST_F(DrawImageTest, RefusalsAndFailures) {
  Surface s(8, 8, 24);
  const std::string black = SolidBmp("black.bmp", {0, 0, 0});
  EXPECT_EQ(ops::DrawImage(dir.File("missing.bmp").c_str(), &s.dc, LfRect{0, 0, 8, 8}, 0,
                           LfRect{}, 0),
            E_FAIL);
  // The argument refusals are checked through the export (exports_test).
  // A crop entirely outside the image fails the crop step.
  EXPECT_EQ(ops::DrawImage(black.c_str(), &s.dc, LfRect{0, 0, 8, 8}, 0, LfRect{50, 50, 60, 60}, 0),
            E_FAIL);
  EXPECT_EQ(s.At(0, 0), (Rgb{0x55, 0x55, 0x55}));  // nothing was drawn
  // A failed painting (a surface of an unsupported depth) is still success.
  Surface odd(8, 8, 24);
  odd.dc.bitsPerPixel = 16;
  EXPECT_EQ(ops::DrawImage(black.c_str(), &odd.dc, LfRect{0, 0, 8, 8}, 0, LfRect{}, 0), S_OK);
}

TEST(Draw, TopDownBlockIsPaintedRightWayUp) {
  // 1 × 2, negative height: the first stored row is the top one (red), then blue.
  LF_HGLOBAL dib = MakeDib24(1, -2, [](int, int y) { return y == 0 ? Rgb{255, 0, 0} : Rgb{0, 0, 255}; });
  Surface s(1, 2, 24);
  ASSERT_EQ(ops::Draw(&s.dc, dib, LfRect{0, 0, 1, 2}), S_OK);
  EXPECT_EQ(s.At(0, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(s.At(0, 1), (Rgb{0, 0, 255}));
  LfGlobalFree(dib);
}

}  // namespace
}  // namespace lf::test
