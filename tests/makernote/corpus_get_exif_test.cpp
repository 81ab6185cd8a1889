// GetExif on the camera files of the real-world corpus against ExifTool's readings of the standard
// tags the summaries carry: exposure time, f-number, ISO, focal length, flash and the GPS position.
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
#include <string>
#include <vector>

#include "lumenframe/lumenframe.h"
#include "tests/support/corpus_compare.h"

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

}  // namespace
}  // namespace lf::test
