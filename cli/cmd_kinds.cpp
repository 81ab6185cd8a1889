// lumenframe kinds: the file extensions the module supports.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/host.h"

namespace lf::cli {
namespace {

int RunKinds(const Module& m, const Options& o) {
  uint32_t version = 0, count = 0;
  if (m.GetPluginVersion(&version) != LF_S_OK || m.GetNumOfSupportedExtentions(&count) != LF_S_OK) {
    std::fprintf(stderr, "lumenframe: the module does not describe itself\n");
    return kExitFailure;
  }
  std::vector<std::string> extensions;
  for (uint32_t i = 0; i < count; ++i) {
    char ext[260] = {};
    if (m.GetSupportedExtention(static_cast<int32_t>(i), ext) == LF_S_OK) extensions.push_back(ext);
  }
  if (o.json) {
    std::printf("{\"version\": \"%u.%u\", \"extensions\": [", version >> 16, version & 0xFFFF);
    for (size_t i = 0; i < extensions.size(); ++i) {
      std::printf("%s%s", i ? ", " : "", JsonString(extensions[i]).c_str());
    }
    std::printf("]}\n");
  } else {
    std::printf("Lumenframe %u.%u supports %zu extensions:\n", version >> 16, version & 0xFFFF,
                extensions.size());
    for (const std::string& e : extensions) std::printf("  .%s\n", e.c_str());
  }
  return kExitOk;
}

LF_CLI_COMMAND({"kinds", "", "list the supported file extensions", {}, RunKinds});

}  // namespace
}  // namespace lf::cli
