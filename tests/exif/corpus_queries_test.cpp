// SPDX-License-Identifier: MIT
// Real-world photos: GetOrientation and GetDateTimeOriginal must agree with ExifTool's readings
// in the corpus manifest. Where the module answers otherwise by design, the test proves the
// reason from the file's bytes (with a small reader of its own) instead of skipping the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "lumenframe/lumenframe.h"
#include "platform/clock.h"
#include "tests/support/corpus_manifest.h"
#include "tests/support/fixture_builder.h"
#include "tests/support/host_module.h"

namespace lf::test {
namespace {

struct RawEntry {
  uint16_t type = 0;
  uint32_t count = 0;
  uint32_t value = 0;  // the raw 4-byte field in the file's byte order
};

// What a file's markers and first directories hold, read independently of the module.
struct FileFacts {
  bool hasApp0 = false;
  bool hasApp1 = false;
  bool lastApp1IsExif = true;
  bool tiffRead = false;
  std::map<uint16_t, RawEntry> ifd0, exif;
};

class TiffBytes {
 public:
  TiffBytes(const Bytes& file, size_t base) : f_(file), base_(base) {
    bigEndian_ = At(0) == 'M';
  }
  bool HeaderOk() const {
    return (At(0) == 'I' && At(1) == 'I') || (At(0) == 'M' && At(1) == 'M');
  }
  uint32_t U16(size_t off) const {
    return bigEndian_ ? (At(off) << 8 | At(off + 1)) : (At(off) | At(off + 1) << 8);
  }
  uint32_t U32(size_t off) const {
    return bigEndian_ ? (U16(off) << 16 | U16(off + 2)) : (U16(off) | U16(off + 2) << 16);
  }
  std::map<uint16_t, RawEntry> Directory(uint32_t off) const {
    std::map<uint16_t, RawEntry> entries;
    const uint32_t n = U16(off);
    for (uint32_t i = 0; i < n; ++i) {
      const size_t e = off + 2 + 12 * i;
      if (base_ + e + 12 > f_.size()) break;
      entries.emplace(static_cast<uint16_t>(U16(e)),
                      RawEntry{static_cast<uint16_t>(U16(e + 2)), U32(e + 4), U32(e + 8)});
    }
    return entries;
  }

 private:
  uint32_t At(size_t off) const { return base_ + off < f_.size() ? f_[base_ + off] : 0; }
  const Bytes& f_;
  size_t base_;
  bool bigEndian_ = false;
};

FileFacts Examine(const Bytes& file) {
  FileFacts facts;
  size_t tiff = 0;
  if (file.size() >= 4 && file[0] == 0xFF && file[1] == 0xD8) {
    size_t pos = 2;
    tiff = SIZE_MAX;
    while (pos + 4 <= file.size() && file[pos] == 0xFF) {
      const uint8_t marker = file[pos + 1];
      if (marker == 0xDA || marker == 0xD9) break;
      if (marker == 0xE0) facts.hasApp0 = true;
      if (marker == 0xE1) {
        facts.hasApp1 = true;
        facts.lastApp1IsExif = pos + 10 <= file.size() && std::memcmp(&file[pos + 4], "Exif", 4) == 0;
        if (facts.lastApp1IsExif) tiff = pos + 10;
      }
      pos += 2 + ((file[pos + 2] << 8) | file[pos + 3]);
    }
    if (tiff == SIZE_MAX) return facts;
  }
  const TiffBytes t(file, tiff);
  if (!t.HeaderOk()) return facts;
  facts.tiffRead = true;
  facts.ifd0 = t.Directory(t.U32(4));
  if (const auto p = facts.ifd0.find(0x8769); p != facts.ifd0.end()) {
    facts.exif = t.Directory(p->second.value);
  }
  return facts;
}

bool IsJpegOrTiffName(const std::string& path, bool* tiff) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  *tiff = ext == "tif" || ext == "tiff";
  return *tiff || ext == "jpg" || ext == "jpeg" || ext == "jpe";
}

std::string DateText(const LfExifDateTime& t) {
  char text[48];
  std::snprintf(text, sizeof text, "%04u:%02u:%02u %02u:%02u:%02u", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return text;
}

// The calendar rule itself is the platform's (tested there); only the text is read here.
bool IsCalendarDate(const std::string& text) {
  unsigned y, mo, d, h, mi, s;
  return std::sscanf(text.c_str(), "%4u:%2u:%2u %2u:%2u:%2u", &y, &mo, &d, &h, &mi, &s) == 6 &&
         platform::IsValidCalendarDateTime(y, mo, d, h, mi, s);
}

TEST(CorpusQueries, OrientationAndDateAgreeWithExifTool) {
  const std::vector<CorpusFile> corpus = LoadCorpusManifest();
  if (corpus.empty()) GTEST_SKIP() << "corpus not present";
  const HostModule& m = HostModule::Get();
  std::map<std::string, int> counts;
  for (const CorpusFile& f : corpus) {
    bool isTiff = false;
    if (f.category != "ok" || !IsJpegOrTiffName(f.path, &isTiff)) continue;
    if (f.orientation.empty() && f.dateTimeOriginal.empty()) continue;
    const FileFacts facts = Examine(ReadFile(f.path));
    uint32_t main = 0;
    const LF_RESULT o = m.GetOrientation(f.path.c_str(), &main, nullptr, 1);
    LfExifDateTime date{};
    const LF_RESULT d = m.GetDateTimeOriginal(f.path.c_str(), &date);
    const std::string where = f.relative + ": ";

    // By design a JPEG is EXIF only when it has no APP0 (a JFIF file stays JFIF even with an
    // EXIF APP1) and its last APP1 before the scan is the EXIF one (EXIF followed by XMP is not).
    if (!isTiff && (facts.hasApp0 || !facts.lastApp1IsExif)) {
      ++counts[facts.hasApp0 ? "JFIF APP0: E_NO_EXIF" : "later APP1: E_NO_EXIF"];
      EXPECT_EQ(d, LF_E_NO_EXIF) << where;
      continue;
    }
    ASSERT_TRUE(facts.tiffRead) << where;
    const bool hasExifIfd = facts.ifd0.count(0x8769) != 0;

    if (!f.orientation.empty()) {
      const auto entry = facts.ifd0.find(0x0112);
      // Orientation is read only from a file with an Exif IFD, and only as one SHORT.
      const bool readable = hasExifIfd && entry != facts.ifd0.end() &&
                            entry->second.type == 3 && entry->second.count == 1;
      if (!hasExifIfd && !isTiff) {
        EXPECT_EQ(o, LF_E_NO_EXIF) << where;
        ++counts["orientation: JPEG without Exif IFD"];
      } else if (!readable) {
        EXPECT_EQ(o, LF_S_OK) << where;
        EXPECT_EQ(main, 0u) << where;
        ++counts[hasExifIfd ? "orientation: not one SHORT, reads 0"
                            : "orientation: TIFF without Exif IFD, reads 0"];
      } else {
        EXPECT_EQ(o, LF_S_OK) << where;
        EXPECT_EQ(std::to_string(main), f.orientation) << where;
        ++counts["orientation agrees"];
      }
    }
    if (!f.dateTimeOriginal.empty()) {
      const auto entry = facts.exif.find(0x9003);
      if (!hasExifIfd) {
        EXPECT_EQ(d, LF_E_NO_EXIF) << where;
        ++counts["date: no Exif IFD"];
      } else if (entry == facts.exif.end() || entry->second.type != 2 ||
                 entry->second.count != 20) {
        // Only the 20-byte ASCII form "YYYY:MM:DD HH:MM:SS\0" is read.
        EXPECT_EQ(d, LF_E_FAIL) << where;
        ++counts["date: not 20 ASCII bytes, E_FAIL"];
      } else if (!IsCalendarDate(f.dateTimeOriginal)) {
        EXPECT_EQ(d, 1) << where << f.dateTimeOriginal;
        ++counts["date: no calendar date, 1"];
      } else {
        EXPECT_EQ(d, LF_S_OK) << where;
        EXPECT_EQ(DateText(date), f.dateTimeOriginal) << where;
        ++counts["date agrees"];
      }
    }
  }
  for (const auto& [what, n] : counts) std::printf("corpus: %-45s %d\n", what.c_str(), n);
  EXPECT_GE(counts["orientation agrees"], 30);
  EXPECT_GE(counts["date agrees"], 30);
}

}  // namespace
}  // namespace lf::test
