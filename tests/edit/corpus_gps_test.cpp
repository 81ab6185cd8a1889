// SPDX-License-Identifier: MIT
// GPS written to, removed from, and written-then-removed from every EXIF camera JPEG and TIFF of
// the real-world corpus, and a tag list naming only a tag the module does not write, as copies in
// scratch directories, judged by ExifTool's full dump: only the GPS tags, the modification date
// and pointers that still name the same bytes may differ; the GPS values ExifTool reads are the
// ones written, and no value moved to an odd offset; a refused edit leaves the file byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "exif/edit/gps_edit.h"
#include "tests/support/corpus_compare.h"
#include "tests/support/corpus_edits.h"
#include "tests/support/edit_fixtures.h"

namespace lf::edit {
namespace {

using test::Bytes;
using test::ExifToolTags;

enum class Edit { kWrite, kRemove, kRemoveWritten, kUnwrittenTagOnly };
constexpr Edit kEdits[] = {Edit::kWrite, Edit::kRemove, Edit::kRemoveWritten,
                           Edit::kUnwrittenTagOnly};
const char* Name(Edit e) {
  switch (e) {
    case Edit::kWrite: return "GPS written to a new path";
    case Edit::kRemove: return "GPS removed in place";
    case Edit::kRemoveWritten: return "GPS written, then removed";
    case Edit::kUnwrittenTagOnly: return "a tag list of GPSSatellites alone, GPS kept";
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

test::CorpusEdit MakeEdit(Edit edit) {
  return {Name(edit), [edit](const test::CorpusEditCase& c) {
            Position p;
            LfGpsRecord removal{};
            uint32_t satellites = 0x0008;
            LfGpsRecord unwritten{};
            unwritten.tagList.data = &satellites;
            unwritten.tagList.size = 1;
            test::CorpusEditOutcome out;
            out.path = c.src;
            switch (edit) {
              case Edit::kWrite:
                out.result = ReplaceExifGps(c.dst, c.src, 90, &p.record);
                out.path = c.dst;
                break;
              case Edit::kRemove:
                out.result = ReplaceExifGps(c.src, c.src, 90, &removal);
                // Only a file without GPS has none to remove.
                if (out.result != S_OK && out.result != E_NO_EXIF && c.before->count("GPS:GPSVersionID")) {
                  ADD_FAILURE() << c.where << ": the GPS data of this file could not be removed";
                }
                break;
              case Edit::kRemoveWritten:
                out.skipped = ReplaceExifGps(c.src, c.src, 90, &p.record) != S_OK;  // counted with kWrite
                out.sourceEdited = true;
                if (!out.skipped) out.result = ReplaceExifGps(c.src, c.src, 90, &removal);
                break;
              case Edit::kUnwrittenTagOnly:
                out.result = ReplaceExifGps(c.dst, c.src, 90, &unwritten);
                out.path = c.dst;
                out.skipped = !c.before->count("GPS:GPSVersionID");  // nothing to keep
                // Every GPS tag must be as it was: none is explained.
                return out;
            }
            out.judge = [edit, src = c.src, dst = c.dst](const ExifToolTags& after, const Bytes&) {
              std::vector<std::string> problems;
              if (edit == Edit::kWrite) {
                for (const std::string& issue :
                     test::NewIssues(test::ValidationIssues(src), test::ValidationIssues(dst))) {
                  if (issue.find("Odd offset") != std::string::npos) problems.push_back(issue);
                }
                for (const char* key : {"GPS:GPSLatitude", "GPS:GPSLongitude", "GPS:GPSLatitudeRef", "GPS:GPSAltitude"}) {
                  if (!after.count(key)) problems.push_back(std::string("no ") + key + " written");
                }
              } else {
                for (const auto& [key, value] : after) {
                  if (test::GroupOf(key) == "GPS")
                    problems.push_back("GPS left: " + key + " = " + test::Shown(value));
                }
              }
              return problems;
            };
            out.explained = [edit](const std::string& key, const std::string*, const std::string* now) {
              if (!IsGps(key)) return false;
              if (edit != Edit::kWrite) return now == nullptr;  // removed
              return now != nullptr && WrittenAsRecorded(key, *now, Position());
            };
            return out;
          }};
}

TEST(CorpusGpsTest, GpsWrittenAndRemovedChangesOnlyTheGpsTagsAsExifToolReadsThem) {
  LF_SKIP_WITHOUT_CORPUS_EDITS();
  std::vector<test::CorpusEdit> edits;
  for (Edit e : kEdits) edits.push_back(MakeEdit(e));
  const std::vector<test::CorpusEditTally> t = test::JudgeCorpusEdits(edits, "GPS edits");
  const size_t exifFiles = t[0].ExifFiles();
  std::printf("  %zu EXIF files to the module; writes refused:%s\n", exifFiles, t[0].refusedFiles.c_str());
  EXPECT_GT(t[0].succeeded, exifFiles / 2);
  EXPECT_GT(t[1].succeeded, 0u);
  EXPECT_GT(t[3].succeeded, 0u);
}

}  // namespace
}  // namespace lf::edit
