// SPDX-License-Identifier: MIT
// Orientation edits with the module's SetOrientation export and with libexiv2 on the same files
// in the same run:
//
//   build/bench/lumenframe_bench --benchmark_filter=SetOrientation
//
// SetOrientationInPlace: a camera-like JPEG (a few MB of image data behind a 32 KiB APP1 with maker
// note and thumbnail) with Orientation in IFD0 and IFD1, so the module patches the EXIF block over
// its old bytes while libexiv2 sets Exif.Image.Orientation and writes the file.
// SetOrientationRebuild/Camera: the same photo without Orientation in its thumbnail's directory, so
// the module rebuilds the EXIF block and streams a new file; libexiv2 writes the file as above.
// SetOrientationRebuild/Corpus: the corpus camera JPEGs the module can only edit by a rebuild.
// SetOrientationInPlace/exiv2-cli: exiv2's command-line tool (when on the PATH) setting the tag of
// the same photo, the whole process timed; exiv2-cli-start times the tool starting and ending
// alone, so that the difference is its edit.
// SetOrientationToCopy: the patchable photo patched into a new file at another path (a copy of the
// whole file whose blocks the kernel can share, then the patch); user-copy copies through user
// space instead.
// exiv2-synced: libexiv2's write followed by the two flushes the module makes (file and folder).
// The rebuilds edit fresh copies in place, written with the timer paused. Each benchmark reports
// edits per second of wall-clock time (the work is file I/O, and the module's writes are flushed to
// the disk, libexiv2's not); the closing summary gives the ratios.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <stdexcept>
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

struct EditFiles {
  lf::test::TempDir dir;
  lf::test::Bytes patchable;    // IFD0 and IFD1 carry Orientation
  lf::test::Bytes rebuildable;  // IFD1 has no Orientation
  // Fresh copies of the rebuildable photo and of the corpus files that need a rebuild, one set per
  // writer.
  std::vector<lf::bench::WorkFile> cameraLumenframe, cameraExiv2, corpusLumenframe, corpusExiv2;
};

// Orientation values 2..8 in turn, so every edit changes the file.
uint16_t NextOrientation(int64_t i) { return static_cast<uint16_t>(2 + i % 7); }

// The orientation each rebuilt file holds before its edit (its fresh copies always do): the next
// value of the cycle is skipped when it equals it, because a rebuild that changes nothing is
// refused. Filled while the files are made, read during the timing.
std::map<std::string, uint32_t>& HeldOrientations() {
  static std::map<std::string, uint32_t> held;
  return held;
}

uint16_t RebuildOrientation(const std::string& path, int64_t* i) {
  const auto held = HeldOrientations().find(path);
  uint16_t value = NextOrientation((*i)++);
  if (held != HeldOrientations().end() && value == held->second) value = NextOrientation((*i)++);
  return value;
}

bool RebuildWithModule(const std::string& path) {
  static int64_t i = 0;
  return SetOrientation(path.c_str(), path.c_str(), RebuildOrientation(path, &i), 1) == LF_S_OK;
}

// Records under each of `paths` the orientation that `bytes` hold, reading it from `probe` (which
// is left holding the bytes).
void RememberOrientation(const lf::test::Bytes& bytes, const std::vector<std::string>& paths,
                         const std::string& probe) {
  lf::test::WriteFile(probe, bytes);
  uint32_t main = 0, thumbnail = 0;
  const bool known = GetOrientation(probe.c_str(), &main, &thumbnail, 0) == LF_S_OK;
  for (const std::string& path : paths) {
    if (known) {
      HeldOrientations()[path] = main;
    } else {
      HeldOrientations().erase(path);
    }
  }
}

// A file the module edits only by rebuilding its EXIF block: a patch alone is refused.
bool NeedsRebuild(const lf::test::Bytes& bytes, const std::string& probe) {
  RememberOrientation(bytes, {probe}, probe);
  if (SetOrientation(probe.c_str(), probe.c_str(), 6, 0) == LF_S_OK) return false;
  lf::test::WriteFile(probe, bytes);
  return RebuildWithModule(probe);
}

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
    files.cameraLumenframe.push_back({files.rebuildable, files.dir.File("camera_lf.jpg")});
    files.cameraExiv2.push_back({files.rebuildable, files.dir.File("camera_exiv2.jpg")});
    for (const std::string& path : lf::bench::CorpusCameraJpegs()) {
      const lf::test::Bytes bytes = lf::test::ReadFile(path);
      if (!NeedsRebuild(bytes, files.dir.File("probe.jpg"))) continue;
      const std::string n = std::to_string(files.corpusLumenframe.size());
      files.corpusLumenframe.push_back({bytes, files.dir.File("c" + n + "_lf.jpg")});
      files.corpusExiv2.push_back({bytes, files.dir.File("c" + n + "_exiv2.jpg")});
      RememberOrientation(bytes,
                          {files.corpusLumenframe.back().path, files.corpusExiv2.back().path},
                          files.dir.File("probe.jpg"));
    }
    return true;
  }();
  (void)made;
  return files;
}

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
BENCHMARK(SetOrientationInPlace_lumenframe)
    ->Name("SetOrientationInPlace/lumenframe")
    ->UseRealTime();

void SetOrientationToCopy_lumenframe(benchmark::State& state) {
  const std::string source = Files().dir.File("copy_src.jpg"),
                    target = Files().dir.File("copy_dst.jpg");
  lf::test::WriteFile(source, Files().patchable);
  int64_t i = 0;
  lf::bench::TimeEach(state, [&] {
    if (SetOrientation(target.c_str(), source.c_str(), NextOrientation(i++), 0) != LF_S_OK) {
      throw std::runtime_error("SetOrientation into a copy failed");
    }
  });
}
BENCHMARK(SetOrientationToCopy_lumenframe)->Name("SetOrientationToCopy/lumenframe")->UseRealTime();

void SetOrientationToCopy_userCopy(benchmark::State& state) {
  lf::bench::WithUserSpaceCopies([&] { SetOrientationToCopy_lumenframe(state); });
}
BENCHMARK(SetOrientationToCopy_userCopy)->Name("SetOrientationToCopy/user-copy")->UseRealTime();

void SetOrientationRebuildCamera_lumenframe(benchmark::State& state) {
  lf::bench::TimeFreshEdits(state, Files().cameraLumenframe, RebuildWithModule);
}
BENCHMARK(SetOrientationRebuildCamera_lumenframe)
    ->Name("SetOrientationRebuild/Camera/lumenframe")
    ->UseRealTime();

void SetOrientationRebuildCorpus_lumenframe(benchmark::State& state) {
  lf::bench::TimeFreshEdits(state, Files().corpusLumenframe, RebuildWithModule);
}
BENCHMARK(SetOrientationRebuildCorpus_lumenframe)
    ->Name("SetOrientationRebuild/Corpus/lumenframe")
    ->UseRealTime();

void SetOrientationRebuildCamera_userCopy(benchmark::State& state) {
  lf::bench::WithUserSpaceCopies([&] { SetOrientationRebuildCamera_lumenframe(state); });
}
BENCHMARK(SetOrientationRebuildCamera_userCopy)
    ->Name("SetOrientationRebuild/Camera/user-copy")
    ->UseRealTime();

void SetOrientationRebuildCorpus_userCopy(benchmark::State& state) {
  lf::bench::WithUserSpaceCopies([&] { SetOrientationRebuildCorpus_lumenframe(state); });
}
BENCHMARK(SetOrientationRebuildCorpus_userCopy)
    ->Name("SetOrientationRebuild/Corpus/user-copy")
    ->UseRealTime();

// Runs a command found on the PATH, its output discarded; true when it exits with 0.
bool RunTool(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  return spawned == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

void SetOrientationInPlace_exiv2Cli(benchmark::State& state) {
  const std::string path = Files().dir.File("inplace_cli.jpg");
  lf::test::WriteFile(path, Files().patchable);
  int64_t i = 0;
  lf::bench::TimeEach(state, [&] {
    const std::string set =
        "set Exif.Image.Orientation Short " + std::to_string(NextOrientation(i++));
    if (!RunTool({"exiv2", "-M", set, "mo", path}))
      throw std::runtime_error("exiv2 not installed or failed");
  });
}
BENCHMARK(SetOrientationInPlace_exiv2Cli)->Name("SetOrientationInPlace/exiv2-cli")->UseRealTime();

void SetOrientationInPlace_exiv2CliStart(benchmark::State& state) {
  lf::bench::TimeEach(state, [] {
    if (!RunTool({"exiv2", "--version"})) throw std::runtime_error("exiv2 not installed");
  });
}
BENCHMARK(SetOrientationInPlace_exiv2CliStart)
    ->Name("SetOrientationInPlace/exiv2-cli-start")
    ->UseRealTime();

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

// Sets Exif.Image.Orientation with libexiv2 and writes the file.
bool Exiv2Orientation(const std::string& path) {
  static int64_t i = 0;
  Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
  image->readMetadata();
  image->exifData()["Exif.Image.Orientation"] = RebuildOrientation(path, &i);
  image->writeMetadata();
  return true;
}

void SetOrientationRebuildCamera_exiv2(benchmark::State& state) {
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  lf::bench::TimeFreshEdits(state, Files().cameraExiv2, Exiv2Orientation);
}
BENCHMARK(SetOrientationRebuildCamera_exiv2)
    ->Name("SetOrientationRebuild/Camera/exiv2")
    ->UseRealTime();

void SetOrientationRebuildCorpus_exiv2(benchmark::State& state) {
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  lf::bench::TimeFreshEdits(state, Files().corpusExiv2, Exiv2Orientation);
}
BENCHMARK(SetOrientationRebuildCorpus_exiv2)
    ->Name("SetOrientationRebuild/Corpus/exiv2")
    ->UseRealTime();

bool Exiv2OrientationSynced(const std::string& path) {
  return Exiv2Orientation(path) && lf::bench::SyncFileAndFolder(path);
}

void SetOrientationRebuildCamera_exiv2Synced(benchmark::State& state) {
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  lf::bench::TimeFreshEdits(state, Files().cameraExiv2, Exiv2OrientationSynced);
}
BENCHMARK(SetOrientationRebuildCamera_exiv2Synced)
    ->Name("SetOrientationRebuild/Camera/exiv2-synced")
    ->UseRealTime();

void SetOrientationRebuildCorpus_exiv2Synced(benchmark::State& state) {
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  lf::bench::TimeFreshEdits(state, Files().corpusExiv2, Exiv2OrientationSynced);
}
BENCHMARK(SetOrientationRebuildCorpus_exiv2Synced)
    ->Name("SetOrientationRebuild/Corpus/exiv2-synced")
    ->UseRealTime();
#pragma GCC diagnostic pop
#endif

}  // namespace
