// SPDX-License-Identifier: MIT
// Every EXIF-carrying camera JPEG and TIFF of the real-world corpus, edited as copies in scratch
// directories, judged by ExifTool rather than by our own reader: each successful edit may change
// only the edited tags, the modification date and pointers that still name the same bytes; each
// refused edit leaves the file untouched and nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>

#include "exif/edit/orientation_date.h"
#include "platform/file.h"
#include "tests/support/corpus_compare.h"
#include "tests/support/corpus_edits.h"
#include "tests/support/edit_fixtures.h"
#include "tests/support/exiftool_dump.h"

namespace lf::edit {
namespace {

using test::Bytes;
using test::ExifToolTags;

enum class Edit { kOrientationPatch, kOrientationRebuildToNewPath, kOrientationRebuildInPlace, kDateInPlace };
constexpr Edit kEdits[] = {Edit::kOrientationPatch, Edit::kOrientationRebuildToNewPath,
                           Edit::kOrientationRebuildInPlace, Edit::kDateInPlace};

const char* Name(Edit e) {
  switch (e) {
    case Edit::kOrientationPatch: return "SetOrientation in place, allowRebuild 0";
    case Edit::kOrientationRebuildToNewPath: return "SetOrientation to a new path, allowRebuild 1";
    case Edit::kOrientationRebuildInPlace: return "SetOrientation in place, allowRebuild 1";
    case Edit::kDateInPlace: return "SetDateTimeOriginal in place";
  }
  return "?";
}
bool IsOrientation(Edit e) { return e != Edit::kDateInPlace; }
bool MayRebuild(Edit e) {
  return e == Edit::kOrientationRebuildToNewPath || e == Edit::kOrientationRebuildInPlace;
}

using test::Digits;
using test::Separators;
using test::Shown;

struct Expected {
  Edit edit;
  uint16_t orientation = 0;  // for the orientation edits
  std::string date;          // for the date edit: the digits of the new DateTimeOriginal
};

// The edited values as ExifTool reads them after a successful edit, when they are not the new ones.
std::vector<std::string> EditedValueProblems(const ExifToolTags& before, const ExifToolTags& after,
                                             const Expected& x) {
  std::vector<std::string> problems;
  if (IsOrientation(x.edit)) {
    const std::string want = std::to_string(x.orientation);
    const auto o = after.find("IFD0:Orientation");
    if (o == after.end() || o->second != want) {
      problems.push_back("IFD0:Orientation is " + (o == after.end() ? std::string("missing") : Shown(o->second)) +
                         ", not " + want);
    }
  } else {
    const auto d = after.find("ExifIFD:DateTimeOriginal");
    const auto was = before.find("ExifIFD:DateTimeOriginal");
    if (d == after.end() || Digits(d->second) != x.date ||
        (was != before.end() && Separators(d->second) != Separators(was->second))) {
      problems.push_back("ExifIFD:DateTimeOriginal is " + (d == after.end() ? std::string("missing") : Shown(d->second)) +
                         ", not the digits " + x.date + " with the original separators");
    }
  }
  return problems;
}

// Which differing tag the edit accounts for.
test::Explains ExplainedBy(const Expected& x) {
  return [x](const std::string& key, const std::string* was, const std::string* now) {
    if (IsOrientation(x.edit)) {
      if (key == "IFD0:Orientation") return true;  // judged by EditedValueProblems
      // The thumbnail follows the main image; a rebuild may add the entry it lacked.
      if (key == "IFD1:Orientation") return now && *now == std::to_string(x.orientation) && (was || MayRebuild(x.edit));
    } else if (key == "ExifIFD:DateTimeOriginal") {
      return true;  // judged by EditedValueProblems
    } else if (key == "Composite:SubSecDateTimeOriginal") {
      return now && Digits(*now).compare(0, 14, x.date) == 0;
    }
    return false;
  };
}

// Everything ExifTool sees differ between the file before and after a successful edit that the
// edit does not account for, one line each.
std::vector<std::string> UnexplainedDifferences(const ExifToolTags& before, const Bytes& beforeFile,
                                                const ExifToolTags& after, const Bytes& afterFile,
                                                const Expected& x) {
  std::vector<std::string> problems = EditedValueProblems(before, after, x);
  const std::vector<std::string> changes =
      test::UnexplainedChanges(before, beforeFile, after, afterFile, ExplainedBy(x));
  problems.insert(problems.end(), changes.begin(), changes.end());
  return problems;
}

ExifDateTime DateFromDigits(const std::string& s) {
  auto part = [&](size_t at, size_t n) { return static_cast<uint16_t>(std::stoi(s.substr(at, n))); };
  ExifDateTime t{};
  t.year = part(0, 4);
  t.month = part(4, 2);
  t.day = part(6, 2);
  t.hour = part(8, 2);
  t.minute = part(10, 2);
  t.second = part(12, 2);
  return t;
}

test::CorpusEdit MakeEdit(Edit edit) {
  return {Name(edit), [edit](const test::CorpusEditCase& c) {
            const ExifToolTags& was = *c.before;
            const auto o = was.find("IFD0:Orientation");
            const int current = o == was.end() ? 0 : std::atoi(o->second.c_str());
            const auto d = was.find("ExifIFD:DateTimeOriginal");
            const bool sameDate = d != was.end() && Digits(d->second) == "20010203040506";
            const Expected x{edit, static_cast<uint16_t>(current % 8 + 1), sameDate ? "20020304050607" : "20010203040506"};
            test::CorpusEditOutcome out;
            out.path = c.src;
            switch (edit) {
              case Edit::kOrientationPatch: out.result = SetOrientation(c.src, c.src, x.orientation, 0); break;
              case Edit::kOrientationRebuildInPlace: out.result = SetOrientation(c.src, c.src, x.orientation, 1); break;
              case Edit::kOrientationRebuildToNewPath:
                out.result = SetOrientation(c.dst, c.src, x.orientation, 1);
                out.path = c.dst;
                break;
              case Edit::kDateInPlace: out.result = SetDateTimeOriginal(c.src, DateFromDigits(x.date)); break;
            }
            out.judge = [x, before = c.before](const ExifToolTags& after, const Bytes&) {
              return EditedValueProblems(*before, after, x);
            };
            out.explained = ExplainedBy(x);
            return out;
          }};
}

TEST(CorpusEditTest, EditsOfRealFilesChangeOnlyTheEditedTagsAsExifToolReadsThem) {
  LF_SKIP_WITHOUT_CORPUS_EDITS();
  std::vector<test::CorpusEdit> edits;
  for (Edit e : kEdits) edits.push_back(MakeEdit(e));
  const std::vector<test::CorpusEditTally> t = test::JudgeCorpusEdits(edits, "orientation and date edits");
  EXPECT_GT(t[0].succeeded, 0u);
  EXPECT_GT(t[3].succeeded, 0u);
  // A rebuild edits every file the module counts as EXIF, trailers and maker notes of every
  // dialect included.
  for (const test::CorpusEditTally& rebuild : {t[1], t[2]}) {
    EXPECT_EQ(rebuild.succeeded, rebuild.ExifFiles()) << rebuild.refusedFiles;
  }
}

// ExifTool's JSON as the comparison sees it: escapes decoded, binary and list values kept whole,
// and copies numbered within their group so that a tag added to IFD1 does not rename IFD0's.
TEST(CorpusEditTest, ExifToolOutputIsReadWithCopiesNumberedPerGroup) {
  const std::string json = R"([{
  "SourceFile": "a/b \"c\".jpg",
  "IFD0:Orientation": 6,
  "IFD1:Copy1:Orientation": 6,
  "IFD0:Copy2:StripOffsets": "8 16",
  "IFD0:Copy3:StripOffsets": "24",
  "IFD1:ThumbnailImage": "base64:/9j/2Q==",
  "XMP-dc:Subject": ["x", 2.50],
  "IFD0:Artist": "\u00e9\ud83d\ude00\t/"
},
{"SourceFile": "d.tif"}])";
  test::ExifToolDump dump;
  std::string error;
  ASSERT_TRUE(test::ParseExifToolJson(json, &dump, &error)) << error;
  ASSERT_EQ(dump.size(), 2u);
  EXPECT_TRUE(dump.at("d.tif").empty());
  const ExifToolTags expected = {
      {"IFD0:Orientation", "6"},          {"IFD1:Orientation", "6"},
      {"IFD0:StripOffsets", "8 16"},      {"IFD0:StripOffsets (2)", "24"},
      {"IFD1:ThumbnailImage", "base64:/9j/2Q=="}, {"XMP-dc:Subject", "[x, 2.50]"},
      {"IFD0:Artist", "\xC3\xA9\xF0\x9F\x98\x80\t/"}};
  EXPECT_EQ(dump.at("a/b \"c\".jpg"), expected);
  EXPECT_FALSE(test::ParseExifToolJson(R"([{"SourceFile": "x", "A": "unterminated}])", &dump, &error));
  EXPECT_FALSE(error.empty());
}

// The known fault of the rebuild path on thumbnails stored as uncompressed strips: the strips
// move with the block but IFD1 StripOffsets keeps its old value. Simulated on a correct rebuild of
// a real file, it must be reported.
TEST(CorpusEditTest, TheComparisonReportsAThumbnailStripPointerLeftBehind) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "corpus not present";
  if (!test::ExifToolAvailable()) GTEST_SKIP() << "exiftool not installed";
  const std::string original = test::CorpusDir() + "/drewnoakes_metadata-extractor-images/jpg/FujiFilm_DS-7__2_.jpg";
  if (!platform::FileExists(original)) GTEST_SKIP() << "file not in the corpus";
  test::TempDir dir;
  const std::string src = dir.File("src.jpg"), good = dir.File("good.jpg"), bad = dir.File("bad.jpg");
  test::WriteFile(src, test::ReadFile(original));
  if (SetOrientation(good, src, 3, 1) != S_OK) GTEST_SKIP() << "the rebuild refuses this file";

  // Little-endian TIFF header right after the SOI and APP1 header; IFD1 StripOffsets is one LONG.
  const Bytes goodBytes = test::ReadFile(good);
  ASSERT_TRUE(goodBytes.size() > 20 && goodBytes[12] == 'I' && goodBytes[13] == 'I');
  std::string error;
  const test::ExifToolDump first = test::RunExifTool({original, good}, {}, &error);
  ASSERT_TRUE(error.empty()) << error;
  ASSERT_TRUE(first.count(original) && first.count(good));
  const uint32_t was = static_cast<uint32_t>(std::stoul(first.at(original).at("IFD1:StripOffsets"))) - 12;
  const uint32_t now = static_cast<uint32_t>(std::stoul(first.at(good).at("IFD1:StripOffsets"))) - 12;
  ASSERT_NE(was, now) << "the strips did not move, nothing to simulate";
  auto entry = [](uint32_t value) {
    return Bytes{0x11, 0x01, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, static_cast<uint8_t>(value),
                 static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  };
  const Bytes pattern = entry(now);
  const auto at = std::search(goodBytes.begin(), goodBytes.end(), pattern.begin(), pattern.end());
  ASSERT_NE(at, goodBytes.end());
  Bytes badBytes = goodBytes;
  const Bytes stale = entry(was);
  std::copy(stale.begin(), stale.end(), badBytes.begin() + (at - goodBytes.begin()));
  test::WriteFile(bad, badBytes);

  const test::ExifToolDump second = test::RunExifTool({bad}, {}, &error);
  ASSERT_TRUE(error.empty() && second.count(bad)) << error;
  const Expected expected{Edit::kOrientationRebuildToNewPath, 3, {}};
  EXPECT_TRUE(UnexplainedDifferences(first.at(original), test::ReadFile(original), first.at(good), goodBytes,
                                     expected).empty());
  const std::vector<std::string> problems =
      UnexplainedDifferences(first.at(original), test::ReadFile(original), second.at(bad), badBytes, expected);
  ASSERT_EQ(problems.size(), 1u) << ::testing::PrintToString(problems);
  EXPECT_EQ(problems[0].rfind("pointer IFD1:StripOffsets ('796' -> '796') no longer names the same bytes", 0), 0u)
      << problems[0];
}

}  // namespace
}  // namespace lf::edit
