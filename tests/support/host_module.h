// SPDX-License-Identifier: MIT
// The module loaded with dlopen and every export resolved by name, as the host does.
#pragma once

#include <string>

#include "cli/module.h"

namespace lf::test {

struct HostModule : cli::Module {
  // The module loaded once per test process; `error` says why it could not be loaded or which
  // exports are missing.
  static const HostModule& Get();
  std::string error;
};

// Path of the built module and of the command-line tool.
std::string ModulePath();
std::string CliPath();

struct CliResult {
  int exitCode = -1;
  std::string out;
};

// Runs the command-line tool with the module under test; `args` are already quoted for the
// shell. Its error output is dropped, or taken in with the rest when `withErrors`.
CliResult RunCli(const std::string& args, bool withErrors = false);

}  // namespace lf::test
