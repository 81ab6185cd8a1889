// lumenframe draw FILE --size WxH [--angle A] [--crop l,t,r,b] [--whiten P] [--bits 1|24|32]
//   -o OUT.png
// Paints a file into a white memory surface of W × H pixels with DrawImage (angle in degrees,
// crop in the turned image's pixels, whiten in percent) and saves the surface. With --bits 1 the
// surface is monochrome and the file goes through Decode and Draw, the path with a one-bit case.
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/host.h"
#include "cli/image_output.h"

namespace lf::cli {
namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: lumenframe draw FILE --size WxH [--angle DEG] [--crop l,t,r,b] "
               "[--whiten P] [--bits 1|24|32] -o OUT.png\n");
  return kExitUsage;
}

int RunDraw(const Module& m, const Options& o) {
  if (o.args.size() != 1 || o.output.empty()) return Usage();
  const std::string& file = o.args[0];
  int width = 0, height = 0, bits = 24;
  if (std::sscanf(o.Value("--size").c_str(), "%dx%d", &width, &height) != 2 || width < 1 ||
      height < 1 || width > 16384 || height > 16384) {
    return Usage();
  }
  const double degrees = std::atof(o.Value("--angle", "0").c_str());
  if (std::fabs(degrees) > 360.0) return Usage();
  LfRect crop{0, 0, 0, 0};
  const std::string cropText = o.Value("--crop");
  if (!cropText.empty() && std::sscanf(cropText.c_str(), "%d,%d,%d,%d", &crop.left, &crop.top,
                                       &crop.right, &crop.bottom) != 4) {
    return Usage();
  }
  const int whiten = std::atoi(o.Value("--whiten", "0").c_str());
  bits = std::atoi(o.Value("--bits", "24").c_str());
  if (bits != 1 && bits != 24 && bits != 32) return Usage();

  LfDeviceContext dc{width, height, bits, 0, nullptr};
  dc.stride = bits == 1 ? ((width + 31) / 32) * 4 : width * (bits / 8);
  std::vector<uint8_t> pixels(size_t(dc.stride) * height, 0xFF);  // a white page
  dc.pixels = pixels.data();
  const LfRect destination{0, 0, width, height};
  LF_RESULT r;
  if (bits == 1) {
    LF_HGLOBAL dib = m.Decode(file.c_str(), LF_DECODE_MAIN_IMAGE);
    r = dib ? m.Draw(&dc, dib, destination) : LF_E_FAIL;
    if (dib) LfGlobalFree(dib);
  } else {
    r = m.DrawImage(file.c_str(), &dc, destination, static_cast<int32_t>(std::lround(degrees * 100)),
                    crop, whiten);
  }
  if (r != LF_S_OK) {
    std::fprintf(stderr, "%s: %s\n", file.c_str(), ResultName(r).c_str());
    return kExitFailure;
  }
  std::string error;
  if (!WriteSurfaceAsPng(o.output, dc, &error)) {
    std::fprintf(stderr, "lumenframe: %s\n", error.c_str());
    return kExitFailure;
  }
  if (!o.quiet) std::printf("%s -> %s (%dx%d, %d bpp)\n", file.c_str(), o.output.c_str(), width,
                            height, bits);
  return kExitOk;
}

LF_CLI_COMMAND({"draw", "FILE --size WxH [--angle DEG] [--crop l,t,r,b] [--whiten P] [--bits 1|24|32] -o OUT.png",
                "paint a file into a memory surface and save it as PNG",
                {"--size", "--angle", "--crop", "--whiten", "--bits"}, RunDraw});

}  // namespace
}  // namespace lf::cli
