// SPDX-License-Identifier: MIT
// The command-line tool is a host like the photo manager: it loads Lumenframe.pcp with dlopen and
// calls the exports by name. Commands register themselves with LF_CLI_COMMAND; each declares its
// arguments on a CLI11 subcommand and returns what runs it once they are parsed.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/module.h"
#include "lumenframe/lumenframe.h"

namespace CLI {
class App;
}

namespace lf::cli {

// Loads the module from $LUMENFRAME_MODULE, else from beside the executable, else from the
// installed private folder. Returns false with a message when it cannot.
[[nodiscard]] bool LoadModule(Module* module, std::string* error);

// Options every command takes, before or after its name.
struct Options {
  bool json = false;
  bool recursive = false;  // folders are walked to the bottom, not one level deep
  bool quiet = false;
  unsigned jobs = 1;  // threads of a batch
};

// Exit codes in the manner of established EXIF tools.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // at least one file failed
inline constexpr int kExitUsage = 2;    // bad command line, or the module cannot be loaded

using Runner = std::function<int(const Module&, const Options&)>;

struct Command {
  const char* name;
  const char* summary;  // one line
  // Declares the command's options and positionals on `app`; the returned runner reads them.
  std::function<Runner(CLI::App& app)> declare;
};

// Adds a command to the tool; used through LF_CLI_COMMAND at namespace scope.
[[nodiscard]] bool RegisterCommand(Command command);
const std::vector<Command>& Commands();

#define LF_CLI_CONCAT2(a, b) a##b
#define LF_CLI_CONCAT(a, b) LF_CLI_CONCAT2(a, b)
#define LF_CLI_COMMAND(...)                                       \
  static const bool LF_CLI_CONCAT(lf_cli_registered_, __LINE__) = \
      ::lf::cli::RegisterCommand(__VA_ARGS__)

}  // namespace lf::cli
