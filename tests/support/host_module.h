// SPDX-License-Identifier: MIT
// The module loaded with dlopen and every export resolved by name, as the host does.
#pragma once

#include <string>

#include "cli/module.h"

namespace lf::test {

struct HostModule : cli::Module {
  // Loaded once per process; `error` (a test failure) says why it failed or what is missing.
  static const HostModule& Get();
  std::string error;
};

// Path of the built module and of the command-line tool.
std::string ModulePath();
std::string CliPath();

}  // namespace lf::test
