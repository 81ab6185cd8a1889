// lumenframe — a command-line host for the Lumenframe.pcp module.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/host.h"

namespace {

using lf::cli::Command;
using lf::cli::Commands;

void PrintUsage(FILE* to) {
  std::fprintf(to,
               "usage: lumenframe [--json] [-r] [-q] COMMAND [ARGS...]\n\n"
               "Reads and edits the EXIF data of JPEG and TIFF photos through the Lumenframe.pcp\n"
               "module (found beside this program, in the installed library folder, or at $LUMENFRAME_MODULE).\n\ncommands:\n");
  for (const Command& c : Commands()) {
    std::fprintf(to, "  %-13s %-42s %s\n", c.name, c.usage, c.summary);
  }
  std::fprintf(to,
               "\noptions:\n"
               "  --json   print one JSON document instead of text\n"
               "  -r       walk directories recursively (directories named are always walked)\n"
               "  -q       print nothing but errors\n"
               "  -o PATH  output file for commands that write one\n"
               "\nexit status: 0 when every file succeeded, 1 when any failed, 2 on a usage error.\n");
}

bool TakesValue(const Command& c, const std::string& flag) {
  for (const std::string& v : c.valueFlags) {
    if (v == flag) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  lf::cli::Options options;
  int i = 1;
  // Options before the command.
  for (; i < argc && argv[i][0] == '-'; ++i) {
    const std::string a = argv[i];
    if (a == "--json") {
      options.json = true;
    } else if (a == "-r") {
      options.recursive = true;
    } else if (a == "-q") {
      options.quiet = true;
    } else if (a == "-h" || a == "--help") {
      PrintUsage(stdout);
      return lf::cli::kExitOk;
    } else {
      std::fprintf(stderr, "lumenframe: unknown option %s\n", a.c_str());
      PrintUsage(stderr);
      return lf::cli::kExitUsage;
    }
  }
  if (i >= argc) {
    PrintUsage(stderr);
    return lf::cli::kExitUsage;
  }
  const std::string name = argv[i++];
  const Command* command = nullptr;
  for (const Command& c : Commands()) {
    if (name == c.name) command = &c;
  }
  if (!command) {
    std::fprintf(stderr, "lumenframe: unknown command '%s'\n", name.c_str());
    PrintUsage(stderr);
    return lf::cli::kExitUsage;
  }
  // Options and arguments of the command, in any order; "--" ends the options.
  bool onlyArgs = false;
  for (; i < argc; ++i) {
    const std::string a = argv[i];
    if (onlyArgs || a.size() < 2 || a[0] != '-' || (a[1] >= '0' && a[1] <= '9')) {
      options.args.push_back(a);
    } else if (a == "--") {
      onlyArgs = true;
    } else if (a == "--json") {
      options.json = true;
    } else if (a == "-r") {
      options.recursive = true;
    } else if (a == "-q") {
      options.quiet = true;
    } else if (a == "-o") {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "lumenframe: -o needs a path\n");
        return lf::cli::kExitUsage;
      }
      options.output = argv[++i];
    } else if (const size_t eq = a.find('='); eq != std::string::npos && TakesValue(*command, a.substr(0, eq))) {
      options.values.emplace_back(a.substr(0, eq), a.substr(eq + 1));
    } else if (TakesValue(*command, a)) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "lumenframe: %s needs a value\n", a.c_str());
        return lf::cli::kExitUsage;
      }
      options.values.emplace_back(a, argv[++i]);
    } else {
      options.flags.push_back(a);
    }
  }
  lf::cli::Module module;
  std::string error;
  if (!lf::cli::LoadModule(&module, &error)) {
    std::fprintf(stderr, "lumenframe: cannot load Lumenframe.pcp:\n%s", error.c_str());
    return lf::cli::kExitUsage;
  }
  return command->run(module, options);
}
