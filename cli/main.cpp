// SPDX-License-Identifier: MIT
// lumenframe — a command-line host for the Lumenframe.pcp module.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "cli/host.h"

#ifndef LF_VERSION
#define LF_VERSION "0"
#endif

namespace {

using lf::cli::Command;
using lf::cli::Commands;

constexpr const char* kDescription =
    "Reads and edits the EXIF data of JPEG and TIFF photos through the Lumenframe.pcp module\n"
    "(found beside this program, in the installed lib/lumenframe/ folder, or at\n"
    "$LUMENFRAME_MODULE). Exit status: 0 when every file succeeded, 1 when any failed, 2 on a\n"
    "usage error.";

unsigned DefaultJobs() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores ? cores : 1;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app(kDescription, "lumenframe");
  app.set_version_flag("--version", "lumenframe " LF_VERSION);
  app.require_subcommand(1);
  app.fallthrough();  // the options below may follow the command's name
  lf::cli::Options options;
  options.jobs = DefaultJobs();
  app.add_flag("--json", options.json, "print one JSON document instead of text");
  app.add_flag("-r,--recursive", options.recursive,
               "walk folders to the bottom (otherwise one level deep)");
  app.add_flag("-q,--quiet", options.quiet, "print nothing but errors");
  app.add_option("-j,--jobs", options.jobs, "threads for a batch (default: the number of cores)")
      ->check(CLI::Range(1u, 256u));

  lf::cli::Runner runner;
  for (const Command& c : Commands()) {
    CLI::App* sub = app.add_subcommand(c.name, c.summary);
    sub->fallthrough();
    lf::cli::Runner run = c.declare(*sub);
    sub->final_callback([&runner, run] { runner = run; });
  }
  std::string topic;
  CLI::App* help = app.add_subcommand("help", "describe the tool, or one command");
  help->add_option("command", topic, "the command to describe");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e, std::cout, std::cout);  // --help, --version
    app.exit(e, std::cout, std::cerr);
    return lf::cli::kExitUsage;
  }
  if (help->parsed()) {
    if (topic.empty()) {
      std::cout << app.help();
      return lf::cli::kExitOk;
    }
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
      if (sub->get_name() == topic && sub != help) {
        std::cout << sub->help(app.get_name());
        return lf::cli::kExitOk;
      }
    }
    std::cerr << "lumenframe: no command named " << topic << "\n";
    return lf::cli::kExitUsage;
  }

  lf::cli::Module module;
  std::string error;
  if (!lf::cli::LoadModule(&module, &error)) {
    std::fprintf(stderr, "lumenframe: cannot load Lumenframe.pcp:\n%s", error.c_str());
    return lf::cli::kExitUsage;
  }
  return runner(module, options);
}
