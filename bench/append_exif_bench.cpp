// SPDX-License-Identifier: MIT
// Copying the EXIF data of one JPEG into another: the module reads the source's records
// (ReadExifRecord) and merges them into a copy of the target with the AppendExif export; libexiv2
// reads the source's EXIF data, sets it on the target and writes the file. Same run:
//
//   build/bench/lumenframe_bench --benchmark_filter=AppendExif
//
// AppendExif/Camera: camera-like JPEGs (a few MB of image data behind a 32 KiB APP1 with maker
// note, GPS IFD and thumbnail), one's records into the other.
// AppendExif/Corpus: every EXIF JPEG of the real-world corpus the module merges, each file's own
// records into a copy of it, once per iteration.
// Each benchmark reports copies per second of wall-clock time (the work is file I/O).
#include <benchmark/benchmark.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "exif/record/record_reader.h"
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

// A source and the file its records go into.
struct Pair {
  std::string from, into, out;
  std::string exiv2Out;  // libexiv2's copy of `into`, edited in place
};

struct AppendFiles {
  lf::test::TempDir dir;
  Pair camera;
  std::vector<Pair> corpus;
};

// The module's copy: the source's records read and merged into a new file.
bool CopyWithModule(const Pair& p) {
  LfExifRecord records{};
  const bool ok = lf::record::ReadExifRecord(p.from.c_str(), &records, 0x000F0000) == LF_S_OK &&
                  AppendExif(p.out.c_str(), p.into.c_str(), &records, 1) == LF_S_OK;
  LfRecordListFree(&records, 1);
  return ok;
}

const AppendFiles& Files() {
  static AppendFiles files;
  static const bool made = [] {
    lf::test::CameraJpegOptions o;
    o.width = 2400;
    o.height = 1600;
    o.thumbnailWidth = 160;
    o.thumbnailHeight = 120;
    o.imageJpeg = lf::test::EncodeNoiseJpeg(2400, 1600, 90, 11);
    files.camera.from = files.dir.Put("from.jpg", lf::bench::PaddedCameraJpeg(o, kApp1Target));
    o.orientation = 1;
    o.order = lf::test::Order::Big;
    files.camera.into = files.dir.Put("into.jpg", lf::bench::PaddedCameraJpeg(o, kApp1Target));
    files.camera.out = files.dir.File("out.jpg");
    files.camera.exiv2Out = files.dir.File("out_exiv2.jpg");

    const std::string root = lf::test::CorpusDir();
    if (root.empty()) return true;
    size_t n = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
      if (!entry.is_regular_file()) continue;
      std::string ext = entry.path().extension().string();
      for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (ext != ".jpg" && ext != ".jpeg") continue;
      std::string stem = files.dir.File("c");
      stem += std::to_string(n++);
      const std::string copy = stem + ".jpg";
      lf::test::WriteFile(copy, lf::test::ReadFile(entry.path().string()));
      const Pair p{copy, copy, stem + "_out.jpg", stem + "_exiv2.jpg"};
      if (CopyWithModule(p)) files.corpus.push_back(p);
    }
    return true;
  }();
  (void)made;
  return files;
}

void Camera_lumenframe(benchmark::State& state) {
  for (auto _ : state) {
    if (!CopyWithModule(Files().camera)) {
      state.SkipWithError("AppendExif failed");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Camera_lumenframe)->Name("AppendExif/Camera/lumenframe")->UseRealTime();

void Corpus_lumenframe(benchmark::State& state) {
  lf::bench::TimeOverFiles(state, Files().corpus, CopyWithModule);
}
BENCHMARK(Corpus_lumenframe)->Name("AppendExif/Corpus/lumenframe")->UseRealTime();

#if defined(LF_HAVE_EXIV2)
// libexiv2 writes in place: the target is copied to the output first, as AppendExif streams it.
void CopyWithExiv2(const Pair& p) {
  lf::test::WriteFile(p.exiv2Out, lf::test::ReadFile(p.into));
  Exiv2::Image::AutoPtr from = Exiv2::ImageFactory::open(p.from);
  from->readMetadata();
  Exiv2::Image::AutoPtr into = Exiv2::ImageFactory::open(p.exiv2Out);
  into->readMetadata();
  into->setExifData(from->exifData());
  into->writeMetadata();
}

void Camera_exiv2(benchmark::State& state) {
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  lf::bench::TimeEach(state, [] { CopyWithExiv2(Files().camera); });
}
BENCHMARK(Camera_exiv2)->Name("AppendExif/Camera/exiv2")->UseRealTime();

void Corpus_exiv2(benchmark::State& state) {
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  lf::bench::TimeOverFiles(state, Files().corpus, CopyWithExiv2);
}
BENCHMARK(Corpus_exiv2)->Name("AppendExif/Corpus/exiv2")->UseRealTime();
#pragma GCC diagnostic pop
#endif

}  // namespace
