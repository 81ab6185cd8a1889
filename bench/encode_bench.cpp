// SPDX-License-Identifier: MIT
// Encode of a 12-megapixel host bitmap (4000 × 3000, 24 bits, bottom-up) next to the libraries
// writing the same pixels straight to a file in the same run: JPEG at quality 90 against
// libjpeg-turbo's tjCompress2 (4:2:0, as Encode's JPEG mode 0), PNG against libpng with the
// defaults the module's PNG writer uses. Encode does more: it proves the folder writable, copies
// the host's block, writes into a temporary file and copies that over the target. Goal: at most
// 1.1 × the peer's time.
//
//   build/bench/lumenframe_bench --benchmark_filter='Encode12MP' --benchmark_repetitions=3
#include <benchmark/benchmark.h>

#include <png.h>
#if LF_HAVE_TURBOJPEG
#include <turbojpeg.h>
#endif

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/toolkit.h"
#include "platform/file.h"
#include "platform/memory.h"
#include "plugin/operations.h"
#include "tests/support/fixture_builder.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// A photo-like picture (the fixture builder's gradient JPEG, decoded) as the host's packed DIB.
struct Picture {
  lf::test::TempDir dir;
  lf::platform::GlobalBlock dib;
  Picture() {
    const lf::test::Bytes jpeg = lf::test::EncodeJpeg(kWidth, kHeight, 90);
    lf::imaging::ScopedBitmap b;
    if (lf::imaging::LoadMemory(jpeg.data(), jpeg.size(), b.get(), 24) ==
        lf::imaging::kToolkitSuccess) {
      dib = lf::platform::GlobalBlock(lf::imaging::ExportPackedDib(b.get()));
      // Kept locked for the peers, which read the rows in place.
      rows = static_cast<const uint8_t*>(LfGlobalLock(dib.get())) + 40;
    }
  }
  // The rows of the DIB: bottom row first, `Stride()` bytes apart.
  const uint8_t* rows = nullptr;
  const uint8_t* Rows() const { return rows; }
  static int Stride() { return (kWidth * 3 + 3) & ~3; }
};

const Picture& ThePicture() {
  static const Picture picture;
  return picture;
}

void EncodeWith(benchmark::State& state, uint32_t flags, const char* name) {
  const Picture& p = ThePicture();
  const std::string out = p.dir.File(name);
  for (auto _ : state) {
    state.PauseTiming();
    (void)lf::platform::DeleteFile(out);  // absent before the first run
    state.ResumeTiming();
    if (lf::ops::Encode(p.dib.get(), out.c_str(), flags, 90, nullptr) != 0) {
      state.SkipWithError("Encode failed");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void WriteFile(const std::string& path, const unsigned char* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(data, 1, size, f);
  std::fclose(f);
}

void Jpeg_lumenframe(benchmark::State& state) { EncodeWith(state, LF_ENC_JPEG, "out.jpg"); }

#if LF_HAVE_TURBOJPEG
void Jpeg_tjCompress2(benchmark::State& state) {
  const Picture& p = ThePicture();
  const std::string out = p.dir.File("peer.jpg");
  tjhandle tj = tjInitCompress();
  for (auto _ : state) {
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(tj, p.Rows(), kWidth, Picture::Stride(), kHeight, TJPF_BGR, &jpeg, &size,
                    TJSAMP_420, 90, TJFLAG_BOTTOMUP) != 0) {
      state.SkipWithError(tjGetErrorStr2(tj));
      break;
    }
    WriteFile(out, jpeg, size);
    tjFree(jpeg);
  }
  tjDestroy(tj);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Jpeg_tjCompress2)
    ->Name("Encode12MP/JpegQ90/tjCompress2")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif

void Png_lumenframe(benchmark::State& state) { EncodeWith(state, LF_ENC_PNG, "out.png"); }

void Png_libpng(benchmark::State& state) {
  const Picture& p = ThePicture();
  const std::string out = p.dir.File("peer.png");
  std::vector<png_bytep> rows(kHeight);
  for (int y = 0; y < kHeight; ++y) {
    rows[y] =
        const_cast<png_bytep>(p.Rows() + static_cast<size_t>(kHeight - 1 - y) * Picture::Stride());
  }
  for (auto _ : state) {
    FILE* f = std::fopen(out.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(Jpeg_lumenframe)
    ->Name("Encode12MP/JpegQ90/lumenframe")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(Png_lumenframe)
    ->Name("Encode12MP/Png/lumenframe")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(Png_libpng)->Name("Encode12MP/Png/libpng")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
