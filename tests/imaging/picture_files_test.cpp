// SPDX-License-Identifier: MIT
// The picture files of the EXIF writers: the 160 × 120 thumbnail (fitted, centred, letter-boxed)
// and the main image, as JPEG and TIFF, and what each reports when it cannot be made.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "exif/model/exif_reader.h"
#include "imaging/jpeg_writer.h"
#include "imaging/picture_files.h"
#include "imaging/toolkit.h"
#include "platform/file.h"
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

bool IsWhite(uint32_t c) { return (c & 0xFF) > 200 && ((c >> 8) & 0xFF) > 200 && ((c >> 16) & 0xFF) > 200; }
bool IsBlack(uint32_t c) { return (c & 0xFF) < 40 && ((c >> 8) & 0xFF) < 40 && ((c >> 16) & 0xFF) < 40; }

struct FitCase {
  int32_t width, height;
  ThumbnailPlacement expected;
};

class ThumbnailFileTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(ThumbnailFileTest, PictureIsFittedAndCentredOnTheCanvas) {
  const FitCase c = GetParam();
  const ThumbnailPlacement p = PlaceThumbnail(c.width, c.height);
  EXPECT_EQ(p.width, c.expected.width);
  EXPECT_EQ(p.height, c.expected.height);
  EXPECT_EQ(p.left, c.expected.left);
  EXPECT_EQ(p.top, c.expected.top);

  test::TempDir dir;
  const platform::GlobalBlock white = SolidImage(c.width, c.height, 0xFFFFFF);
  ASSERT_TRUE(white);
  for (uint32_t format : {LF_ENC_TIFF, LF_ENC_JPEG, LF_ENC_JPEG_MODE2}) {
    SCOPED_TRACE(format);
    const std::string path = dir.File("thumb" + std::to_string(format));
    ASSERT_EQ(MakeThumbnailFile(path.c_str(), format, white.get(), 90), S_OK);
    ScopedBitmap read;
    ASSERT_EQ(LoadFile(path.c_str(), read.get(), 24, nullptr), kToolkitSuccess);
    EXPECT_EQ(read->width, kThumbnailWidth);
    EXPECT_EQ(read->height, kThumbnailHeight);
    // The picture's centre is white; the canvas around it stays black. A JPEG is checked away
    // from the edges, where its blocks blur them.
    const int32_t margin = format == LF_ENC_TIFF ? 0 : 8;
    EXPECT_TRUE(IsWhite(GetPixelColor(read.get(), p.top + p.height / 2, p.left + p.width / 2)));
    if (p.left > margin) {
      EXPECT_TRUE(IsBlack(GetPixelColor(read.get(), 60, p.left - 1 - margin)));
      EXPECT_TRUE(IsBlack(GetPixelColor(read.get(), 60, p.left + p.width + margin)));
    }
    if (p.top > margin) {
      EXPECT_TRUE(IsBlack(GetPixelColor(read.get(), p.top - 1 - margin, 80)));
      EXPECT_TRUE(IsBlack(GetPixelColor(read.get(), p.top + p.height + margin, 80)));
    }
    if (format == LF_ENC_TIFF) {
      // Lossless: every canvas pixel is exactly inside or outside the picture.
      for (int32_t row = 0; row < kThumbnailHeight; ++row) {
        for (int32_t col = 0; col < kThumbnailWidth; ++col) {
          const bool inside = row >= p.top && row < p.top + p.height && col >= p.left && col < p.left + p.width;
          ASSERT_EQ(GetPixelColor(read.get(), row, col), inside ? 0xFFFFFFu : 0u) << row << "," << col;
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, ThumbnailFileTest,
                         ::testing::Values(FitCase{640, 480, {160, 120, 0, 0}},  // 4:3, no borders
                                           FitCase{
                                               480, 640, {90, 120, 35, 0}},     // portrait, centred
                                           FitCase{1000, 10, {160, 1, 0, 59}},  // a line
                                           FitCase{10, 1000, {1, 120, 79, 0}},  // a column
                                           FitCase{80, 60, {160, 120, 0, 0}},   // enlarged
                                           FitCase{3264, 2448, {160, 120, 0, 0}},  // block-averaged
                                           FitCase{4000, 20, {160, 1, 0, 59}}),  // 25 × 20 blocks
                         [](const auto& info) {
                           return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

TEST(PictureFilesTest, MainImageIsSavedAsAJpegForExifOrATiff) {
  test::TempDir dir;
  const platform::GlobalBlock image = SolidImage(300, 200, 0x3366CC);
  ASSERT_TRUE(image);
  const std::string jpeg = dir.File("main.jpg"), tiff = dir.File("main.tif");
  ASSERT_EQ(SaveMainImage(jpeg.c_str(), LF_ENC_JPEG_MODE1, image.get(), 80), S_OK);
  const test::Bytes bytes = test::ReadFile(jpeg);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);
  // No JFIF segment: an APP1 "Exif" segment goes directly after SOI.
  EXPECT_NE(bytes[3], 0xE0);
  exif::ExifReader reader(jpeg.c_str(), false);
  EXPECT_TRUE(reader.IsJpegImage());
  EXPECT_EQ(reader.sofWidth(), 300);
  EXPECT_EQ(reader.sofHeight(), 200);
  // JPEG is tested first: a TIFF bit alongside changes nothing.
  ASSERT_EQ(SaveMainImage(jpeg.c_str(), LF_ENC_JPEG | LF_ENC_TIFF, image.get(), 80), S_OK);
  EXPECT_EQ(test::ReadFile(jpeg)[1], 0xD8);

  ASSERT_EQ(SaveMainImage(tiff.c_str(), LF_ENC_TIFF, image.get(), 80), S_OK);
  ScopedBitmap read;
  ASSERT_EQ(LoadFile(tiff.c_str(), read.get(), 24, nullptr), kToolkitSuccess);
  EXPECT_EQ(read->width, 300);
  EXPECT_EQ(read->height, 200);
  EXPECT_EQ(GetPixelColor(read.get(), 100, 150), 0x3366CCu);
}

TEST(PictureFilesTest, FailuresReportTheirCodesAndLeaveNoFile) {
  test::TempDir dir;
  const platform::GlobalBlock image = SolidImage(64, 48, 0xFFFFFF);
  const std::string path = dir.File("p.jpg");
  // Neither JPEG nor TIFF.
  EXPECT_EQ(SaveMainImage(path.c_str(), LF_ENC_BMP | LF_ENC_PNG, image.get(), 80), E_FAIL);
  EXPECT_EQ(MakeThumbnailFile(path.c_str(), LF_ENC_BMP, image.get(), 80), E_INVALIDARG);
  EXPECT_EQ(MakeThumbnailFile(path.c_str(), LF_ENC_JPEG, nullptr, 80), E_INVALIDARG);
  EXPECT_EQ(MakeThumbnailFile(nullptr, LF_ENC_JPEG, image.get(), 80), E_INVALIDARG);
  // A block that is no packed DIB.
  platform::GlobalBlock junk(platform::GlobalAlloc(16));
  EXPECT_EQ(MakeThumbnailFile(path.c_str(), LF_ENC_JPEG, junk.get(), 80), E_FAIL);
  EXPECT_EQ(SaveMainImage(path.c_str(), LF_ENC_TIFF, junk.get(), 80), E_FAIL);
  // A 24-bit header whose rows (here one row short, or of a width whose rows cannot be counted)
  // are not all in the block: nothing past its end is read.
  for (uint32_t width : {64u, 0x7FFFFFFFu}) {
    const size_t kept = 40 + 192 * 47;  // the header and 47 of the 48 rows
    platform::GlobalBlock cut(platform::GlobalAlloc(kept));
    {
      platform::GlobalLockGuard from(image.get()), to(cut.get());
      std::memcpy(to.data(), from.data(), kept);
      exif::MutableByteView(static_cast<uint8_t*>(to.data()), 40).WriteU32(4, width);
    }
    EXPECT_EQ(MakeThumbnailFile(path.c_str(), LF_ENC_JPEG, cut.get(), 80), E_FAIL) << width;
  }
  EXPECT_TRUE(dir.List().empty());

  // A directory that does not exist: the JPEG writer's own code, or the toolkit's as an HRESULT.
  const std::string missing = dir.File("none/p.jpg");
  EXPECT_EQ(SaveMainImage(missing.c_str(), LF_ENC_JPEG, image.get(), 80), kJpegWriteFailed);
  EXPECT_EQ(MakeThumbnailFile(missing.c_str(), LF_ENC_JPEG, image.get(), 80), kJpegWriteFailed);
  EXPECT_EQ(SaveMainImage(missing.c_str(), LF_ENC_TIFF, image.get(), 80), HRESULT_FROM_TOOLKIT(kToolkitFileWrite));
  EXPECT_EQ(MakeThumbnailFile(missing.c_str(), LF_ENC_TIFF, image.get(), 80), HRESULT_FROM_TOOLKIT(kToolkitFileWrite));
  EXPECT_TRUE(dir.List().empty());
}

TEST(PictureFilesTest, LowerQualityMakesASmallerThumbnail) {
  // The quality loop of the EXIF writers relies on it: a noisy picture, as photos are.
  test::TempDir dir;
  const test::Bytes noise = test::EncodeNoiseJpeg(320, 240, 95, 7);
  ScopedBitmap b;
  ASSERT_EQ(LoadMemory(noise.data(), noise.size(), b.get(), 24), kToolkitSuccess);
  const platform::GlobalBlock image(ExportPackedDib(b.get()));
  ASSERT_TRUE(image);
  uint64_t previous = UINT64_MAX;
  for (int32_t quality : {100, 75, 50, 25, 5}) {
    const std::string path = dir.File("q" + std::to_string(quality) + ".jpg");
    ASSERT_EQ(MakeThumbnailFile(path.c_str(), LF_ENC_JPEG, image.get(), quality), S_OK);
    const uint64_t size = test::ReadFile(path).size();
    EXPECT_LT(size, previous) << "quality " << quality;
    previous = size;
  }
}

}  // namespace
}  // namespace lf::imaging
