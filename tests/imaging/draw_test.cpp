// SPDX-License-Identifier: MIT
// Draw and DrawImage into memory surfaces: placement, one-bit devices, whitening, turns, crops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "imaging/draw.h"
#include "plugin/operations.h"
#include "tests/imaging/image_files.h"

namespace lf::test {
namespace {

constexpr Rgb kRed{255, 0, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255}, kBlack{0, 0, 0};
constexpr Rgb kUntouched{0x55, 0x55, 0x55};

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

TEST(Draw, StretchesIntoTheDestinationRightWayUpAndLeavesTheHostBlockAlone) {
  // 100 × 50: the left half red, the right half blue, except the bottom-left quarter (white).
  const auto colour = [](int x, int y) { return x >= 50 ? kBlue : y < 25 ? kRed : kWhite; };
  for (int height : {50, -50}) {  // bottom-up and top-down blocks
    OwnedDib dib(MakeDib24(100, height, colour));
    const Bytes before = dib.bytes();
    for (int bits : {24, 32}) {
      SCOPED_TRACE(::testing::Message() << height << " rows at " << bits << " bits");
      Surface s(300, 200, bits);
      ASSERT_EQ(ops::Draw(&s.dc, dib.block, LfRect{10, 10, 210, 110}), S_OK);
      EXPECT_EQ(s.At(9, 50), kUntouched);  // left of the rectangle
      EXPECT_EQ(s.At(10, 10), kRed);
      EXPECT_EQ(s.At(105, 40), kRed);
      EXPECT_EQ(s.At(105, 109), kWhite);
      EXPECT_EQ(s.At(115, 109), kBlue);
      EXPECT_EQ(s.At(209, 60), kBlue);
      EXPECT_EQ(s.At(210, 60), kUntouched);  // right edge is exclusive
      EXPECT_EQ(s.At(50, 110), kUntouched);
      // Clipped at the surface's edges.
      ASSERT_EQ(ops::Draw(&s.dc, dib.block, LfRect{-150, -50, 50, 50}), S_OK);
      EXPECT_EQ(s.At(49, 0), kBlue);
      EXPECT_EQ(s.At(50, 5), kUntouched);
    }
    EXPECT_EQ(dib.bytes(), before);
  }
  // Shrinking averages: columns alternating black and white become mid grey at a quarter size.
  OwnedDib stripes(MakeDib24(64, 64, [](int x, int) { return x % 2 ? kWhite : kBlack; }));
  Surface s(16, 16, 24);
  ASSERT_EQ(ops::Draw(&s.dc, stripes.block, LfRect{0, 0, 16, 16}), S_OK);
  for (int y = 0; y < 16; y += 5) EXPECT_NEAR(s.At(7, y).r, 128, 3) << y;
}

TEST(Draw, OneBitDeviceGetsBlackAndWhite) {
  // Left half red (luma 76: paints 0), right half white (paints 1), from a block and a file.
  const auto colour = [](int x, int) { return x < 4 ? kRed : kWhite; };
  OwnedDib dib(MakeDib24(8, 8, colour));
  TempDir dir;
  Bytes rows;
  for (int i = 0; i < 64; ++i) {
    const Rgb c = colour(i % 8, 0);
    rows.insert(rows.end(), {c.b, c.g, c.r});
  }
  const std::string file = dir.Put("halves.bmp", MakeBmp(8, 8, 24, 0, {}, rows));
  const std::pair<const char*, std::function<HRESULT(LfDeviceContext*, LfRect)>> calls[] = {
      {"Draw", [&](LfDeviceContext* dc, LfRect r) { return ops::Draw(dc, dib.block, r); }},
      {"DrawImage", [&](LfDeviceContext* dc,
                        LfRect r) { return ops::DrawImage(file.c_str(), dc, r, 0, {}, 0); }},
  };
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    Surface s(32, 4, 1, 0xAA);
    ASSERT_EQ(call(&s.dc, LfRect{8, 0, 24, 4}), S_OK);
    const std::pair<int, int> cleared[] = {{7, 0}, {8, 0}, {13, 3}, {25, 0}};  // 7, 25: outside
    const std::pair<int, int> set[] = {{6, 0}, {18, 0}, {23, 3}, {24, 0}};     // 6, 24: outside
    for (auto [x, y] : cleared) EXPECT_FALSE(s.Bit(x, y)) << x << "," << y;
    for (auto [x, y] : set) EXPECT_TRUE(s.Bit(x, y)) << x << "," << y;
  }
}

TEST(DrawImage, WhitensTurnsCropsAndFails) {
  TempDir dir;
  const std::string black = dir.Put("black.bmp", SolidBmp(kBlack));
  const std::string white = dir.Put("white.bmp", SolidBmp(kWhite));
  const std::string big = dir.Put("big.bmp", SolidBmp(kBlack, 40));
  // 20 × 10, red left, blue right: turned clockwise red is on top, anticlockwise blue.
  Bytes rows;
  for (int i = 0; i < 200; ++i)
    rows.insert(rows.end(), {uint8_t(i % 20 < 10 ? 0 : 255), 0, uint8_t(i % 20 < 10 ? 255 : 0)});
  const std::string halves = dir.Put("halves.bmp", MakeBmp(20, 10, 24, 0, {}, rows));
  const auto grey = [](uint8_t v) { return std::vector<std::pair<int, Rgb>>{{3, Rgb{v, v, v}}}; };
  struct Case {
    const char* name;
    std::string file;
    int side;  // of the surface and the destination
    int angle;
    LfRect crop;
    int whiten;
    HRESULT result;
    std::vector<std::pair<int, Rgb>> diagonal;  // (d, colour at (d, d))
    int bits = 24;
  } cases[] = {
      // clang-format off
      {"whiten 0", black, 8, 0, {}, 0, S_OK, grey(0)},
      {"whiten -5", black, 8, 0, {}, -5, S_OK, grey(0)},
      {"whiten 50", black, 8, 0, {}, 50, S_OK, grey(127)},
      {"whiten 50 white", white, 8, 0, {}, 50, S_OK, grey(255)},
      {"whiten 100", black, 8, 0, {}, 100, S_OK, grey(255)},
      {"whiten 200: the low 8 bits of 510", black, 8, 0, {}, 200, S_OK, grey(254)},
      {"whiten 200 white", white, 8, 0, {}, 200, S_OK, grey(255)},
      {"45 degrees leaves white corners", big, 100, 4500, {}, 0, S_OK,
       {{1, kWhite}, {22, kWhite}, {30, kBlack}, {50, kBlack}, {98, kWhite}}},
      {"crop after a quarter turn", halves, 10, 9000, {0, 0, 10, 10}, 0, S_OK, {{0, kRed}, {9, kRed}}},
      {"crop unturned", halves, 10, 0, {10, 0, 20, 10}, 0, S_OK, {{5, kBlue}}},
      {"crop after a turn back", halves, 10, -9000, {0, 0, 10, 10}, 0, S_OK, {{0, kBlue}, {9, kBlue}}},
      {"crop after a half turn", halves, 10, 18000, {0, 0, 10, 10}, 0, S_OK, {{0, kBlue}, {9, kBlue}}},
      {"crop after a full turn", halves, 10, 36000, {0, 0, 10, 10}, 0, S_OK, {{0, kRed}, {9, kRed}}},
      {"missing file", dir.File("missing.bmp"), 8, 0, {}, 0, E_FAIL, {{0, kUntouched}}},
      {"crop outside the image", black, 8, 0, {50, 50, 60, 60}, 0, E_FAIL, {{0, kUntouched}}},
      // A failed painting (a surface of an unsupported depth) is still success.
      {"painting fails", black, 8, 0, {}, 0, S_OK, {}, 16},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Surface s(c.side, c.side, 24);
    s.dc.bitsPerPixel = c.bits;
    const LfRect to{0, 0, c.side, c.side};
    ASSERT_EQ(ops::DrawImage(c.file.c_str(), &s.dc, to, c.angle, c.crop, c.whiten), c.result);
    for (const auto& [d, colour] : c.diagonal) EXPECT_EQ(s.At(d, d), colour) << d;
  }
  // Channels are whitened apart; nothing spills into the top byte.
  EXPECT_EQ(imaging::WhitenColor(0x0000FF, 50), 0x7F7FFFu);
  EXPECT_EQ(imaging::WhitenColor(0x102030, 0x7FFFFFFF) >> 24, 0u);
}

TEST(DrawImage, ScaledDecodingKeepsThePixelsOfTheFullDecode) {
  // A crop of the whole image makes DrawImage decode at full size, none as small as it may.
  const LfRect whole{0, 0, 100000, 100000};
  struct Case {
    int width, height, angle;
  } cases[] = {{640, 480, 0}, {320, 240, 0},  {80, 60, 0},    {100, 50, 0},
               {37, 23, 0},   {60, 80, 9000}, {90, 90, 4500}, {40, 30, -27000}};
  TempDir dir;
  const std::string file = dir.Put("gradient.jpg", MakeCameraJpeg({.width = 640, .height = 480}));
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " at " << c.angle);
    Surface scaled(c.width, c.height, 24), full(c.width, c.height, 24);
    const LfRect to{0, 0, c.width, c.height};
    ASSERT_EQ(ops::DrawImage(file.c_str(), &scaled.dc, to, c.angle, LfRect{}, 0), S_OK);
    ASSERT_EQ(ops::DrawImage(file.c_str(), &full.dc, to, c.angle, whole, 0), S_OK);
    // The blue sawtooth rings differently at each scale; halving steps round down.
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

}  // namespace
}  // namespace lf::test
