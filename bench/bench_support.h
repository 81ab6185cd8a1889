// SPDX-License-Identifier: MIT
// Pieces the benchmarks share: camera-like photos whose APP1 segment is padded to a chosen size,
// and the loop that times one operation over every file of a set.
#pragma once

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/faults.h"
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

// Flushes a file and its folder to the disk, as the module does with every file it writes: a peer
// that leaves its writes in the page cache is then timed with the same durability.
inline bool SyncFileAndFolder(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  bool ok = true;
  for (const auto& [name, flags] :
       {std::pair{path, O_RDONLY}, std::pair{folder, O_RDONLY | O_DIRECTORY}}) {
    const int fd = ::open(name.c_str(), flags | O_CLOEXEC);
    ok = ok && fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0) ::close(fd);
  }
  return ok;
}

// A file an edit rewrites in place, and the bytes each iteration starts it from.
struct WorkFile {
  test::Bytes original;
  std::string path;
};

// Times `edit` over fresh copies of `files`: each iteration writes the copies, and flushes them so
// that no edit's flush pays for them, with the timer paused: the rate is the edits' alone. A failed
// edit (false or a peer's exception) ends the benchmark with its message.
template <typename Edit>
void TimeFreshEdits(benchmark::State& state, const std::vector<WorkFile>& files, Edit&& edit) {
  if (files.empty()) {
    state.SkipWithError("corpus not present");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    for (const WorkFile& f : files) {
      test::WriteFile(f.path, f.original);
      SyncFileAndFolder(f.path);
    }
    state.ResumeTiming();
    for (const WorkFile& f : files) {
      std::string failure;
      try {
        if (!edit(f.path)) failure = "edit failed on " + f.path;
      } catch (const std::exception& e) {
        failure = e.what();
      }
      if (!failure.empty()) {
        state.SkipWithError(failure.c_str());
        return;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(files.size()));
  state.SetLabel(std::to_string(files.size()) + (files.size() == 1 ? " file" : " files"));
}

// Runs `time` with every kernel copy refused, as on a file system without them: the module then
// copies image data through user space.
template <typename Time>
void WithUserSpaceCopies(Time&& time) {
  platform::InjectFault(platform::Service::CopyRange, 1, platform::kErrorNotSupported,
                        /*sticky=*/true);
  time();
  platform::ClearFaults();
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
