// GPS edits with the module's ReplaceExifGps export and with libexiv2 setting the same ten GPS tags
// and writing the file, in the same run:
//
//   build/bench/lumenframe_bench --benchmark_filter=ReplaceExifGps
//
// ReplaceExifGps/Camera: a camera-like JPEG (a few MB of image data behind a 32 KiB APP1 with
// maker note, GPS IFD and thumbnail), rewritten in place.
// ReplaceExifGps/Corpus: every file of the real-world corpus the module edits, each rewritten in
// place once per iteration (copies in a scratch directory).
// Each benchmark reports edits per second of wall-clock time (the work is file I/O).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "lumenframe/lumenframe.h"
#include "bench/bench_support.h"
#include "tests/support/fixture_builder.h"

#if defined(LF_HAVE_EXIV2)
// exiv2 0.27 still hands images out through std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#endif

namespace {

constexpr size_t kApp1Target = 32 * 1024;

// The position both writers set: 48°51'30.24" N, 2°17'40.2" E, 35 m, 13:45:30 UTC.
struct Position {
  std::vector<uint32_t> tags{0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, 0x0012, 0x001D};
  std::string datum = "WGS-84", date = "2024:05:06";
  LfGpsRecord record{};
  Position() {
    record.tagList.data = tags.data();
    record.tagList.size = static_cast<int32_t>(tags.size());
    record.versionID[0] = 2;
    record.versionID[1] = 2;
    record.latitudeRef[0] = 'N';
    record.longitudeRef[0] = 'E';
    const uint32_t lat[6] = {48, 1, 51, 1, 3024, 100}, lon[6] = {2, 1, 17, 1, 4020, 100};
    const uint32_t time[6] = {13, 1, 45, 1, 30, 1};
    std::memcpy(record.latitude, lat, sizeof lat);
    std::memcpy(record.longitude, lon, sizeof lon);
    std::memcpy(record.timeStamp, time, sizeof time);
    record.altitude[0] = 35;
    record.altitude[1] = 1;
    record.mapDatum.text = datum.data();
    record.dateStamp.text = date.data();
  }
};

struct GpsFiles {
  lf::test::TempDir dir;
  lf::test::Bytes camera;
  std::vector<std::string> corpusLumenframe, corpusExiv2;  // copies, one set per writer
};

bool EditWithModule(const std::string& path) {
  Position p;
  return ReplaceExifGps(path.c_str(), path.c_str(), 90, &p.record) == LF_S_OK;
}

const GpsFiles& Files() {
  static GpsFiles files;
  static const bool made = [] {
    lf::test::CameraJpegOptions o;
    o.width = 2400;
    o.height = 1600;
    o.thumbnailWidth = 160;
    o.thumbnailHeight = 120;
    o.imageJpeg = lf::test::EncodeNoiseJpeg(2400, 1600, 90, 11);
    files.camera = lf::bench::PaddedCameraJpeg(o, kApp1Target);
    // The corpus files the module edits.
    const std::string corpus = lf::test::CorpusDir();
    if (corpus.empty()) return true;
    size_t n = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
      if (!entry.is_regular_file()) continue;
      std::string ext = entry.path().extension().string();
      for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (ext != ".jpg" && ext != ".jpeg" && ext != ".tif" && ext != ".tiff") continue;
      const lf::test::Bytes bytes = lf::test::ReadFile(entry.path().string());
      const std::string a = files.dir.File("c" + std::to_string(n) + "_lf" + ext);
      const std::string b = files.dir.File("c" + std::to_string(n) + "_exiv2" + ext);
      ++n;
      lf::test::WriteFile(a, bytes);
      if (!EditWithModule(a)) continue;
      lf::test::WriteFile(b, bytes);
      files.corpusLumenframe.push_back(a);
      files.corpusExiv2.push_back(b);
    }
    return true;
  }();
  (void)made;
  return files;
}

void Camera_lumenframe(benchmark::State& state) {
  const std::string path = Files().dir.File("camera_lf.jpg");
  lf::test::WriteFile(path, Files().camera);
  for (auto _ : state) {
    if (!EditWithModule(path)) {
      state.SkipWithError("ReplaceExifGps failed");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(std::to_string(Files().camera.size() / 1024) + " KiB file");
}
BENCHMARK(Camera_lumenframe)->Name("ReplaceExifGps/Camera/lumenframe")->UseRealTime();

void Corpus_lumenframe(benchmark::State& state) {
  const std::vector<std::string>& paths = Files().corpusLumenframe;
  if (paths.empty()) {
    state.SkipWithError("corpus not present");
    return;
  }
  for (auto _ : state) {
    for (const std::string& path : paths) {
      if (!EditWithModule(path)) {
        state.SkipWithError(("ReplaceExifGps failed on " + path).c_str());
        return;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(paths.size()));
  state.SetLabel(std::to_string(paths.size()) + " files");
}
BENCHMARK(Corpus_lumenframe)->Name("ReplaceExifGps/Corpus/lumenframe")->UseRealTime();

#if defined(LF_HAVE_EXIV2)
// Sets the same ten GPS tags with libexiv2 and writes the file.
bool EditWithExiv2(const std::string& path) {
  Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
  image->readMetadata();
  Exiv2::ExifData& exif = image->exifData();
  exif["Exif.GPSInfo.GPSVersionID"] = "2 2 0 0";
  exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
  exif["Exif.GPSInfo.GPSLatitude"] = "48/1 51/1 3024/100";
  exif["Exif.GPSInfo.GPSLongitudeRef"] = "E";
  exif["Exif.GPSInfo.GPSLongitude"] = "2/1 17/1 4020/100";
  exif["Exif.GPSInfo.GPSAltitudeRef"] = "0";
  exif["Exif.GPSInfo.GPSAltitude"] = "35/1";
  exif["Exif.GPSInfo.GPSTimeStamp"] = "13/1 45/1 30/1";
  exif["Exif.GPSInfo.GPSMapDatum"] = "WGS-84";
  exif["Exif.GPSInfo.GPSDateStamp"] = "2024:05:06";
  image->writeMetadata();
  return true;
}

void Camera_exiv2(benchmark::State& state) {
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  const std::string path = Files().dir.File("camera_exiv2.jpg");
  lf::test::WriteFile(path, Files().camera);
  lf::bench::TimeEach(state, [&] { EditWithExiv2(path); });
}
BENCHMARK(Camera_exiv2)->Name("ReplaceExifGps/Camera/exiv2")->UseRealTime();

void Corpus_exiv2(benchmark::State& state) {
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  lf::bench::TimeOverFiles(state, Files().corpusExiv2, EditWithExiv2);
}
BENCHMARK(Corpus_exiv2)->Name("ReplaceExifGps/Corpus/exiv2")->UseRealTime();
#pragma GCC diagnostic pop
#endif

}  // namespace
