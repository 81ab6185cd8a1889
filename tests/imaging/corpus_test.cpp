// SPDX-License-Identifier: MIT
// Real-world files: every image of the corpus decodes without a crash (malformed ones included),
// and the dimensions of the PNG and TIFF files match what libpng and libtiff report.
#include <gtest/gtest.h>

#include <png.h>
#include <tiffio.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/operations.h"
#include "tests/support/corpus_manifest.h"

namespace lf::test {
namespace {

bool PngSize(const std::string& path, int* w, int* h) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  bool ok = false;
  if (!setjmp(png_jmpbuf(png))) {
    png_init_io(png, f);
    png_read_info(png, info);
    *w = int(png_get_image_width(png, info));
    *h = int(png_get_image_height(png, info));
    ok = true;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return ok;
}

bool TiffSize(const std::string& path, int* w, int* h) {
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  TIFF* t = TIFFOpen(path.c_str(), "r");
  if (!t) return false;
  uint32_t tw = 0, th = 0;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &tw);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &th);
  TIFFClose(t);
  *w = int(tw);
  *h = int(th);
  return true;
}

TEST(Corpus, EveryImageDecodesWithoutCrashAndSizesMatchTheReferenceLibraries) {
  const std::vector<CorpusFile> corpus = LoadCorpusManifest();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  size_t decoded = 0, okFiles = 0;
  for (const CorpusFile& f : corpus) {
    if (f.format != "JPEG" && f.format != "PNG" && f.format != "TIFF" && f.format != "GIF" &&
        f.format != "BMP") {
      continue;
    }
    if (f.category == "ok") ++okFiles;
    LfGlobalFree(ops::Decode(f.path.c_str(), 1));  // the thumbnail: only a clean return matters
    LF_HGLOBAL h = ops::Decode(f.path.c_str(), 0);
    if (!h) continue;
    ++decoded;
    int32_t w = 0, ht = 0;
    std::memcpy(&w, static_cast<uint8_t*>(LfGlobalLock(h)) + 4, 4);
    std::memcpy(&ht, static_cast<uint8_t*>(LfGlobalLock(h)) + 8, 4);
    LfGlobalUnlock(h);
    LfGlobalUnlock(h);
    LfGlobalFree(h);
    int rw = 0, rh = 0;
    if ((f.format == "PNG" && PngSize(f.path, &rw, &rh)) ||
        (f.format == "TIFF" && TiffSize(f.path, &rw, &rh))) {
      EXPECT_EQ(w, rw) << f.relative;
      EXPECT_EQ(ht, rh) << f.relative;
    }
  }
  // Nearly every well-formed file decodes (a few carry metadata only, or CMYK 16-bit TIFF data).
  EXPECT_GT(decoded, okFiles * 9 / 10);
}

}  // namespace
}  // namespace lf::test
