// SPDX-License-Identifier: MIT
// The toolkit's own operations on small bitmaps: pixel access, depth changes, packed DIB round
// trips, quarter turns that move pixels exactly, turns that leave white corners, resampling, and
// every allocation failing in turn without leaking (the sanitizer build checks the leaks).
#include <gtest/gtest.h>

#include <functional>

#include "imaging/toolkit.h"
#include "platform/errors.h"
#include "platform/faults.h"

namespace lf::imaging {
namespace {

using platform::Service;

constexpr uint32_t kWhite = 0xFFFFFF;

uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) { return r | (g << 8) | (uint32_t{b} << 16); }

// A 24-bit bitmap whose pixel (row, column) has the colour `color(row, column)`.
void Make(ToolkitBitmap* b, int w, int h, const std::function<uint32_t(int, int)>& color) {
  ASSERT_EQ(CreateBitmap(b, w, h, 24), kToolkitSuccess);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) SetPixelColor(b, y, x, color(y, x));
  }
}

// A distinct colour for every pixel of a small image.
uint32_t Distinct(int row, int column) { return Rgb(uint8_t(column * 40), uint8_t(row * 40), 7); }

TEST(ToolkitPixels, ColourRefPutsRedInTheLowByteAndOutsideReadsZero) {
  ScopedBitmap b;
  ASSERT_EQ(CreateBitmap(b.get(), 3, 2, 24), kToolkitSuccess);
  SetPixelColor(b.get(), 1, 2, Rgb(10, 20, 30));
  EXPECT_EQ(GetPixelColor(b.get(), 1, 2), Rgb(10, 20, 30));
  // Storage is B, G, R in DIB row order: the bottom row (1 of 2) comes first.
  const uint8_t* p = b->pixels + 6;
  EXPECT_EQ(p[0], 30);
  EXPECT_EQ(p[2], 10);
  EXPECT_EQ(GetPixelColor(b.get(), 2, 0), 0u);
  EXPECT_EQ(GetPixelColor(b.get(), 0, -1), 0u);
  SetPixelColor(b.get(), 5, 5, kWhite);  // ignored, no write outside
}

TEST(ToolkitDepth, PaletteToDirectAndQuantisedBack) {
  ScopedBitmap b;
  Make(b.get(), 4, 4, [](int y, int x) { return (x + y) % 2 ? Rgb(255, 0, 0) : Rgb(0, 0, 255); });
  ASSERT_EQ(ChangeBitsPerPixel(b.get(), b.get(), 8), kToolkitSuccess);
  EXPECT_EQ(b->bitsPerPixel, 8);
  ASSERT_NE(b->palette, nullptr);
  // An image of at most 256 colours keeps them exactly.
  EXPECT_EQ(GetPixelColor(b.get(), 0, 1), Rgb(255, 0, 0));
  EXPECT_EQ(GetPixelColor(b.get(), 0, 0), Rgb(0, 0, 255));
  ASSERT_EQ(ChangeBitsPerPixel(b.get(), b.get(), 32), kToolkitSuccess);
  EXPECT_EQ(b->bitsPerPixel, 32);
  EXPECT_EQ(b->palette, nullptr);
  EXPECT_EQ(GetPixelColor(b.get(), 3, 2), Rgb(255, 0, 0));
  EXPECT_EQ(ChangeBitsPerPixel(b.get(), b.get(), 16), kToolkitInvalidBits);
}

TEST(ToolkitPackedDib, ExportIsBottomUpWithoutColourTableAndAdoptsBack) {
  ScopedBitmap b;
  Make(b.get(), 3, 2, Distinct);
  LF_HGLOBAL dib = ExportPackedDib(b.get());
  ASSERT_NE(dib, nullptr);
  const auto* bytes = static_cast<const uint8_t*>(LfGlobalLock(dib));
  EXPECT_EQ(LfGlobalSize(dib), 40u + 2 * 12);  // stride 9 rounded to 12
  EXPECT_EQ(bytes[14], 24);
  // The first stored row is the bottom one; its padding is zero.
  EXPECT_EQ(bytes[40 + 0], 7);   // blue of (row 1, column 0)
  EXPECT_EQ(bytes[40 + 1], 40);  // green = row × 40
  EXPECT_EQ(bytes[40 + 2], 0);   // red = column × 40
  EXPECT_EQ(bytes[40 + 9], 0);
  LfGlobalUnlock(dib);
  ScopedBitmap back;
  ASSERT_EQ(AdoptPackedDib(back.get(), dib), kToolkitSuccess);  // takes the block
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(GetPixelColor(back.get(), y, x), Distinct(y, x));
  }
}

TEST(ToolkitGeometry, QuarterTurnsMovePixelsExactly) {
  ScopedBitmap b;
  Make(b.get(), 3, 2, Distinct);
  ASSERT_EQ(Rotate(b.get(), 9000, kWhite), kToolkitSuccess);
  ASSERT_EQ(b->width, 2);
  ASSERT_EQ(b->height, 3);
  // Clockwise: the old bottom-left corner is the new top-left one.
  EXPECT_EQ(GetPixelColor(b.get(), 0, 0), Distinct(1, 0));
  EXPECT_EQ(GetPixelColor(b.get(), 0, 1), Distinct(0, 0));
  EXPECT_EQ(GetPixelColor(b.get(), 2, 0), Distinct(1, 2));
  ASSERT_EQ(Rotate(b.get(), -9000, kWhite), kToolkitSuccess);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(GetPixelColor(b.get(), y, x), Distinct(y, x));
  }
  ASSERT_EQ(Rotate(b.get(), 18000, kWhite), kToolkitSuccess);
  EXPECT_EQ(GetPixelColor(b.get(), 0, 0), Distinct(1, 2));
  ASSERT_EQ(Rotate(b.get(), 36000, kWhite), kToolkitSuccess);  // a full turn changes nothing
  EXPECT_EQ(GetPixelColor(b.get(), 0, 0), Distinct(1, 2));
}

TEST(ToolkitGeometry, ResizeAveragesWhenShrinkingAndKeepsFlatColour) {
  ScopedBitmap b;
  // Columns alternate black and white: a quarter-size image is mid grey everywhere.
  Make(b.get(), 64, 64, [](int, int x) { return x % 2 ? kWhite : 0u; });
  ASSERT_EQ(Resize(b.get(), 16, 16), kToolkitSuccess);
  for (int y = 0; y < 16; y += 5) {
    const uint32_t c = GetPixelColor(b.get(), y, 7);
    EXPECT_NEAR(int(c & 0xFF), 128, 3);
  }
  ScopedBitmap flat;
  Make(flat.get(), 5, 3, [](int, int) { return Rgb(200, 100, 50); });
  ASSERT_EQ(Resize(flat.get(), 13, 11), kToolkitSuccess);
  EXPECT_EQ(GetPixelColor(flat.get(), 0, 0), Rgb(200, 100, 50));
  EXPECT_EQ(GetPixelColor(flat.get(), 10, 12), Rgb(200, 100, 50));
  EXPECT_EQ(Resize(flat.get(), 0, 5), kToolkitInvalidArgument);
}

TEST(ToolkitGeometry, CropClipsToTheImageAndRefusesAnEmptyResult) {
  ScopedBitmap b;
  Make(b.get(), 4, 3, Distinct);
  ASSERT_EQ(Crop(b.get(), 2, 1, 10, 10), kToolkitSuccess);
  EXPECT_EQ(b->width, 2);
  EXPECT_EQ(b->height, 2);
  EXPECT_EQ(GetPixelColor(b.get(), 0, 0), Distinct(1, 2));
  EXPECT_EQ(Crop(b.get(), 5, 0, 2, 2), kToolkitInvalidArgument);
  EXPECT_EQ(b->width, 2);  // unchanged after a refusal
}

TEST(ToolkitGeometry, ThumbnailCanvasPrepareAllocatePasteFill) {
  ScopedBitmap source;
  Make(source.get(), 8, 4, [](int, int) { return Rgb(255, 0, 0); });
  ScopedBitmap scaled;
  ASSERT_EQ(PrepareBitmap(scaled.get(), 4, 2, 24), kToolkitSuccess);
  ASSERT_EQ(AllocatePixels(scaled.get()), kToolkitSuccess);
  ASSERT_EQ(ResizeInto(source.get(), scaled.get()), kToolkitSuccess);
  ScopedBitmap canvas;
  ASSERT_EQ(CreateBitmap(canvas.get(), 8, 6, 24), kToolkitSuccess);
  ASSERT_EQ(Fill(canvas.get(), 0), kToolkitSuccess);
  ASSERT_EQ(Paste(canvas.get(), 2, 2, 4, 2, scaled.get()), kToolkitSuccess);
  EXPECT_EQ(GetPixelColor(canvas.get(), 1, 1), 0u);
  EXPECT_EQ(GetPixelColor(canvas.get(), 2, 2), Rgb(255, 0, 0));
  EXPECT_EQ(GetPixelColor(canvas.get(), 3, 5), Rgb(255, 0, 0));
  EXPECT_EQ(GetPixelColor(canvas.get(), 4, 5), 0u);
  EXPECT_EQ(GetPixelColor(canvas.get(), 3, 6), 0u);
}

// Every allocation an operation makes is failed in turn: the operation must report a failure,
// and (checked by the leak sanitizer) free whatever it had made before.
TEST(ToolkitFailures, EveryAllocationFailureIsReportedAndLeaksNothing) {
  const std::vector<std::pair<const char*, std::function<int(ToolkitBitmap*)>>> operations = {
      {"rotate", [](ToolkitBitmap* b) { return Rotate(b, 3000, kWhite); }},
      {"resize", [](ToolkitBitmap* b) { return Resize(b, 7, 3); }},
      {"shrink", [](ToolkitBitmap* b) { return Resize(b, 2, 2); }},
      {"crop", [](ToolkitBitmap* b) { return Crop(b, 1, 1, 3, 3); }},
      {"to 8 bits", [](ToolkitBitmap* b) { return ChangeBitsPerPixel(b, b, 8); }},
      {"copy", [](ToolkitBitmap* b) {
         ToolkitBitmap copy;
         const int r = CopyBitmap(&copy, b);
         FreeBitmap(&copy);
         return r;
       }},
      {"export", [](ToolkitBitmap* b) {
         LF_HGLOBAL h = ExportPackedDib(b);
         if (!h) return int(kToolkitNoMemory);
         ToolkitBitmap back;
         const int r = AdoptPackedDib(&back, h);
         FreeBitmap(&back);
         return r;
       }},
  };
  for (const auto& [name, op] : operations) {
    for (uint32_t nth = 1;; ++nth) {
      ScopedBitmap b;
      Make(b.get(), 9, 8, Distinct);
      platform::ClearFaults();
      platform::InjectFault(Service::Allocate, nth, platform::kErrorNotEnoughMemory);
      const int r = op(b.get());
      const bool reached = platform::CallCount(Service::Allocate) >= nth;
      platform::ClearFaults();
      if (!reached) {
        EXPECT_EQ(r, kToolkitSuccess) << name;
        break;
      }
      EXPECT_LT(r, 0) << name << " with allocation " << nth << " failing";
      // The bitmap is still whole after a failed operation.
      EXPECT_TRUE(b->pixels != nullptr && b->width > 0) << name;
    }
  }
}

}  // namespace
}  // namespace lf::imaging
