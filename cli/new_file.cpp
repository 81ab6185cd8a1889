// SPDX-License-Identifier: MIT
#include "cli/new_file.h"

#include <unistd.h>

#include "cli/messages.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/temp_files.h"

namespace lf::cli {

PendingFile::PendingFile(const std::string& path) : path_(path) {
  // Made as a new file is (0666 less the umask), since it becomes the user's file.
  const int fd = platform::CreateUniqueFile(platform::DirectoryOf(path), "lfw", &temp_, 0666);
  if (fd < 0) return;
  f = ::fdopen(fd, "wb");
  if (!f) ::close(fd);
}

PendingFile::~PendingFile() {
  if (f) std::fclose(f);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

bool PendingFile::Commit() {
  const bool written = f && std::fflush(f) == 0 && ::fsync(::fileno(f)) == 0;
  const bool closed = f && std::fclose(f) == 0;
  f = nullptr;
  if (!written || !closed || !platform::MoveFileOver(temp_, path_)) return false;
  temp_.clear();
  return true;
}

bool WriteNewFile(const std::string& path, const std::string& bytes, std::string* error) {
  PendingFile file(path);
  if (file.f && std::fwrite(bytes.data(), 1, bytes.size(), file.f) == bytes.size() &&
      file.Commit()) {
    return true;
  }
  *error = "cannot write " + path + ": " + Win32ErrorText(platform::LastError());
  return false;
}

}  // namespace lf::cli
