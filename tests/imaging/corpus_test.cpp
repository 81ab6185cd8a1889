// Real-world files: every image of the corpus decodes without a crash (malformed ones included),
// and the dimensions of the PNG and TIFF files match what libpng and libtiff report.
#include <gtest/gtest.h>

#include <png.h>
#include <tiffio.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "plugin/operations.h"
#include "tests/support/fixture_builder.h"

namespace lf::test {
namespace {

struct CorpusFile {
  std::string path;
  std::string category;
  std::string format;
};

std::vector<CorpusFile> ImageFiles(const std::string& dir) {
  std::vector<CorpusFile> files;
  std::ifstream manifest(dir + "/MANIFEST.tsv");
  std::string line;
  std::getline(manifest, line);
  while (std::getline(manifest, line)) {
    std::stringstream fields(line);
    CorpusFile f;
    std::getline(fields, f.path, '\t');
    std::getline(fields, f.category, '\t');
    std::getline(fields, f.format, '\t');
    if (f.format == "JPEG" || f.format == "PNG" || f.format == "TIFF" || f.format == "GIF" ||
        f.format == "BMP") {
      files.push_back(f);
    }
  }
  return files;
}

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
  const std::string dir = CorpusDir();
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  size_t decoded = 0, okFiles = 0;
  for (const CorpusFile& f : ImageFiles(dir)) {
    const std::string path = dir + "/" + f.path;
    for (uint32_t source : {0u, 1u}) {
      LF_HGLOBAL h = ops::Decode(path.c_str(), source);
      if (!h || source == 1) {
        LfGlobalFree(h);
        continue;
      }
      ++decoded;
      int32_t w = 0, ht = 0;
      std::memcpy(&w, static_cast<uint8_t*>(LfGlobalLock(h)) + 4, 4);
      std::memcpy(&ht, static_cast<uint8_t*>(LfGlobalLock(h)) + 8, 4);
      LfGlobalUnlock(h);
      LfGlobalUnlock(h);
      int rw = 0, rh = 0;
      if (f.format == "PNG" && PngSize(path, &rw, &rh)) {
        EXPECT_EQ(w, rw) << f.path;
        EXPECT_EQ(ht, rh) << f.path;
      }
      if (f.format == "TIFF" && TiffSize(path, &rw, &rh)) {
        EXPECT_EQ(w, rw) << f.path;
        EXPECT_EQ(ht, rh) << f.path;
      }
      LfGlobalFree(h);
    }
    if (f.category == "ok") ++okFiles;
  }
  // Nearly every well-formed file decodes (a few carry metadata only, or CMYK 16-bit TIFF data).
  EXPECT_GT(decoded, okFiles * 9 / 10);
}

}  // namespace
}  // namespace lf::test
