// SPDX-License-Identifier: MIT
// The real-world corpus as ExifTool read it: one row of MANIFEST.tsv per file, read in place.
#pragma once

#include <string>
#include <vector>

namespace lf::test {

struct CorpusFile {
  std::string path;      // absolute path of the file
  std::string relative;  // its path inside the corpus, as the manifest names it
  std::string category;  // "ok" or "malformed"
  std::string format;    // "JPEG", "TIFF", "PNG", ...
  std::string make, model;
  std::string byteOrder;  // "II", "MM" or "" when ExifTool found no EXIF
  bool hasThumbnail = false;
  bool hasGps = false;
  // ExifTool's readings, "" where it found none ("-" in the manifest).
  std::string orientation;       // the numeric value
  std::string dateTimeOriginal;  // "YYYY:MM:DD HH:MM:SS"
};

// Every row of the manifest; empty when the corpus is absent (CorpusDir() is "").
std::vector<CorpusFile> LoadCorpusManifest();

}  // namespace lf::test
