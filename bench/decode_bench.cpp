// Decode of a 24-megapixel camera-like JPEG (6000 × 4000, EXIF with a thumbnail in front) next to
// libjpeg-turbo decoding the same file straight to BGR in the same run. Decode does more: it reads
// the whole file and checks its marker structure before decoding, and hands back a bottom-up
// packed DIB in a global block. Goal: at most 1.2 × libjpeg-turbo's time.
//
// The thumbnail benchmarks show that Decode(source 1) reads only the EXIF block: it takes as long
// on the 24-megapixel file as on a 64 × 48 one, and its read calls (counter "reads") do not grow
// with the main image.
//
//   out-rel/bench/lumenframe_bench --benchmark_filter='Decode'
#include <benchmark/benchmark.h>

// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/faults.h"
#include "plugin/operations.h"
#include "tests/support/fixture_builder.h"

namespace {

struct Files {
  lf::test::TempDir dir;
  std::string big;
  std::string small;
  Files() {
    lf::test::CameraJpegOptions o;
    o.width = 6000;
    o.height = 4000;
    big = dir.File("camera-24mp.jpg");
    lf::test::WriteFile(big, lf::test::MakeCameraJpeg(o));
    o.width = 64;
    o.height = 48;
    small = dir.File("camera-small.jpg");
    lf::test::WriteFile(small, lf::test::MakeCameraJpeg(o));
  }
};

const Files& TestFiles() {
  static const Files files;
  return files;
}

void Decode24MP_lumenframe(benchmark::State& state) {
  const std::string& path = TestFiles().big;
  for (auto _ : state) {
    LF_HGLOBAL dib = lf::ops::Decode(path.c_str(), 0);
    if (!dib) {
      state.SkipWithError("Decode failed");
      return;
    }
    benchmark::DoNotOptimize(dib);
    LfGlobalFree(dib);
  }
  state.SetItemsProcessed(state.iterations());
}

// The peer: read the file, decode with libjpeg-turbo into a fresh BGR buffer.
void Decode24MP_libjpeg_turbo(benchmark::State& state) {
  const std::string& path = TestFiles().big;
  for (auto _ : state) {
    const lf::test::Bytes file = lf::test::ReadFile(path);
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), file.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    const size_t stride = size_t{cinfo.output_width} * 3;
    auto* pixels = static_cast<unsigned char*>(std::malloc(stride * cinfo.output_height));
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = pixels + stride * cinfo.output_scanline;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(pixels);
    std::free(pixels);
  }
  state.SetItemsProcessed(state.iterations());
}

void DecodeThumbnail(benchmark::State& state, const std::string& path) {
  lf::platform::ClearFaults();
  for (auto _ : state) {
    LF_HGLOBAL dib = lf::ops::Decode(path.c_str(), 1);
    if (!dib) {
      state.SkipWithError("no thumbnail");
      return;
    }
    LfGlobalFree(dib);
  }
  state.counters["reads"] = benchmark::Counter(
      static_cast<double>(lf::platform::CallCount(lf::platform::Service::Read)),
      benchmark::Counter::kAvgIterations);
  state.SetItemsProcessed(state.iterations());
}

void DecodeThumbnail_lumenframe(benchmark::State& state) { DecodeThumbnail(state, TestFiles().big); }
void DecodeThumbnail_small_file(benchmark::State& state) {
  DecodeThumbnail(state, TestFiles().small);
}

BENCHMARK(Decode24MP_lumenframe)->Name("Decode24MP/lumenframe")->Unit(benchmark::kMillisecond);
BENCHMARK(Decode24MP_libjpeg_turbo)->Name("Decode24MP/libjpeg-turbo")->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeThumbnail_lumenframe)->Name("DecodeThumbnail/lumenframe")->Unit(benchmark::kMicrosecond);
BENCHMARK(DecodeThumbnail_small_file)->Name("DecodeThumbnail/same-on-64x48-file")->Unit(benchmark::kMicrosecond);

}  // namespace
