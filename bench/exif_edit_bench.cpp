// Orientation edits of a camera-like JPEG (a few MB of image data behind a 32 KiB APP1 with maker
// note and thumbnail), with the module's SetOrientation export and with libexiv2 on the same file
// in the same run:
//
//   build/lumenframe_bench --benchmark_filter=SetOrientation
//
// SetOrientationInPlace: the file has Orientation in IFD0 and IFD1, so the module patches the EXIF
// block over its old bytes while libexiv2 sets Exif.Image.Orientation and writes the file.
// SetOrientationRebuild: the thumbnail has no Orientation, so the module rebuilds the EXIF block
// and streams a new file to another path; libexiv2 writes the file as above.
// Each benchmark reports edits per second of wall-clock time (the work is file I/O); the closing
// summary gives the ratios.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

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

struct EditFiles {
  lf::test::TempDir dir;
  lf::test::Bytes patchable;   // IFD0 and IFD1 carry Orientation
  lf::test::Bytes rebuildable;  // IFD1 has no Orientation
};

lf::test::Bytes CameraPhoto(const lf::test::Bytes& picture, uint16_t thumbnailOrientation) {
  lf::test::CameraJpegOptions o;
  o.width = 2400;
  o.height = 1600;
  o.orientation = 1;
  o.thumbnailOrientation = thumbnailOrientation;
  o.thumbnailWidth = 160;
  o.thumbnailHeight = 120;
  o.imageJpeg = picture;
  return lf::bench::PaddedCameraJpeg(o, kApp1Target);
}

const EditFiles& Files() {
  static EditFiles files;
  static const bool made = [] {
    const lf::test::Bytes picture = lf::test::EncodeNoiseJpeg(2400, 1600, 90, 11);
    files.patchable = CameraPhoto(picture, 1);
    files.rebuildable = CameraPhoto(picture, 0);
    return true;
  }();
  (void)made;
  return files;
}

// Orientation values 2..8 in turn, so every edit changes the file.
uint16_t NextOrientation(int64_t i) { return static_cast<uint16_t>(2 + i % 7); }

void SetOrientationInPlace_lumenframe(benchmark::State& state) {
  const EditFiles& files = Files();
  const std::string path = files.dir.File("inplace_lf.jpg");
  lf::test::WriteFile(path, files.patchable);
  int64_t i = 0;
  for (auto _ : state) {
    if (SetOrientation(path.c_str(), path.c_str(), NextOrientation(i++), 0) != LF_S_OK) {
      state.SkipWithError("SetOrientation failed");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(std::to_string(files.patchable.size() / 1024) + " KiB file");
}
BENCHMARK(SetOrientationInPlace_lumenframe)->Name("SetOrientationInPlace/lumenframe")->UseRealTime();

void SetOrientationRebuild_lumenframe(benchmark::State& state) {
  const EditFiles& files = Files();
  const std::string source = files.dir.File("rebuild_src.jpg");
  const std::string target = files.dir.File("rebuild_dst.jpg");
  lf::test::WriteFile(source, files.rebuildable);
  int64_t i = 0;
  for (auto _ : state) {
    if (SetOrientation(target.c_str(), source.c_str(), NextOrientation(i++), 1) != LF_S_OK) {
      state.SkipWithError("SetOrientation with rebuild failed");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SetOrientationRebuild_lumenframe)->Name("SetOrientationRebuild/lumenframe")->UseRealTime();

#if defined(LF_HAVE_EXIV2)
void Exiv2SetOrientation(benchmark::State& state, const lf::test::Bytes& photo, const char* name) {
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  const std::string path = Files().dir.File(name);
  lf::test::WriteFile(path, photo);
  int64_t i = 0;
  for (auto _ : state) {
    try {
      Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
      image->readMetadata();
      image->exifData()["Exif.Image.Orientation"] = NextOrientation(i++);
      image->writeMetadata();
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      return;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void SetOrientationInPlace_exiv2(benchmark::State& state) {
  Exiv2SetOrientation(state, Files().patchable, "inplace_exiv2.jpg");
}
BENCHMARK(SetOrientationInPlace_exiv2)->Name("SetOrientationInPlace/exiv2")->UseRealTime();

void SetOrientationRebuild_exiv2(benchmark::State& state) {
  Exiv2SetOrientation(state, Files().rebuildable, "rebuild_exiv2.jpg");
}
BENCHMARK(SetOrientationRebuild_exiv2)->Name("SetOrientationRebuild/exiv2")->UseRealTime();
#pragma GCC diagnostic pop
#endif

}  // namespace
