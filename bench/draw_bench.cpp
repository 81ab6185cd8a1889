// SPDX-License-Identifier: MIT
// DrawImage of a camera JPEG into a 320×240 surface next to what a host would do with TurboJPEG:
// read the file, decode it at the smallest TurboJPEG scaling factor that still covers 320×240
// into a BGR buffer, and shrink that into the surface with pixman's area filter. On the corpus's
// JPEGs of 3 megapixels and more, and on a generated 12-megapixel photo.
//
//   build/bench/lumenframe_bench --benchmark_filter=DrawImage
#include <benchmark/benchmark.h>

#include <pixman.h>

#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "imaging/toolkit.h"
#include "plugin/operations.h"
#include "tests/support/fixture_builder.h"

#if defined(LF_HAVE_TURBOJPEG)
#include <turbojpeg.h>
#endif

namespace {

constexpr int kSurfaceWidth = 320;
constexpr int kSurfaceHeight = 240;
constexpr int64_t kCameraPixels = 3'000'000;

struct Surface {
  std::vector<uint8_t> pixels = std::vector<uint8_t>(size_t{kSurfaceWidth} * kSurfaceHeight * 4);
  LfDeviceContext dc{kSurfaceWidth, kSurfaceHeight, 32, kSurfaceWidth * 4, pixels.data()};
};

struct Photos {
  lf::test::TempDir dir;
  std::string photo12mp;            // 4000 × 3000
  std::vector<std::string> camera;  // corpus JPEGs of camera size
  Photos() {
    lf::test::CameraJpegOptions o;
    o.width = 4000;
    o.height = 3000;
    o.imageJpeg = lf::test::EncodeNoiseJpeg(4000, 3000, 85, 5);
    photo12mp = dir.Put("camera-12mp.jpg", lf::test::MakeCameraJpeg(o));
    for (const std::string& path : lf::bench::CorpusPhotos(lf::bench::CorpusKind::Jpeg)) {
      lf::imaging::FileInfo info;
      if (lf::imaging::GetFileInfo(path.c_str(), &info) == lf::imaging::kToolkitSuccess &&
          int64_t{info.width} * info.height >= kCameraPixels) {
        camera.push_back(path);
      }
    }
  }
};

const Photos& Files() {
  static const Photos photos;
  return photos;
}

bool DrawLumenframe(Surface& s, const std::string& path) {
  return lf::ops::DrawImage(path.c_str(), &s.dc, LfRect{0, 0, kSurfaceWidth, kSurfaceHeight}, 0,
                            LfRect{}, 0) == lf::S_OK;
}

#if defined(LF_HAVE_TURBOJPEG)
// The smallest TurboJPEG scaling factor whose result covers the surface.
tjscalingfactor CoveringFactor(int width, int height) {
  int count = 0;
  const tjscalingfactor* factors = tjGetScalingFactors(&count);
  tjscalingfactor best{1, 1};
  for (int i = 0; i < count; ++i) {
    const tjscalingfactor f = factors[i];
    if (f.num > f.denom || TJSCALED(width, f) < kSurfaceWidth ||
        TJSCALED(height, f) < kSurfaceHeight) {
      continue;
    }
    if (f.num * best.denom < best.num * f.denom) best = f;
  }
  return best;
}

bool DrawTurbo(tjhandle tj, Surface& s, const std::string& path) {
  const std::vector<unsigned char> file = lf::bench::ReadWhole(path);
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  if (tjDecompressHeader3(tj, file.data(), file.size(), &width, &height, &subsampling,
                          &colorspace) != 0) {
    return false;
  }
  const tjscalingfactor f = CoveringFactor(width, height);
  const int w = TJSCALED(width, f), h = TJSCALED(height, f);
  const int stride = (w * 3 + 3) & ~3;
  std::vector<uint8_t> decoded(size_t(stride) * h);
  if (tjDecompress2(tj, file.data(), file.size(), decoded.data(), w, stride, h, TJPF_BGR, 0) != 0) {
    return false;
  }
  pixman_image_t* src = pixman_image_create_bits(
      PIXMAN_r8g8b8, w, h, reinterpret_cast<uint32_t*>(decoded.data()), stride);
  pixman_image_t* dst =
      pixman_image_create_bits(PIXMAN_x8r8g8b8, kSurfaceWidth, kSurfaceHeight,
                               reinterpret_cast<uint32_t*>(s.pixels.data()), s.dc.stride);
  pixman_transform_t t;
  pixman_transform_init_scale(&t, pixman_double_to_fixed(double(w) / kSurfaceWidth),
                              pixman_double_to_fixed(double(h) / kSurfaceHeight));
  pixman_image_set_transform(src, &t);
  pixman_image_set_filter(src, PIXMAN_FILTER_GOOD, nullptr, 0);
  pixman_image_set_repeat(src, PIXMAN_REPEAT_PAD);
  pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kSurfaceWidth,
                           kSurfaceHeight);
  pixman_image_unref(src);
  pixman_image_unref(dst);
  return true;
}
#endif

template <typename DrawFn>
void Sweep(benchmark::State& state, const std::vector<std::string>& paths, DrawFn draw) {
  if (paths.empty()) {
    state.SkipWithError("no camera JPEGs (corpus not present)");
    return;
  }
  Surface surface;
  for (auto _ : state) {
    for (const std::string& path : paths) {
      if (!draw(surface, path)) {
        state.SkipWithError(("cannot draw " + path).c_str());
        return;
      }
    }
    benchmark::DoNotOptimize(surface.pixels.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * paths.size()));
  state.SetLabel(std::to_string(paths.size()) + " files");
}

void Corpus_lumenframe(benchmark::State& state) { Sweep(state, Files().camera, DrawLumenframe); }
void Photo12mp_lumenframe(benchmark::State& state) {
  Sweep(state, {Files().photo12mp}, DrawLumenframe);
}
BENCHMARK(Corpus_lumenframe)
    ->Name("DrawImage320x240/corpus-camera/lumenframe")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Photo12mp_lumenframe)
    ->Name("DrawImage320x240/12mp-photo/lumenframe")
    ->Unit(benchmark::kMillisecond);

#if defined(LF_HAVE_TURBOJPEG)
void Corpus_turbojpeg(benchmark::State& state) {
  tjhandle tj = tjInitDecompress();
  Sweep(state, Files().camera,
        [tj](Surface& s, const std::string& p) { return DrawTurbo(tj, s, p); });
  tjDestroy(tj);
}
void Photo12mp_turbojpeg(benchmark::State& state) {
  tjhandle tj = tjInitDecompress();
  Sweep(state, {Files().photo12mp},
        [tj](Surface& s, const std::string& p) { return DrawTurbo(tj, s, p); });
  tjDestroy(tj);
}
BENCHMARK(Corpus_turbojpeg)
    ->Name("DrawImage320x240/corpus-camera/turbojpeg")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Photo12mp_turbojpeg)
    ->Name("DrawImage320x240/12mp-photo/turbojpeg")
    ->Unit(benchmark::kMillisecond);
#endif

}  // namespace
