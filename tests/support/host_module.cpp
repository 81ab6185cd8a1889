// SPDX-License-Identifier: MIT
#include "tests/support/host_module.h"

#include <gtest/gtest.h>

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
    (void)cli::OpenModule(ModulePath(), &m, &m.error);  // a failure is told by m.error
    return m;
  }();
  EXPECT_TRUE(module.error.empty()) << module.error;
  return module;
}

}  // namespace lf::test
