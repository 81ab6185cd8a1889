// SPDX-License-Identifier: MIT
// The toolkit's file operations: every format saved and read back (and checked with the
// reference libraries), file information, and every allocation, read and seek failing in turn
// during a load: each is reported, and nothing is leaked (checked by the sanitizer build).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "imaging/toolkit.h"
#include "platform/errors.h"
#include "platform/faults.h"
#include "tests/imaging/image_files.h"
#include "tests/support/fixture_builder.h"

namespace lf::test {
namespace {

using namespace lf::imaging;
using platform::Service;

uint32_t ColorAt(int row, int column) {
  return uint32_t(column * 30) | (uint32_t(row * 50) << 8) | (0x40u << 16);
}

void MakeTestBitmap(ToolkitBitmap* b) {
  ASSERT_EQ(CreateBitmap(b, 7, 5, 24), kToolkitSuccess);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) SetPixelColor(b, y, x, ColorAt(y, x));
  }
}

TEST(ToolkitFiles, EveryFormatSavesAndLoadsBackExactly) {
  TempDir dir;
  ScopedBitmap original;
  MakeTestBitmap(original.get());
  struct Case {
    const char* name;
    SaveFormat format;
    int bits;
    const char* compression;
  } cases[] = {{"a.bmp", SaveFormat::Bmp, 24, "None"},
               {"a.png", SaveFormat::Png, 24, "Deflate"},
               {"a.tif", SaveFormat::Tiff, 24, "LZW"},
               {"a.gif", SaveFormat::Gif, 8, "LZW"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(c.name);
    ASSERT_GT(SaveFile(path.c_str(), original.get(), c.format, c.bits), 0);
    FileInfo info;
    ASSERT_EQ(GetFileInfo(path.c_str(), &info), kToolkitSuccess);
    EXPECT_EQ(info.width, 7);
    EXPECT_EQ(info.height, 5);
    EXPECT_EQ(info.fileSize, ReadFile(path).size());
    EXPECT_STREQ(info.compression, c.compression);
    ScopedBitmap back;
    ASSERT_EQ(LoadFile(path.c_str(), back.get(), 24, nullptr), kToolkitSuccess);
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 7; ++x) EXPECT_EQ(GetPixelColor(back.get(), y, x), ColorAt(y, x));
    }
  }
  // The reference libraries read the same sizes.
  TIFF* t = TIFFOpen(dir.File("a.tif").c_str(), "r");
  ASSERT_NE(t, nullptr);
  uint32_t w = 0;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
  EXPECT_EQ(w, 7u);
  TIFFClose(t);
  int error = 0;
  GifFileType* g = DGifOpenFileName(dir.File("a.gif").c_str(), &error);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(DGifSlurp(g), GIF_OK);
  EXPECT_EQ(g->SWidth, 7);
  DGifCloseFile(g, &error);
}

TEST(ToolkitFiles, InformationComesFromContentNotName) {
  TempDir dir;
  WriteFile(dir.File("photo.bmp"), EncodeJpeg(9, 4, 80));
  FileInfo info;
  ASSERT_EQ(GetFileInfo(dir.File("photo.bmp").c_str(), &info), kToolkitSuccess);
  EXPECT_EQ(info.width, 9);
  EXPECT_STREQ(info.compression, "JPEG");
  WriteFile(dir.File("text.png"), Bytes{'h', 'e', 'l', 'l', 'o'});
  EXPECT_EQ(GetFileInfo(dir.File("text.png").c_str(), &info), kToolkitUnknownFormat);
  EXPECT_EQ(GetFileInfo(dir.File("missing").c_str(), &info), kToolkitFileNotFound);
  // TIFF reports its Orientation tag.
  TiffBuilder b(Order::Little);
  const int strip = b.AddBlob(Bytes(2 * 2 * 3, 0x80));
  b.Ifd0().Long(0x0100, {2}).Long(0x0101, {2}).Short(0x0102, {8, 8, 8}).Short(0x0103, {1})
      .Short(0x0106, {2}).BlobOffset(0x0111, strip).Short(0x0112, {6}).Short(0x0115, {3})
      .Long(0x0116, {2}).BlobLength(0x0117, strip);
  WriteFile(dir.File("o.tif"), b.Build());
  ASSERT_EQ(GetFileInfo(dir.File("o.tif").c_str(), &info), kToolkitSuccess);
  EXPECT_EQ(info.viewOrientation, 6);
  EXPECT_EQ(info.bitsPerPixel, 24);
}

TEST(ToolkitFiles, EveryFailureDuringALoadIsReportedAndLeaksNothing) {
  TempDir dir;
  ScopedBitmap original;
  MakeTestBitmap(original.get());
  const std::string files[] = {dir.File("a.bmp"), dir.File("a.png"), dir.File("a.tif"),
                               dir.File("a.gif"), dir.File("a.jpg")};
  ASSERT_GT(SaveFile(files[0].c_str(), original.get(), SaveFormat::Bmp, 24), 0);
  ASSERT_GT(SaveFile(files[1].c_str(), original.get(), SaveFormat::Png, 24), 0);
  ASSERT_GT(SaveFile(files[2].c_str(), original.get(), SaveFormat::Tiff, 24), 0);
  ASSERT_GT(SaveFile(files[3].c_str(), original.get(), SaveFormat::Gif, 8), 0);
  WriteFile(files[4], EncodeJpeg(40, 30, 80));
  for (const std::string& file : files) {
    for (Service service : {Service::Allocate, Service::Read, Service::Seek, Service::Open}) {
      for (uint32_t nth = 1;; ++nth) {
        ScopedBitmap b;
        platform::ClearFaults();
        platform::InjectFault(service, nth, platform::kErrorReadFault);
        const int r = LoadFile(file.c_str(), b.get(), 24, nullptr);
        const bool reached = platform::CallCount(service) >= nth;
        platform::ClearFaults();
        if (!reached) {
          EXPECT_EQ(r, kToolkitSuccess) << file;
          break;
        }
        EXPECT_LT(r, 0) << file << " service " << int(service) << " call " << nth;
        EXPECT_EQ(b->pixels, nullptr);
        EXPECT_EQ(b->storage, nullptr);
      }
    }
  }
}

TEST(ToolkitFiles, SavingFailsCleanly) {
  TempDir dir;
  ScopedBitmap original;
  MakeTestBitmap(original.get());
  EXPECT_EQ(SaveFile(dir.File("no/dir/a.png").c_str(), original.get(), SaveFormat::Png, 24),
            kToolkitFileWrite);
  for (uint32_t nth = 1;; ++nth) {
    platform::ClearFaults();
    platform::InjectFault(Service::Allocate, nth, platform::kErrorNotEnoughMemory);
    const int r = SaveFile(dir.File("b.gif").c_str(), original.get(), SaveFormat::Gif, 8);
    const bool reached = platform::CallCount(Service::Allocate) >= nth;
    platform::ClearFaults();
    if (!reached) break;
    EXPECT_LT(r, 0);
  }
}

}  // namespace
}  // namespace lf::test
