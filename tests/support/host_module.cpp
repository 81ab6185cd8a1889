#include "tests/support/host_module.h"

#include <cstdlib>

namespace lf::test {

std::string ModulePath() {
  const char* env = std::getenv("LF_MODULE");
  return (env && *env) ? env : LF_MODULE_PATH;
}

std::string CliPath() { return LF_CLI_PATH; }

const HostModule& HostModule::Get() {
  static const HostModule module = [] {
    HostModule m;
    cli::OpenModule(ModulePath(), &m, &m.error);
    return m;
  }();
  return module;
}

}  // namespace lf::test
