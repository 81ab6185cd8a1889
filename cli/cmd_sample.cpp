// lumenframe sample OUT.jpg: writes a small camera-like photo (EXIF with orientation, dates, GPS,
// a maker note and a thumbnail, in front of real image data) to try the other commands on.
#include <cstdio>
#include <string>

#include "cli/host.h"
#include "tests/support/fixture_builder.h"

namespace lf::cli {
namespace {

int RunSample(const Module&, const Options& o) {
  std::string out = o.output;
  if (out.empty() && !o.args.empty()) out = o.args[0];
  if (out.empty()) {
    std::fprintf(stderr, "usage: lumenframe sample OUT.jpg [--big-endian] [--size WxH]\n");
    return kExitUsage;
  }
  test::CameraJpegOptions options;
  if (o.Has("--big-endian")) options.order = test::Order::Big;
  const std::string size = o.Value("--size");
  if (!size.empty() && std::sscanf(size.c_str(), "%dx%d", &options.width, &options.height) != 2) {
    std::fprintf(stderr, "lumenframe: --size wants WxH\n");
    return kExitUsage;
  }
  if (options.width < 1 || options.height < 1 || options.width > 20000 || options.height > 20000) {
    std::fprintf(stderr, "lumenframe: --size out of range\n");
    return kExitUsage;
  }
  try {
    test::WriteFile(out, test::MakeCameraJpeg(options));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lumenframe: %s\n", e.what());
    return kExitFailure;
  }
  if (!o.quiet) std::printf("wrote %s (%dx%d)\n", out.c_str(), options.width, options.height);
  return kExitOk;
}

LF_CLI_COMMAND({"sample", "OUT.jpg [--big-endian] [--size WxH]",
                "write a camera-like sample photo", {"--size"}, RunSample});

}  // namespace
}  // namespace lf::cli
