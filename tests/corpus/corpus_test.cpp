// SPDX-License-Identifier: MIT
// The real-world corpus read in place: queries, decoding and a table of edits judged by ExifTool.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <set>

#include "exif/record/record_reader.h"
#include "lumenframe/lumenframe.h"
#include "platform/clock.h"
#include "tests/support/corpus_manifest.h"
#include "tests/support/decoded_images.h"
#include "tests/support/edit_fixtures.h"
#include "tests/support/exiftool_dump.h"
#include "tests/support/maker_note_fixtures.h"
#include "tests/support/record_lists.h"

namespace lf::test {
namespace {

using Tags = ExifToolTags;
using Problems = std::vector<std::string>;

std::string Hex(LF_RESULT r) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(r));
  return text;
}
std::string Value(const Tags& t, const std::string& key) {
  const auto it = t.find(key);
  return it == t.end() ? "(none)" : it->second;
}
std::string Shown(const std::string& v) {
  std::string s = v.substr(0, 40);
  for (char& c : s) c = static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  return "'" + s + (v.size() > 40 ? "...' (" + std::to_string(v.size()) + " bytes)" : "'");
}
std::string Digits(const std::string& v, bool digits = true) {
  std::string d;
  for (char c : v) {
    if ((std::isdigit(static_cast<unsigned char>(c)) != 0) == digits) d.push_back(c);
  }
  return d;
}
// Whether `word` is one of the space-separated `words`.
bool Among(const char* words, const std::string& word) {
  return (std::string(" ") + words + " ").find(" " + word + " ") != std::string::npos;
}
// A binary value ExifTool could not be asked for again reads as its length.
bool Same(const std::string& a, const std::string& b) {
  auto length = [](const std::string& v) {
    return v.rfind("(Binary data ", 0) == 0 ? std::to_string(std::atol(v.c_str() + 13))
                                            : std::to_string(v.size());
  };
  return a == b || ((a[0] == '(' || b[0] == '(') && length(a) == length(b));
}

// A JPEG is an EXIF file only without APP0 (JFIF) and when its last APP1 is the EXIF one.
bool NotExifByItsMarkers(const Bytes& file) {
  bool app0 = false, lastApp1Exif = true;
  for (size_t pos = 2; pos + 4 <= file.size() && file[pos] == 0xFF;) {
    const uint8_t marker = file[pos + 1];
    if (marker == 0xDA || marker == 0xD9) break;
    app0 = app0 || marker == 0xE0;
    if (marker == 0xE1)
      lastApp1Exif = pos + 8 <= file.size() && !std::memcmp(&file[pos + 4], "Exif", 4);
    pos += 2 + (file[pos + 2] << 8 | file[pos + 3]);
  }
  return app0 || !lastApp1Exif;
}

// The EXIF files with ExifTool's readings, loaded once; `families` keys carry the family-0 group
// and the tag number ("MakerNotes:Canon:ID-1:CanonCameraSettings").
struct Corpus {
  std::vector<CorpusFile> files;
  ExifToolDump tags, families;
  std::set<std::string> exifGroups;  // family-1 groups ExifTool reads from the EXIF block
  std::string missing;
};
const Corpus& TheCorpus() {
  static const Corpus corpus = [] {
    Corpus c;
    if (CorpusDir().empty() || !ExifToolAvailable()) c.missing = "no corpus or no exiftool";
    std::vector<std::string> paths;
    for (const CorpusFile& f :
         c.missing.empty() ? LoadCorpusManifest() : std::vector<CorpusFile>{}) {
      if (f.category == "ok" && (f.format == "JPEG" || f.format == "TIFF") &&
          !f.byteOrder.empty()) {
        c.files.push_back(f);
        paths.push_back(f.path);
      }
    }
    c.tags = RunExifTool(paths, {"-api", "validate=1"});
    c.families = RunExifTool(paths, {"-G0:1:7", "--b"});
    for (const auto& [path, tags] : c.families) {
      for (const auto& [key, value] : tags) {
        const std::string rest = key.substr(key.find(':') + 1);
        if (GroupOf(key) == "EXIF" || GroupOf(key) == "MakerNotes")
          c.exifGroups.insert(GroupOf(rest));
      }
    }
    return c;
  }();
  return corpus;
}
#define LF_SKIP_WITHOUT_CORPUS() \
  if (!TheCorpus().missing.empty()) GTEST_SKIP() << TheCorpus().missing

// Maker-note texts (as a prefix: ExifTool joins a text's NUL-separated pieces) and single SHORTs
// against ExifTool's reading of the same tag number; ExifTool scales or relocates LONGs.
struct MakerNote {
  LF_RESULT result = LF_E_FAIL;
  std::string header;
  int32_t entries = 0, compared = 0;
  Problems mismatches;
  uint16_t editTag = 0, editValue = 0;  // the first SHORT both read alike, and a new value for it
  std::set<std::string> editKeys;       // the keys ExifTool shows it under
};
MakerNote ReadMakerNote(const std::string& path, const Tags& families) {
  std::multimap<uint32_t, std::pair<std::string, std::string>> theirs;  // number -> key, value
  for (const auto& [key, value] : families) {
    const size_t id = key.find(":ID-"), group1 = key.find(':') + 1;
    if (GroupOf(key) != "MakerNotes" || id == std::string::npos) continue;
    theirs.emplace(std::strtoul(key.c_str() + id + 4, nullptr, 10),
                   std::pair{key.substr(group1, id - group1) + ":" + TagOf(key), value});
  }
  MakerNote m;
  MakerNoteLists n;
  const LfU16List& tags = n.tags;
  m.result = n.Read(path);
  m.header = n.Header();
  m.entries = tags.size;
  for (int32_t i = 0; i < tags.size && m.result == LF_S_OK; ++i) {
    char value[4096] = {};
    uint32_t size = sizeof value - 1, count = 0;  // the last byte ends any text
    uint16_t type = 0, number = 0;
    if (GetExifMakerValue(path.c_str(), m.header.c_str(), tags.data[i], value, &size, &type,
                          &count) != LF_S_OK) {
      continue;
    }
    std::memcpy(&number, value, sizeof number);
    const std::string ours = type == kAscii                 ? value
                             : type == kShort && count == 1 ? std::to_string(number)
                                                            : "";
    const auto [from, to] = theirs.equal_range(tags.data[i]);
    if (ours.empty() || from == to) continue;
    ++m.compared;
    std::set<std::string> keys;
    for (auto it = from; it != to; ++it) {
      const std::string& v = it->second.second;
      if (type == kAscii ? v.rfind(ours, 0) == 0 : v == ours) keys.insert(it->second.first);
    }
    if (keys.empty()) m.mismatches.push_back("tag " + std::to_string(tags.data[i]) + " " + ours);
    if (!keys.empty() && type == kShort && m.editTag == 0) {
      m.editTag = tags.data[i];
      m.editValue = static_cast<uint16_t>(number ^ 1);
      m.editKeys = keys;
    }
  }
  return m;
}

double Ratio(const uint32_t v[2]) { return v[1] ? double(v[0]) / v[1] : NAN; }
double Degrees(const uint32_t r[6]) {
  return r[1] && r[3] && r[5] ? Ratio(r) + Ratio(r + 2) / 60 + Ratio(r + 4) / 3600 : NAN;
}

// GetExif's summaries against ExifTool's. A value GetExifValue refuses may go undelivered; zero
// denominators and tags stored twice are not compared; ISO "400 800" reads as its first number.
LF_RESULT CompareSummaries(const CorpusFile& f, const Tags& tool) {
  LfExifSummary exif{};
  LfGpsSummary gps{};
  const LF_RESULT r = GetExif(f.path.c_str(), &exif, &gps, nullptr);
  auto judge = [&](const std::string& key, uint16_t tag, const LfU16List& delivered, double ours) {
    const double theirs = tool.count(key) ? std::strtod(tool.at(key).c_str(), nullptr) : NAN;
    uint8_t buffer[64];
    uint32_t size = sizeof buffer;
    if (std::count(delivered.data, delivered.data + delivered.size, tag) == 0) {
      EXPECT_TRUE(std::isnan(theirs) ||
                  GetExifValue(f.path.c_str(), tag < 0x20 ? LF_DIR_GPS : LF_DIR_EXIF, tag, buffer,
                               &size, nullptr, nullptr) != LF_S_OK)
          << key << " not delivered";
    } else if (!std::isnan(ours) && !tool.count(key + " (2)")) {
      EXPECT_NEAR(ours, theirs, 1e-6 * std::max(1.0, std::fabs(theirs))) << key;
    }
  };
  if (r == LF_S_OK) {
    judge("ExifIFD:ExposureTime", 0x829A, exif.tags, Ratio(exif.exposureTime));
    judge("ExifIFD:FNumber", 0x829D, exif.tags, Ratio(exif.fNumber));
    judge("ExifIFD:ISO", 0x8827, exif.tags, exif.isoSpeedRatings);
    judge("ExifIFD:FocalLength", 0x920A, exif.tags, Ratio(exif.focalLength));
    judge("ExifIFD:Flash", 0x9209, exif.tags, exif.flash);
    judge("GPS:GPSLatitude", 0x0002, gps.tags, Degrees(gps.latitude));
    judge("GPS:GPSLongitude", 0x0004, gps.tags, Degrees(gps.longitude));
    judge("GPS:GPSAltitude", 0x0006, gps.tags, Ratio(gps.altitude));
    if (std::count(gps.tags.data, gps.tags.data + gps.tags.size, 1) &&
        tool.count("GPS:GPSLatitudeRef")) {
      EXPECT_EQ(gps.latitudeRef[0], tool.at("GPS:GPSLatitudeRef")[0]);
    }
  }
  LfExifSummaryClear(&exif);
  LfGpsSummaryClear(&gps);
  return r;
}

// The query exports on every EXIF file; tallies keep a rule from explaining away every file.
TEST(CorpusQueries, AnswersAgreeWithExifTool) {
  LF_SKIP_WITHOUT_CORPUS();
  const Corpus& c = TheCorpus();
  std::map<std::string, int> tally;
  for (const CorpusFile& f : c.files) {
    SCOPED_TRACE(f.relative);
    ASSERT_TRUE(c.tags.count(f.path) && c.families.count(f.path));
    const Tags& tool = c.tags.at(f.path);
    const bool jpeg = f.format == "JPEG", notExif = jpeg && NotExifByItsMarkers(ReadFile(f.path));
    const bool exifIfd = std::any_of(tool.begin(), tool.end(),
                                     [](const auto& kv) { return GroupOf(kv.first) == "ExifIFD"; });
    uint32_t main = 0;
    const LF_RESULT o = GetOrientation(f.path.c_str(), &main, nullptr, 1);
    LfExifDateTime date{};
    const LF_RESULT d = GetDateTimeOriginal(f.path.c_str(), &date);
    const LF_RESULT e = CompareSummaries(f, tool);
    if (notExif || !exifIfd) {  // no EXIF file; a TIFF without an Exif IFD reads orientation 0
      EXPECT_EQ(d, LF_E_NO_EXIF);
      EXPECT_TRUE(jpeg ? o == LF_E_NO_EXIF : o == LF_S_OK && main == 0) << Hex(o) << " " << main;
      EXPECT_TRUE(e == LF_E_NO_EXIF || !jpeg) << Hex(e);
      ++tally[notExif ? "not an EXIF file by its markers" : "no Exif IFD"];
      continue;
    }
    EXPECT_EQ(e, LF_S_OK);
    if (!f.orientation.empty()) {
      EXPECT_EQ(std::to_string(main), f.orientation) << Hex(o);
      ++tally["orientation agrees"];
    }
    char text[48];
    std::snprintf(text, sizeof text, "%04u:%02u:%02u %02u:%02u:%02u", date.year, date.month,
                  date.day, date.hour, date.minute, date.second);
    unsigned y, mo, dd, h, mi, s;
    const bool calendar = std::sscanf(f.dateTimeOriginal.c_str(), "%4u:%2u:%2u %2u:%2u:%2u", &y,
                                      &mo, &dd, &h, &mi, &s) == 6 &&
                          platform::IsValidCalendarDateTime(y, mo, dd, h, mi, s);
    if (f.dateTimeOriginal.empty()) {
    } else if (d == LF_E_FAIL) {
      ++tally["date not stored as 20 ASCII bytes: E_FAIL"];  // only that form is read
    } else {
      EXPECT_EQ(d, calendar ? LF_S_OK : 1) << f.dateTimeOriginal;
      EXPECT_TRUE(!calendar || text == f.dateTimeOriginal) << text;
      ++tally[calendar ? "date agrees" : "date no calendar date: 1"];
    }
    const MakerNote m = ReadMakerNote(f.path, c.families.at(f.path));
    EXPECT_TRUE(m.mismatches.empty()) << ::testing::PrintToString(m.mismatches);
    tally["maker-note values agree"] += m.compared;
  }
  for (const auto& [what, n] : tally) std::printf("corpus: %-45s %d\n", what.c_str(), n);
  EXPECT_GE(tally["orientation agrees"], 30);
  EXPECT_GE(tally["date agrees"], 30);
  EXPECT_LE(tally["date not stored as 20 ASCII bytes: E_FAIL"], 2);
  EXPECT_GT(tally["maker-note values agree"], 0);
}

// Width and height of a packed DIB, freed; 0 x 0 for none.
Size DibSize(LF_HGLOBAL h) {
  Size s;
  if (!h) return s;
  std::memcpy(&s, static_cast<const uint8_t*>(LfGlobalLock(h)) + 4, sizeof s);
  LfGlobalUnlock(h);
  LfGlobalFree(h);
  return s;
}

// Every image decodes or is refused; PNG and TIFF at ExifTool's size, thumbnails only where found.
TEST(CorpusDecode, EveryImageDecodesAtExifToolsSize) {
  const std::vector<CorpusFile> corpus = LoadCorpusManifest();
  if (corpus.empty()) GTEST_SKIP() << "corpus not present";
  std::vector<std::string> sized;
  for (const CorpusFile& f : corpus) {
    if (f.format == "PNG" || f.format == "TIFF") sized.push_back(f.path);
  }
  const ExifToolDump tool = RunExifTool(sized, {"-fast2", "-ImageWidth", "-ImageHeight"});
  size_t decoded = 0, okFiles = 0, thumbnails = 0;
  for (const CorpusFile& f : corpus) {
    if (!Among("JPEG PNG TIFF GIF BMP", f.format)) continue;
    okFiles += f.category == "ok";
    const bool thumbnail = DibSize(Decode(f.path.c_str(), 1)).width > 0;
    EXPECT_TRUE(!thumbnail || f.hasThumbnail) << f.relative;
    thumbnails += thumbnail;
    const Size s = DibSize(Decode(f.path.c_str(), 0));
    decoded += s.width > 0;
    const Tags& t = tool.count(f.path) ? tool.at(f.path) : Tags{};
    const auto w = std::find_if(t.begin(), t.end(), [](const auto& kv) {
      return TagOf(kv.first) == "ImageWidth";  // the keys sort IFD0's before IFD1's
    });
    if (s.width > 0 && w != t.end()) {
      EXPECT_EQ(std::to_string(s.width) + " x " + std::to_string(s.height),
                w->second + " x " + Value(t, GroupOf(w->first) + ":ImageHeight"))
          << f.relative;
    }
  }
  // Nearly every well-formed file decodes (a few carry metadata only, or CMYK 16-bit TIFF data).
  EXPECT_GT(decoded, okFiles * 9 / 10);
  EXPECT_GT(thumbnails, 10u);
}

// ---- The operations, each run on a copy of every EXIF file.

struct Case {
  const CorpusFile& file;
  const Tags& before;
  std::string src, dst;  // the copy, and "edited" beside it for operations to a new path
};
struct Diff {
  const std::string& key;
  const std::string *was, *now;  // null where the tag is absent
};
using Explains = std::function<bool(const Diff&)>;
struct Outcome {
  LF_RESULT result = LF_E_FAIL;
  std::string path;           // the file written: src or dst
  bool skipped = false;       // the operation does not apply to this file
  bool sourceEdited = false;  // an earlier step changed the source on purpose
  Problems problems = {};     // found while running
  Explains explains = {};     // the differing tags the operation accounts for
  std::function<bool(const std::string&)> apart = {};  // keys laid anew, judged by `judge` alone
  std::function<Problems(const Tags& after)> judge = {};
};
enum class AtLeast { kOne, kHalf, kEvery };  // successes among the files the module counts as EXIF
struct Operation {
  const char* name;
  std::function<Outcome(const Case&)> run;
  AtLeast succeeds;
  bool replacesScan = false;  // a JPEG's image data from its SOS marker on may change
  bool refusesSome = false;
};

// A judge that `key` reads as `want` after the edit.
std::function<Problems(const Tags&)> Reads(std::string key, std::function<bool(std::string)> want) {
  return [key, want](const Tags& after) {
    return want(Value(after, key)) ? Problems{} : Problems{key + " is " + Value(after, key)};
  };
}

Outcome Orientation(const Case& c, bool newPath, int32_t rebuild) {
  const int want = std::atoi(Value(c.before, "IFD0:Orientation").c_str()) % 8 + 1;
  const std::string text = std::to_string(want);
  Outcome o{.path = newPath ? c.dst : c.src};
  o.result = SetOrientation(o.path.c_str(), c.src.c_str(), want, rebuild);
  o.judge = Reads("IFD0:Orientation", [text](std::string v) { return v == text; });
  // The thumbnail follows the main image; a rebuild may add the entry it lacked.
  o.explains = [text, rebuild](const Diff& d) {
    return d.key == "IFD0:Orientation" ||
           (d.key == "IFD1:Orientation" && d.now && *d.now == text && (d.was || rebuild));
  };
  return o;
}

Outcome DateTimeOriginal(const Case& c) {
  const std::string was = Value(c.before, "ExifIFD:DateTimeOriginal");
  const std::string digits = Digits(was) == "20010203040506" ? "20020304050607" : "20010203040506";
  auto at = [&](size_t i, size_t n) {
    return static_cast<uint16_t>(std::stoi(digits.substr(i, n)));
  };
  Outcome o{.path = c.src};
  o.result = SetDateTimeOriginal(
      c.src.c_str(), {at(0, 4), at(4, 2), 0, at(6, 2), at(8, 2), at(10, 2), at(12, 2), 0});
  o.judge = Reads("ExifIFD:DateTimeOriginal", [was, digits](std::string v) {
    return Digits(v) == digits && (was == "(none)" || Digits(v, false) == Digits(was, false));
  });
  o.explains = [digits](const Diff& d) {
    return d.key == "ExifIFD:DateTimeOriginal" ||
           (d.key == "Composite:SubSecDateTimeOriginal" && d.now && !Digits(*d.now).find(digits));
  };
  return o;
}

// GPS tags as ExifTool reads the position written below (south, east, above sea level).
bool WrittenAsRecorded(const std::string& key, const std::string& now) {
  static const std::map<std::string, double> numbers = {
      {"GPSLatitude", 33 + 51 / 60.0 + 24.4224 / 3600},
      {"GPSLongitude", 151 + 12 / 60.0 + 55.1069 / 3600},
      {"GPSAltitude", 58.5}};
  const std::string tag = TagOf(key);
  if (GroupOf(key) == "Composite") return true;  // derived from the GPS tags judged here
  if (numbers.count(tag)) return std::fabs(std::stod(now) - numbers.at(tag)) < 1e-7;
  return (tag == "GPSVersionID" && now == "2 0 0 0") ||
         Among(
             "GPSVersionID=2_2_0_0 GPSLatitudeRef=S GPSLongitudeRef=E GPSAltitudeRef=0 "
             "GPSTimeStamp=01:02:03 GPSMapDatum=WGS-84 GPSDateStamp=2024:05:06",
             tag + "=" + (now == "2 2 0 0" ? "2_2_0_0" : now));
}
bool IsGps(const std::string& key) {
  return GroupOf(key) == "GPS" || (GroupOf(key) == "Composite" && TagOf(key).rfind("GPS", 0) == 0);
}

enum class Gps { kWrite, kRemove, kRemoveWritten, kUnwrittenTagOnly };
Outcome GpsEdit(const Case& c, Gps edit) {
  uint32_t tags[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x12, 0x1D}, satellites = 0x08;
  char datum[] = "WGS-84", date[] = "2024:05:06";
  // clang-format off
  LfGpsRecord p{{nullptr, tags, 10, 0, 0}, {2, 2}, "S", {33, 1, 51, 1, 244224, 10000}, "E",
                {151, 1, 12, 1, 551069, 10000}, 0, {585, 10}, {1, 1, 2, 1, 3, 1}, {datum}, {}, {}, {date}};
  // clang-format on
  LfGpsRecord removal{}, unwritten{};
  unwritten.tagList.data = &satellites;
  unwritten.tagList.size = 1;
  const bool hadGps = c.before.count("GPS:GPSVersionID") != 0;
  const bool removes = edit == Gps::kRemove || edit == Gps::kRemoveWritten;
  Outcome o{.path = removes ? c.src : c.dst};
  if (edit == Gps::kRemoveWritten) {  // the write is counted by its own row
    o.skipped = ReplaceExifGps(c.src.c_str(), c.src.c_str(), 90, &p) != LF_S_OK;
    o.sourceEdited = true;
    if (o.skipped) return o;
  }
  o.result = ReplaceExifGps(o.path.c_str(), c.src.c_str(), 90,
                            removes               ? &removal
                            : edit == Gps::kWrite ? &p
                                                  : &unwritten);
  if (edit == Gps::kUnwrittenTagOnly) o.skipped = !hadGps;  // every GPS tag stays as it was
  if (edit == Gps::kRemove && hadGps && o.result != LF_S_OK && o.result != LF_E_NO_EXIF) {
    o.problems.push_back("the GPS data of this file could not be removed");
  }
  o.judge = [removes, edit](const Tags& after) {
    Problems p;
    for (const char* tag : {"GPSLatitude", "GPSLongitude", "GPSLatitudeRef", "GPSAltitude"}) {
      if (edit == Gps::kWrite && !after.count(std::string("GPS:") + tag))
        p.push_back("no " + std::string(tag));
    }
    for (const auto& [key, v] : after) {
      if (removes && GroupOf(key) == "GPS") p.push_back("left " + key);
    }
    return p;
  };
  if (edit != Gps::kUnwrittenTagOnly) {
    o.explains = [edit](const Diff& d) {
      return IsGps(d.key) &&
             (edit == Gps::kWrite ? d.now && WrittenAsRecorded(d.key, *d.now) : !d.now);
    };
  }
  return o;
}

// Main-image replacements of known outcome (a maker-note preview behind the old image: refused).
const std::map<std::string, LF_RESULT> kMainImageOutcomes = {
    {"libexif_libexif-testsuite/tests/images/canon-digital-rebel-001.jpg", LF_E_FAIL},
    {"drewnoakes_metadata-extractor-images/jpg/Canon_IXUS_400.jpg", LF_S_OK},
    {"drewnoakes_metadata-extractor-images/jpg/HP_PhotoSmart_735.jpg", LF_S_OK},
    {"drewnoakes_metadata-extractor-images/jpg/Kodak_DX6490.jpg", LF_S_OK},
    {"drewnoakes_metadata-extractor-images/jpg/Kodak_DC210.jpg", LF_S_OK},
    {"drewnoakes_metadata-extractor-images/jpg/Minolta_DiMAGE_EX.jpg", LF_S_OK},
    {"python-pillow_Pillow/Tests/images/iptc.jpg", LF_S_OK},
    {"exiftool_exiftool/t/images/Ricoh2.jpg", LF_S_OK}};

// The entries a new IFD1 holds: a JPEG thumbnail's, or a TIFF thumbnail's with its strips.
constexpr char kThumbnailTags[] = "Compression XResolution YResolution ResolutionUnit Orientation";
constexpr char kJpegThumbnailTags[] =
    "YCbCrPositioning ThumbnailOffset ThumbnailLength ThumbnailImage";
// IFD0 entries describing a TIFF's pixel data, replaced by the new picture's.
constexpr char kImageStructureTags[] =
    "ImageWidth ImageHeight BitsPerSample Compression PhotometricInterpretation StripOffsets "
    "SamplesPerPixel RowsPerStrip StripByteCounts PlanarConfiguration ThumbnailOffset "
    "ThumbnailLength YCbCrCoefficients YCbCrSubSampling YCbCrPositioning ReferenceBlackWhite "
    "ExtraSamples SampleFormat Predictor FillOrder ColorMap TileWidth TileLength TileOffsets "
    "TileByteCounts TransferFunction GrayResponseUnit GrayResponseCurve";

Outcome ReplacePicture(const Case& c, bool mainImage, const std::set<std::string>* exifGroups) {
  const bool tiff = c.file.format == "TIFF";
  const bool same = Value(c.before, "File:ImageWidth") == "320";  // another size than its own
  const Size picture = mainImage ? (same ? Size{200, 320} : Size{320, 200}) : Size{};
  platform::GlobalBlock image(mainImage ? nullptr : Decode(c.src.c_str(), 0));  // its own picture
  if (!image.get())
    image = NoiseImage(mainImage ? picture.width : 640, mainImage ? picture.height : 480, 7);
  Outcome o{.path = c.dst};
  o.result = mainImage ? ReplaceExifImage(c.dst.c_str(), c.src.c_str(), image.get(), 85)
                       : ReplaceThumbImage(c.dst.c_str(), c.src.c_str(), image.get(), 85);
  const auto known = kMainImageOutcomes.find(c.file.relative);
  if (mainImage && known != kMainImageOutcomes.end() && known->second != o.result) {
    o.problems.push_back("expected " + Hex(known->second));
  }
  if (o.result != LF_S_OK) return o;
  // A JPEG is SOI, then the one APP1 segment, whole; its thumbnail decodes at 160 x 120.
  const Bytes r = ReadFile(c.dst);
  const size_t next = r.size() < 6 ? 0 : 4 + (r[4] << 8 | r[5]);
  if (!tiff && (next == 0 || r[2] != 0xFF || r[3] != 0xE1 || next >= r.size() || r[next] != 0xFF)) {
    o.problems.push_back("no whole APP1 segment behind the SOI");
  }
  const Size thumb = tiff ? Size{160, 120} : DibSize(Decode(c.dst.c_str(), 1));
  const Size main = mainImage ? DibSize(Decode(c.dst.c_str(), 0)) : Size{};
  if (thumb.width != 160 || thumb.height != 120 || main.width != picture.width ||
      main.height != picture.height) {
    o.problems.push_back("decoded sizes " + std::to_string(thumb.width) + " x " +
                         std::to_string(thumb.height) + ", " + std::to_string(main.width) + " x " +
                         std::to_string(main.height));
  }
  // The new IFD1 alone: only the writer's entries, 160 x 120, the main image's orientation.
  o.judge = [tiff](const Tags& now) {
    Problems p;
    for (const auto& [key, v] : now) {
      const std::string tag = TagOf(key);
      if (GroupOf(key) == "IFD1" && !Among(kThumbnailTags, tag) &&
          !Among(tiff ? kImageStructureTags : kJpegThumbnailTags, tag)) {
        p.push_back("thumbnail entry " + key);
      }
    }
    if (tiff ? Value(now, "IFD1:ImageWidth") + Value(now, "IFD1:ImageHeight") != "160120"
             : !now.count("IFD1:ThumbnailImage")) {
      p.push_back("no 160 x 120 thumbnail");
    }
    if (now.count("IFD0:Orientation") &&
        Value(now, "IFD1:Orientation") != Value(now, "IFD0:Orientation")) {
      p.push_back("thumbnail orientation " + Value(now, "IFD1:Orientation"));
    }
    return p;
  };
  o.apart = [mainImage, tiff](const std::string& key) {
    return GroupOf(key) == "IFD1" ||
           (mainImage && tiff && GroupOf(key) == "IFD0" && Among(kImageStructureTags, TagOf(key)));
  };
  if (!mainImage) return o;
  o.explains = [tiff, picture, exifGroups](const Diff& d) {
    const std::string &key = d.key, group = GroupOf(key), tag = TagOf(key);
    const std::string *old = d.was, *v = d.now;
    // The picture's recorded size follows the new picture where it is recorded.
    if (tag == "ExifImageWidth" || tag == "ExifImageHeight") {
      return old && v &&
             *v == std::to_string(tag == "ExifImageWidth" ? picture.width : picture.height);
    }
    // Print matching made for the old picture goes (IFD0 0xC4A5, the maker note's 0x0E00).
    if (group == "PrintIM" || (group == "IFD0" && tag == "PrintIM")) return v == nullptr;
    if (tag == "ImageSize" || tag == "Megapixels") return group == "Composite";
    // A TIFF photo without an orientation takes the new picture's (1, the meaning of none).
    if (tiff) return key == "IFD0:Orientation" && !old && v && *v == "1";
    // A JPEG's other segments are the new stream's, but for ICC, IPTC, FlashPix and comments.
    const bool kept = group.rfind("ICC", 0) == 0 || group == "IPTC" || group == "Photoshop" ||
                      group == "FlashPix" || key == "File:Comment";
    return !exifGroups->count(group) && group != "Composite" && !kept;
  };
  return o;
}

// The fixture's records merged (only mergeable tags change), or the file's own (only the stamp).
Outcome Merge(const Case& c, RecordList* fixture) {
  static constexpr char kMergeable[] =
      "ImageWidth ImageHeight Compression PhotometricInterpretation Orientation SamplesPerPixel "
      "RowsPerStrip PlanarConfiguration ResolutionUnit YCbCrPositioning ExposureProgram "
      "MeteringMode LightSource Flash ColorSpace ExifImageWidth ExifImageHeight WhiteBalance "
      "GPS_0x0028 ModifyDate";
  Outcome o{.path = c.dst, .skipped = c.file.format != "JPEG"};
  if (o.skipped) return o;
  RecordList own;  // none read from a file without EXIF: none merged
  const LF_RESULT read =
      fixture ? LF_S_OK : record::ReadExifRecord(c.src.c_str(), &own.list, 0x000F0000);
  o.result = AppendExif(c.dst.c_str(), c.src.c_str(), fixture ? &fixture->list : &own.list, 1);
  if (read != LF_S_OK && o.result == LF_S_OK) o.problems.push_back("its records not read");
  o.explains = [own = !fixture](const Diff& d) {
    const std::string tag = TagOf(d.key);
    return GroupOf(d.key) == "Composite" ||
           (d.now && (own ? tag == "ModifyDate" : Among(kMergeable, tag)));
  };
  return o;
}

// The first maker-note SHORT both readers agree on, changed (refused without a directory).
Outcome MakerNoteEdit(const Case& c, const ExifToolDump* families) {
  const MakerNote m = ReadMakerNote(c.src, families->at(c.file.path));
  Outcome o{.path = c.src, .skipped = m.result != LF_S_OK || (m.entries > 0 && m.editTag == 0)};
  if (o.skipped) return o;
  o.result = SetMakerNote(c.src.c_str(), c.src.c_str(), m.header.c_str(), m.entries ? m.editTag : 1,
                          kShort, 1, m.editValue);
  if (o.result != (m.entries > 0 ? LF_S_OK : LF_E_FAIL)) o.problems.push_back("unexpected result");
  o.explains = [](const Diff& d) {
    return !Among("IFD0 IFD1 ExifIFD GPS InteropIFD File", GroupOf(d.key));
  };
  o.judge = [m](const Tags& after) {
    for (const std::string& k : m.editKeys) {
      if (Value(after, k) == std::to_string(m.editValue)) return Problems{};
    }
    return Problems{"maker-note tag " + std::to_string(m.editTag) + " not edited"};
  };
  return o;
}

// `run` with its further arguments bound.
template <typename... Args>
std::function<Outcome(const Case&)> With(Outcome (*run)(const Case&, Args...), Args... args) {
  return [=](const Case& c) { return run(c, args...); };
}

std::vector<Operation> Operations(const Corpus& corpus, RecordList& fixture) {
  const std::set<std::string>* groups = &corpus.exifGroups;
  return {
      // A rebuild edits every file the module counts as EXIF, trailers and maker notes included.
      {"SetOrientation in place, no rebuild", With(Orientation, false, 0), AtLeast::kOne},
      {"SetOrientation to a new path, rebuild", With(Orientation, true, 1), AtLeast::kEvery},
      {"SetOrientation in place, rebuild", With(Orientation, false, 1), AtLeast::kEvery},
      {"SetDateTimeOriginal in place", DateTimeOriginal, AtLeast::kOne},
      {"GPS written to a new path", With(GpsEdit, Gps::kWrite), AtLeast::kHalf},
      {"GPS removed in place", With(GpsEdit, Gps::kRemove), AtLeast::kOne},
      {"GPS written, then removed", With(GpsEdit, Gps::kRemoveWritten), AtLeast::kOne},
      {"GPSSatellites alone asked for", With(GpsEdit, Gps::kUnwrittenTagOnly), AtLeast::kOne},
      {"thumbnail regenerated", With(ReplacePicture, false, groups), AtLeast::kHalf},
      {"main image replaced", With(ReplacePicture, true, groups), AtLeast::kHalf, true},
      {"fixture records merged", With(Merge, &fixture), AtLeast::kHalf},
      {"own records merged", With<RecordList*>(Merge, nullptr), AtLeast::kEvery},
      {"SetMakerNote in place", With(MakerNoteEdit, &corpus.families), AtLeast::kOne, false, true},
  };
}

// Differences the operation does not account for ("Missing required" is about tags, not structure).
Problems Unexplained(const Tags& before, const Bytes& was, const Tags& after, const Bytes& now,
                     const Outcome& o) {
  Problems problems;
  auto judged = [&](const std::string& key) {
    return GroupOf(key) != "System" && GroupOf(key) != "ExifTool" && !(o.apart && o.apart(key));
  };
  auto fault = [](const std::string& key, const std::string& v) {
    return GroupOf(key) == "ExifTool" && (TagOf(key) == "Warning" || TagOf(key) == "Error") &&
           v.rfind("Missing required", 0) != 0;
  };
  auto explained = [&](const std::string& key, const std::string* a, const std::string* b) {
    // Every edit stamps the modification date with the current time.
    const size_t digits = b ? Digits(*b).size() : 0;
    return (o.explains && o.explains({key, a, b})) || (key == "IFD0:ModifyDate" && digits == 14) ||
           (key == "Composite:SubSecModifyDate" && digits >= 14);
  };
  std::set<std::string> faults;
  for (const auto& [key, v] : before) {
    const auto it = after.find(key);
    if (fault(key, v)) faults.insert(v);
    if (!judged(key)) continue;
    if (it == after.end()) {
      if (!explained(key, &v, nullptr))
        problems.push_back("missing " + key + " (was " + Shown(v) + ")");
    } else if (MayMove(key)) {
      const std::string why = NamesSameBytes(key, before, was, after, now);
      if (!why.empty())
        problems.push_back("pointer " + key + " no longer names the same bytes: " + why);
    } else if (!Same(it->second, v) && !explained(key, &v, &it->second)) {
      problems.push_back("changed " + key + ": " + Shown(v) + " -> " + Shown(it->second));
    }
  }
  for (const auto& [key, v] : after) {
    if (judged(key) && !before.count(key) && !explained(key, nullptr, &v)) {
      problems.push_back("added " + key + " = " + Shown(v));
    }
    if (fault(key, v) && !faults.count(v)) problems.push_back("new " + key + ": " + v);
  }
  return problems;
}

TEST(CorpusEdits, EachOperationChangesOnlyWhatItAccountsFor) {
  LF_SKIP_WITHOUT_CORPUS();
  const Corpus& c = TheCorpus();
  TempDir fixtureDir;
  RecordList fixture;
  const std::string camera = fixtureDir.Put("camera.jpg", MakeCameraFile().file);
  ASSERT_EQ(record::ReadExifRecord(camera.c_str(), &fixture.list, 0x000F0000), LF_S_OK);
  const std::vector<Operation> ops = Operations(c, fixture);
  struct Done {
    const Operation& op;
    const CorpusFile& file;
    Outcome outcome;
    std::unique_ptr<TempDir> dir;
  };
  std::vector<std::map<LF_RESULT, size_t>> results(ops.size());
  std::vector<Done> done;
  std::map<std::string, Bytes> originals;
  for (const CorpusFile& f : c.files) {
    const Bytes& original = originals[f.path] = ReadFile(f.path);
    const std::string ext = f.path.substr(f.path.rfind('.')), name = "file" + ext;
    for (size_t i = 0; i < ops.size(); ++i) {
      auto dir = std::make_unique<TempDir>();
      WriteFile(dir->File(name), original);
      Outcome o = ops[i].run({f, c.tags.at(f.path), dir->File(name), dir->File("edited" + ext)});
      if (o.skipped) continue;
      ++results[i][o.result];
      const std::string where = f.relative + ", " + ops[i].name + " (" + Hex(o.result) + ")";
      for (const std::string& p : o.problems) ADD_FAILURE() << where << ": " << p;
      const bool edited = o.result == LF_S_OK, newPath = edited && o.path != dir->File(name);
      const std::vector<std::string> left = {"edited" + ext, name};
      EXPECT_EQ(dir->List(), std::vector<std::string>(left.begin() + !newPath, left.end()))
          << where << ": files left behind";
      EXPECT_TRUE((edited && !newPath) || o.sourceEdited || ReadFile(dir->File(name)) == original)
          << where << ": the source changed";
      // A refusal is E_FAIL, NO_EXIF or invalid data (0x8007000D), never an I/O or memory fault.
      EXPECT_TRUE(edited || o.result == LF_E_FAIL || o.result == LF_E_NO_EXIF ||
                  o.result == static_cast<LF_RESULT>(0x8007000Du))
          << where;
      EXPECT_TRUE(!edited || ops[i].replacesScan || f.format != "JPEG" ||
                  MainScan(ReadFile(o.path)) == MainScan(original))
          << where << ": the image data from the SOS marker on changed";
      if (edited) done.push_back({ops[i], f, std::move(o), std::move(dir)});
    }
  }

  std::vector<std::string> written;
  for (const Done& d : done) written.push_back(d.outcome.path);
  const ExifToolDump after = RunExifTool(written, {"-api", "validate=1"});
  for (const Done& d : done) {
    const auto a = after.find(d.outcome.path);
    ASSERT_NE(a, after.end()) << d.file.relative << ": ExifTool cannot read the result";
    Problems problems = d.outcome.judge ? d.outcome.judge(a->second) : Problems{};
    for (const std::string& p : Unexplained(c.tags.at(d.file.path), originals.at(d.file.path),
                                            a->second, ReadFile(d.outcome.path), d.outcome)) {
      problems.push_back(p);
    }
    EXPECT_TRUE(problems.empty()) << d.file.relative << ", " << d.op.name
                                  << ": ExifTool sees differences the operation does not account "
                                     "for:\n    "
                                  << ::testing::PrintToString(problems);
  }

  std::printf("%zu files, %zu results judged by ExifTool\n", c.files.size(), done.size());
  for (size_t i = 0; i < ops.size(); ++i) {
    size_t refused = 0, noExif = results[i][LF_E_NO_EXIF], succeeded = results[i][LF_S_OK];
    std::string codes;
    for (const auto& [code, n] : results[i]) {
      refused += code == LF_S_OK ? 0 : n;
      codes += n ? " [" + Hex(code) + " x" + std::to_string(n) + "]" : "";
    }
    const size_t exifFiles = succeeded + refused - noExif;
    std::printf("  %s: %zu of %zu EXIF files;%s\n", ops[i].name, succeeded, exifFiles,
                codes.c_str());
    const size_t least = ops[i].succeeds == AtLeast::kEvery  ? exifFiles
                         : ops[i].succeeds == AtLeast::kHalf ? exifFiles / 2 + 1
                                                             : 1;
    EXPECT_GE(succeeded, least) << ops[i].name;
    EXPECT_TRUE(!ops[i].refusesSome || refused > 0) << ops[i].name;
  }
}

}  // namespace
}  // namespace lf::test
