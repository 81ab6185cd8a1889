// SPDX-License-Identifier: MIT
// GetStillImageInfo: the two output shapes, the image-information records of the main image and
// the thumbnail, the directory records behind them, the refusals, and agreement with ExifTool's
// size and depth over the corpus.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/imaging/image_files.h"
#include "tests/support/corpus_manifest.h"
#include "tests/support/edit_fixtures.h"
#include "tests/support/exiftool_dump.h"
#include "tests/support/host_module.h"

namespace lf::test {
namespace {

const HostModule& Module() {
  const HostModule& m = HostModule::Get();
  EXPECT_TRUE(m.handle) << m.error;
  return m;
}

std::vector<uint32_t> Selectors(const LfExifRecord& list) {
  std::vector<uint32_t> out;
  for (const LfRecordNode* n = list.head->next; n != list.head; n = n->next) out.push_back(n->selector);
  return out;
}

const LfImageInfoRecord* Info(const LfExifRecord& list, uint32_t selector) {
  return static_cast<const LfImageInfoRecord*>(LfRecordListFind(&list, selector));
}

class StillImageInfoTest : public ::testing::TestWithParam<Order> {};

TEST_P(StillImageInfoTest, OneEntryOrAListWithTheDirectories) {
  const HostModule& m = Module();
  TempDir dir;
  const std::string camera =
      dir.Put("camera.jpg", MakeCameraJpeg({.order = GetParam(), .width = 64, .height = 48}));

  // One entry: the first two words, the count untouched.
  LfStillImageOutput out{};
  out.list.count = 7;
  ASSERT_EQ(m.GetStillImageInfo(camera.c_str(), &out, LF_SEL_IMAGE_INFO), LF_S_OK);
  EXPECT_EQ(out.single.selector, LF_SEL_IMAGE_INFO);
  const auto* main = static_cast<const LfImageInfoRecord*>(out.single.record);
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
  EXPECT_EQ(Selectors(list), (std::vector<uint32_t>{LF_SEL_IMAGE_INFO, LF_SEL_THUMB_INFO, LF_SEL_IFD0,
                                                    LF_SEL_EXIF, LF_SEL_GPS, LF_SEL_IFD1}));
  EXPECT_EQ(list.count, 6u);
  const LfImageInfoRecord* thumb = Info(list, LF_SEL_THUMB_INFO);
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
}

TEST_P(StillImageInfoTest, TiffSidesFollowTheViewOrientation) {
  const HostModule& m = Module();
  TempDir dir;
  for (const uint16_t orientation : {6, 8}) {
    const TiffFile tiff = MakeTiffFile(GetParam(), orientation);
    const std::string path = dir.Put("scan.tif", tiff.file);
    LfStillImageOutput plain{}, turned{};
    const std::string untagged = dir.Put("plain.tif", MakeTiffFile(GetParam(), 0).file);
    ASSERT_EQ(m.GetStillImageInfo(untagged.c_str(), &plain, LF_SEL_IMAGE_INFO), LF_S_OK);
    ASSERT_EQ(m.GetStillImageInfo(path.c_str(), &turned, LF_SEL_IMAGE_INFO), LF_S_OK);
    const auto* a = static_cast<const LfImageInfoRecord*>(plain.single.record);
    const auto* b = static_cast<const LfImageInfoRecord*>(turned.single.record);
    EXPECT_STREQ(b->typeName, "TIFF");
    EXPECT_EQ(b->width, orientation == 8 ? a->height : a->width) << orientation;
    EXPECT_EQ(b->height, orientation == 8 ? a->width : a->height) << orientation;
    LfStillImageOutputFree(&plain);
    LfStillImageOutputFree(&turned);
  }
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, StillImageInfoTest, ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) { return info.param == Order::Little ? "II" : "MM"; });

TEST(StillImageInfoRefusalTest, NothingSurvivesAFailure) {
  const HostModule& m = Module();
  TempDir dir;
  const std::string jfif = dir.Put("plain.jpg", EncodeJpeg(40, 30));
  const std::string noThumb = dir.Put("nothumb.jpg", MakeCameraJpeg({.withThumbnail = false}));
  const std::string png = dir.File("a.png");
  WritePng(png, 2, 2, PNG_COLOR_TYPE_RGB, 8, std::vector<uint16_t>(12, 200));
  const std::string tmb = dir.Put("a.tmb", ReadFile(png));
  const std::string unreadableTmb = dir.Put("b.tmb", Bytes{'n', 'o', 'p', 'e'});
  const std::string tinyBmp = dir.Put("tiny.bmp", MakeBmp(1, 1, 24, 0, {}, {}));

  struct Case {
    std::string path;
    uint32_t mask;
    LF_RESULT expected;
  } cases[] = {
      {png, LF_SEL_THUMB_INFO, LF_E_FAIL},
      {noThumb, LF_SEL_THUMB_INFO, LF_E_FAIL},
      {jfif, LF_SEL_IMAGE_INFO | LF_SEL_IFD0, LF_E_NO_EXIF},
      {tinyBmp, LF_SEL_IMAGE_INFO, LF_E_FAIL},
      {unreadableTmb, LF_SEL_IMAGE_INFO, LF_E_FAIL},
      {dir.File("missing.jpg"), LF_SEL_IMAGE_INFO, LF_E_FAIL},
      {png, 0x100000u, LF_E_INVALIDARG},
      {"", LF_SEL_IMAGE_INFO, LF_E_INVALIDARG},
  };
  for (const Case& c : cases) {
    LfStillImageOutput out{};
    out.list.count = 5;
    EXPECT_EQ(m.GetStillImageInfo(c.path.c_str(), &out, c.mask), c.expected) << c.path << " " << c.mask;
    EXPECT_EQ(out.single.record, nullptr);
    EXPECT_EQ(out.list.count, 5u);
  }
  EXPECT_EQ(m.GetStillImageInfo(png.c_str(), nullptr, LF_SEL_IMAGE_INFO), LF_E_INVALIDARG);
  // A file the toolkit can describe under a name of no kind: a record with an empty type name.
  LfStillImageOutput out{};
  ASSERT_EQ(m.GetStillImageInfo(tmb.c_str(), &out, LF_SEL_IMAGE_INFO), LF_S_OK);
  const auto* info = static_cast<const LfImageInfoRecord*>(out.single.record);
  EXPECT_EQ(info->width, 2);
  EXPECT_EQ(info->typeName[0], '\0');
  LfStillImageOutputFree(&out);
}

TEST(StillImageInfoDepthTest, PngAndGifReportTheFilesOwnDepth) {
  const HostModule& m = Module();
  TempDir dir;
  WritePng(dir.File("grey2.png"), 3, 3, PNG_COLOR_TYPE_GRAY, 2, std::vector<uint16_t>(9, 1));
  WritePng(dir.File("rgb16.png"), 1, 1, PNG_COLOR_TYPE_RGB, 16, {1, 2, 3});
  WritePng(dir.File("grey-alpha.png"), 1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {1, 2});
  WritePalettePng(dir.File("palette.png"), 1, 1, {{1, 2, 3}}, {0});
  WriteGif(dir.File("two.gif"), 2, 2, {{0, 0, 0}, {255, 255, 255}}, {0, 1, 1, 0}, false, 2);
  WriteGif(dir.File("full.gif"), 2, 2, {{0, 0, 0}}, {0, 0, 0, 0}, false);
  const std::pair<const char*, int> cases[] = {{"grey2.png", 2},       {"rgb16.png", 48},
                                               {"grey-alpha.png", 16}, {"palette.png", 8},
                                               {"two.gif", 1},         {"full.gif", 8}};
  for (const auto& [name, depth] : cases) {
    LfStillImageOutput out{};
    ASSERT_EQ(m.GetStillImageInfo(dir.File(name).c_str(), &out, LF_SEL_IMAGE_INFO), LF_S_OK)
        << name;
    EXPECT_EQ(static_cast<const LfImageInfoRecord*>(out.single.record)->bitsPerPixel, depth)
        << name;
    LfStillImageOutputFree(&out);
  }
}

// ExifTool's width, height and depth of one file; depth 0 where its reading is not the depth the
// toolkit reports (a GIF without a global colour table).
struct Reading {
  int width = -1, height = -1, depth = 0;
  bool turned = false;  // a TIFF Orientation that shows the sides exchanged
};

int Number(const ExifToolTags& t, const std::string& key) {
  const auto it = t.find(key);
  return it == t.end() ? -1 : std::atoi(it->second.c_str());
}

Reading ReadingOf(const CorpusFile& f, const ExifToolTags& t) {
  Reading r;
  const std::string group = f.format == "JPEG" || f.format == "BMP" ? "File" : f.format == "TIFF" ? "IFD0" : f.format;
  r.width = Number(t, group + ":ImageWidth");
  r.height = Number(t, group + ":ImageHeight");
  if (f.format == "JPEG") r.depth = Number(t, "File:BitsPerSample") * Number(t, "File:ColorComponents");
  if (f.format == "BMP") r.depth = Number(t, "File:BitDepth");
  if (f.format == "PNG") {
    static constexpr int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};  // by colour type
    const int type = Number(t, "PNG:ColorType");
    if (type >= 0 && type < 7) r.depth = Number(t, "PNG:BitDepth") * kChannels[type];
  }
  if (f.format == "GIF" && Number(t, "GIF:HasColorMap") == 1)
    r.depth = Number(t, "GIF:BitsPerPixel");
  if (f.format == "TIFF") {
    int sum = 0;
    for (const char* p = t.count("IFD0:BitsPerSample") ? t.at("IFD0:BitsPerSample").c_str() : ""; *p;) {
      char* end = nullptr;
      sum += static_cast<int>(std::strtol(p, &end, 10));
      if (end == p) break;
      p = end;
    }
    const int samples = Number(t, "IFD0:SamplesPerPixel");
    const bool single = t.count("IFD0:BitsPerSample") && t.at("IFD0:BitsPerSample").find(' ') == std::string::npos;
    r.depth = single && samples > 1 ? sum * samples : sum;
    const int o = Number(t, "IFD0:Orientation");
    r.turned = o == 4 || o == 5 || o == 7 || o == 8;
  }
  return r;
}

TEST(StillImageInfoCorpusTest, SizesAndDepthsAgreeWithExifTool) {
  const std::vector<CorpusFile> corpus = LoadCorpusManifest();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  if (!ExifToolAvailable()) GTEST_SKIP() << "exiftool missing";
  const HostModule& m = Module();
  std::vector<const CorpusFile*> images;
  std::vector<std::string> paths;
  for (const CorpusFile& f : corpus) {
    if (f.category != "ok") continue;
    if (f.format == "JPEG" || f.format == "PNG" || f.format == "TIFF" || f.format == "GIF" || f.format == "BMP") {
      images.push_back(&f);
      paths.push_back(f.path);
    }
  }
  const ExifToolDump dump = RunExifTool(paths, {"-fast2"});
  size_t compared = 0;
  for (const CorpusFile* f : images) {
    LfStillImageOutput out{};
    if (m.GetStillImageInfo(f->path.c_str(), &out, LF_SEL_IMAGE_INFO) != LF_S_OK) continue;
    const auto* info = static_cast<const LfImageInfoRecord*>(out.single.record);
    const auto it = dump.find(f->path);
    if (it != dump.end()) {
      const Reading r = ReadingOf(*f, it->second);
      if (r.width > 0 && r.height > 0) {
        ++compared;
        EXPECT_EQ(info->width, r.turned ? r.height : r.width) << f->relative;
        EXPECT_EQ(info->height, r.turned ? r.width : r.height) << f->relative;
        if (r.depth > 0) {
          EXPECT_EQ(info->bitsPerPixel, r.depth) << f->relative;
        }
      }
    }
    LfStillImageOutputFree(&out);
  }
  EXPECT_GT(compared, images.size() * 8 / 10);
}

}  // namespace
}  // namespace lf::test
