// SPDX-License-Identifier: MIT
#include "cli/file_walk.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace lf::cli {

namespace {

namespace fs = std::filesystem;

[[nodiscard]] bool Supported(const Module& module, const std::string& path) {
  uint32_t supported = 0;
  return module.IsSupported(path.c_str(), &supported) == LF_S_OK && supported;
}

std::string CannotOpen(const std::string& path, const std::error_code& ec) {
  return "cannot open " + path + ": " + ec.message();
}

void Walk(const Module& module, const fs::path& dir, bool recursive, std::vector<Input>* out) {
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  std::vector<fs::directory_entry> entries;
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) entries.push_back(*it);
  if (ec) {
    out->push_back({dir.string(), CannotOpen(dir.string(), ec)});
    return;
  }
  std::sort(entries.begin(), entries.end(),
            [](const fs::directory_entry& a, const fs::directory_entry& b) {
              return a.path().filename() < b.path().filename();
            });
  for (const fs::directory_entry& e : entries) {
    std::error_code kindError;
    const bool isLink = e.is_symlink(kindError);
    if (e.is_directory(kindError)) {
      const bool hidden = e.path().filename().string().starts_with(".");
      if (recursive && !isLink && !hidden) Walk(module, e.path(), recursive, out);
    } else if (Supported(module, e.path().string())) {
      out->push_back({e.path().string(), {}});
    }
  }
}

}  // namespace

std::vector<Input> ExpandInputs(const Module& module, const std::vector<std::string>& args,
                                bool recursive) {
  std::vector<Input> inputs;
  for (const std::string& a : args) {
    std::error_code ec;
    if (fs::is_directory(a, ec)) {
      Walk(module, a, recursive, &inputs);
    } else {
      inputs.push_back({a, {}});  // opened, and any error reported, when its turn comes
    }
  }
  return inputs;
}

}  // namespace lf::cli
