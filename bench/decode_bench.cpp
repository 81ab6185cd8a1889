// SPDX-License-Identifier: MIT
// Decode next to TurboJPEG in the same run, on the JPEGs of the corpus and on a generated
// 12-megapixel camera photo. The peer does what a host would have to do to get the same result:
// read the file, allocate a bottom-up BGR buffer of the packed-DIB row layout, tjDecompress2 into
// it, free it. Decode does more: it checks the file's marker structure and hands back a packed DIB
// in a global block.
//
// Decode(source 1) against libexif finding the thumbnail plus TurboJPEG decoding it the same way,
// over the corpus photos that carry a JPEG thumbnail both can read. The counter "reads" of the
// 24-megapixel thumbnail benchmark shows that the main image is never read.
//
//   build/bench/lumenframe_bench --benchmark_filter='Decode'
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "platform/faults.h"
#include "plugin/operations.h"
#include "tests/support/fixture_builder.h"

#if defined(LF_HAVE_TURBOJPEG)
#include <turbojpeg.h>
#endif
#if defined(LF_HAVE_LIBEXIF)
#include <libexif/exif-data.h>
#endif

namespace {

struct Generated {
  lf::test::TempDir dir;
  std::string photo12mp;  // 4000 × 3000, EXIF with a thumbnail in front
  std::string photo24mp;  // 6000 × 4000 (the thumbnail read count)
  Generated() {
    lf::test::CameraJpegOptions o;
    o.width = 4000;
    o.height = 3000;
    o.imageJpeg = lf::test::EncodeNoiseJpeg(4000, 3000, 75, 3);
    photo12mp = dir.Put("camera-12mp.jpg", lf::test::MakeCameraJpeg(o));
    o.width = 6000;
    o.height = 4000;
    o.imageJpeg.clear();
    photo24mp = dir.Put("camera-24mp.jpg", lf::test::MakeCameraJpeg(o));
  }
};

const Generated& GeneratedFiles() {
  static const Generated files;
  return files;
}

bool DecodeLumenframe(const std::string& path, uint32_t source) {
  LF_HGLOBAL dib = lf::ops::Decode(path.c_str(), source);
  if (!dib) return false;
  benchmark::DoNotOptimize(LfGlobalLock(dib));
  LfGlobalUnlock(dib);
  LfGlobalFree(dib);
  return true;
}

#if defined(LF_HAVE_TURBOJPEG)
// A JPEG stream in memory into a fresh bottom-up BGR buffer with 4-byte aligned rows and room for
// the 40-byte header, as the host's block would be.
bool DecodeTurbo(tjhandle tj, const unsigned char* jpeg, size_t size) {
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  if (tjDecompressHeader3(tj, jpeg, static_cast<unsigned long>(size), &width, &height, &subsampling,
                          &colorspace) != 0) {
    return false;
  }
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  auto* block = static_cast<unsigned char*>(std::malloc(40 + stride * height));
  if (!block) return false;
  const bool ok = tjDecompress2(tj, jpeg, static_cast<unsigned long>(size), block + 40, width,
                                static_cast<int>(stride), height, TJPF_BGR, TJFLAG_BOTTOMUP) == 0;
  benchmark::DoNotOptimize(block);
  std::free(block);
  return ok;
}

bool DecodeTurboFile(tjhandle tj, const std::string& path) {
  const std::vector<unsigned char> file = lf::bench::ReadWhole(path);
  return DecodeTurbo(tj, file.data(), file.size());
}

// The files of `paths` that both decoders take.
std::vector<std::string> DecodableJpegs(const std::vector<std::string>& paths) {
  std::vector<std::string> kept;
  tjhandle tj = tjInitDecompress();
  for (const std::string& path : paths) {
    if (DecodeTurboFile(tj, path) && DecodeLumenframe(path, 0)) kept.push_back(path);
  }
  tjDestroy(tj);
  return kept;
}

const std::vector<std::string>& CorpusJpegs() {
  static const std::vector<std::string> kept =
      DecodableJpegs(lf::bench::CorpusPhotos(lf::bench::CorpusKind::Jpeg));
  return kept;
}

template <typename DecodeFn>
void Sweep(benchmark::State& state, const std::vector<std::string>& paths, DecodeFn decode) {
  if (paths.empty()) {
    state.SkipWithError("no files");
    return;
  }
  for (auto _ : state) {
    for (const std::string& path : paths) {
      if (!decode(path)) {
        state.SkipWithError(("cannot decode " + path).c_str());
        return;
      }
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * paths.size()));
}

void DecodeCorpus_lumenframe(benchmark::State& state) {
  Sweep(state, CorpusJpegs(), [](const std::string& p) { return DecodeLumenframe(p, 0); });
}
void DecodeCorpus_turbojpeg(benchmark::State& state) {
  tjhandle tj = tjInitDecompress();
  Sweep(state, CorpusJpegs(), [tj](const std::string& p) { return DecodeTurboFile(tj, p); });
  tjDestroy(tj);
}
void Decode12MP_lumenframe(benchmark::State& state) {
  Sweep(state, {GeneratedFiles().photo12mp},
        [](const std::string& p) { return DecodeLumenframe(p, 0); });
}
void Decode12MP_turbojpeg(benchmark::State& state) {
  tjhandle tj = tjInitDecompress();
  Sweep(state, {GeneratedFiles().photo12mp},
        [tj](const std::string& p) { return DecodeTurboFile(tj, p); });
  tjDestroy(tj);
}
BENCHMARK(DecodeCorpus_lumenframe)
    ->Name("Decode/corpus-jpegs/lumenframe")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeCorpus_turbojpeg)
    ->Name("Decode/corpus-jpegs/turbojpeg")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Decode12MP_lumenframe)
    ->Name("Decode/12mp-photo/lumenframe")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Decode12MP_turbojpeg)->Name("Decode/12mp-photo/turbojpeg")->Unit(benchmark::kMillisecond);

#if defined(LF_HAVE_LIBEXIF)
// libexif loads the EXIF data and hands out the thumbnail; TurboJPEG decodes it.
bool DecodeThumbnailPeer(tjhandle tj, const std::string& path) {
  ExifData* data = exif_data_new_from_file(path.c_str());
  if (!data) return false;
  const bool ok = data->data && data->size > 0 && DecodeTurbo(tj, data->data, data->size);
  exif_data_unref(data);
  return ok;
}

const std::vector<std::string>& CorpusThumbnails() {
  static const std::vector<std::string> kept = [] {
    std::vector<std::string> paths;
    tjhandle tj = tjInitDecompress();
    for (const std::string& path : lf::bench::CorpusPhotos(lf::bench::CorpusKind::Jpeg)) {
      if (DecodeThumbnailPeer(tj, path) && DecodeLumenframe(path, 1)) paths.push_back(path);
    }
    tjDestroy(tj);
    return paths;
  }();
  return kept;
}

void DecodeThumbnails_lumenframe(benchmark::State& state) {
  Sweep(state, CorpusThumbnails(), [](const std::string& p) { return DecodeLumenframe(p, 1); });
}
void DecodeThumbnails_peer(benchmark::State& state) {
  tjhandle tj = tjInitDecompress();
  Sweep(state, CorpusThumbnails(),
        [tj](const std::string& p) { return DecodeThumbnailPeer(tj, p); });
  tjDestroy(tj);
}
BENCHMARK(DecodeThumbnails_lumenframe)
    ->Name("DecodeThumbnail/corpus/lumenframe")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(DecodeThumbnails_peer)
    ->Name("DecodeThumbnail/corpus/libexif+turbojpeg")
    ->Unit(benchmark::kMicrosecond);
#endif
#endif

// The thumbnail of a 24-megapixel file: the read calls per Decode stay those of the EXIF data.
void DecodeThumbnail24MP(benchmark::State& state) {
  const std::string& path = GeneratedFiles().photo24mp;
  lf::platform::ClearFaults();
  Sweep(state, {path}, [](const std::string& p) { return DecodeLumenframe(p, 1); });
  state.counters["reads"] =
      benchmark::Counter(static_cast<double>(lf::platform::CallCount(lf::platform::Service::Read)),
                         benchmark::Counter::kAvgIterations);
}
BENCHMARK(DecodeThumbnail24MP)->Name("DecodeThumbnail24MP")->Unit(benchmark::kMicrosecond);

}  // namespace
