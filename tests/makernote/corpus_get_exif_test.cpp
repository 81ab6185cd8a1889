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
std::multimap<uint32_t, std::string> MakerValuesById(const ExifToolTags& tags) {
  std::multimap<uint32_t, std::string> out;
  for (const auto& [key, v] : tags) {
    const size_t val = v.find(", val=");
    if (GroupOf(key) != "MakerNotes" || v.rfind("{id=", 0) != 0 || val == std::string::npos)
      continue;
    out.emplace(std::strtoul(v.c_str() + 4, nullptr, 10), v.substr(val + 6, v.size() - val - 7));
  }
  return out;
}

TEST(CorpusGetExifTest, MakerNoteValuesAgreeWithExifTool) {
  const std::vector<CorpusFile> files = ExifCorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus absent";
  if (!ExifToolAvailable()) GTEST_SKIP() << "exiftool missing";
  std::vector<std::string> paths;
  for (const CorpusFile& f : files) paths.push_back(f.path);
  const ExifToolDump dump = RunExifTool(paths, {"-G0", "-D"});

  int compared = 0;
  for (const CorpusFile& f : files) {
    SCOPED_TRACE(f.relative);
    LfString header{};
    LfU16List tags{};
    LfU32List fields{};
    if (GetMakerNoteValue(f.path.c_str(), &header, &tags, &fields) == LF_S_OK &&
        dump.count(f.path)) {
      const auto theirs = MakerValuesById(dump.at(f.path));
      for (int32_t i = 0; i < tags.size; ++i) {
        uint8_t buffer[4096] = {};
        uint32_t size = sizeof buffer - 1, count = 0;  // the last byte ends any text
        uint16_t type = 0;
        if (GetExifMakerValue(f.path.c_str(), header.text, tags.data[i], buffer, &size, &type,
                              &count) != LF_S_OK)
          continue;
        // Texts show that the value was found where the dialect puts it, single SHORTs that it was
        // read in the dialect's byte order. (LONGs are left out: ExifTool scales some and turns
        // offsets into file positions.) ExifTool joins the pieces of a text that holds NULs, of
        // which the module delivers the first.
        std::string ours;
        uint16_t number = 0;
        if (type == kAscii && buffer[0] != 0) {
          ours = reinterpret_cast<const char*>(buffer);
        } else if (type == kShort && count == 1) {
          std::memcpy(&number, buffer, sizeof number);
          ours = std::to_string(number);
        } else {
          continue;
        }
        const auto [from, to] = theirs.equal_range(tags.data[i]);
        if (from == to) continue;  // a tag ExifTool reads into other names
        ++compared;
        EXPECT_TRUE(std::any_of(from, to,
                                [&](const auto& kv) {
                                  return type == kAscii ? kv.second.rfind(ours, 0) == 0
                                                        : kv.second == ours;
                                }))
            << "maker-note tag " << tags.data[i] << ": ours \"" << ours << "\", ExifTool's \""
            << from->second << "\"";
      }
    }
    LfStringFree(&header);
    LfU16ListFree(&tags);
    LfU32ListFree(&fields);
  }
  RecordProperty("compared", compared);
  EXPECT_GT(compared, 0);
}

// A file's maker note as the exports list it: its header, its entries, and the first of them
// that holds one SHORT (with that value).
struct MakerNoteListing {
  bool present = false;  // an EXIF file with a maker note
  std::string header;
  int32_t entries = 0;
  bool hasSingleShort = false;
  uint16_t tag = 0, value = 0;
};

MakerNoteListing ListMakerNote(const std::string& path) {
  MakerNoteListing l;
  LfString h{};
  LfU16List tags{};
  LfU32List fields{};
  l.present = GetMakerNoteValue(path.c_str(), &h, &tags, &fields) == LF_S_OK;
  l.header = h.text ? h.text : "";
  l.entries = tags.size;
  for (int32_t i = 0; i < tags.size && !l.hasSingleShort; ++i) {
    uint16_t v[64] = {}, type = 0;  // room for more than one value: count tells the entry's
    uint32_t size = sizeof v, count = 0;
    l.hasSingleShort =
        GetExifMakerValue(path.c_str(), h.text, tags.data[i], v, &size, &type, &count) == LF_S_OK &&
        type == kShort && count == 1;
    l.tag = tags.data[i];
    l.value = v[0];
  }
  LfStringFree(&h);
  LfU16ListFree(&tags);
  LfU32ListFree(&fields);
  return l;
}

// Whether ExifTool reads `value` for maker-note tag number `tag`.
bool ExifToolReads(const std::string& path, uint16_t tag, uint16_t value) {
  const ExifToolDump dump = RunExifTool({path}, {"-G0", "-D"});
  if (!dump.count(path)) return false;
  const auto values = MakerValuesById(dump.at(path));
  const auto [from, to] = values.equal_range(tag);
  return std::any_of(from, to, [&](const auto& kv) { return kv.second == std::to_string(value); });
}

// The directories whose tags a maker-note edit must leave as they were (besides the stamp).
bool OutsideTheMakerNote(const std::string& key) {
  static const std::set<std::string> kGroups = {"IFD0",       "IFD1",     "ExifIFD", "GPS",
                                                "InteropIFD", "ExifTool", "File"};
  return kGroups.count(GroupOf(key)) != 0;
}

TEST(CorpusGetExifTest, MakerNoteEditsAreReadByExifToolOrRefused) {
  LF_SKIP_WITHOUT_CORPUS_EDITS();
  const CorpusEdit edit{
      "SetMakerNote", [](const CorpusEditCase& c) {
        CorpusEditOutcome out;
        out.path = c.src;
        const MakerNoteListing l = ListMakerNote(c.src);
        // Notes with a directory but no single SHORT to change are left alone; notes without one
        // must be refused.
        out.skipped = !l.present || (l.entries > 0 && !l.hasSingleShort);
        if (out.skipped) return out;
        const uint16_t tag = l.entries > 0 ? l.tag : 1, now = static_cast<uint16_t>(l.value ^ 1);
        // Only where ExifTool shows the entry's own value (not a table it decodes from it) can it
        // show the new one.
        const bool shown = l.entries > 0 && ExifToolReads(c.src, tag, l.value);
        out.result =
            SetMakerNote(c.src.c_str(), c.src.c_str(), l.header.c_str(), tag, kShort, 1, now);
        EXPECT_EQ(out.result, l.entries > 0 ? LF_S_OK : LF_E_FAIL) << c.where;
        out.explained = [](const std::string& key, const std::string*, const std::string*) {
          return !OutsideTheMakerNote(key);
        };
        out.judge = [shown, tag, now, path = c.src](const ExifToolTags&, const Bytes&) {
          if (!shown || ExifToolReads(path, tag, now)) return std::vector<std::string>{};
          return std::vector<std::string>{"maker-note tag " + std::to_string(tag) +
                                          " does not read " + std::to_string(now)};
        };
        return out;
      }};
  const std::vector<CorpusEditTally> t = JudgeCorpusEdits({edit}, "maker-note edits");
  EXPECT_GT(t[0].succeeded, 0u);
  EXPECT_GT(t[0].refused, 0u);
}

}  // namespace
}  // namespace lf::test
