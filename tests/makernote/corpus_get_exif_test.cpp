// SPDX-License-Identifier: MIT
// GetExif on the camera files of the real-world corpus against ExifTool's readings of the standard
// tags the summaries carry: exposure time, f-number, ISO, focal length, flash and the GPS position;
// every maker-note text and single number the maker-note exports deliver, in whatever dialect the
// camera wrote, against ExifTool's reading of the same tag number; and SetMakerNote on every file,
// which ExifTool must then read with only the edited maker-note value changed (or which must be
// refused with the file byte for byte as it was, where no maker-note directory reads as one).
//
// Differences the module's rules prescribe, and which the comparison therefore allows:
//  - a JPEG with an APP0 (JFIF) segment is no EXIF file to the module, nor is one whose last APP1
//    segment is not the EXIF one (an XMP segment after it): GetExif answers E_NO_EXIF, as for a
//    file without an Exif IFD;
//  - a value whose type the module does not interpret (SSHORT, FLOAT, DOUBLE, ...) or that does
//    not lie inside the EXIF block is not delivered, where ExifTool may still read it;
//  - a rational is delivered as stored, so a zero denominator is not compared (ExifTool prints
//    "inf" or "undef");
//  - ISOSpeedRatings delivers its first value only;
//  - a tag stored twice in a directory is delivered twice, the field holding the later value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "lumenframe/lumenframe.h"
#include "tests/support/corpus_compare.h"
#include "tests/support/corpus_edits.h"

namespace lf::test {
namespace {

// The JPEG markers up to the scan: an APP0 segment, or a last APP1 segment that is not "Exif".
bool NotExifByItsMarkers(const Bytes& file) {
  bool app0 = false, lastApp1Exif = true;
  for (size_t pos = 2; pos + 4 <= file.size() && file[pos] == 0xFF;) {
    const uint8_t marker = file[pos + 1];
    if (marker == 0xDA || marker == 0xD9) break;
    app0 = app0 || marker == 0xE0;
    if (marker == 0xE1) lastApp1Exif = pos + 8 <= file.size() && std::memcmp(&file[pos + 4], "Exif", 4) == 0;
    pos += 2 + (file[pos + 2] << 8 | file[pos + 3]);
  }
  return app0 || !lastApp1Exif;
}

bool Delivered(const LfU16List& tags, uint16_t tag) {
  for (int32_t i = 0; i < tags.size; ++i) {
    if (tags.data[i] == tag) return true;
  }
  return false;
}

// ExifTool's numeric reading of a key ("400 800" reads as its first number); NAN when absent.
double Reading(const ExifToolTags& tags, const std::string& key) {
  const auto it = tags.find(key);
  if (it == tags.end()) return NAN;
  char* end = nullptr;
  const double v = std::strtod(it->second.c_str(), &end);
  return end == it->second.c_str() ? NAN : v;
}

double Degrees(const uint32_t r[6]) {
  double d = 0, scale = 1;
  for (int i = 0; i < 3; ++i, scale *= 60) {
    if (r[2 * i + 1] == 0) return NAN;
    d += double(r[2 * i]) / r[2 * i + 1] / scale;
  }
  return d;
}

struct Check {
  const char* key;
  uint16_t tag;
  bool gps;
};

TEST(CorpusGetExifTest, SummariesAgreeWithExifTool) {
  const std::vector<CorpusFile> files = ExifCorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus absent";
  if (!ExifToolAvailable()) GTEST_SKIP() << "exiftool missing";
  std::vector<std::string> paths;
  for (const CorpusFile& f : files) paths.push_back(f.path);
  const ExifToolDump dump = RunExifTool(paths);

  int compared = 0;
  for (const CorpusFile& f : files) {
    SCOPED_TRACE(f.relative);
    if (!dump.count(f.path)) continue;
    const ExifToolTags& tool = dump.at(f.path);
    LfExifSummary exif{};
    LfGpsSummary gps{};
    const LF_RESULT r = GetExif(f.path.c_str(), &exif, &gps, nullptr);
    if (r == LF_E_NO_EXIF) {
      const bool exifIfd = std::any_of(tool.begin(), tool.end(), [](const auto& kv) { return GroupOf(kv.first) == "ExifIFD"; });
      EXPECT_TRUE(!exifIfd || (f.format == "JPEG" && NotExifByItsMarkers(ReadFile(f.path))))
          << "E_NO_EXIF for an EXIF file";
      continue;
    }
    ++compared;
    auto judge = [&](const std::string& key, uint16_t tag, const LfU16List& delivered, double ours,
                     double tolerance) {
      const double theirs = Reading(tool, key);
      const bool twice = tool.count(key + " (2)") != 0;
      if (!Delivered(delivered, tag)) {
        // Not delivered: allowed only where the module's value rules refuse the stored value.
        if (!std::isnan(theirs)) {
          uint8_t buffer[64];
          uint32_t size = sizeof buffer;
          EXPECT_NE(GetExifValue(f.path.c_str(), tag < 0x0020 ? LF_DIR_GPS : LF_DIR_EXIF, tag,
                                 buffer, &size, nullptr, nullptr),
                    LF_S_OK)
              << key << " " << theirs << " not delivered";
        }
        return;
      }
      if (std::isnan(ours) || twice) return;
      EXPECT_FALSE(std::isnan(theirs)) << key << " delivered, ExifTool has none";
      if (!std::isnan(theirs)) {
        EXPECT_NEAR(ours, theirs, tolerance * std::max(1.0, std::fabs(theirs))) << key;
      }
    };
    auto ratio = [](const uint32_t v[2]) { return v[1] ? double(v[0]) / v[1] : NAN; };
    judge("ExifIFD:ExposureTime", 0x829A, exif.tags, ratio(exif.exposureTime), 1e-6);
    judge("ExifIFD:FNumber", 0x829D, exif.tags, ratio(exif.fNumber), 1e-6);
    judge("ExifIFD:ISO", 0x8827, exif.tags, exif.isoSpeedRatings, 0);
    judge("ExifIFD:FocalLength", 0x920A, exif.tags, ratio(exif.focalLength), 1e-6);
    judge("ExifIFD:Flash", 0x9209, exif.tags, exif.flash, 0);
    judge("GPS:GPSLatitude", 0x0002, gps.tags, Degrees(gps.latitude), 1e-6);
    judge("GPS:GPSLongitude", 0x0004, gps.tags, Degrees(gps.longitude), 1e-6);
    judge("GPS:GPSAltitude", 0x0006, gps.tags, ratio(gps.altitude), 1e-6);
    if (Delivered(gps.tags, 0x0001) && tool.count("GPS:GPSLatitudeRef")) {
      EXPECT_EQ(std::string(1, gps.latitudeRef[0]), tool.at("GPS:GPSLatitudeRef").substr(0, 1));
    }
    LfExifSummaryClear(&exif);
    LfGpsSummaryClear(&gps);
  }
  RecordProperty("compared", compared);
  EXPECT_GT(compared, 0);
}

// ExifTool's maker-note values by tag number (read with -G0 -D: "{id=N, val=V}").
std::multimap<uint32_t, std::string> MakerValuesById(const std::string& path) {
  std::multimap<uint32_t, std::string> out;
  const ExifToolDump dump = RunExifTool({path}, {"-G0", "-D"});
  if (!dump.count(path)) return out;
  for (const auto& [key, v] : dump.at(path)) {
    const size_t val = v.find(", val=");
    if (GroupOf(key) != "MakerNotes" || v.rfind("{id=", 0) != 0 || val == std::string::npos)
      continue;
    out.emplace(std::strtoul(v.c_str() + 4, nullptr, 10), v.substr(val + 6, v.size() - val - 7));
  }
  return out;
}

// Whether ExifTool shows our reading of a maker-note entry. Texts show that the value was found
// where the dialect puts it (ExifTool joins the pieces of a text that holds NULs, of which the
// module delivers the first), single SHORTs that it was read in the dialect's byte order. LONGs
// are not compared: ExifTool scales some and turns offsets into file positions.
bool Shown(const std::multimap<uint32_t, std::string>& theirs, uint16_t tag, uint16_t type,
           const std::string& ours) {
  const auto [from, to] = theirs.equal_range(tag);
  return std::any_of(from, to, [&](const auto& kv) {
    return type == kAscii ? kv.second.rfind(ours, 0) == 0 : kv.second == ours;
  });
}

// The directories whose tags a maker-note edit must leave as they were (besides the stamp).
bool OutsideTheMakerNote(const std::string& key) {
  static const std::set<std::string> kGroups = {"IFD0",       "IFD1",     "ExifIFD", "GPS",
                                                "InteropIFD", "ExifTool", "File"};
  return kGroups.count(GroupOf(key)) != 0;
}

// Every maker-note text and single SHORT that the exports deliver, in whatever dialect the camera
// wrote, reads the same in ExifTool; then the first such SHORT is changed with SetMakerNote, and
// ExifTool must read the new value with nothing outside the maker note changed. A maker note
// without a directory that reads as one must be refused, the file byte for byte as it was.
TEST(CorpusGetExifTest, MakerNotesReadAndEditAsExifToolReadsThem) {
  LF_SKIP_WITHOUT_CORPUS_EDITS();
  int compared = 0;
  const CorpusEdit edit{
      "SetMakerNote", [&compared](const CorpusEditCase& c) {
        CorpusEditOutcome out;
        out.path = c.src;
        LfString header{};
        LfU16List tags{};
        LfU32List fields{};
        out.skipped = GetMakerNoteValue(c.src.c_str(), &header, &tags, &fields) != LF_S_OK;
        const auto theirs =
            out.skipped ? std::multimap<uint32_t, std::string>{} : MakerValuesById(c.src);
        uint16_t editTag = 0, edited = 0;
        for (int32_t i = 0; i < tags.size && !out.skipped; ++i) {
          char value[4096] = {};
          uint32_t size = sizeof value - 1, count = 0;  // the last byte ends any text
          uint16_t type = 0, number = 0;
          GetExifMakerValue(c.src.c_str(), header.text, tags.data[i], value, &size, &type, &count);
          std::memcpy(&number, value, sizeof number);
          std::string ours;
          if (type == kAscii) ours = value;
          if (type == kShort && count == 1) ours = std::to_string(number);
          if (ours.empty() || !theirs.count(tags.data[i])) continue;
          ++compared;
          EXPECT_TRUE(Shown(theirs, tags.data[i], type, ours))
              << c.where << ": maker-note tag " << tags.data[i] << " reads \"" << ours << "\"";
          if (editTag == 0 && type == kShort && Shown(theirs, tags.data[i], type, ours)) {
            editTag = tags.data[i];
            edited = static_cast<uint16_t>(number ^ 1);
          }
        }
        const std::string h = header.text ? header.text : "";
        const int32_t entries = tags.size;
        LfStringFree(&header);
        LfU16ListFree(&tags);
        LfU32ListFree(&fields);
        out.skipped = out.skipped || (entries > 0 && editTag == 0);
        if (out.skipped) return out;
        out.result = SetMakerNote(c.src.c_str(), c.src.c_str(), h.c_str(), entries ? editTag : 1,
                                  kShort, 1, edited);
        EXPECT_EQ(out.result, entries > 0 ? LF_S_OK : LF_E_FAIL) << c.where;
        out.explained = [](const std::string& key, const std::string*, const std::string*) {
          return !OutsideTheMakerNote(key);
        };
        out.judge = [editTag, edited, path = c.src](const ExifToolTags&, const Bytes&) {
          if (Shown(MakerValuesById(path), editTag, kShort, std::to_string(edited))) {
            return std::vector<std::string>{};
          }
          return std::vector<std::string>{"maker-note tag " + std::to_string(editTag) + " edited"};
        };
        return out;
      }};
  const std::vector<CorpusEditTally> t = JudgeCorpusEdits({edit}, "maker-note edits");
  EXPECT_GT(t[0].succeeded, 0u);
  EXPECT_GT(t[0].refused, 0u);
  RecordProperty("compared", compared);
  EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace lf::test
