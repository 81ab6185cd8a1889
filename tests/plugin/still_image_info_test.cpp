// SPDX-License-Identifier: MIT
// GetStillImageInfo: its two output shapes, depths and type names, failures, and the corpus.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tests/imaging/image_files.h"
#include "tests/support/corpus_manifest.h"
#include "tests/support/edit_fixtures.h"
#include "tests/support/exiftool_dump.h"
#include "tests/support/host_module.h"

namespace lf::test {
namespace {

// The single record of a one-entry answer.
const LfImageInfoRecord* Single(const LfStillImageOutput& out) {
  return static_cast<const LfImageInfoRecord*>(out.single.record);
}

TEST(StillImageInfo, OneEntryOrAListWithTheDirectories) {
  const HostModule& m = HostModule::Get();
  TempDir dir;
  for (const Order order : {Order::Little, Order::Big}) {
    SCOPED_TRACE(order == Order::Little ? "II" : "MM");
    const std::string camera =
        dir.Put("camera.jpg", MakeCameraJpeg({.order = order, .width = 64, .height = 48}));
    // One entry: the first two words, the count untouched.
    LfStillImageOutput out{};
    out.list.count = 7;
    ASSERT_EQ(m.GetStillImageInfo(camera.c_str(), &out, LF_SEL_IMAGE_INFO), LF_S_OK);
    EXPECT_EQ(out.single.selector, LF_SEL_IMAGE_INFO);
    const LfImageInfoRecord* main = Single(out);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->width, 64);
    EXPECT_EQ(main->height, 48);
    EXPECT_EQ(main->bitsPerPixel, 24);
    EXPECT_EQ(main->reserved1 | main->reserved2, 0u);
    EXPECT_STREQ(main->typeName, "JPG");
    EXPECT_EQ(out.list.count, 7u);
    free(out.single.record);

    // Two or more: the host's list, its old nodes gone (their records stay the host's).
    LfExifRecord list{};
    int* kept = static_cast<int*>(malloc(sizeof(int)));
    ASSERT_TRUE(LfRecordListAppend(&list, 0x4, kept));
    const uint32_t all = LF_SEL_IMAGE_INFO | LF_SEL_THUMB_INFO | 0x000F0000u;
    ASSERT_EQ(m.GetStillImageInfo(camera.c_str(), &list, all), LF_S_OK);
    free(kept);
    std::vector<uint32_t> selectors;
    for (const LfRecordNode* n = list.head->next; n != list.head; n = n->next) {
      selectors.push_back(n->selector);
    }
    EXPECT_EQ(selectors, (std::vector<uint32_t>{LF_SEL_IMAGE_INFO, LF_SEL_THUMB_INFO, LF_SEL_IFD0,
                                                LF_SEL_EXIF, LF_SEL_GPS, LF_SEL_IFD1}));
    EXPECT_EQ(list.count, 6u);
    const auto* thumb =
        static_cast<const LfImageInfoRecord*>(LfRecordListFind(&list, LF_SEL_THUMB_INFO));
    EXPECT_EQ(thumb->width, 16);
    EXPECT_EQ(thumb->height, 12);
    EXPECT_STREQ(thumb->typeName, "JPG");
    const auto* ifd0 = static_cast<const LfImageDirRecord*>(LfRecordListFind(&list, LF_SEL_IFD0));
    ASSERT_NE(ifd0, nullptr);
    EXPECT_STREQ(ifd0->make.text, "Kestrelon");
    LfRecordListFree(&list, 1);

    // Bits that select nothing answer S_OK and leave the area alone.
    LfStillImageOutput none{};
    EXPECT_EQ(m.GetStillImageInfo(camera.c_str(), &none, 0x4 | 0x8), LF_S_OK);
    EXPECT_EQ(none.single.record, nullptr);

    // A TIFF's sides are exchanged for view orientation 8, not 6.
    const std::string plain = dir.Put("plain.tif", MakeTiffFile(order, 0).file);
    LfStillImageOutput a{};
    ASSERT_EQ(m.GetStillImageInfo(plain.c_str(), &a, LF_SEL_IMAGE_INFO), LF_S_OK);
    for (const uint16_t orientation : {6, 8}) {
      const std::string path = dir.Put("turned.tif", MakeTiffFile(order, orientation).file);
      LfStillImageOutput b{};
      ASSERT_EQ(m.GetStillImageInfo(path.c_str(), &b, LF_SEL_IMAGE_INFO), LF_S_OK);
      EXPECT_STREQ(Single(b)->typeName, "TIFF");
      const bool turned = orientation == 8;
      EXPECT_EQ(Single(b)->width, turned ? Single(a)->height : Single(a)->width) << orientation;
      EXPECT_EQ(Single(b)->height, turned ? Single(a)->width : Single(a)->height) << orientation;
      LfStillImageOutputFree(&b);
    }
    LfStillImageOutputFree(&a);
  }
}

// Depths and type names, or a failure that leaves the output area untouched.
TEST(StillImageInfo, DepthsNamesAndFailures) {
  const HostModule& m = HostModule::Get();
  TempDir dir;
  const std::string png =
      WritePng(dir.File("a.png"), 2, 2, PNG_COLOR_TYPE_RGB, 8, std::vector<uint16_t>(12, 200));
  const std::vector<Rgb> blackWhite = {{0, 0, 0}, {255, 255, 255}};
  const struct {
    std::string path;
    uint32_t mask;
    LF_RESULT expected;
    int depth = 0;
    const char* name = "";
  } cases[] = {
      {WritePng(dir.File("grey2.png"), 3, 3, PNG_COLOR_TYPE_GRAY, 2, std::vector<uint16_t>(9, 1)),
       LF_SEL_IMAGE_INFO, LF_S_OK, 2, "PNG"},
      {WritePng(dir.File("rgb16.png"), 1, 1, PNG_COLOR_TYPE_RGB, 16, {1, 2, 3}), LF_SEL_IMAGE_INFO,
       LF_S_OK, 48, "PNG"},
      {WritePng(dir.File("ga.png"), 1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {1, 2}), LF_SEL_IMAGE_INFO,
       LF_S_OK, 16, "PNG"},
      {WritePng(dir.File("pal.png"), 1, 1, PNG_COLOR_TYPE_PALETTE, 8, {0}, false, {{1, 2, 3}}),
       LF_SEL_IMAGE_INFO, LF_S_OK, 8, "PNG"},
      {WriteGif(dir.File("two.gif"), 2, 2, blackWhite, {0, 1, 1, 0}, false, 2), LF_SEL_IMAGE_INFO,
       LF_S_OK, 1, "GIF"},
      {WriteGif(dir.File("full.gif"), 2, 2, blackWhite, {0, 0, 0, 0}, false), LF_SEL_IMAGE_INFO,
       LF_S_OK, 8, "GIF"},
      // A file the toolkit can describe under a name of no type: an empty type name.
      {dir.Put("a.tmb", ReadFile(png)), LF_SEL_IMAGE_INFO, LF_S_OK, 24, ""},
      {png, LF_SEL_THUMB_INFO, LF_E_FAIL},
      {dir.Put("nothumb.jpg", MakeCameraJpeg({.withThumbnail = false})),
       LF_SEL_IMAGE_INFO | LF_SEL_THUMB_INFO, LF_E_FAIL},
      {dir.Put("plain.jpg", EncodeJpeg(40, 30)), LF_SEL_IMAGE_INFO | LF_SEL_IFD0, LF_E_NO_EXIF},
      {dir.Put("tiny.bmp", MakeBmp(1, 1, 24, 0, {}, {})), LF_SEL_IMAGE_INFO, LF_E_FAIL},
      {dir.Put("b.tmb", Bytes{'n', 'o', 'p', 'e'}), LF_SEL_IMAGE_INFO, LF_E_FAIL},
      {dir.File("missing.jpg"), LF_SEL_IMAGE_INFO, LF_E_FAIL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    LfStillImageOutput out{};
    out.list.count = c.expected == LF_S_OK ? 0 : 5;  // a failure must leave it as it was
    ASSERT_EQ(m.GetStillImageInfo(c.path.c_str(), &out, c.mask), c.expected);
    if (c.expected == LF_S_OK) {
      EXPECT_EQ(Single(out)->bitsPerPixel, c.depth);
      EXPECT_STREQ(Single(out)->typeName, c.name);
      LfStillImageOutputFree(&out);
      continue;
    }
    EXPECT_EQ(out.single.record, nullptr);
    EXPECT_EQ(out.list.count, 5u);
  }
}

int Number(const ExifToolTags& t, const std::string& key) {
  const auto it = t.find(key);
  return it == t.end() ? -1 : std::atoi(it->second.c_str());
}

// ExifTool's size and depth (0: not comparable), and whether the TIFF's sides are exchanged.
struct Reading {
  int width = -1, height = -1, depth = 0;
  bool turned = false;
};

Reading ReadingOf(const std::string& format, const ExifToolTags& t) {
  const std::string group = format == "JPEG" || format == "BMP" ? "File"
                            : format == "TIFF"                  ? "IFD0"
                                                                : format;
  Reading r{Number(t, group + ":ImageWidth"), Number(t, group + ":ImageHeight")};
  if (format == "JPEG")
    r.depth = Number(t, "File:BitsPerSample") * Number(t, "File:ColorComponents");
  if (format == "BMP") r.depth = Number(t, "File:BitDepth");
  static constexpr int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};  // by PNG colour type
  const int type = Number(t, "PNG:ColorType");
  if (format == "PNG" && type >= 0 && type < 7)
    r.depth = Number(t, "PNG:BitDepth") * kChannels[type];
  if (format == "GIF" && Number(t, "GIF:HasColorMap") == 1) r.depth = Number(t, "GIF:BitsPerPixel");
  if (format == "TIFF") {
    // "8 8 8" sums to the depth; a single "8" counts once per sample.
    const auto bits = t.find("IFD0:BitsPerSample");
    std::istringstream text(bits == t.end() ? "" : bits->second);
    int values = 0;
    for (int v; text >> v; ++values) r.depth += v;
    const int samples = Number(t, "IFD0:SamplesPerPixel");
    if (values == 1 && samples > 1) r.depth *= samples;
    const int o = Number(t, "IFD0:Orientation");
    r.turned = o == 4 || o == 5 || o == 7 || o == 8;
  }
  return r;
}

TEST(StillImageInfo, SizesAndDepthsAgreeWithExifToolOverTheCorpus) {
  const std::vector<CorpusFile> corpus = LoadCorpusManifest();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  if (!ExifToolAvailable()) GTEST_SKIP() << "exiftool missing";
  const HostModule& m = HostModule::Get();
  std::vector<const CorpusFile*> images;
  std::vector<std::string> paths;
  for (const CorpusFile& f : corpus) {
    const std::string& k = f.format;
    if (f.category != "ok") continue;
    if (k == "JPEG" || k == "PNG" || k == "TIFF" || k == "GIF" || k == "BMP") {
      images.push_back(&f);
      paths.push_back(f.path);
    }
  }
  const ExifToolDump dump = RunExifTool(paths, {"-fast2"});
  size_t compared = 0;
  for (const CorpusFile* f : images) {
    LfStillImageOutput out{};
    if (m.GetStillImageInfo(f->path.c_str(), &out, LF_SEL_IMAGE_INFO) != LF_S_OK) continue;
    const LfImageInfoRecord* info = Single(out);
    const auto it = dump.find(f->path);
    const Reading r = it == dump.end() ? Reading{} : ReadingOf(f->format, it->second);
    if (r.width > 0 && r.height > 0) {
      ++compared;
      EXPECT_EQ(info->width, r.turned ? r.height : r.width) << f->relative;
      EXPECT_EQ(info->height, r.turned ? r.width : r.height) << f->relative;
      if (r.depth > 0) {
        EXPECT_EQ(info->bitsPerPixel, r.depth) << f->relative;
      }
    }
    LfStillImageOutputFree(&out);
  }
  EXPECT_GT(compared, images.size() * 8 / 10);
}

}  // namespace
}  // namespace lf::test
