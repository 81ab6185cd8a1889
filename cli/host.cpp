// SPDX-License-Identifier: MIT
#include "cli/host.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace lf::cli {

namespace {

std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

}  // namespace

bool LoadModule(Module* m, std::string* error) {
  std::vector<std::string> candidates;
  if (const char* env = std::getenv("LUMENFRAME_MODULE"); env && *env) {
    candidates.push_back(env);
  } else {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::filesystem::path dir = ec ? std::filesystem::path() : exe.parent_path();
    candidates.push_back(dir / "Lumenframe.pcp");
#ifdef LF_INSTALLED_MODULE
    // Installed: bin/lumenframe finds the module in the private folder of the same prefix.
    candidates.push_back(dir / LF_INSTALLED_MODULE);
#endif
  }
  std::string tried;
  for (const std::string& c : candidates) {
    if (OpenModule(c, m, error)) return true;
    if (m->handle) return false;  // loaded, but an export is missing
    tried += *error + "\n";
  }
  *error = tried;
  return false;
}

bool RegisterCommand(Command command) {
  Registry().push_back(std::move(command));
  return true;
}

const std::vector<Command>& Commands() { return Registry(); }

}  // namespace lf::cli
