#include "bench/bench_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tests/support/fixture_builder.h"

namespace lf::bench {

namespace {

std::vector<std::string> ListCorpus(CorpusKind kind) {
  std::vector<std::string> paths;
  const std::string dir = test::CorpusDir();
  if (dir.empty()) return paths;
  std::ifstream manifest(dir + "/MANIFEST.tsv");
  std::string line;
  std::getline(manifest, line);  // the column names
  while (std::getline(manifest, line)) {
    std::istringstream row(line);
    std::string path, category, format;
    std::getline(row, path, '\t');
    std::getline(row, category, '\t');
    std::getline(row, format, '\t');
    if (category != "ok") continue;
    const bool wanted = (format == "JPEG" && kind != CorpusKind::Tiff) ||
                        (format == "TIFF" && kind != CorpusKind::Jpeg);
    if (wanted) paths.push_back(dir + "/" + path);
  }
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
