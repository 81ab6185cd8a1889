// SPDX-License-Identifier: MIT
// Encode: every format read back by our decoder and ExifTool, the flag rules, first-open codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/jpeg_writer.h"
#include "imaging/toolkit.h"
#include "platform/errors.h"
#include "platform/faults.h"
#include "plugin/operations.h"
#include "tests/imaging/image_files.h"
#include "tests/support/exiftool_dump.h"
#include "tests/support/host_module.h"
#include "tests/support/scratch_tmpdir.h"

namespace lf::test {
namespace {

using platform::Service;
using Dib = OwnedDib;

constexpr int kWidth = 61;  // rows need padding
constexpr int kHeight = 37;

// Blocks of at most 256 colours, every channel a multiple of 8 and all three different, so a
// channel swap shows and a palette format can hold the image exactly.
Rgb Blocks(int x, int y) {
  return {static_cast<uint8_t>((x / 4 % 8) * 32), static_cast<uint8_t>((y / 4 % 8) * 32 + 8),
          static_cast<uint8_t>(((x + y) / 8 % 4) * 64 + 24)};
}
// A smooth picture for the lossy formats.
Rgb Smooth(int x, int y) {
  return {static_cast<uint8_t>(x * 255 / kWidth), static_cast<uint8_t>(y * 255 / kHeight), 96};
}

// The first value ExifTool gives for a tag in any group ("File:ImageWidth", "PNG:ImageWidth"...).
std::string AnyGroup(const ExifToolTags& tags, const std::string& name) {
  for (const auto& [key, value] : tags) {
    if (key.size() > name.size() && key.ends_with(":" + name)) return value;
  }
  return "";
}

TEST(Encode, EveryFormatRoundTripsThroughTheExports) {
  const struct {
    uint32_t flags;
    const char* extension;
    const char* fileType;     // ExifTool's FileType
    bool lossy;               // compared with a tolerance on the smooth picture
    const char* subsampling;  // ExifTool's YCbCrSubSampling for JPEG
  } cases[] = {
      {LF_ENC_JPEG, "jpg", "JPEG", true, "2 2"},
      {LF_ENC_JPEG_MODE1, "jpg", "JPEG", true, "2 1"},
      {LF_ENC_JPEG_MODE2, "jpg", "JPEG", true, "1 1"},
      {LF_ENC_BMP, "bmp", "BMP", false, nullptr},
      {LF_ENC_PNG, "png", "PNG", false, nullptr},
      {LF_ENC_TIFF, "tif", "TIFF", false, nullptr},
      {LF_ENC_GIF, "gif", "GIF", false, nullptr},  // at most 256 colours are kept exactly
  };
  const HostModule& m = HostModule::Get();
  TempDir dir;
  std::vector<std::string> written;
  for (const auto& c : cases) {
    const auto colour = c.lossy ? Smooth : Blocks;
    for (const int height : {kHeight, -kHeight}) {  // bottom-up and top-down blocks
      SCOPED_TRACE(::testing::Message() << std::hex << c.flags << std::dec << " " << height);
      const std::string path = dir.File(std::to_string(written.size()) + "." + c.extension);
      Dib image(MakeDib24(kWidth, height, colour));
      const Bytes before = image.bytes();
      ASSERT_EQ(m.Encode(image.block, path.c_str(), c.flags, 95, nullptr), LF_S_OK);
      EXPECT_EQ(image.bytes(), before);  // the host's block is only read
      written.push_back(path);
      Dib decoded(m.Decode(path.c_str(), LF_DECODE_MAIN_IMAGE));
      ASSERT_NE(decoded.block, nullptr);
      ASSERT_EQ(decoded.width(), kWidth);
      ASSERT_EQ(decoded.height(), kHeight);
      const Bytes out = decoded.bytes();
      const size_t stride = ((size_t(kWidth) * 24 + 31) / 32) * 4;
      double error = 0;
      for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
          const uint8_t* p = out.data() + 40 + stride * size_t(kHeight - 1 - y) + x * 3;
          const Rgb a = colour(x, y), b{p[2], p[1], p[0]};
          if (!c.lossy) {
            ASSERT_EQ(a, b) << x << "," << y;
          }
          error += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
        }
      }
      EXPECT_LT(error / (kWidth * kHeight * 3), 3.0);
    }
  }
  // An independent reader sees the format and size asked for.
  if (!ExifToolAvailable()) GTEST_SKIP() << "exiftool missing";
  const ExifToolDump dump = RunExifTool(written);
  for (size_t i = 0; i < written.size(); ++i) {
    const auto& c = cases[i / 2];
    ASSERT_TRUE(dump.count(written[i])) << written[i];
    const ExifToolTags& tags = dump.at(written[i]);
    EXPECT_EQ(AnyGroup(tags, "FileType"), c.fileType) << written[i];
    EXPECT_EQ(AnyGroup(tags, "ImageWidth"), std::to_string(kWidth)) << written[i];
    EXPECT_EQ(AnyGroup(tags, "ImageHeight"), std::to_string(kHeight)) << written[i];
    if (c.subsampling) {
      EXPECT_EQ(AnyGroup(tags, "YCbCrSubSampling"), c.subsampling) << written[i];
    }
  }
}

// The format of a file by its first bytes; "old" for the placeholder every target starts as.
std::string FormatOf(const Bytes& b) {
  const std::string head(b.begin(), b.begin() + std::min<size_t>(b.size(), 4));
  for (const auto& [magic, name] : {std::pair<std::string, const char*>{"\xFF\xD8\xFF", "JPEG"},
                                    {"\x89PNG", "PNG"},
                                    {"BM", "BMP"},
                                    {"GIF8", "GIF"},
                                    {std::string("II*\0", 4), "TIFF"},
                                    {std::string("MM\0*", 4), "TIFF"}}) {
    if (head.starts_with(magic)) return name;
  }
  return std::string(b.begin(), b.end());
}

constexpr LF_RESULT kNoFormat = static_cast<LF_RESULT>(0x82000000u);

TEST(Encode, FlagsPickTheFormatOrRefuse) {
  const struct {
    uint32_t flags;
    const char* target;
    LF_RESULT expected;
    const char* format;  // what the target holds afterwards
  } cases[] = {
      {LF_ENC_BY_EXTENSION, "a.png", LF_S_OK, "PNG"},
      {LF_ENC_BY_EXTENSION, "a.GIF", LF_S_OK, "GIF"},
      {LF_ENC_BY_EXTENSION, "a.txt", kNoFormat, "old"},
      {LF_ENC_RECORD_GIVEN, "a.jpg", kNoFormat, "old"},
      // Formats are written in a fixed order into one file; the last one stays.
      {LF_ENC_BMP | LF_ENC_PNG, "a.bmp", LF_S_OK, "PNG"},
      {LF_ENC_JPEG | LF_ENC_BMP, "a.bmp", LF_S_OK, "JPEG"},
      {LF_ENC_TIFF | LF_ENC_PNG, "a.tif", LF_S_OK, "PNG"},
      {LF_ENC_GIF | LF_ENC_JPEG_MODE1, "a.gif", LF_S_OK, "JPEG"},
      // The record path needs a record; without one a JPEG target is refused, others ignore it.
      {LF_ENC_WITH_EXIF | LF_ENC_RECORD_GIVEN | LF_ENC_JPEG, "a.jpg", LF_E_FAIL, "old"},
      {LF_ENC_WITH_EXIF | LF_ENC_RECORD_GIVEN | LF_ENC_PNG, "a.png", LF_S_OK, "PNG"},
      {LF_ENC_BY_EXTENSION | LF_ENC_RECORD_GIVEN, "a.jpeg", LF_S_OK, "JPEG"},
  };
  const HostModule& m = HostModule::Get();
  Dib image(MakeDib24(kWidth, kHeight, Blocks));
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.flags << " " << c.target);
    TempDir dir;  // outside the scratch $TMPDIR
    const ScratchTmpdir tmp;
    const std::string target = dir.Put(c.target, Bytes{'o', 'l', 'd'});
    EXPECT_EQ(m.Encode(image.block, target.c_str(), c.flags, 90, nullptr), c.expected);
    EXPECT_EQ(FormatOf(ReadFile(target)), c.format);
    EXPECT_TRUE(tmp.dir().List().empty()) << ::testing::PrintToString(tmp.dir().List());
    EXPECT_EQ(dir.List().size(), 1u);
  }
}

// A DIB whose header says `width` × `height` at `bits`, in a block of `size` bytes.
LF_HGLOBAL LyingDib(int32_t width, int32_t height, uint16_t bits, size_t size) {
  LF_HGLOBAL block = LfGlobalAlloc(size);
  const Bytes header = DibHeader(width, height, bits);
  std::memcpy(LfGlobalLock(block), header.data(), std::min(size, header.size()));
  LfGlobalUnlock(block);
  return block;
}

TEST(Encode, BlocksTheToolkitCannotTakeLeaveTheTargetAlone) {
  const HostModule& m = HostModule::Get();
  TempDir dir;  // outside the scratch $TMPDIR
  const ScratchTmpdir tmp;
  const std::string target = dir.Put("a.png", Bytes{'o', 'l', 'd'});
  // Rows missing, no pixels at all, a header cut short.
  for (LF_HGLOBAL bad :
       {LyingDib(4000, 3000, 24, 4096), LyingDib(0, 0, 24, 40), LyingDib(8, 8, 24, 20)}) {
    Dib owned(bad);
    for (const uint32_t flags : {LF_ENC_PNG, LF_ENC_JPEG}) {
      EXPECT_LT(m.Encode(owned.block, target.c_str(), flags, 90, nullptr), 0) << flags;
    }
  }
  EXPECT_EQ(ReadFile(target), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(dir.List(), std::vector<std::string>{"a.png"});
  EXPECT_TRUE(tmp.dir().List().empty()) << ::testing::PrintToString(tmp.dir().List());
}

// A failed first open (the toolkit's or the JPEG writer's output) gives that writer's own code.
TEST(Encode, AFailedFirstOpenGivesTheWritersCode) {
  const HRESULT toolkit = HRESULT_FROM_TOOLKIT(imaging::kToolkitFileWrite);
  const struct {
    uint32_t flags;
    const char* target;
    bool existing;
    HRESULT expected;
  } cases[] = {{LF_ENC_PNG, "new.png", false, toolkit},
               {LF_ENC_JPEG, "old.jpg", true, imaging::kJpegWriteFailed},
               {LF_ENC_GIF, "old.gif", true, toolkit}};
  Dib image(MakeDib24(kWidth, kHeight, Blocks));
  for (const auto& c : cases) {
    TempDir dir;  // outside the scratch $TMPDIR
    const ScratchTmpdir tmp;
    const std::string target = dir.File(c.target);
    if (c.existing) WriteFile(target, {'o', 'l', 'd'});
    platform::InjectFault(Service::Open, 1, platform::kErrorDiskFull);
    const HRESULT r = ops::Encode(image.block, target.c_str(), c.flags, 90, nullptr);
    platform::ClearFaults();
    EXPECT_EQ(r, c.expected) << c.target;
  }
}

}  // namespace
}  // namespace lf::test
