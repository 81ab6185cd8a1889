// lumenframe orient FILE... N [-o OUT] [--rebuild]: sets the EXIF Orientation of each file (main
// image and thumbnail) to N (1-8). Files are patched in place; with -o the result goes to OUT (a
// file, or a directory for several files). --rebuild lets the module rebuild the EXIF block when
// the thumbnail has no Orientation entry to patch.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/edit_batch.h"
#include "cli/host.h"

namespace lf::cli {
namespace {

constexpr const char* kUsage = "usage: lumenframe orient FILE... N [-o OUT] [--rebuild]\n";

int RunOrient(const Module& m, const Options& o) {
  if (o.args.size() < 2) {
    std::fprintf(stderr, "%s", kUsage);
    return kExitUsage;
  }
  const std::string value = o.args.back();
  char* end = nullptr;
  const long orientation = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || orientation < 1 || orientation > 8) {
    std::fprintf(stderr, "lumenframe: orientation must be 1 to 8, not \"%s\"\n%s", value.c_str(), kUsage);
    return kExitUsage;
  }
  const std::vector<std::string> files =
      ExpandFiles(m, std::vector<std::string>(o.args.begin(), o.args.end() - 1));
  std::vector<std::string> targets;
  if (!DestinationsFor(files, o.output, &targets)) return kExitUsage;
  const int32_t rebuild = o.Has("--rebuild") ? 1 : 0;
  bool refused = false;
  const int status = RunEditBatch(files, o, "orientation " + value, [&](size_t i) {
    const LF_RESULT r =
        m.SetOrientation(targets[i].c_str(), files[i].c_str(), static_cast<int32_t>(orientation), rebuild);
    refused = refused || r == LF_E_FAIL;
    return r;
  });
  if (refused && !rebuild && !o.json) {
    std::fprintf(stderr, "lumenframe: a file whose thumbnail has no Orientation entry can only be "
                         "changed with --rebuild\n");
  }
  return status;
}

LF_CLI_COMMAND({"orient", "FILE... N [-o OUT] [--rebuild]",
                "set the EXIF orientation (1-8) of photos", {}, RunOrient});

}  // namespace
}  // namespace lf::cli
