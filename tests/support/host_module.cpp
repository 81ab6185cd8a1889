// SPDX-License-Identifier: MIT
#include "tests/support/host_module.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>

namespace lf::test {

std::string ModulePath() {
  const char* env = std::getenv("LF_MODULE");
  return (env && *env) ? env : LF_MODULE_PATH;
}

std::string CliPath() { return LF_CLI_PATH; }

CliResult RunCli(const std::string& args, bool withErrors) {
  CliResult r;
  // LeakSanitizer misreads dlopen'ed TLS at exit here; leaks are checked in the test process.
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string cmd = "ASAN_OPTIONS='" + std::string(asan ? asan : "") +
                          ":detect_leaks=0' LUMENFRAME_MODULE='" + ModulePath() + "' '" +
                          CliPath() + "' " + args + (withErrors ? " 2>&1" : " 2>/dev/null");
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  const int status = ::pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

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
