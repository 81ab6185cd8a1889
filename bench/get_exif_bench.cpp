// SPDX-License-Identifier: MIT
// GetExif's summaries of shooting and GPS data over the camera files of the real-world corpus and
// over generated camera JPEGs, side by side with libexiv2 reading the same standard tags (Make,
// Model, Orientation, ExposureTime, FNumber, ISO, FocalLength, Flash, DateTimeOriginal, GPS
// position) from the same files in the same run.
//
//   build/lumenframe_bench --benchmark_filter=GetExif
//
// Each benchmark reports files per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "lumenframe/lumenframe.h"
#include "tests/support/fixture_builder.h"

#if defined(LF_HAVE_EXIV2)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#endif

namespace {

// The corpus's camera JPEGs and TIFFs (as its manifest lists them) that the module reads as EXIF.
std::vector<std::string> CorpusCameraFiles() {
  std::vector<std::string> files;
  const std::string dir = lf::test::CorpusDir();
  if (dir.empty()) return files;
  std::ifstream manifest(dir + "/MANIFEST.tsv");
  std::string line;
  std::getline(manifest, line);  // the column names
  while (std::getline(manifest, line)) {
    std::vector<std::string> cells;
    std::stringstream row(line);
    for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
    // path, category, format, ..., byte_order (column 9)
    if (cells.size() < 9 || cells[1] != "ok" || (cells[2] != "JPEG" && cells[2] != "TIFF") ||
        (cells[8] != "II" && cells[8] != "MM")) {
      continue;
    }
    const std::string path = dir + "/" + cells[0];
    LfExifSummary exif{};
    if (GetExif(path.c_str(), &exif, nullptr, nullptr) == LF_S_OK) files.push_back(path);
    LfExifSummaryClear(&exif);
  }
  return files;
}

struct GeneratedSet {
  lf::test::TempDir dir;
  std::vector<std::string> paths;
};

// Camera-like JPEGs with a maker note, GPS and a thumbnail, both byte orders.
const GeneratedSet& Generated() {
  static GeneratedSet set;
  static const bool written = [] {
    for (int i = 0; i < 40; ++i) {
      lf::test::CameraJpegOptions o;
      o.order = i % 2 ? lf::test::Order::Big : lf::test::Order::Little;
      o.width = 320;
      o.height = 240;
      o.makerNotePadding = 4096;
      const std::string path = set.dir.File("IMG_" + std::to_string(i) + ".JPG");
      lf::test::WriteFile(path, lf::test::MakeCameraJpeg(o));
      set.paths.push_back(path);
    }
    return true;
  }();
  (void)written;
  return set;
}

const std::vector<std::string>& Files(int which) {
  static const std::vector<std::string> corpus = CorpusCameraFiles();
  return which == 0 ? corpus : Generated().paths;
}

// Times `read` over one input's files; a reader's refusal (an exception) counts as attempted.
template <typename ReadFn>
void Sweep(benchmark::State& state, int which, ReadFn read) {
  lf::bench::TimeOverFiles(state, Files(which),
                           [&](const std::string& path) { benchmark::DoNotOptimize(read(path)); });
}

uint32_t ReadLumenframe(const std::string& path) {
  LfExifSummary exif{};
  LfGpsSummary gps{};
  const LF_RESULT r = GetExif(path.c_str(), &exif, &gps, nullptr);
  const uint32_t sum =
      exif.exposureTime[1] + exif.fNumber[0] + exif.isoSpeedRatings + gps.latitude[0];
  LfExifSummaryClear(&exif);
  LfGpsSummaryClear(&gps);
  return sum + static_cast<uint32_t>(r);
}

#if defined(LF_HAVE_EXIV2)
uint32_t ReadExiv2(const std::string& path) {
  static const char* const kKeys[] = {
      "Exif.Image.Make",          "Exif.Image.Model",          "Exif.Image.Orientation",
      "Exif.Photo.ExposureTime",  "Exif.Photo.FNumber",        "Exif.Photo.ISOSpeedRatings",
      "Exif.Photo.FocalLength",   "Exif.Photo.Flash",          "Exif.Photo.DateTimeOriginal",
      "Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLongitude", "Exif.GPSInfo.GPSAltitude"};
  uint32_t sum = 0;
  Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
  image->readMetadata();
  const Exiv2::ExifData& exif = image->exifData();
  for (const char* key : kKeys) {
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it != exif.end()) sum += static_cast<uint32_t>(it->toString().size());
  }
  return sum;
}
#endif

// "GetExif/INPUT/READER", so that the summary compares the readers per input.
const bool kRegistered = [] {
  for (const int which : {0, 1}) {
    const std::string input = which == 0 ? "corpus" : "generated";
    benchmark::RegisterBenchmark(("GetExif/" + input + "/lumenframe").c_str(),
                                 [which](benchmark::State& s) { Sweep(s, which, ReadLumenframe); });
#if defined(LF_HAVE_EXIV2)
    benchmark::RegisterBenchmark(("GetExif/" + input + "/exiv2").c_str(),
                                 [which](benchmark::State& s) {
                                   Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
                                   Sweep(s, which, ReadExiv2);
                                 });
#endif
  }
  return true;
}();

#if defined(LF_HAVE_EXIV2)
#pragma GCC diagnostic pop
#endif

}  // namespace
