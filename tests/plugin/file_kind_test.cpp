// SPDX-License-Identifier: MIT
// File kinds by extension, temporary paths and the JPEG stream check.
#include "plugin/file_kind.h"

#include <gtest/gtest.h>

#include "platform/temp_files.h"
#include "tests/support/fixture_builder.h"

namespace lf {
namespace {

using test::Bytes;

// The extension of the last path component, either separator style, in any case.
TEST(GetFileKind, ClassifiesByTheLastComponentsExtension) {
  // clang-format off
  const std::pair<const char*, int> cases[] = {
      {"a.JPEG", KIND_JPEG}, {"a.jpe", KIND_JPEG}, {"a.tmb", KIND_JPEG}, {"a.Tif", KIND_TIFF},
      {"a.tiff", KIND_TIFF}, {"a.PNG", KIND_PNG}, {"a.bmp", KIND_BMP},
      {"/photos/2021/IMG_0001.JPG", KIND_JPEG}, {"archive.tar.gif", KIND_GIF},
      {".jpg", KIND_JPEG},  // a dot file whose whole name is the extension
      {"", KIND_UNSUPPORTED}, {"name.", KIND_UNSUPPORTED}, {"noext", KIND_UNSUPPORTED},
      {"notes.txt", KIND_UNSUPPORTED}, {"a.jpgx", KIND_UNSUPPORTED},
      {"C:\\dir.jpg\\file", KIND_UNSUPPORTED}, {"/dir.jpg/file", KIND_UNSUPPORTED},
      {"C:photo", KIND_UNSUPPORTED}, {"C:photo.gif", KIND_GIF}, {"D:\\pics\\x.TIFF", KIND_TIFF},
  };
  // clang-format on
  for (const auto& [path, kind] : cases) EXPECT_EQ(GetFileKind(path), kind) << path;
  EXPECT_EQ(GetFileKind(static_cast<const char*>(nullptr)), KIND_UNSUPPORTED);
}

TEST(MakeTempPath, JoinsTheTemporaryDirectoryAndTheName) {
  std::string out = "old";
  MakeTempPath("", &out);
  EXPECT_EQ(out, "old");
  MakeTempPath("__TMP__.002", &out);
  EXPECT_EQ(out, platform::TempDirectory() + "__TMP__.002");
}

// The segments of a JPEG stream and the markers allowed inside a scan, in memory and in a file.
TEST(CheckJpegStream, SegmentsAndScans) {
  const Bytes scan = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02};  // followed by each row's scan bytes
  const struct {
    Bytes head, rest;
    int expected;
  } cases[] = {
      // clang-format off
      {{}, {0xFF}, 0}, {{}, {0xFF, 0xD8}, 1}, {{}, {0xFF, 0xD9}, 0}, {{}, {0xFF, 0xD8, 0xFF, 0xD9}, 1},
      {{}, {0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xD8}, 0},  // a segment before the image start
      {{}, {0xFF, 0xD8, 0xFF, 0xE1, 0x00}, 0},                    // a length field cut off
      {{}, {0xFF, 0xD8, 0xFF, 0xE1, 0x40, 0x00, 0x01}, 1},        // cut short after a sound start
      {scan, {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD3, 0x56, 0xFF, 0xD9}, 1},
      {scan, {0x12, 0xFF, 0xC0, 0x00}, 0}, {scan, {0x12, 0xFF, 0xD8, 0x00}, 0},
      {scan, {0xFF, 0xFF, 0xFF, 0xD9}, 1},  // fill bytes
      {scan, {0xFF, 0xC4, 0x00, 0x04, 0xAA, 0xBB, 0xFF, 0xDA, 0x01}, 1},
      {scan, {0xFF, 0xDB}, 1}, {scan, {0x01, 0x02}, 1},  // cut short in a marker, in the scan
      {{}, {0xFF, 0xDA, 0x00, 0x02, 0x11, 0xFF, 0x00}, 0},  // a scan without an image start
      // clang-format on
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    Bytes b = c.head;
    b.insert(b.end(), c.rest.begin(), c.rest.end());
    EXPECT_EQ(CheckJpegStream(b.data(), b.size()), c.expected) << ::testing::PrintToString(b);
    EXPECT_EQ(CheckJpegFile(dir.Put("a.jpg", b).c_str()), c.expected);
  }
  EXPECT_EQ(CheckJpegStream(nullptr, 10), 0);
  EXPECT_EQ(CheckJpegFile(dir.Put("empty.jpg", {}).c_str()), 0);
  // A second image start inside real scan data is not a sound stream.
  Bytes broken = test::EncodeJpeg(16, 16);
  broken.insert(broken.end() - 2, {0xFF, 0xD8});
  EXPECT_EQ(CheckJpegFile(dir.Put("broken.jpg", broken).c_str()), 0);
}

}  // namespace
}  // namespace lf
