// SPDX-License-Identifier: MIT
// ExifReader over the real-world corpus, checked against ExifTool's findings in the manifest:
// byte order, DateTimeOriginal (JFIF files included, whose directories the reader still reads)
// and thumbnail presence. Orientation and the dates the exports answer are checked through the
// exports (corpus_queries_test).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "exif/model/exif_reader.h"
#include "tests/support/corpus_manifest.h"

namespace lf::exif {
namespace {

std::string DateTimeOriginal(ExifReader& r) {
  IfdEntry e{0x9003};
  if (r.FindEntry(kExifIfd, &e) != 1 || e.type != kTypeAscii) return {};
  char text[64] = {};
  if (r.ReadEntryValue(e, text, sizeof text) == 0) return {};
  return text;
}

TEST(ExifCorpus, ReaderAgreesWithTheManifest) {
  const std::vector<test::CorpusFile> corpus = test::LoadCorpusManifest();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  int checked = 0, dates = 0, thumbnails = 0;
  for (const test::CorpusFile& row : corpus) {
    if (row.category != "ok" || (row.format != "JPEG" && row.format != "TIFF")) continue;
    ExifReader r(row.path.c_str(), true);
    // Files whose last APP1 is not the EXIF one (an XMP APP1 behind it) read as unstructured and
    // answer nothing; JFIF files (an APP0) are not EXIF files, but their directories are read.
    if (!r.HasExifDirectory()) continue;
    ++checked;
    SCOPED_TRACE(row.relative);
    EXPECT_EQ(r.byteOrder() == kLittleEndian ? "II" : "MM", row.byteOrder);
    const std::string date = DateTimeOriginal(r);
    EXPECT_EQ(date, row.dateTimeOriginal);
    if (!date.empty()) ++dates;
    platform::HeapPtr<uint8_t> thumbnail;
    const uint32_t size = r.GetThumbnail(&thumbnail);
    // A thumbnail is extracted only from JPEG streams with a baseline frame.
    if (r.IsExifJpeg()) {  // false for JFIF files
      EXPECT_EQ(size > 0, row.hasThumbnail);
      if (size > 0) ++thumbnails;
    }
  }
  EXPECT_GE(checked, 30);
  std::printf("corpus: %d EXIF files, %d dates, %d thumbnails agree\n", checked, dates, thumbnails);
}

}  // namespace
}  // namespace lf::exif
