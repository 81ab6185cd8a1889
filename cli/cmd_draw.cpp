// SPDX-License-Identifier: MIT
// lumenframe draw FILE --size WxH [--angle A] [--crop l,t,r,b] [--whiten P] [--bits 1|24|32]
//   -o OUT.png
// Paints a file into a white memory surface of W × H pixels with DrawImage (angle in degrees,
// crop in the turned image's pixels, whiten in percent) and saves the surface. With --bits 1 the
// surface is monochrome and the file goes through Decode and Draw, the path with a one-bit case.
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/image_output.h"
#include "cli/output_paths.h"

namespace lf::cli {
namespace {

struct DrawArgs {
  std::string file, output, size, crop;
  double angle = 0;
  int whiten = 0, bits = 24;
  bool overwrite = false;
};

Outcome Draw(const Module& m, const DrawArgs& a, int width, int height, const LfRect& crop) {
  if (auto refusal = RefuseExisting(a.output, "", a.overwrite)) return Outcome::Failed(*refusal);
  LfDeviceContext dc{width, height, a.bits, 0, nullptr};
  dc.stride = a.bits == 1 ? ((width + 31) / 32) * 4 : width * (a.bits / 8);
  std::vector<uint8_t> pixels(size_t(dc.stride) * static_cast<size_t>(height), 0xFF);  // white
  dc.pixels = pixels.data();
  const LfRect destination{0, 0, width, height};
  LF_RESULT r;
  if (a.bits == 1) {  // the monochrome path goes through Decode and Draw
    LF_HGLOBAL dib = m.Decode(a.file.c_str(), LF_DECODE_MAIN_IMAGE);
    r = dib ? m.Draw(&dc, dib, destination) : LF_E_FAIL;
    if (dib) LfGlobalFree(dib);
  } else {
    r = m.DrawImage(a.file.c_str(), &dc, destination,
                    static_cast<int32_t>(std::lround(a.angle * 100)), crop, a.whiten);
  }
  Outcome out;
  out.record["result"] = ResultJson(r);
  if (r != LF_S_OK) {
    out.ok = false;
    out.error = a.file + ": cannot draw: " + ResultSentence(r, Action::kRead);
    return out;
  }
  std::string error;
  if (!WriteSurfaceAsPng(a.output, dc, &error)) return Outcome::Failed(error);
  out.record["output"] = a.output;
  out.record["width"] = width;
  out.record["height"] = height;
  out.record["bits"] = a.bits;
  out.text = a.file + " -> " + a.output + " (" + std::to_string(width) + "x" +
             std::to_string(height) + ", " + std::to_string(a.bits) + " bpp)\n";
  return out;
}

[[nodiscard]] int Run(const Module& m, const Options& o, const DrawArgs& a) {
  int width = 0, height = 0;
  char tail = 0;
  if (std::sscanf(a.size.c_str(), "%dx%d%c", &width, &height, &tail) != 2 || width < 1 ||
      height < 1 || width > 16384 || height > 16384) {
    std::fprintf(stderr, "lumenframe draw: --size takes WxH, each 1 to 16384\n");
    return kExitUsage;
  }
  LfRect crop{0, 0, 0, 0};
  if (!a.crop.empty() && std::sscanf(a.crop.c_str(), "%d,%d,%d,%d%c", &crop.left, &crop.top,
                                     &crop.right, &crop.bottom, &tail) != 4) {
    std::fprintf(stderr, "lumenframe draw: --crop takes left,top,right,bottom\n");
    return kExitUsage;
  }
  return RunBatch(o, {{a.file, {}}},
                  [&](const std::string&, size_t) { return Draw(m, a, width, height, crop); });
}

Runner Declare(CLI::App& app) {
  auto a = std::make_shared<DrawArgs>();
  app.add_option("file", a->file, "the file to draw")->required();
  app.add_option("--size", a->size, "the surface, WxH")->required();
  app.add_option("--angle", a->angle, "degrees to turn")->check(CLI::Range(-360.0, 360.0));
  app.add_option("--crop", a->crop, "l,t,r,b in the turned image's pixels");
  app.add_option("--whiten", a->whiten, "percent")->check(CLI::Range(0, 100));
  app.add_option("--bits", a->bits, "depth of the surface")->check(CLI::IsMember({1, 24, 32}));
  app.add_option("-o,--output", a->output, "OUT.png")->required();
  app.add_flag("--overwrite", a->overwrite, "replace OUT when it exists");
  return [a](const Module& m, const Options& o) { return Run(m, o, *a); };
}

LF_CLI_COMMAND({"draw", "paint a file into a memory surface and save it as PNG", Declare});

}  // namespace
}  // namespace lf::cli
