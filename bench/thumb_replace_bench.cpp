// SPDX-License-Identifier: MIT
// Thumbnail replacement with the module's ReplaceThumbImage export (which renders the new
// thumbnail from a host image) and with libexiv2 setting an already encoded JPEG thumbnail
// (Exiv2::ExifThumb::setJpegThumbnail) and writing the file, in the same run:
//
//   build/bench/lumenframe_bench --benchmark_filter=ReplaceThumb
//
// Both sides start from one 160×120 picture: a JPEG encoded once before any timing, which libexiv2
// takes as it is and the module receives decoded (through its Decode export) as the host image.
// ReplaceThumbImage/Camera: a camera-like JPEG (a few MB of image data behind a 32 KiB APP1 with
// maker note, GPS IFD and a 160×120 thumbnail).
// ReplaceThumbImage/Corpus: every EXIF JPEG of the real-world corpus that both writers edit.
// ReplaceThumbImage/Camera-from-12mp: the camera file again, but the module is handed a
// 4000×3000 host picture to make its thumbnail from, while libexiv2 still gets the prepared one.
// Every iteration rewrites fresh copies in place: the copies are written with the timer paused,
// the same way for both sides. Each benchmark reports edits per second of wall-clock time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

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
constexpr int kThumbWidth = 160;
constexpr int kThumbHeight = 120;
constexpr int32_t kQuality =
    90;  // the module renders at this quality; the peer's JPEG is encoded at it

// A source file and the scratch copy each writer rewrites from it.
struct WorkFile {
  lf::test::Bytes original;
  std::string lumenframe, exiv2;
};

struct ThumbFiles {
  lf::test::TempDir dir;
  lf::test::Bytes thumbJpeg;        // the new thumbnail, 160×120, for libexiv2
  LF_HGLOBAL hostImage = nullptr;   // the same picture decoded, for the module
  LF_HGLOBAL largeImage = nullptr;  // a 4000×3000 host picture
  WorkFile camera;
  std::vector<WorkFile> corpus;
  size_t corpusExif = 0, corpusModule = 0;  // EXIF JPEGs found; of them, those the module edits
  ~ThumbFiles() {
    if (hostImage) LfGlobalFree(hostImage);
    if (largeImage) LfGlobalFree(largeImage);
  }
};

bool EditWithModule(const std::string& path, LF_HGLOBAL image) {
  return ReplaceThumbImage(path.c_str(), path.c_str(), image, kQuality) == LF_S_OK;
}

#if defined(LF_HAVE_EXIV2)
// Sets the new JPEG thumbnail with libexiv2 and writes the file; throws what libexiv2 throws.
void EditWithExiv2(const std::string& path, const lf::test::Bytes& thumb) {
  Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
  image->readMetadata();
  Exiv2::ExifThumb(image->exifData())
      .setJpegThumbnail(thumb.data(), static_cast<long>(thumb.size()));
  image->writeMetadata();
}

bool Exiv2Edits(const std::string& path, const lf::test::Bytes& thumb) {
  try {
    EditWithExiv2(path, thumb);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}
#endif

const ThumbFiles& Files() {
  static ThumbFiles files;
  static const bool made = [] {
#if defined(LF_HAVE_EXIV2)
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
#endif
    files.thumbJpeg = lf::test::EncodeJpeg(kThumbWidth, kThumbHeight, kQuality);
    files.hostImage =
        Decode(files.dir.Put("thumb.jpg", files.thumbJpeg).c_str(), LF_DECODE_MAIN_IMAGE);
    files.largeImage =
        Decode(files.dir.Put("large.jpg", lf::test::EncodeJpeg(4000, 3000, 90)).c_str(),
               LF_DECODE_MAIN_IMAGE);

    lf::test::CameraJpegOptions o;
    o.width = 2400;
    o.height = 1600;
    o.thumbnailWidth = kThumbWidth;
    o.thumbnailHeight = kThumbHeight;
    o.imageJpeg = lf::test::EncodeNoiseJpeg(2400, 1600, 90, 11);
    files.camera = {lf::bench::PaddedCameraJpeg(o, kApp1Target), files.dir.File("camera_lf.jpg"),
                    files.dir.File("camera_exiv2.jpg")};

    // The corpus's EXIF JPEGs that the module edits (and libexiv2 too, so both do the same work).
    const std::string corpus = lf::test::CorpusDir();
    if (corpus.empty() || !files.hostImage) return true;
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
      if (entry.is_regular_file()) found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    const std::string probe = files.dir.File("probe.jpg");
    for (const std::filesystem::path& path : found) {
      std::string ext = path.extension().string();
      for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (ext != ".jpg" && ext != ".jpeg") continue;
      uint32_t isExif = 0;
      if (IsExifFile(path.c_str(), &isExif) != LF_S_OK || !isExif) continue;
      ++files.corpusExif;
      const lf::test::Bytes bytes = lf::test::ReadFile(path.string());
      lf::test::WriteFile(probe, bytes);
      if (!EditWithModule(probe, files.hostImage)) continue;
      ++files.corpusModule;
#if defined(LF_HAVE_EXIV2)
      lf::test::WriteFile(probe, bytes);
      if (!Exiv2Edits(probe, files.thumbJpeg)) continue;
#endif
      const std::string n = std::to_string(files.corpus.size());
      files.corpus.push_back(
          {bytes, files.dir.File("c" + n + "_lf.jpg"), files.dir.File("c" + n + "_exiv2.jpg")});
    }
    return true;
  }();
  (void)made;
  return files;
}

// Writes fresh copies of `work` for one side, with the timer paused.
template <typename Path>
void FreshCopies(benchmark::State& state, const std::vector<const WorkFile*>& work, Path path) {
  state.PauseTiming();
  for (const WorkFile* w : work) lf::test::WriteFile(w->*path, w->original);
  state.ResumeTiming();
}

std::vector<const WorkFile*> Camera() { return {&Files().camera}; }
std::vector<const WorkFile*> Corpus() {
  std::vector<const WorkFile*> work;
  for (const WorkFile& w : Files().corpus) work.push_back(&w);
  return work;
}

std::string CorpusLabel() {
  const ThumbFiles& f = Files();
  return std::to_string(f.corpus.size()) + " files (" + std::to_string(f.corpusExif) +
         " EXIF JPEGs, " + std::to_string(f.corpusModule) + " edited by the module)";
}

void RunLumenframe(benchmark::State& state, const std::vector<const WorkFile*>& work,
                   LF_HGLOBAL image = Files().hostImage) {
  if (!image) {
    state.SkipWithError("the host image could not be decoded");
    return;
  }
  if (work.empty()) {
    state.SkipWithError("corpus not present");
    return;
  }
  for (auto _ : state) {
    FreshCopies(state, work, &WorkFile::lumenframe);
    for (const WorkFile* w : work) {
      if (!EditWithModule(w->lumenframe, image)) {
        state.SkipWithError(("ReplaceThumbImage failed on " + w->lumenframe).c_str());
        return;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(work.size()));
}

void Camera_lumenframe(benchmark::State& state) {
  RunLumenframe(state, Camera());
  state.SetLabel(std::to_string(Files().camera.original.size() / 1024) + " KiB file");
}
BENCHMARK(Camera_lumenframe)->Name("ReplaceThumbImage/Camera/lumenframe")->UseRealTime();

void CameraFrom12mp_lumenframe(benchmark::State& state) {
  RunLumenframe(state, Camera(), Files().largeImage);
}
BENCHMARK(CameraFrom12mp_lumenframe)
    ->Name("ReplaceThumbImage/Camera-from-12mp/lumenframe")
    ->UseRealTime();

void Corpus_lumenframe(benchmark::State& state) {
  RunLumenframe(state, Corpus());
  state.SetLabel(CorpusLabel());
}
BENCHMARK(Corpus_lumenframe)->Name("ReplaceThumbImage/Corpus/lumenframe")->UseRealTime();

#if defined(LF_HAVE_EXIV2)
void RunExiv2(benchmark::State& state, const std::vector<const WorkFile*>& work) {
  const lf::test::Bytes& thumb = Files().thumbJpeg;
  if (work.empty()) {
    state.SkipWithError("corpus not present");
    return;
  }
  for (auto _ : state) {
    FreshCopies(state, work, &WorkFile::exiv2);
    for (const WorkFile* w : work) {
      try {
        EditWithExiv2(w->exiv2, thumb);
      } catch (const std::exception& e) {
        state.SkipWithError((w->exiv2 + ": " + e.what()).c_str());
        return;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(work.size()));
}

void Camera_exiv2(benchmark::State& state) { RunExiv2(state, Camera()); }
BENCHMARK(Camera_exiv2)->Name("ReplaceThumbImage/Camera/exiv2")->UseRealTime();
BENCHMARK(Camera_exiv2)->Name("ReplaceThumbImage/Camera-from-12mp/exiv2")->UseRealTime();

void Corpus_exiv2(benchmark::State& state) {
  RunExiv2(state, Corpus());
  state.SetLabel(CorpusLabel());
}
BENCHMARK(Corpus_exiv2)->Name("ReplaceThumbImage/Corpus/exiv2")->UseRealTime();
#pragma GCC diagnostic pop
#endif

}  // namespace
