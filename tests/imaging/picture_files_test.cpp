// SPDX-License-Identifier: MIT
// The EXIF writers' thumbnail: fitted and centred on a black 160 x 120 canvas.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "imaging/picture_files.h"
#include "imaging/toolkit.h"
#include "platform/memory.h"
#include "tests/support/fixture_builder.h"

namespace lf::imaging {
namespace {

// A host image: a packed DIB of one colour (0x00BBGGRR), as the host hands it over.
platform::GlobalBlock SolidImage(int32_t width, int32_t height, uint32_t color) {
  ScopedBitmap b;
  if (CreateBitmap(b.get(), width, height, 24) != kToolkitSuccess) return {};
  if (Fill(b.get(), color) != kToolkitSuccess) return {};
  return platform::GlobalBlock(ExportPackedDib(b.get()));
}

bool IsWhite(uint32_t c) {
  return (c & 0xFF) > 200 && (c >> 8 & 0xFF) > 200 && (c >> 16 & 0xFF) > 200;
}
bool IsBlack(uint32_t c) {
  return (c & 0xFF) < 40 && (c >> 8 & 0xFF) < 40 && (c >> 16 & 0xFF) < 40;
}

TEST(PictureFiles, ThumbnailIsFittedAndCentredOnABlackCanvas) {
  const struct {
    int32_t width, height;
    ThumbnailPlacement expected;
  } cases[] = {
      {640, 480, {160, 120, 0, 0}}, {480, 640, {90, 120, 35, 0}},    // 4:3 and portrait
      {1000, 10, {160, 1, 0, 59}},  {10, 1000, {1, 120, 79, 0}},     // a line and a column
      {80, 60, {160, 120, 0, 0}},   {3264, 2448, {160, 120, 0, 0}},  // enlarged, block-averaged
      {4000, 20, {160, 1, 0, 59}},                                   // 25 × 20 blocks
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height);
    const ThumbnailPlacement p = PlaceThumbnail(c.width, c.height);
    EXPECT_EQ(std::tie(p.width, p.height, p.left, p.top),
              std::tie(c.expected.width, c.expected.height, c.expected.left, c.expected.top));
    const platform::GlobalBlock white = SolidImage(c.width, c.height, 0xFFFFFF);
    ASSERT_TRUE(white);
    for (uint32_t format : {LF_ENC_TIFF, LF_ENC_JPEG}) {
      const std::string path = dir.File("thumb" + std::to_string(format));
      ASSERT_EQ(MakeThumbnailFile(path.c_str(), format, white.get(), 90), S_OK);
      ScopedBitmap read;
      ASSERT_EQ(LoadFile(path.c_str(), read.get(), 24, nullptr), kToolkitSuccess);
      EXPECT_EQ(read->width, kThumbnailWidth);
      EXPECT_EQ(read->height, kThumbnailHeight);
      if (format == LF_ENC_TIFF) {
        // Lossless: every canvas pixel is exactly inside (white) or outside (black) the picture.
        for (int32_t row = 0; row < kThumbnailHeight; ++row) {
          for (int32_t col = 0; col < kThumbnailWidth; ++col) {
            const bool inside =
                row >= p.top && row < p.top + p.height && col >= p.left && col < p.left + p.width;
            ASSERT_EQ(GetPixelColor(read.get(), row, col), inside ? 0xFFFFFFu : 0u)
                << row << "," << col;
          }
        }
        continue;
      }
      // A JPEG is checked away from the edges, where its blocks blur them.
      EXPECT_TRUE(IsWhite(GetPixelColor(read.get(), p.top + p.height / 2, p.left + p.width / 2)));
      if (p.left > 8) {
        EXPECT_TRUE(IsBlack(GetPixelColor(read.get(), 60, p.left - 9)));
        EXPECT_TRUE(IsBlack(GetPixelColor(read.get(), 60, p.left + p.width + 8)));
      }
      if (p.top > 8) {
        EXPECT_TRUE(IsBlack(GetPixelColor(read.get(), p.top - 9, 80)));
        EXPECT_TRUE(IsBlack(GetPixelColor(read.get(), p.top + p.height + 8, 80)));
      }
    }
  }
}

}  // namespace
}  // namespace lf::imaging
