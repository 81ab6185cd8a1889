// SPDX-License-Identifier: MIT
// lumenframe kinds: the module's version and the file extensions it supports.
#include <CLI/CLI.hpp>

#include <string>

#include "cli/batch.h"

namespace lf::cli {
namespace {

Outcome Kinds(const Module& m) {
  uint32_t version = 0, count = 0;
  if (m.GetPluginVersion(&version) != LF_S_OK || m.GetNumOfSupportedExtentions(&count) != LF_S_OK) {
    return Outcome::Failed("lumenframe: the module does not describe itself");
  }
  Outcome out;
  const std::string versionText =
      std::to_string(version >> 16) + "." + std::to_string(version & 0xFFFF);
  Json extensions = Json::array();
  std::string lines;
  for (uint32_t i = 0; i < count; ++i) {
    char ext[260] = {};
    if (m.GetSupportedExtention(static_cast<int32_t>(i), ext) != LF_S_OK) continue;
    extensions.push_back(ext);
    lines += "  ." + std::string(ext) + "\n";
  }
  out.record["version"] = versionText;
  out.record["extensions"] = extensions;
  out.text = "Lumenframe " + versionText + " supports " + std::to_string(extensions.size()) +
             " extensions:\n" + lines;
  return out;
}

LF_CLI_COMMAND({"kinds", "list the supported file extensions", [](CLI::App&) -> Runner {
                  return [](const Module& m, const Options& o) {
                    Reporter reporter(o, 1);
                    reporter.Add("", Kinds(m));
                    return reporter.Finish();
                  };
                }});

}  // namespace
}  // namespace lf::cli
