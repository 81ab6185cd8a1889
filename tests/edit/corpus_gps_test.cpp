// GPS written to, removed from, and written-then-removed from every EXIF camera JPEG and TIFF of the
// real-world corpus, as copies in scratch directories, judged by ExifTool's full dump: only the
// GPS tags, the modification date and pointers that still name the same bytes may differ; the GPS
// values ExifTool reads are the ones written; a refused edit leaves the file byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "exif/edit/gps_edit.h"
#include "tests/support/corpus_compare.h"
#include "tests/support/edit_fixtures.h"

namespace lf::edit {
namespace {

using test::Bytes;
using test::ExifToolTags;

enum class Edit { kWrite, kRemove, kRemoveWritten };
constexpr Edit kEdits[] = {Edit::kWrite, Edit::kRemove, Edit::kRemoveWritten};
const char* Name(Edit e) {
  switch (e) {
    case Edit::kWrite: return "GPS written to a new path";
    case Edit::kRemove: return "GPS removed in place";
    case Edit::kRemoveWritten: return "GPS written, then removed";
  }
  return "?";
}

// Sydney Opera House: south and east, above sea level, with every tag the record carries.
struct Position {
  std::vector<uint32_t> tags{0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, 0x0012, 0x001D};
  std::string datum = "WGS-84", date = "2024:05:06";
  LfGpsRecord record{};
  Position() {
    record.tagList.data = tags.data();
    record.tagList.size = static_cast<int32_t>(tags.size());
    record.versionID[0] = 2;
    record.versionID[1] = 2;
    record.latitudeRef[0] = 'S';
    const uint32_t lat[6] = {33, 1, 51, 1, 244224, 10000}, lon[6] = {151, 1, 12, 1, 551069, 10000};
    std::memcpy(record.latitude, lat, sizeof lat);
    record.longitudeRef[0] = 'E';
    std::memcpy(record.longitude, lon, sizeof lon);
    record.altitude[0] = 585;
    record.altitude[1] = 10;
    const uint32_t time[6] = {1, 1, 2, 1, 3, 1};
    std::memcpy(record.timeStamp, time, sizeof time);
    record.mapDatum.text = datum.data();
    record.dateStamp.text = date.data();
  }
  static double Degrees(const uint32_t r[6]) {
    return double(r[0]) / r[1] + double(r[2]) / r[3] / 60 + double(r[4]) / r[5] / 3600;
  }
};

bool IsGps(const std::string& key) {
  return test::GroupOf(key) == "GPS" || (test::GroupOf(key) == "Composite" && test::TagOf(key).rfind("GPS", 0) == 0);
}

// The GPS values ExifTool reads must be the ones written (to the precision of the rationals), and
// GPS tags the record does not name must be as they were.
bool WrittenAsRecorded(const std::string& key, const std::string& now, const Position& p) {
  const std::string tag = test::TagOf(key);
  auto near = [&](double want) { return std::fabs(std::stod(now) - want) < 1e-7; };
  if (test::GroupOf(key) == "Composite") return true;  // derived from the GPS tags judged here
  if (tag == "GPSVersionID") return now == "2 2 0 0" || now == "2 0 0 0";
  if (tag == "GPSLatitudeRef") return now == "S";
  if (tag == "GPSLongitudeRef") return now == "E";
  if (tag == "GPSLatitude") return near(Position::Degrees(p.record.latitude));
  if (tag == "GPSLongitude") return near(Position::Degrees(p.record.longitude));
  if (tag == "GPSAltitudeRef") return now == "0";
  if (tag == "GPSAltitude") return near(58.5);
  if (tag == "GPSTimeStamp") return now == "01:02:03";
  if (tag == "GPSMapDatum") return now == "WGS-84";
  if (tag == "GPSDateStamp") return now == "2024:05:06";
  return false;
}

struct Case {
  size_t file = 0;
  Edit edit = Edit::kWrite;
  std::unique_ptr<test::TempDir> dir;
  std::string result;
};

TEST(CorpusGpsTest, GpsWrittenAndRemovedChangesOnlyTheGpsTagsAsExifToolReadsThem) {
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
  std::map<Edit, std::map<std::string, size_t>> refusals;
  std::vector<Case> cases;
  std::string refusedFiles;
  size_t exifFiles = 0;  // files the module counts as EXIF files (no JFIF segment)
  for (size_t i = 0; i < files.size(); ++i) {
    const test::CorpusFile& f = files[i];
    if (!before.count(f.path)) {
      ADD_FAILURE() << f.relative << ": ExifTool did not read the original";
      continue;
    }
    const Bytes original = test::ReadFile(f.path);
    for (Edit edit : kEdits) {
      Case c;
      c.file = i;
      c.edit = edit;
      c.dir = std::make_unique<test::TempDir>();
      const std::string ext = test::Extension(f.path);
      const std::string name = "file" + ext, src = c.dir->File(name), dst = c.dir->File("edited" + ext);
      test::WriteFile(src, original);
      Position p;
      LfGpsRecord removal{};
      HRESULT r = E_FAIL;
      std::vector<std::string> expectedFiles{name};
      switch (edit) {
        case Edit::kWrite:
          r = ReplaceExifGps(dst, src, 90, &p.record);
          if (r != E_NO_EXIF) ++exifFiles;
          c.result = dst;
          expectedFiles = {"edited" + ext, name};
          break;
        case Edit::kRemove:
          r = ReplaceExifGps(src, src, 90, &removal);
          c.result = src;
          break;
        case Edit::kRemoveWritten:
          if (ReplaceExifGps(src, src, 90, &p.record) != S_OK) continue;  // counted with kWrite
          r = ReplaceExifGps(src, src, 90, &removal);
          c.result = src;
          break;
      }
      const std::string where = f.relative + ", " + Name(edit) + " (result " + test::HexCode(r) + ")";
      if (r != S_OK) {
        ++refused[edit];
        ++refusals[edit][test::HexCode(r) + (edit == Edit::kRemove && !f.hasGps ? " no GPS" : "")];
        if (edit != Edit::kRemoveWritten) {
          EXPECT_TRUE(test::ReadFile(src) == original) << where << ": the refused edit changed the file";
        }
        EXPECT_EQ(c.dir->List(), std::vector<std::string>{name}) << where << ": files left behind";
        EXPECT_TRUE(r == E_FAIL || r == E_NO_EXIF || r == HRESULT_FROM_WIN32(13)) << where;
        if (edit == Edit::kWrite && r != E_NO_EXIF) refusedFiles += "\n    " + where;
        // Only a file without GPS has none to remove.
        if (edit == Edit::kRemove && r != E_NO_EXIF && before.at(f.path).count("GPS:GPSVersionID")) {
          ADD_FAILURE() << where << ": the GPS data of this file could not be removed";
        }
        continue;
      }
      ++succeeded[edit];
      EXPECT_EQ(c.dir->List(), expectedFiles) << where << ": files left behind";
      if (edit == Edit::kWrite) {
        EXPECT_TRUE(test::ReadFile(src) == original) << where << ": the source changed";
      }
      if (f.format == "JPEG") {
        EXPECT_TRUE(test::MainScan(test::ReadFile(c.result)) == test::MainScan(original))
            << where << ": the image data from the SOS marker on changed";
      }
      cases.push_back(std::move(c));
    }
  }

  std::vector<std::string> results;
  for (const Case& c : cases) results.push_back(c.result);
  const test::ExifToolDump after = test::RunExifTool(results, {}, &error);
  ASSERT_TRUE(error.empty()) << error;
  const Position p;
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
    std::vector<std::string> problems;
    if (c.edit == Edit::kWrite) {
      for (const char* key : {"GPS:GPSLatitude", "GPS:GPSLongitude", "GPS:GPSLatitudeRef", "GPS:GPSAltitude"}) {
        if (!a->second.count(key)) problems.push_back(std::string("no ") + key + " written");
      }
    } else {
      for (const auto& [key, value] : a->second) {
        if (test::GroupOf(key) == "GPS") problems.push_back("GPS left: " + key + " = " + test::Shown(value));
      }
    }
    const test::Explains explained = [&](const std::string& key, const std::string*, const std::string* now) {
      if (!IsGps(key)) return false;
      if (c.edit != Edit::kWrite) return now == nullptr;  // removed
      return now != nullptr && WrittenAsRecorded(key, *now, p);
    };
    const std::vector<std::string> changes = test::UnexplainedChanges(
        before.at(f.path), test::ReadFile(f.path), a->second, test::ReadFile(c.result), explained);
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
  std::printf("%zu files (%zu EXIF files to the module), %zu successful GPS edits judged by ExifTool, %zu with "
              "unexplained differences:%s\n  writes refused:%s\n",
              files.size(), exifFiles, cases.size(), damaged, summary.c_str(), refusedFiles.c_str());
  EXPECT_GT(succeeded[Edit::kWrite], exifFiles / 2);
  EXPECT_GT(succeeded[Edit::kRemove], 0u);
}

}  // namespace
}  // namespace lf::edit
