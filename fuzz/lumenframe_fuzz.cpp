// SPDX-License-Identifier: MIT
// The fuzz targets without libFuzzer:
//   lumenframe_fuzz list                        each target with its seed kinds
//   lumenframe_fuzz replay TARGET [--seeds] PATH...
//                                               runs the target over each file (directories: their
//                                               files, sorted) and, with --seeds, its fixture seeds
//   lumenframe_fuzz seeds DIR                   writes the fixture seeds as DIR/KIND/NAME
// Replaying kept crashers in every build (release, sanitizers) keeps them fixed.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fixture_seeds.h"
#include "fuzz/fuzz_target.h"

namespace fs = std::filesystem;
using lf::fuzz::Target;

namespace {

const Target* Find(const std::string& name) {
  for (const Target& t : lf::fuzz::Targets()) {
    if (name == t.name) return &t;
  }
  return nullptr;
}

std::vector<std::string> Kinds(const Target& target) {
  std::istringstream in(target.seedKinds);
  std::vector<std::string> kinds;
  for (std::string kind; in >> kind;) kinds.push_back(kind);
  return kinds;
}

std::vector<uint8_t> Slurp(const fs::path& path) {
  std::vector<uint8_t> bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
      bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
  }
  return bytes;
}

int Replay(const Target& target, const std::vector<std::string>& args) {
  size_t runs = 0;
  auto run = [&](const std::vector<uint8_t>& bytes) {
    target.entry(bytes.data(), bytes.size());
    ++runs;
  };
  for (const std::string& arg : args) {
    if (arg == "--seeds") {
      for (const std::string& kind : Kinds(target)) {
        for (const auto& seed : lf::fuzz::FixtureSeeds(kind)) run(seed.second);
      }
      continue;
    }
    std::error_code error;
    if (fs::is_directory(arg, error)) {
      std::vector<fs::path> files;
      for (const auto& entry : fs::directory_iterator(arg)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      for (const fs::path& file : files) run(Slurp(file));
    } else if (fs::is_regular_file(arg, error)) {
      run(Slurp(arg));
    }
  }
  std::printf("%s: %zu inputs replayed\n", target.name, runs);
  return 0;
}

int WriteSeeds(const fs::path& dir) {
  for (const char* kind : {"jpg", "tif", "png", "gif", "bmp", "dib"}) {
    fs::create_directories(dir / kind);
    for (const auto& seed : lf::fuzz::FixtureSeeds(kind)) {
      std::FILE* f = std::fopen((dir / kind / seed.first).c_str(), "wb");
      if (!f || std::fwrite(seed.second.data(), 1, seed.second.size(), f) != seed.second.size()) {
        std::fprintf(stderr, "lumenframe_fuzz: cannot write %s\n",
                     (dir / kind / seed.first).c_str());
        if (f) std::fclose(f);
        return 1;
      }
      std::fclose(f);
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "list") {
    for (const Target& t : lf::fuzz::Targets()) std::printf("%s %s\n", t.name, t.seedKinds);
    return 0;
  }
  if (args.size() == 2 && args[0] == "seeds") return WriteSeeds(args[1]);
  if (args.size() >= 2 && args[0] == "replay") {
    const Target* target = Find(args[1]);
    if (!target) {
      std::fprintf(stderr, "lumenframe_fuzz: no target %s\n", args[1].c_str());
      return 2;
    }
    return Replay(*target, {args.begin() + 2, args.end()});
  }
  std::fprintf(stderr,
               "usage: lumenframe_fuzz list | seeds DIR | replay TARGET [--seeds] PATH...\n");
  return 2;
}
