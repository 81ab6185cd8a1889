// ExifReader over the real-world corpus, checked against an independent reader's findings
// (MANIFEST.tsv: orientation, DateTimeOriginal, thumbnail presence).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "exif/model/exif_reader.h"
#include "tests/support/fixture_builder.h"

namespace lf::exif {
namespace {

struct ManifestRow {
  std::string path, category, format, byteOrder, hasThumbnail, orientation, dateTimeOriginal;
};

std::vector<ManifestRow> ReadManifest(const std::string& corpus) {
  std::vector<ManifestRow> rows;
  std::ifstream in(corpus + "/MANIFEST.tsv");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, '\t')) f.push_back(cell);
    if (f.size() < 13) continue;
    rows.push_back({f[0], f[1], f[2], f[8], f[9], f[11], f[12]});
  }
  return rows;
}

// IFD0's Orientation as the text the manifest holds: "-" when absent, "?" when stored as another
// type than one SHORT (which the queries do not read).
std::string Orientation(ExifReader& r) {
  IfdEntry e{kTagOrientation};
  if (r.FindEntry(kIfd0, &e) != 1) return "-";
  return e.type == kTypeShort && e.count == 1 ? std::to_string(e.value) : "?";
}

std::string DateTimeOriginal(ExifReader& r) {
  IfdEntry e{0x9003};
  if (r.FindEntry(kExifIfd, &e) != 1 || e.type != kTypeAscii) return {};
  char text[64] = {};
  if (r.ReadEntryValue(e, text, sizeof text) == 0) return {};
  return text;
}

TEST(ExifCorpus, ReaderAgreesWithTheManifest) {
  const std::string corpus = test::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  int checked = 0, orientations = 0, dates = 0, thumbnails = 0;
  for (const ManifestRow& row : ReadManifest(corpus)) {
    if (row.category != "ok" || (row.format != "JPEG" && row.format != "TIFF")) continue;
    const std::string path = corpus + "/" + row.path;
    ExifReader r(path.c_str(), true);
    // Files whose last APP1 is not the EXIF one (an XMP APP1 behind it) read as unstructured and
    // answer nothing; JFIF files (an APP0) are not EXIF files, but their directories are read.
    if (!r.HasExifDirectory()) continue;
    ++checked;
    SCOPED_TRACE(row.path);
    EXPECT_EQ(r.byteOrder() == kLittleEndian ? "II" : "MM", row.byteOrder);
    const std::string orientation = Orientation(r);
    if (orientation != "?") {
      EXPECT_EQ(orientation, row.orientation);
      ++orientations;
    }
    const std::string date = DateTimeOriginal(r);
    EXPECT_EQ(date.empty() ? "-" : date, row.dateTimeOriginal);
    if (!date.empty()) ++dates;
    platform::HeapPtr<uint8_t> thumbnail;
    const uint32_t size = r.GetThumbnail(&thumbnail);
    // A thumbnail is extracted only from JPEG streams with a baseline frame.
    if (r.IsExifJpeg()) {  // false for JFIF files
      EXPECT_EQ(size > 0, row.hasThumbnail == "y");
      if (size > 0) ++thumbnails;
    }
  }
  EXPECT_GE(checked, 30);
  RecordProperty("checked", checked);
  std::printf("corpus: %d EXIF files, %d orientations, %d dates, %d thumbnails agree\n", checked,
              orientations, dates, thumbnails);
}

}  // namespace
}  // namespace lf::exif
