// New pictures put into every EXIF camera JPEG and TIFF of the real-world corpus, as copies in
// scratch directories, judged by ExifTool's full dump: a thumbnail regenerated from the file's own
// main image (ReplaceThumbImage) may change only the thumbnail directory and the modification
// date; a new main image of another size (ReplaceExifImage) may in addition change the recorded
// picture size, a TIFF's image-structure entries, the print-matching data and, in a JPEG, the
// segments that come with the new picture's own stream. A refused edit leaves no file behind and
// the source byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "exif/edit/picture_replacement.h"
#include "imaging/decode.h"
#include "imaging/toolkit.h"
#include "platform/memory.h"
#include "tests/support/corpus_compare.h"
#include "tests/support/edit_fixtures.h"

namespace lf::edit {
namespace {

using test::Bytes;
using test::ExifToolTags;

enum class Edit { kThumbnail, kMainImage };
constexpr Edit kEdits[] = {Edit::kThumbnail, Edit::kMainImage};
const char* Name(Edit e) {
  return e == Edit::kThumbnail ? "thumbnail regenerated from the main image, to a new path"
                               : "main image replaced, to a new path";
}

constexpr int32_t kQuality = 85;

// A host image decoded from a JPEG of pseudo-random pixels, as a packed DIB.
platform::GlobalBlock NoiseImage(int width, int height) {
  const Bytes jpeg = test::EncodeNoiseJpeg(width, height, 90, 7);
  imaging::ScopedBitmap b;
  if (imaging::LoadMemory(jpeg.data(), jpeg.size(), b.get(), 24) != imaging::kToolkitSuccess) return {};
  return platform::GlobalBlock(imaging::ExportPackedDib(b.get()));
}

// The file's own main image as the module decodes it, as a packed DIB; empty when it cannot.
platform::GlobalBlock DecodedMainImage(const std::string& path) {
  imaging::ScopedBitmap b;
  if (imaging::LoadImageFile(path.c_str(), b.get(), 24) != 1) return {};
  return platform::GlobalBlock(imaging::ExportPackedDib(b.get()));
}

struct Size {
  int32_t width = 0, height = 0;
};
Size DecodedSize(const std::string& path) {
  imaging::ScopedBitmap b;
  if (imaging::LoadFile(path.c_str(), b.get(), 24, nullptr) != imaging::kToolkitSuccess) return {};
  return {b->width, b->height};
}

// The entries the writer lays in a new IFD1, as ExifTool names them: a JPEG thumbnail
// (compression, resolution, orientation, YCbCr positioning and the JPEG stream pointer), or the
// entries of a TIFF thumbnail's own directory with its strips.
bool NewThumbnailTag(const std::string& tag, bool tiff) {
  static const std::set<std::string> common{"Compression", "XResolution", "YResolution", "ResolutionUnit",
                                            "Orientation"};
  static const std::set<std::string> jpeg{"YCbCrPositioning", "ThumbnailOffset", "ThumbnailLength",
                                          "ThumbnailImage"};
  static const std::set<std::string> strips{"ImageWidth",     "ImageHeight",     "BitsPerSample",
                                            "PhotometricInterpretation",         "StripOffsets",
                                            "SamplesPerPixel", "RowsPerStrip",   "StripByteCounts",
                                            "PlanarConfiguration"};
  return common.count(tag) || (tiff ? strips.count(tag) : jpeg.count(tag));
}

// IFD0 entries of a TIFF that describe the main image's pixel data: the new picture's replace
// them, and those of the old picture's layout (planar configuration, an embedded JPEG stream, YCbCr
// coding, extra and typed samples, prediction, tiles, palette, tone response) go.
bool ImageStructureTag(const std::string& tag) {
  static const std::set<std::string> tags{
      "ImageWidth",      "ImageHeight",      "BitsPerSample",    "Compression",        "PhotometricInterpretation",
      "StripOffsets",    "SamplesPerPixel",  "RowsPerStrip",     "StripByteCounts",    "PlanarConfiguration",
      "ThumbnailOffset", "ThumbnailLength",  "YCbCrCoefficients", "YCbCrSubSampling",  "YCbCrPositioning",
      "ReferenceBlackWhite", "ExtraSamples", "SampleFormat",     "Predictor",          "FillOrder",
      "ColorMap",        "TileWidth",        "TileLength",       "TileOffsets",        "TileByteCounts",
      "TransferFunction", "GrayResponseUnit", "GrayResponseCurve"};
  return tags.count(tag) > 0;
}

// The groups ExifTool reads from the EXIF block itself (family 0 "EXIF" or "MakerNotes"), found by
// one run over the originals with family-0 groups in the keys.
std::set<std::string> ExifBlockGroups(const std::vector<std::string>& paths, std::string* error) {
  const test::ExifToolDump dump = test::RunExifTool(paths, {"-G0:1"}, error);
  std::set<std::string> groups;
  for (const auto& [path, tags] : dump) {
    for (const auto& [key, value] : tags) {
      const size_t first = key.find(':'), second = key.find(':', first + 1);
      if (second == std::string::npos) continue;  // family 0 and 1 are the same group
      const std::string family0 = key.substr(0, first), family1 = key.substr(first + 1, second - first - 1);
      if (family0 == "EXIF" || family0 == "MakerNotes") groups.insert(family1);
    }
  }
  return groups;
}

// Takes the keys `drop` names out of a copy of `tags`.
template <typename Pred>
ExifToolTags Without(const ExifToolTags& tags, Pred drop) {
  ExifToolTags kept;
  for (const auto& [key, value] : tags) {
    if (!drop(key)) kept.emplace(key, value);
  }
  return kept;
}

// The end of a JPEG's first APP1 segment; 0 for other files.
uint64_t App1End(const Bytes& file) {
  if (file.size() < 6 || file[2] != 0xFF || file[3] != 0xE1) return 0;
  return 4 + (uint64_t{file[4]} << 8 | file[5]);
}

struct Case {
  size_t file = 0;
  Edit edit = Edit::kThumbnail;
  std::unique_ptr<test::TempDir> dir;
  std::string result;
  Size picture;  // the new main image's size
};

TEST(CorpusPictureTest, ThumbnailAndMainImageReplacedChangeOnlyWhatTheyAccountFor) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "corpus not present";
  if (!test::ExifToolAvailable()) GTEST_SKIP() << "exiftool not installed";
  const std::vector<test::CorpusFile> files = test::ExifCorpusFiles();
  ASSERT_FALSE(files.empty());
  std::vector<std::string> originals;
  for (const test::CorpusFile& f : files) originals.push_back(f.path);
  std::string error;
  const test::ExifToolDump before = test::RunExifTool(originals, {}, &error);
  ASSERT_TRUE(error.empty()) << error;
  const std::set<std::string> exifGroups = ExifBlockGroups(originals, &error);
  ASSERT_TRUE(error.empty()) << error;
  ASSERT_TRUE(exifGroups.count("IFD0") && exifGroups.count("ExifIFD"));

  std::map<Edit, size_t> succeeded, refused;
  std::map<Edit, std::map<std::string, size_t>> refusals;
  std::vector<Case> cases;
  std::string refusedFiles;
  size_t notDecoded = 0;  // main images the module cannot decode: a generated picture stands in
  std::string notDecodedFiles;
  size_t exifFiles = 0;   // files the module counts as EXIF files (no JFIF segment)
  for (size_t i = 0; i < files.size(); ++i) {
    const test::CorpusFile& f = files[i];
    if (!before.count(f.path)) {
      ADD_FAILURE() << f.relative << ": ExifTool did not read the original";
      continue;
    }
    const Bytes original = test::ReadFile(f.path);
    const ExifToolTags& was = before.at(f.path);
    for (Edit edit : kEdits) {
      Case c;
      c.file = i;
      c.edit = edit;
      c.dir = std::make_unique<test::TempDir>();
      const std::string ext = test::Extension(f.path);
      const std::string name = "file" + ext, src = c.dir->File(name), dst = c.dir->File("edited" + ext);
      test::WriteFile(src, original);
      platform::GlobalBlock image;
      if (edit == Edit::kThumbnail) {
        image = DecodedMainImage(src);
        if (!image.get()) {
          ++notDecoded;
          notDecodedFiles += "\n    " + f.relative;
          image = NoiseImage(640, 480);
        }
      } else {
        // Another size than the file's own picture.
        const auto w = was.find("File:ImageWidth"), h = was.find("File:ImageHeight");
        const bool same = w != was.end() && h != was.end() && w->second == "320" && h->second == "200";
        c.picture = same ? Size{200, 320} : Size{320, 200};
        image = NoiseImage(c.picture.width, c.picture.height);
      }
      ASSERT_NE(image.get(), nullptr);
      const HRESULT r = edit == Edit::kThumbnail ? ReplaceThumbImage(dst, src, image.get(), kQuality)
                                                 : ReplaceExifImage(dst, src, image.get(), kQuality);
      c.result = dst;
      const std::string where = f.relative + ", " + Name(edit) + " (result " + test::HexCode(r) + ")";
      EXPECT_TRUE(test::ReadFile(src) == original) << where << ": the source changed";
      if (edit == Edit::kThumbnail && r != E_NO_EXIF) ++exifFiles;
      if (r != S_OK) {
        ++refused[edit];
        ++refusals[edit][test::HexCode(r)];
        if (r != E_NO_EXIF) refusedFiles += "\n    " + where;
        EXPECT_EQ(c.dir->List(), std::vector<std::string>{name}) << where << ": files left behind";
        continue;
      }
      ++succeeded[edit];
      EXPECT_EQ(c.dir->List(), (std::vector<std::string>{"edited" + ext, name})) << where << ": files left behind";
      const Bytes result = test::ReadFile(dst);
      if (f.format == "JPEG") {
        // SOI, then the one APP1 segment, whole: the next marker follows where its length says.
        ASSERT_GE(result.size(), 6u) << where;
        EXPECT_TRUE(result[2] == 0xFF && result[3] == 0xE1) << where << ": no APP1 behind the SOI";
        const size_t next = 4 + (size_t{result[4]} << 8 | result[5]);
        EXPECT_TRUE(next < result.size() && result[next] == 0xFF) << where << ": the APP1 length is wrong";
        if (edit == Edit::kThumbnail) {
          EXPECT_TRUE(test::MainScan(result) == test::MainScan(original))
              << where << ": the image data from the SOS marker on changed";
          imaging::ScopedBitmap thumb;
          EXPECT_EQ(imaging::LoadExifThumbnail(dst.c_str(), thumb.get(), 24), 1) << where;
          EXPECT_EQ(thumb->width, 160) << where;
          EXPECT_EQ(thumb->height, 120) << where;
        }
      }
      if (edit == Edit::kMainImage) {
        const Size now = DecodedSize(dst);
        EXPECT_EQ(now.width, c.picture.width) << where;
        EXPECT_EQ(now.height, c.picture.height) << where;
      }
      cases.push_back(std::move(c));
    }
  }

  std::vector<std::string> results;
  for (const Case& c : cases) results.push_back(c.result);
  const test::ExifToolDump after = test::RunExifTool(results, {}, &error);
  ASSERT_TRUE(error.empty()) << error;
  size_t damaged = 0;
  for (const Case& c : cases) {
    const test::CorpusFile& f = files[c.file];
    const bool tiff = f.format == "TIFF";
    const std::string where = f.relative + ", " + Name(c.edit);
    const auto a = after.find(c.result);
    if (a == after.end()) {
      ADD_FAILURE() << where << ": ExifTool cannot read the edited file";
      ++damaged;
      continue;
    }
    const ExifToolTags& was = before.at(f.path);
    const ExifToolTags& now = a->second;
    auto value = [](const ExifToolTags& tags, const std::string& key) {
      const auto it = tags.find(key);
      return it == tags.end() ? std::string("(none)") : it->second;
    };
    std::vector<std::string> problems;

    // The new thumbnail directory, judged alone: only the entries the writer lays, the thumbnail
    // 160 × 120, its orientation the main image's. The old one goes whole.
    for (const auto& [key, v] : now) {
      if (test::GroupOf(key) == "IFD1" && !NewThumbnailTag(test::TagOf(key), tiff)) {
        problems.push_back("unexpected thumbnail entry " + key + " = " + test::Shown(v));
      }
    }
    if (tiff) {
      if (value(now, "IFD1:ImageWidth") != "160" || value(now, "IFD1:ImageHeight") != "120") {
        problems.push_back("thumbnail is " + value(now, "IFD1:ImageWidth") + " x " + value(now, "IFD1:ImageHeight"));
      }
    } else if (!now.count("IFD1:ThumbnailImage")) {
      problems.push_back("ExifTool finds no thumbnail image");
    }
    if (now.count("IFD0:Orientation") && value(now, "IFD1:Orientation") != value(now, "IFD0:Orientation")) {
      problems.push_back("thumbnail orientation " + value(now, "IFD1:Orientation") + ", main image " +
                         value(now, "IFD0:Orientation"));
    }

    // What the main-image replacement changes besides.
    auto replacedStructure = [&](const std::string& key) {
      return c.edit == Edit::kMainImage && tiff && test::GroupOf(key) == "IFD0" && ImageStructureTag(test::TagOf(key));
    };
    if (c.edit == Edit::kMainImage && tiff) {
      if (value(now, "IFD0:ImageWidth") != std::to_string(c.picture.width) ||
          value(now, "IFD0:ImageHeight") != std::to_string(c.picture.height)) {
        problems.push_back("IFD0 image size " + value(now, "IFD0:ImageWidth") + " x " + value(now, "IFD0:ImageHeight"));
      }
    }
    // A maker note's preview that named bytes of the old picture's stream, not of the EXIF block:
    // those bytes are the old picture's and go with it.
    const Bytes originalFile = test::ReadFile(f.path);
    auto oldPicturePreview = [&](const std::string& key) {
      if (c.edit != Edit::kMainImage || tiff || exifGroups.count(test::GroupOf(key)) == 0) return false;
      const std::string group = test::GroupOf(key), tag = test::TagOf(key);
      if (group.rfind("IFD", 0) == 0 || (tag != "PreviewImageStart" && tag != "PreviewImage")) return false;
      const std::string start = value(was, group + ":PreviewImageStart" + test::Occurrence(key));
      return start != "(none)" && std::stoull(test::Digits(start).empty() ? "0" : start) >= App1End(originalFile);
    };
    bool previewInOldPicture = false;
    for (const auto& [key, v] : was) previewInOldPicture = previewInOldPicture || oldPicturePreview(key);
    // Judged above, or whole directories and data laid anew: out of the comparison, pointers
    // included.
    auto apart = [&](const std::string& key) {
      return test::GroupOf(key) == "IFD1" || replacedStructure(key) || oldPicturePreview(key);
    };
    const test::Explains explained = [&](const std::string& key, const std::string* old, const std::string* v) {
      if (c.edit != Edit::kMainImage) return false;
      const std::string group = test::GroupOf(key), tag = test::TagOf(key);
      // The picture's recorded size follows the new picture where it is recorded.
      if (group == "ExifIFD" && (tag == "ExifImageWidth" || tag == "ExifImageHeight")) {
        return old && v && *v == std::to_string(tag == "ExifImageWidth" ? c.picture.width : c.picture.height);
      }
      // Print matching made for the old picture goes (IFD0 0xC4A5, the maker note's 0x0E00).
      if (group == "PrintIM" || (group == "IFD0" && tag == "PrintIM")) return v == nullptr;
      if (group == "Composite" && (tag == "ImageSize" || tag == "Megapixels")) return true;
      // A TIFF photo without an orientation takes the new picture's (1, the meaning of none).
      if (tiff && key == "IFD0:Orientation") return !old && v && *v == "1";
      // A JPEG's segments other than the EXIF one are the new picture's stream's.
      if (!tiff && !exifGroups.count(group) && group != "Composite" && group != "ExifTool") return true;
      // ExifTool notes the preview it can no longer read (see oldPicturePreview).
      if (group == "ExifTool" && tag == "Warning") {
        return previewInOldPicture && !old && v && v->find("PreviewImage") != std::string::npos;
      }
      return false;
    };
    const std::vector<std::string> changes =
        test::UnexplainedChanges(Without(was, apart), originalFile, Without(now, apart),
                                 test::ReadFile(c.result), explained);
    problems.insert(problems.end(), changes.begin(), changes.end());
    if (!problems.empty()) {
      ++damaged;
      std::string list;
      for (const std::string& problem : problems) list += "\n    " + problem;
      ADD_FAILURE() << where << ": ExifTool sees differences the edit does not account for:" << list;
    }
  }

  std::string summary;
  for (Edit e : kEdits) {
    summary += std::string("\n  ") + Name(e) + ": " + std::to_string(succeeded[e]) + " succeeded, " +
               std::to_string(refused[e]) + " refused";
    for (const auto& [code, n] : refusals[e]) summary += " [" + code + " x" + std::to_string(n) + "]";
  }
  std::printf("%zu files (%zu EXIF files to the module, %zu main images the module cannot decode: a generated one "
              "used), %zu successful picture edits judged by ExifTool, %zu with unexplained differences:%s\n"
              "  refused EXIF files:%s\n  main images not decoded:%s\n",
              files.size(), exifFiles, notDecoded, cases.size(), damaged, summary.c_str(), refusedFiles.c_str(),
              notDecodedFiles.c_str());
  EXPECT_GT(succeeded[Edit::kThumbnail], exifFiles / 2);
  EXPECT_GT(succeeded[Edit::kMainImage], exifFiles / 2);
}

}  // namespace
}  // namespace lf::edit
