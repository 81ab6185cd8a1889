// The command-line tool is a host like the photo manager: it loads Lumenframe.pcp with dlopen and
// calls the exports by name. Subcommands register themselves with LF_CLI_COMMAND.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/module.h"
#include "lumenframe/lumenframe.h"

namespace lf::cli {

// Loads the module from $LUMENFRAME_MODULE, else from beside the executable, else by the dynamic
// loader's search. Returns false with a message when it cannot.
bool LoadModule(Module* module, std::string* error);

// Options common to every subcommand, parsed before the subcommand's own arguments.
struct Options {
  bool json = false;
  bool recursive = false;  // directories on the command line are walked
  bool quiet = false;
  std::string output;      // -o PATH
  std::vector<std::string> args;  // everything else, in order
  // Flags a subcommand declares (e.g. "--thumbnail", "--rebuild"), and flags with values
  // ("--size" → "640x480").
  std::vector<std::string> flags;
  std::vector<std::pair<std::string, std::string>> values;
  bool Has(const std::string& flag) const;
  // The value of a flag given as "--name VALUE" or "--name=VALUE"; `fallback` when absent.
  std::string Value(const std::string& name, const std::string& fallback = "") const;
};

// Exit codes in the manner of established EXIF tools.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // at least one file failed
inline constexpr int kExitUsage = 2;    // bad command line, or the module cannot be loaded

struct Command {
  const char* name;
  const char* usage;    // the argument synopsis
  const char* summary;  // one line
  // Flags taking a value, e.g. {"--size", "--angle"}; every other "--x" is a plain flag.
  std::vector<std::string> valueFlags;
  std::function<int(const Module&, const Options&)> run;
};

// Adds a command to the tool; used through LF_CLI_COMMAND at namespace scope.
bool RegisterCommand(Command command);
const std::vector<Command>& Commands();

#define LF_CLI_CONCAT2(a, b) a##b
#define LF_CLI_CONCAT(a, b) LF_CLI_CONCAT2(a, b)
#define LF_CLI_COMMAND(...) \
  static const bool LF_CLI_CONCAT(lf_cli_registered_, __LINE__) = ::lf::cli::RegisterCommand(__VA_ARGS__)

// Expands the file arguments: files as given, directories walked (recursively with -r, always
// for a directory named on the command line) for files whose extension the module supports,
// in sorted order.
std::vector<std::string> ExpandFiles(const Module& module, const std::vector<std::string>& args);

// The shared loop of the reading commands: every file of the expanded arguments with a progress
// line, JSON records inside one array. `report(file, first)` prints one file's answer and says
// whether it succeeded; the exit status is 1 when any file failed.
int RunReadBatch(const Module& module, const Options& o,
                 const std::function<bool(const std::string& file, bool first)>& report);

// A progress line on stderr for long batches on a terminal: "[i/n] path", overwritten in place.
class Progress {
 public:
  Progress(size_t total, bool enabled);
  ~Progress();
  void Step(const std::string& item);

 private:
  size_t total_;
  size_t done_ = 0;
  bool enabled_;
};

// JSON helpers: a quoted, escaped string.
std::string JsonString(const std::string& s);
// "0x80004005"
std::string HexResult(LF_RESULT r);
// A short text for a result code ("S_OK", "E_FAIL", "E_NO_EXIF", "HRESULT_FROM_WIN32(5)").
std::string ResultName(LF_RESULT r);

}  // namespace lf::cli
