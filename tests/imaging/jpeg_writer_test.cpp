// SPDX-License-Identifier: MIT
// The JPEG writer's modes: baseline streams with the sampling and APP0 each mode documents.
#include <gtest/gtest.h>

#include <cstdio>

#include <jpeglib.h>

#include "imaging/jpeg_writer.h"
#include "plugin/file_kind.h"
#include "tests/imaging/image_files.h"

namespace lf::test {
namespace {

// A 24-bit bottom-up packed DIB of a gradient.
LF_HGLOBAL GradientDib(int w, int h) {
  return MakeDib24(w, h, [](int x, int y) { return Rgb{200, uint8_t(y * 4), uint8_t(x * 4)}; });
}

struct JpegFacts {
  bool ok = false;
  bool progressive = true, jfif = false;
  int hSamp = 0, vSamp = 0, width = 0, height = 0;
};

JpegFacts Inspect(const Bytes& jpeg) {
  JpegFacts f;
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
  if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK) {
    f.ok = true;
    f.progressive = cinfo.progressive_mode;
    f.jfif = cinfo.saw_JFIF_marker;
    f.hSamp = cinfo.comp_info[0].h_samp_factor;
    f.vSamp = cinfo.comp_info[0].v_samp_factor;
    f.width = int(cinfo.image_width);
    f.height = int(cinfo.image_height);
  }
  jpeg_destroy_decompress(&cinfo);
  return f;
}

TEST(JpegWriter, EveryModeWritesABaselineJpegWithItsSampling) {
  TempDir dir;
  LF_HGLOBAL dib = GradientDib(37, 21);
  struct Mode {
    int32_t mode;
    bool jfif;
    int h, v;
  } modes[] = {
      {0, true, 2, 2}, {1, true, 2, 1}, {2, true, 1, 1}, {0x11, false, 2, 1}, {0x12, false, 1, 1}};
  for (const Mode& m : modes) {
    SCOPED_TRACE(m.mode);
    const std::string path = dir.File("out.jpg");
    ASSERT_GE(imaging::SaveJpeg(dib, path.c_str(), 80, m.mode), 0);
    const Bytes jpeg = ReadFile(path);
    EXPECT_EQ(CheckJpegStream(jpeg.data(), jpeg.size()), 1);
    const JpegFacts f = Inspect(jpeg);
    ASSERT_TRUE(f.ok);
    EXPECT_FALSE(f.progressive);
    EXPECT_EQ(f.jfif, m.jfif);
    EXPECT_EQ(f.hSamp, m.h);
    EXPECT_EQ(f.vSamp, m.v);
    EXPECT_EQ(f.width, 37);
    EXPECT_EQ(f.height, 21);
  }
  // An independent validator agrees that the file is sound.
  const std::string command =
      "exiftool -validate -warning -a -q -q " + dir.File("out.jpg") + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[512];
  std::string output;
  while (std::fgets(line, sizeof line, pipe)) output += line;
  pclose(pipe);
  EXPECT_EQ(output.find("Error"), std::string::npos) << output;
  LfGlobalFree(dib);
}

}  // namespace
}  // namespace lf::test
