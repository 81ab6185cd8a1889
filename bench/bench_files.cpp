// SPDX-License-Identifier: MIT
#include "bench/bench_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tests/support/fixture_builder.h"

namespace lf::bench {

namespace {

// Reads the manifest rows of well-formed files: path, format and maker ("-" when none).
template <typename Take>
void ForEachManifestRow(Take&& take) {
  const std::string dir = test::CorpusDir();
  if (dir.empty()) return;
  std::ifstream manifest(dir + "/MANIFEST.tsv");
  std::string line;
  std::getline(manifest, line);  // the column names
  while (std::getline(manifest, line)) {
    std::istringstream row(line);
    std::string column[7];
    for (std::string& c : column) std::getline(row, c, '\t');
    if (column[1] == "ok") take(dir + "/" + column[0], column[2], column[6]);
  }
}

std::vector<std::string> ListCorpus(CorpusKind kind) {
  std::vector<std::string> paths;
  ForEachManifestRow([&](const std::string& path, const std::string& format, const std::string&) {
    const bool wanted = (format == "JPEG" && kind != CorpusKind::Tiff) ||
                        (format == "TIFF" && kind != CorpusKind::Jpeg);
    if (wanted) paths.push_back(path);
  });
  return paths;
}

}  // namespace

const std::vector<std::string>& CorpusPhotos(CorpusKind kind) {
  static const std::vector<std::string> jpeg = ListCorpus(CorpusKind::Jpeg);
  static const std::vector<std::string> tiff = ListCorpus(CorpusKind::Tiff);
  static const std::vector<std::string> both = ListCorpus(CorpusKind::JpegAndTiff);
  switch (kind) {
    case CorpusKind::Jpeg: return jpeg;
    case CorpusKind::Tiff: return tiff;
    default: return both;
  }
}

const std::vector<std::string>& CorpusCameraJpegs() {
  static const std::vector<std::string> paths = [] {
    std::vector<std::string> found;
    ForEachManifestRow(
        [&](const std::string& path, const std::string& format, const std::string& make) {
          if (format == "JPEG" && !make.empty() && make != "-") found.push_back(path);
        });
    return found;
  }();
  return paths;
}

std::vector<unsigned char> ReadWhole(const std::string& path) {
  std::vector<unsigned char> bytes;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bytes;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size > 0) {
    bytes.resize(static_cast<size_t>(st.st_size));
    if (::read(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) bytes.clear();
  }
  ::close(fd);
  return bytes;
}

bool ReadFloor(const std::string& path) {
  static thread_local unsigned char buffer[64 * 1024];
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const ssize_t got = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  return got >= 0;
}

}  // namespace lf::bench
