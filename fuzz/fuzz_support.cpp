// SPDX-License-Identifier: MIT
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "fuzz/fuzz_target.h"
#include "platform/temp_files.h"

namespace lf::fuzz {
namespace {

class ScratchDirectory {
 public:
  ScratchDirectory() {
    const std::string base =
        ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : platform::TempDirectory();
    if (!platform::CreateTempDirectory(base, "FZZ", &path_)) {
      throw std::runtime_error("cannot create a scratch directory in " + base);
    }
  }
  ~ScratchDirectory() { (void)platform::RemoveTempDirectory(path_); }  // a leftover harms nothing
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const std::string& Scratch() {
  static const ScratchDirectory directory;
  return directory.path();
}

}  // namespace

std::vector<Target>& Targets() {
  static std::vector<Target> targets;
  return targets;
}

std::string PutFile(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = Scratch() + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path);
  const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path);
  return path;
}

std::string FreshPath(const std::string& name) {
  const std::string path = Scratch() + name;
  ::chmod(path.c_str(), 0600);
  std::remove(path.c_str());
  return path;
}

const char* ExifExtension(const uint8_t* data, size_t size) {
  return size >= 2 && (data[0] == 'I' || data[0] == 'M') && data[1] == data[0] ? "tif" : "jpg";
}

}  // namespace lf::fuzz
