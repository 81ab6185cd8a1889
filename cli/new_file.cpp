// SPDX-License-Identifier: MIT
#include "cli/new_file.h"

#include "cli/messages.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/temp_files.h"

namespace lf::cli {

bool WriteNewFile(const std::string& path, const std::string& bytes, std::string* error) {
  platform::ScopedTempFile temp;
  bool ok = temp.Create(platform::DirectoryOf(path), "lfw");
  if (ok) {
    platform::File file = platform::File::Open(temp.path(), platform::Access::Write,
                                               platform::Disposition::CreateAlways);
    ok = file && file.Write(bytes.data(), bytes.size()) && file.Close();
  }
  ok = ok && platform::MoveFileOver(temp.path(), path);
  if (ok) {
    temp.Release();
    return true;
  }
  *error = "cannot write " + path + ": " + Win32ErrorText(platform::LastError());
  return false;
}

}  // namespace lf::cli
