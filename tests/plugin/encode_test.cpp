// SPDX-License-Identifier: MIT
// Encode: every output format read back by our decoder and by ExifTool, the flag rules (extension,
// later format wins, the EXIF paths), the result codes, and every failed step leaving the target
// as it was with nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imaging/jpeg_writer.h"
#include "imaging/toolkit.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "plugin/operations.h"
#include "tests/imaging/image_files.h"
#include "tests/support/exiftool_dump.h"
#include "tests/support/fault_steps.h"
#include "tests/support/host_module.h"
#include "tests/support/scratch_tmpdir.h"

namespace lf::test {
namespace {

using platform::Service;

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

// Owns a host block.
struct Dib {
  explicit Dib(LF_HGLOBAL h) : block(h) {}
  ~Dib() { LfGlobalFree(block); }
  Dib(const Dib&) = delete;
  Dib& operator=(const Dib&) = delete;
  Bytes bytes() const {
    const auto* p = static_cast<const uint8_t*>(LfGlobalLock(block));
    Bytes b(p, p + LfGlobalSize(block));
    LfGlobalUnlock(block);
    return b;
  }
  LF_HGLOBAL block;
};

// The decoded pixel (x, y), top row 0, of a bottom-up 24-bit packed DIB.
Rgb PixelOf(const Bytes& dib, int x, int y) {
  int32_t w = 0, h = 0;
  std::memcpy(&w, dib.data() + 4, 4);
  std::memcpy(&h, dib.data() + 8, 4);
  const size_t stride = ((static_cast<size_t>(w) * 24 + 31) / 32) * 4;
  const uint8_t* p = dib.data() + 40 + stride * static_cast<size_t>(h - 1 - y) + x * 3;
  return {p[2], p[1], p[0]};
}

// The first value ExifTool gives for a tag in any group ("File:ImageWidth", "PNG:ImageWidth"...).
std::string AnyGroup(const ExifToolTags& tags, const std::string& name) {
  for (const auto& [key, value] : tags) {
    if (key.size() > name.size() && key.compare(key.size() - name.size() - 1, std::string::npos, ":" + name) == 0) {
      return value;
    }
  }
  return "";
}

struct FormatCase {
  const char* name;
  uint32_t flags;
  const char* extension;
  const char* fileType;     // ExifTool's FileType
  bool lossy;               // compared with a tolerance on the smooth picture
  const char* subsampling;  // ExifTool's YCbCrSubSampling for JPEG
};

class EncodeFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(EncodeFormatTest, RoundTripsThroughTheExports) {
  const FormatCase c = GetParam();
  const HostModule& m = HostModule::Get();
  ASSERT_TRUE(m.handle) << m.error;
  TempDir dir;
  std::vector<std::string> written;
  const auto colour = c.lossy ? Smooth : Blocks;
  for (const int height : {kHeight, -kHeight}) {  // bottom-up and top-down blocks
    SCOPED_TRACE(height);
    const std::string path = dir.File(std::string(height > 0 ? "up." : "down.") + c.extension);
    Dib image(MakeDib24(kWidth, height, colour));
    const Bytes before = image.bytes();
    ASSERT_EQ(m.Encode(image.block, path.c_str(), c.flags, 95, nullptr), LF_S_OK);
    EXPECT_EQ(image.bytes(), before);  // the host's block is only read
    Dib decoded(m.Decode(path.c_str(), LF_DECODE_MAIN_IMAGE));
    ASSERT_NE(decoded.block, nullptr);
    const Bytes out = decoded.bytes();
    int32_t w = 0, h = 0;
    std::memcpy(&w, out.data() + 4, 4);
    std::memcpy(&h, out.data() + 8, 4);
    ASSERT_EQ(w, kWidth);
    ASSERT_EQ(h, kHeight);
    double error = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const Rgb a = colour(x, y), b = PixelOf(out, x, y);
        if (!c.lossy) {
          ASSERT_EQ(a, b) << x << "," << y;
        }
        error += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
      }
    }
    EXPECT_LT(error / (kWidth * kHeight * 3), 3.0);
    written.push_back(path);
  }
  // An independent reader sees the format and size asked for.
  if (!ExifToolAvailable()) GTEST_SKIP() << "exiftool missing";
  const ExifToolDump dump = RunExifTool(written);
  for (const std::string& path : written) {
    ASSERT_TRUE(dump.count(path)) << path;
    const ExifToolTags& tags = dump.at(path);
    EXPECT_EQ(AnyGroup(tags, "FileType"), c.fileType);
    EXPECT_EQ(AnyGroup(tags, "ImageWidth"), std::to_string(kWidth));
    EXPECT_EQ(AnyGroup(tags, "ImageHeight"), std::to_string(kHeight));
    if (c.subsampling) {
      EXPECT_EQ(AnyGroup(tags, "YCbCrSubSampling"), c.subsampling);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, EncodeFormatTest,
    ::testing::Values(FormatCase{"Jpeg", LF_ENC_JPEG, "jpg", "JPEG", true, "2 2"},
                      FormatCase{"JpegMode1", LF_ENC_JPEG_MODE1, "jpg", "JPEG", true, "2 1"},
                      FormatCase{"JpegMode2", LF_ENC_JPEG_MODE2, "jpg", "JPEG", true, "1 1"},
                      FormatCase{"Bmp", LF_ENC_BMP, "bmp", "BMP", false, nullptr},
                      FormatCase{"Png", LF_ENC_PNG, "png", "PNG", false, nullptr},
                      FormatCase{"Tiff", LF_ENC_TIFF, "tif", "TIFF", false, nullptr},
                      // The quantiser keeps an image of at most 256 colours exactly.
                      FormatCase{"Gif", LF_ENC_GIF, "gif", "GIF", false, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Flags, extras and result codes

// The format of a file by its first bytes; "old" for the placeholder every target starts as.
std::string FormatOf(const Bytes& b) {
  auto starts = [&](const std::string& magic) {
    return b.size() >= magic.size() && std::memcmp(b.data(), magic.data(), magic.size()) == 0;
  };
  if (starts("\xFF\xD8\xFF")) return "JPEG";
  if (starts("\x89PNG")) return "PNG";
  if (starts("BM")) return "BMP";
  if (starts("GIF8")) return "GIF";
  if (starts(std::string("II*\0", 4)) || starts(std::string("MM\0*", 4))) return "TIFF";
  return std::string(b.begin(), b.end());
}

struct FlagCase {
  const char* name;
  uint32_t flags;
  const char* target;
  LF_RESULT expected;
  const char* format;  // what the target holds afterwards
};

class EncodeFlagTest : public ::testing::TestWithParam<FlagCase> {};

TEST_P(EncodeFlagTest, PicksTheFormatOrRefuses) {
  const FlagCase c = GetParam();
  const HostModule& m = HostModule::Get();
  ASSERT_TRUE(m.handle) << m.error;
  TempDir dir;  // outside the scratch $TMPDIR
  const ScratchTmpdir tmp;
  const std::string target = dir.Put(c.target, Bytes{'o', 'l', 'd'});
  Dib image(MakeDib24(kWidth, kHeight, Blocks));
  EXPECT_EQ(m.Encode(image.block, target.c_str(), c.flags, 90, nullptr), c.expected);
  EXPECT_EQ(FormatOf(ReadFile(target)), c.format);
  EXPECT_TRUE(tmp.dir().List().empty()) << ::testing::PrintToString(tmp.dir().List());
  EXPECT_EQ(dir.List().size(), 1u);
}

constexpr LF_RESULT kNoFormat = static_cast<LF_RESULT>(0x82000000u);

INSTANTIATE_TEST_SUITE_P(
    Flags, EncodeFlagTest,
    ::testing::Values(
        FlagCase{"ExtensionPng", LF_ENC_BY_EXTENSION, "a.png", LF_S_OK, "PNG"},
        FlagCase{"ExtensionGif", LF_ENC_BY_EXTENSION, "a.GIF", LF_S_OK, "GIF"},
        FlagCase{"ExtensionUnknown", LF_ENC_BY_EXTENSION, "a.txt", kNoFormat, "old"},
        FlagCase{"NoFormatBit", LF_ENC_RECORD_GIVEN, "a.jpg", kNoFormat, "old"},
        // Formats are written in a fixed order into one file; the last one stays.
        FlagCase{"PngAfterBmp", LF_ENC_BMP | LF_ENC_PNG, "a.bmp", LF_S_OK, "PNG"},
        FlagCase{"JpegAfterBmp", LF_ENC_JPEG | LF_ENC_BMP, "a.bmp", LF_S_OK, "JPEG"},
        FlagCase{"PngAfterTiff", LF_ENC_TIFF | LF_ENC_PNG, "a.tif", LF_S_OK, "PNG"},
        FlagCase{"Mode1AfterGif", LF_ENC_GIF | LF_ENC_JPEG_MODE1, "a.gif", LF_S_OK, "JPEG"},
        // The record path needs a record; without one a JPEG target is refused, others ignore it.
        FlagCase{"RecordMissingJpeg", LF_ENC_WITH_EXIF | LF_ENC_RECORD_GIVEN | LF_ENC_JPEG, "a.jpg",
                 LF_E_FAIL, "old"},
        FlagCase{"RecordMissingPng", LF_ENC_WITH_EXIF | LF_ENC_RECORD_GIVEN | LF_ENC_PNG, "a.png",
                 LF_S_OK, "PNG"},
        FlagCase{"ExtensionWithoutRecord", LF_ENC_BY_EXTENSION | LF_ENC_RECORD_GIVEN, "a.jpeg", LF_S_OK,
                 "JPEG"}),
    [](const auto& info) { return std::string(info.param.name); });

// A DIB whose header says `width` × `height` at `bits`, in a block of `size` bytes.
LF_HGLOBAL LyingDib(int32_t width, int32_t height, uint16_t bits, size_t size) {
  LF_HGLOBAL block = LfGlobalAlloc(size);
  const Bytes header = DibHeader(width, height, bits);
  std::memcpy(LfGlobalLock(block), header.data(), std::min(size, header.size()));
  LfGlobalUnlock(block);
  return block;
}

TEST(EncodeResultTest, ArgumentsImagesAndDestinations) {
  const HostModule& m = HostModule::Get();
  ASSERT_TRUE(m.handle) << m.error;
  TempDir dir;  // outside the scratch $TMPDIR
  const ScratchTmpdir tmp;
  const std::string target = dir.Put("a.png", Bytes{'o', 'l', 'd'});
  Dib image(MakeDib24(kWidth, kHeight, Blocks));
  EXPECT_EQ(m.Encode(nullptr, target.c_str(), LF_ENC_PNG, 90, nullptr), LF_E_INVALIDARG);
  EXPECT_EQ(m.Encode(image.block, "", LF_ENC_PNG, 90, nullptr), LF_E_INVALIDARG);
  EXPECT_EQ(m.Encode(image.block, nullptr, LF_ENC_PNG, 90, nullptr), LF_E_INVALIDARG);
  EXPECT_EQ(m.Encode(image.block, target.c_str(), 0, 90, nullptr), LF_E_INVALIDARG);
  // Blocks the toolkit cannot take: rows missing, no pixels at all, a header cut short.
  for (LF_HGLOBAL bad : {LyingDib(4000, 3000, 24, 4096), LyingDib(0, 0, 24, 40), LyingDib(8, 8, 24, 20)}) {
    Dib owned(bad);
    for (const uint32_t flags : {LF_ENC_PNG, LF_ENC_JPEG}) {
      EXPECT_LT(m.Encode(owned.block, target.c_str(), flags, 90, nullptr), 0) << flags;
    }
  }
  EXPECT_EQ(ReadFile(target), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(dir.List(), std::vector<std::string>{"a.png"});
  EXPECT_TRUE(tmp.dir().List().empty()) << ::testing::PrintToString(tmp.dir().List());
}

TEST(EncodeExifPathTest, RecordsAndParametersReachTheirWriters) {
  const HostModule& m = HostModule::Get();
  ASSERT_TRUE(m.handle) << m.error;
  TempDir dir;
  Dib image(MakeDib24(320, 240, Smooth));
  // A new file with a block built from parameters.
  char make[] = "Lumenframe";
  LfExifWriteParams params{};
  params.exifVersion = LF_EXIF_VERSION_0210;
  params.make.text = make;
  const std::string built = dir.File("built.jpg");
  ASSERT_EQ(m.Encode(image.block, built.c_str(), LF_ENC_NEW_EXIF_FILE | LF_ENC_JPEG, 90, &params), LF_S_OK);
  uint32_t isExif = 0;
  EXPECT_EQ(m.IsExifFile(built.c_str(), &isExif), LF_S_OK);
  EXPECT_EQ(isExif, 1u);

  // A JPEG whose block is made from the records of a camera file, chosen by the extension.
  for (const Order order : {Order::Little, Order::Big}) {
    const std::string camera = dir.Put("camera.jpg", MakeCameraJpeg({.order = order}));
    LfStillImageOutput records{};
    ASSERT_EQ(m.GetStillImageInfo(camera.c_str(), &records, LF_SEL_IFD0 | LF_SEL_EXIF | LF_SEL_GPS), LF_S_OK);
    ASSERT_EQ(records.list.count, 3u);
    const std::string out = dir.File("records.jpg");
    const LF_RESULT r = m.Encode(image.block, out.c_str(), LF_ENC_BY_EXTENSION | LF_ENC_RECORD_GIVEN, 90,
                                 &records.list);
    LfStillImageOutputFree(&records);
    if (r == LF_E_NOTIMPL) GTEST_SKIP() << "the record writer is not built yet";
    ASSERT_EQ(r, LF_S_OK);
    EXPECT_EQ(m.IsExifFile(out.c_str(), &isExif), LF_S_OK);
    EXPECT_EQ(isExif, 1u);
    if (!ExifToolAvailable()) continue;
    ExifToolTags tags = RunExifTool({out})[out];
    EXPECT_EQ(tags["IFD0:Make"], "Kestrelon");
    EXPECT_EQ(tags["ExifIFD:DateTimeOriginal"], "2021:07:14 09:26:53");
  }
}

// ---- Every failed step leaves the target as it was, and nothing behind

struct FaultCase {
  const char* name;
  uint32_t flags;
  const char* target;
  bool existing;
};

class EncodeFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(EncodeFaultTest, EveryStepFailsCleanly) {
  const FaultCase c = GetParam();
  TempDir dir;  // outside the scratch $TMPDIR
  const ScratchTmpdir tmp;
  const std::string target = dir.File(c.target);
  const Bytes old{'o', 'l', 'd'};
  Dib image(MakeDib24(kWidth, kHeight, Blocks));
  auto run = [&] {
    if (c.existing) WriteFile(target, old); else (void)platform::DeleteFile(target);
    return ops::Encode(image.block, target.c_str(), c.flags, 90, nullptr);
  };
  int failures = 0;
  ForEachFailedStep<HRESULT>(
      [&] { if (c.existing) WriteFile(target, old); else (void)platform::DeleteFile(target); },
      [&] { return ops::Encode(image.block, target.c_str(), c.flags, 90, nullptr); },
      [&](HRESULT r, Service) {
        SCOPED_TRACE(::testing::Message() << "result " << std::hex << r);
        if (Failed(r)) {
          ++failures;
          if (c.existing) EXPECT_EQ(ReadFile(target), old); else EXPECT_FALSE(platform::FileExists(target));
        } else {
          EXPECT_NE(FormatOf(ReadFile(target)), "old");
        }
        EXPECT_TRUE(tmp.dir().List().empty()) << ::testing::PrintToString(tmp.dir().List());
        EXPECT_EQ(dir.List().size(), c.existing || Succeeded(r) ? 1u : 0u) << ::testing::PrintToString(dir.List());
      },
      {.error = platform::kErrorDiskFull, .failClock = true}, [](HRESULT clean) { ASSERT_EQ(clean, S_OK); });
  EXPECT_GT(failures, 3);
  // The first file opened is the toolkit's or the JPEG writer's output: their codes come back.
  platform::InjectFault(Service::Open, 1, platform::kErrorDiskFull);
  const HRESULT r = run();
  platform::ClearFaults();
  EXPECT_EQ(r, (c.flags & LF_ENC_ANY_JPEG) ? imaging::kJpegWriteFailed : HRESULT_FROM_TOOLKIT(imaging::kToolkitFileWrite));
}

INSTANTIATE_TEST_SUITE_P(Targets, EncodeFaultTest,
                         ::testing::Values(FaultCase{"PngNew", LF_ENC_PNG, "new.png", false},
                                           FaultCase{"JpegOverOld", LF_ENC_JPEG, "old.jpg", true},
                                           FaultCase{"GifOverOld", LF_ENC_GIF, "old.gif", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lf::test
