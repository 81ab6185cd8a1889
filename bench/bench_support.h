// Pieces the benchmarks share: camera-like photos whose APP1 segment is padded to a chosen size,
// and the loop that times one operation over every file of a set.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <exception>
#include <string>
#include <vector>

#include "tests/support/fixture_builder.h"

namespace lf::bench {

// The APP1 segment length of a JPEG that starts with one, else 0.
inline size_t App1Length(const test::Bytes& jpeg) {
  return jpeg.size() > 6 && jpeg[2] == 0xFF && jpeg[3] == 0xE1 ? (jpeg[4] << 8 | jpeg[5]) : 0;
}

// MakeCameraJpeg with its maker note padded so that the APP1 segment is about `app1Target` bytes.
inline test::Bytes PaddedCameraJpeg(test::CameraJpegOptions o, size_t app1Target) {
  const size_t bare = App1Length(test::MakeCameraJpeg(o));
  o.makerNotePadding = app1Target > bare ? app1Target - bare : 0;
  return test::MakeCameraJpeg(o);
}

// Times `run` over every file of `files` per iteration. A file a peer refuses by throwing still
// counts as attempted, as the module's refusals do.
template <typename File, typename Run>
void TimeOverFiles(benchmark::State& state, const std::vector<File>& files, Run&& run) {
  if (files.empty()) {
    state.SkipWithError("corpus not present");
    return;
  }
  for (auto _ : state) {
    for (const File& f : files) {
      try {
        run(f);
      } catch (const std::exception&) {
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(files.size()));
  state.SetLabel(std::to_string(files.size()) + " files");
}

// Times `run` once per iteration; an exception (a peer's refusal) ends the benchmark with its text.
template <typename Run>
void TimeEach(benchmark::State& state, Run&& run) {
  for (auto _ : state) {
    try {
      run();
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      return;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace lf::bench
