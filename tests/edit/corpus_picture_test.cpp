// SPDX-License-Identifier: MIT
// New pictures put into every EXIF camera JPEG and TIFF of the real-world corpus, as copies in
// scratch directories, judged by ExifTool's full dump: a thumbnail regenerated from the file's own
// main image (ReplaceThumbImage) may change only the thumbnail directory and the modification
// date; a new main image of another size (ReplaceExifImage) may in addition change the recorded
// picture size, a TIFF's image-structure entries, the print-matching data and, in a JPEG, the
// segments that come with the new picture's own stream. A refused edit leaves no file behind and
// the source byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "exif/edit/picture_replacement.h"
#include "imaging/decode.h"
#include "imaging/toolkit.h"
#include "platform/memory.h"
#include "tests/support/corpus_compare.h"
#include "tests/support/corpus_edits.h"
#include "tests/support/decoded_images.h"
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

// Files whose outcome is known, and why.
struct KnownOutcome {
  const char* file;  // inside the corpus
  Edit edit;
  HRESULT result;
};
const KnownOutcome kKnownOutcomes[] = {
    // Its maker note names the preview behind the old image, which goes with it.
    {"libexif_libexif-testsuite/tests/images/canon-digital-rebel-001.jpg", Edit::kMainImage,
     E_FAIL},
    // Bytes behind the image that nothing names.
    {"drewnoakes_metadata-extractor-images/jpg/Canon_IXUS_400.jpg", Edit::kMainImage, S_OK},
    {"drewnoakes_metadata-extractor-images/jpg/HP_PhotoSmart_735.jpg", Edit::kMainImage, S_OK},
    // IPTC, FlashPix, comment and other application segments that stay (the judge compares them).
    {"drewnoakes_metadata-extractor-images/jpg/Kodak_DX6490.jpg", Edit::kMainImage, S_OK},
    {"drewnoakes_metadata-extractor-images/jpg/Kodak_DC210.jpg", Edit::kMainImage, S_OK},
    {"drewnoakes_metadata-extractor-images/jpg/Minolta_DiMAGE_EX.jpg", Edit::kMainImage, S_OK},
    {"python-pillow_Pillow/Tests/images/iptc.jpg", Edit::kMainImage, S_OK},
    {"exiftool_exiftool/t/images/Ricoh2.jpg", Edit::kMainImage, S_OK},
};

platform::GlobalBlock NoiseImage(int width, int height) { return test::NoiseImage(width, height, 7); }

// The file's own main image as the module decodes it, as a packed DIB; empty when it cannot.
platform::GlobalBlock DecodedMainImage(const std::string& path) {
  imaging::ScopedBitmap b;
  if (imaging::LoadImageFile(path.c_str(), b.get(), 24) != 1) return {};
  return platform::GlobalBlock(imaging::ExportPackedDib(b.get()));
}

using test::DecodedSize;
using test::Size;

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

// Tags of the metadata segments a JPEG keeps when its picture is replaced.
bool KeptMetadata(const std::string& key) {
  const std::string group = test::GroupOf(key);
  return group.rfind("ICC", 0) == 0 || group == "IPTC" || group == "Photoshop" ||
         group == "FlashPix" || key == "File:Comment";
}

std::string Value(const ExifToolTags& tags, const std::string& key) {
  const auto it = tags.find(key);
  return it == tags.end() ? std::string("(none)") : it->second;
}

// The new thumbnail directory, judged alone: only the entries the writer lays, the thumbnail
// 160 × 120, its orientation the main image's. The old one goes whole.
std::vector<std::string> ThumbnailProblems(const ExifToolTags& now, bool tiff) {
  std::vector<std::string> problems;
  for (const auto& [key, v] : now) {
    if (test::GroupOf(key) == "IFD1" && !NewThumbnailTag(test::TagOf(key), tiff)) {
      problems.push_back("unexpected thumbnail entry " + key + " = " + test::Shown(v));
    }
  }
  if (tiff) {
    if (Value(now, "IFD1:ImageWidth") != "160" || Value(now, "IFD1:ImageHeight") != "120") {
      problems.push_back("thumbnail is " + Value(now, "IFD1:ImageWidth") + " x " + Value(now, "IFD1:ImageHeight"));
    }
  } else if (!now.count("IFD1:ThumbnailImage")) {
    problems.push_back("ExifTool finds no thumbnail image");
  }
  if (now.count("IFD0:Orientation") && Value(now, "IFD1:Orientation") != Value(now, "IFD0:Orientation")) {
    problems.push_back("thumbnail orientation " + Value(now, "IFD1:Orientation") + ", main image " +
                       Value(now, "IFD0:Orientation"));
  }
  return problems;
}

// A JPEG written by a replacement: SOI, then the one APP1 segment, whole; a regenerated thumbnail
// decodes at 160 × 120; a new main image has the new picture's size.
void CheckWrittenFile(const test::CorpusEditCase& c, Edit edit, Size picture) {
  const std::string& where = c.where;
  const Bytes result = test::ReadFile(c.dst);
  if (c.file->format == "JPEG") {
    ASSERT_GE(result.size(), 6u) << where;
    EXPECT_TRUE(result[2] == 0xFF && result[3] == 0xE1) << where << ": no APP1 behind the SOI";
    const size_t next = 4 + (size_t{result[4]} << 8 | result[5]);
    EXPECT_TRUE(next < result.size() && result[next] == 0xFF) << where << ": the APP1 length is wrong";
    if (edit == Edit::kThumbnail) {
      imaging::ScopedBitmap thumb;
      EXPECT_EQ(imaging::LoadExifThumbnail(c.dst.c_str(), thumb.get(), 24), 1) << where;
      EXPECT_EQ(thumb->width, 160) << where;
      EXPECT_EQ(thumb->height, 120) << where;
    }
  }
  if (edit == Edit::kMainImage) {
    const Size now = DecodedSize(c.dst);
    EXPECT_EQ(now.width, picture.width) << where;
    EXPECT_EQ(now.height, picture.height) << where;
  }
}

test::CorpusEdit MakeEdit(Edit edit, const std::set<std::string>& exifGroups, std::string* notDecoded) {
  return {Name(edit),
          [edit, &exifGroups, notDecoded](const test::CorpusEditCase& c) {
            const ExifToolTags& was = *c.before;
            const bool tiff = c.file->format == "TIFF";
            platform::GlobalBlock image;
            Size picture;
            if (edit == Edit::kThumbnail) {
              image = DecodedMainImage(c.src);
              if (!image.get()) {
                *notDecoded += "\n    " + c.where;  // a generated picture stands in
                image = NoiseImage(640, 480);
              }
            } else {
              // Another size than the file's own picture.
              const bool same = Value(was, "File:ImageWidth") == "320" && Value(was, "File:ImageHeight") == "200";
              picture = same ? Size{200, 320} : Size{320, 200};
              image = NoiseImage(picture.width, picture.height);
            }
            test::CorpusEditOutcome out;
            out.path = c.dst;
            out.result = edit == Edit::kThumbnail ? ReplaceThumbImage(c.dst, c.src, image.get(), kQuality)
                                                  : ReplaceExifImage(c.dst, c.src, image.get(), kQuality);
            if (out.result == S_OK) CheckWrittenFile(c, edit, picture);
            for (const KnownOutcome& k : kKnownOutcomes) {
              if (k.edit == edit && c.file->relative == k.file) {
                EXPECT_EQ(out.result, k.result) << c.where;
              }
            }

            out.judge = [edit, tiff, picture](const ExifToolTags& now, const Bytes&) {
              std::vector<std::string> problems = ThumbnailProblems(now, tiff);
              if (edit == Edit::kMainImage && tiff &&
                  (Value(now, "IFD0:ImageWidth") != std::to_string(picture.width) ||
                   Value(now, "IFD0:ImageHeight") != std::to_string(picture.height))) {
                problems.push_back("IFD0 image size " + Value(now, "IFD0:ImageWidth") + " x " +
                                   Value(now, "IFD0:ImageHeight"));
              }
              return problems;
            };
            // Judged above, or whole directories and data laid anew: out of the comparison,
            // pointers included.
            out.apart = [edit, tiff](const std::string& key) {
              const bool replacedStructure = edit == Edit::kMainImage && tiff && test::GroupOf(key) == "IFD0" &&
                                             ImageStructureTag(test::TagOf(key));
              return test::GroupOf(key) == "IFD1" || replacedStructure;
            };
            out.explained = [edit, tiff, picture, &exifGroups](const std::string& key,
                                                               const std::string* old,
                                                               const std::string* v) {
              if (edit != Edit::kMainImage) return false;
              const std::string group = test::GroupOf(key), tag = test::TagOf(key);
              // The picture's recorded size follows the new picture where it is recorded.
              if (group == "ExifIFD" && (tag == "ExifImageWidth" || tag == "ExifImageHeight")) {
                return old && v && *v == std::to_string(tag == "ExifImageWidth" ? picture.width : picture.height);
              }
              // Print matching made for the old picture goes (IFD0 0xC4A5, the maker note's 0x0E00).
              if (group == "PrintIM" || (group == "IFD0" && tag == "PrintIM")) return v == nullptr;
              if (group == "Composite" && (tag == "ImageSize" || tag == "Megapixels")) return true;
              // A TIFF photo without an orientation takes the new picture's (1, the meaning of none).
              if (tiff && key == "IFD0:Orientation") return !old && v && *v == "1";
              // A JPEG's other segments are the new picture's stream's, but for the photo's own
              // metadata (ICC profile, IPTC, FlashPix, comments), which stays byte for byte.
              return !tiff && !exifGroups.count(group) && group != "Composite" &&
                     group != "ExifTool" && !KeptMetadata(key);
            };
            return out;
          },
          /*keepsMainScan=*/edit == Edit::kThumbnail};
}

TEST(CorpusPictureTest, ThumbnailAndMainImageReplacedChangeOnlyWhatTheyAccountFor) {
  LF_SKIP_WITHOUT_CORPUS_EDITS();
  std::vector<std::string> originals;
  for (const test::CorpusFile& f : test::ExifCorpusFiles()) originals.push_back(f.path);
  std::string error;
  const std::set<std::string> exifGroups = ExifBlockGroups(originals, &error);
  ASSERT_TRUE(error.empty()) << error;
  ASSERT_TRUE(exifGroups.count("IFD0") && exifGroups.count("ExifIFD"));

  std::string notDecoded;
  const std::vector<test::CorpusEditTally> t = test::JudgeCorpusEdits(
      {MakeEdit(Edit::kThumbnail, exifGroups, &notDecoded), MakeEdit(Edit::kMainImage, exifGroups, &notDecoded)},
      "picture replacements");
  std::printf("  %zu EXIF files to the module; refused:%s%s\n  main images the module cannot decode (a generated "
              "one used):%s\n",
              t[0].ExifFiles(), t[0].refusedFiles.c_str(), t[1].refusedFiles.c_str(), notDecoded.c_str());
  EXPECT_GT(t[0].succeeded, t[0].ExifFiles() / 2);
  EXPECT_GT(t[1].succeeded, t[0].ExifFiles() / 2);
}

}  // namespace
}  // namespace lf::edit
