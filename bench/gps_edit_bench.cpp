// SPDX-License-Identifier: MIT
// GPS edits with the module's ReplaceExifGps export and with libexiv2 setting the same ten GPS tags
// and writing the file, in the same run:
//
//   build/bench/lumenframe_bench --benchmark_filter=ReplaceExifGps
//
// ReplaceExifGps/Camera: a camera-like JPEG (a few MB of image data behind a 32 KiB APP1 with
// maker note, GPS IFD and thumbnail), rewritten in place.
// ReplaceExifGps/Corpus: every corpus camera JPEG the module edits, each rewritten in place once
// per iteration.
// exiv2-synced: libexiv2's write followed by the two flushes the module makes (file and folder).
// Every iteration edits fresh copies, written with the timer paused. Each benchmark reports edits
// per second of wall-clock time (the work is file I/O, and the module's writes are flushed to the
// disk, libexiv2's not).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "bench/bench_support.h"
#include "lumenframe/lumenframe.h"
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
  std::vector<uint32_t> tags{0x0000, 0x0001, 0x0002, 0x0003, 0x0004,
                             0x0005, 0x0006, 0x0007, 0x0012, 0x001D};
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
  // Fresh copies of the camera-like photo and of the corpus files, one set per writer.
  std::vector<lf::bench::WorkFile> cameraLumenframe, cameraExiv2, corpusLumenframe, corpusExiv2;
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
    const lf::test::Bytes camera = lf::bench::PaddedCameraJpeg(o, kApp1Target);
    files.cameraLumenframe.push_back({camera, files.dir.File("camera_lf.jpg")});
    files.cameraExiv2.push_back({camera, files.dir.File("camera_exiv2.jpg")});
    // The corpus camera files the module edits.
    const std::string probe = files.dir.File("probe.jpg");
    for (const std::string& path : lf::bench::CorpusCameraJpegs()) {
      const lf::test::Bytes bytes = lf::test::ReadFile(path);
      lf::test::WriteFile(probe, bytes);
      if (!EditWithModule(probe)) continue;
      const std::string n = std::to_string(files.corpusLumenframe.size());
      files.corpusLumenframe.push_back({bytes, files.dir.File("c" + n + "_lf.jpg")});
      files.corpusExiv2.push_back({bytes, files.dir.File("c" + n + "_exiv2.jpg")});
    }
    return true;
  }();
  (void)made;
  return files;
}

void Camera_lumenframe(benchmark::State& state) {
  lf::bench::TimeFreshEdits(state, Files().cameraLumenframe, EditWithModule);
}
BENCHMARK(Camera_lumenframe)->Name("ReplaceExifGps/Camera/lumenframe")->UseRealTime();

void Corpus_lumenframe(benchmark::State& state) {
  lf::bench::TimeFreshEdits(state, Files().corpusLumenframe, EditWithModule);
}
BENCHMARK(Corpus_lumenframe)->Name("ReplaceExifGps/Corpus/lumenframe")->UseRealTime();

void Camera_userCopy(benchmark::State& state) {
  lf::bench::WithUserSpaceCopies([&] { Camera_lumenframe(state); });
}
BENCHMARK(Camera_userCopy)->Name("ReplaceExifGps/Camera/user-copy")->UseRealTime();

void Corpus_userCopy(benchmark::State& state) {
  lf::bench::WithUserSpaceCopies([&] { Corpus_lumenframe(state); });
}
BENCHMARK(Corpus_userCopy)->Name("ReplaceExifGps/Corpus/user-copy")->UseRealTime();

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
  lf::bench::TimeFreshEdits(state, Files().cameraExiv2, EditWithExiv2);
}
BENCHMARK(Camera_exiv2)->Name("ReplaceExifGps/Camera/exiv2")->UseRealTime();

void Corpus_exiv2(benchmark::State& state) {
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  lf::bench::TimeFreshEdits(state, Files().corpusExiv2, EditWithExiv2);
}
BENCHMARK(Corpus_exiv2)->Name("ReplaceExifGps/Corpus/exiv2")->UseRealTime();

bool EditWithExiv2Synced(const std::string& path) {
  return EditWithExiv2(path) && lf::bench::SyncFileAndFolder(path);
}

void Camera_exiv2Synced(benchmark::State& state) {
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  lf::bench::TimeFreshEdits(state, Files().cameraExiv2, EditWithExiv2Synced);
}
BENCHMARK(Camera_exiv2Synced)->Name("ReplaceExifGps/Camera/exiv2-synced")->UseRealTime();

void Corpus_exiv2Synced(benchmark::State& state) {
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  lf::bench::TimeFreshEdits(state, Files().corpusExiv2, EditWithExiv2Synced);
}
BENCHMARK(Corpus_exiv2Synced)->Name("ReplaceExifGps/Corpus/exiv2-synced")->UseRealTime();
#pragma GCC diagnostic pop
#endif

}  // namespace
