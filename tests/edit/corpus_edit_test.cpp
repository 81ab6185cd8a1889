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
using test::Extension;
using test::LooksLikeDateTime;
using test::Separators;
using test::Shown;
using test::ShownPair;

std::string Hex(HRESULT r) { return test::HexCode(r); }

struct Expected {
  Edit edit;
  uint16_t orientation = 0;  // for the orientation edits
  std::string date;          // for the date edit: the digits of the new DateTimeOriginal
};

// The differences ExifTool sees between the file before and after a successful edit that the edit
// does not account for, one line each.
std::vector<std::string> UnexplainedDifferences(const ExifToolTags& before, const Bytes& beforeFile,
                                                const ExifToolTags& after, const Bytes& afterFile,
                                                const Expected& x) {
  std::vector<std::string> problems;
  const std::string want = std::to_string(x.orientation);

  // The edited values must be there with their new values.
  if (IsOrientation(x.edit)) {
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

  // Which differing tag the edit accounts for.
  auto explained = [&](const std::string& key, const std::string* was, const std::string* now) {
    if (IsOrientation(x.edit)) {
      if (key == "IFD0:Orientation") return true;  // checked above
      // The thumbnail follows the main image; a rebuild may add the entry it lacked.
      if (key == "IFD1:Orientation") return now && *now == want && (was || MayRebuild(x.edit));
    } else if (key == "ExifIFD:DateTimeOriginal") {
      return true;  // checked above
    } else if (key == "Composite:SubSecDateTimeOriginal") {
      return now && Digits(*now).compare(0, 14, x.date) == 0;
    }
    return false;
  };
  const std::vector<std::string> changes = test::UnexplainedChanges(before, beforeFile, after, afterFile, explained);
  problems.insert(problems.end(), changes.begin(), changes.end());
  return problems;
}

struct Case {
  size_t file = 0;  // index in the file list
  Edit edit = Edit::kOrientationPatch;
  Expected expected{Edit::kOrientationPatch, 0, {}};
  std::unique_ptr<test::TempDir> dir;
  std::string result;  // the edited file, when the edit succeeded
};

TEST(CorpusEditTest, EditsOfRealFilesChangeOnlyTheEditedTagsAsExifToolReadsThem) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "corpus not present";
  if (!test::ExifToolAvailable()) GTEST_SKIP() << "exiftool not installed";
  const std::vector<test::CorpusFile> files = test::ExifCorpusFiles();
  ASSERT_FALSE(files.empty());

  std::vector<std::string> originals;
  for (const test::CorpusFile& f : files) originals.push_back(f.path);
  std::string error;
  const test::ExifToolDump before = test::RunExifTool(originals, {}, &error);
  ASSERT_TRUE(error.empty()) << error;

  std::map<Edit, size_t> succeeded, refused;
  std::map<Edit, std::map<std::string, size_t>> refusals;  // result code -> count
  std::vector<Case> cases;
  for (size_t i = 0; i < files.size(); ++i) {
    const test::CorpusFile& f = files[i];
    const auto tags = before.find(f.path);
    if (tags == before.end()) {
      ADD_FAILURE() << f.relative << ": ExifTool did not read the original";
      continue;
    }
    const Bytes original = test::ReadFile(f.path);
    const auto o = tags->second.find("IFD0:Orientation");
    const uint16_t current = o == tags->second.end() ? 0 : static_cast<uint16_t>(std::atoi(o->second.c_str()));
    const auto d = tags->second.find("ExifIFD:DateTimeOriginal");
    const bool sameDate = d != tags->second.end() && Digits(d->second) == "20010203040506";
    for (Edit edit : kEdits) {
      Case c;
      c.file = i;
      c.edit = edit;
      c.expected = {edit, static_cast<uint16_t>(current % 8 + 1), sameDate ? "20020304050607" : "20010203040506"};
      c.dir = std::make_unique<test::TempDir>();
      const std::string name = "file" + Extension(f.path);
      const std::string src = c.dir->File(name), dst = c.dir->File("edited" + Extension(f.path));
      test::WriteFile(src, original);

      HRESULT r = E_FAIL;
      std::string result = src;
      switch (edit) {
        case Edit::kOrientationPatch: r = SetOrientation(src, src, c.expected.orientation, 0); break;
        case Edit::kOrientationRebuildInPlace: r = SetOrientation(src, src, c.expected.orientation, 1); break;
        case Edit::kOrientationRebuildToNewPath:
          r = SetOrientation(dst, src, c.expected.orientation, 1);
          result = dst;
          break;
        case Edit::kDateInPlace: {
          ExifDateTime t{};
          const std::string& s = c.expected.date;
          t.year = static_cast<uint16_t>(std::stoi(s.substr(0, 4)));
          t.month = static_cast<uint16_t>(std::stoi(s.substr(4, 2)));
          t.day = static_cast<uint16_t>(std::stoi(s.substr(6, 2)));
          t.hour = static_cast<uint16_t>(std::stoi(s.substr(8, 2)));
          t.minute = static_cast<uint16_t>(std::stoi(s.substr(10, 2)));
          t.second = static_cast<uint16_t>(std::stoi(s.substr(12, 2)));
          r = SetDateTimeOriginal(src, t);
          break;
        }
      }

      const std::string where = f.relative + ", " + Name(edit) + " (result " + Hex(r) + ")";
      const std::vector<std::string> left = c.dir->List();
      if (r != S_OK) {
        ++refused[edit];
        ++refusals[edit][Hex(r)];
        EXPECT_TRUE(test::ReadFile(src) == original) << where << ": the refused edit changed the file";
        EXPECT_EQ(left, std::vector<std::string>{name}) << where << ": the refused edit left files behind";
        // A refusal says the file is not one the module edits, or not this way; anything else
        // (an I/O or memory failure) is a fault.
        EXPECT_TRUE(r == E_FAIL || r == E_NO_EXIF || r == HRESULT_FROM_WIN32(13)) << where;
        continue;
      }
      ++succeeded[edit];
      if (result != src) {
        EXPECT_TRUE(test::ReadFile(src) == original) << where << ": the source of the copy changed";
        EXPECT_EQ(left, (std::vector<std::string>{"edited" + Extension(f.path), name})) << where << ": files left behind";
      } else {
        EXPECT_EQ(left, std::vector<std::string>{name}) << where << ": files left behind";
      }
      // ExifTool does not read the compressed image of a JPEG; it must be untouched.
      if (f.format == "JPEG") {
        EXPECT_TRUE(test::MainScan(test::ReadFile(result)) == test::MainScan(original))
            << where << ": the image data from the SOS marker on changed";
      }
      c.result = result;
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
    const std::string where = f.relative + ", " + Name(c.edit);
    const auto a = after.find(c.result);
    if (a == after.end()) {
      ADD_FAILURE() << where << ": ExifTool cannot read the edited file";
      ++damaged;
      continue;
    }
    const std::vector<std::string> problems = UnexplainedDifferences(
        before.at(f.path), test::ReadFile(f.path), a->second, test::ReadFile(c.result), c.expected);
    if (!problems.empty()) {
      ++damaged;
      std::string list;
      for (const std::string& p : problems) list += "\n    " + p;
      ADD_FAILURE() << where << " (orientation " << c.expected.orientation
                    << "): ExifTool sees differences the edit does not account for:" << list;
    }
  }

  std::string summary;
  for (Edit e : kEdits) {
    summary += std::string("\n  ") + Name(e) + ": " + std::to_string(succeeded[e]) + " succeeded, " +
               std::to_string(refused[e]) + " refused";
    for (const auto& [code, n] : refusals[e]) summary += " [" + code + " x" + std::to_string(n) + "]";
  }
  std::printf("%zu files, %zu successful edits judged by ExifTool, %zu with unexplained differences:%s\n",
              files.size(), cases.size(), damaged, summary.c_str());
  EXPECT_GT(succeeded[Edit::kOrientationRebuildToNewPath], 0u);
  EXPECT_GT(succeeded[Edit::kOrientationPatch], 0u);
  EXPECT_GT(succeeded[Edit::kDateInPlace], 0u);
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
