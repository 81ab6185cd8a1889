// lumenframe decode FILE [--thumbnail] -o OUT.bmp|OUT.png: what Decode makes of a file (its main
// image, or its EXIF thumbnail), written as a BMP (the packed DIB as it is) or a PNG.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/host.h"
#include "cli/image_output.h"

namespace lf::cli {
namespace {

int RunDecode(const Module& m, const Options& o) {
  if (o.args.size() != 1 || o.output.empty()) {
    std::fprintf(stderr, "usage: lumenframe decode FILE [--thumbnail] -o OUT.bmp|OUT.png\n");
    return kExitUsage;
  }
  const std::string& file = o.args[0];
  const uint32_t source = o.Has("--thumbnail") ? LF_DECODE_THUMBNAIL : LF_DECODE_MAIN_IMAGE;
  LF_HGLOBAL dib = m.Decode(file.c_str(), source);
  if (!dib) {
    std::fprintf(stderr, "%s: no %s could be decoded\n", file.c_str(),
                 source == LF_DECODE_THUMBNAIL ? "thumbnail" : "image");
    return kExitFailure;
  }
  const auto* header = static_cast<const uint8_t*>(LfGlobalLock(dib));
  int32_t width = 0, height = 0;
  std::memcpy(&width, header + 4, 4);
  std::memcpy(&height, header + 8, 4);
  LfGlobalUnlock(dib);
  std::string error;
  const bool ok = IsPngPath(o.output) ? WriteDibAsPng(o.output, dib, &error)
                                      : WriteBmpFile(o.output, dib, &error);
  LfGlobalFree(dib);
  if (!ok) {
    std::fprintf(stderr, "lumenframe: %s\n", error.c_str());
    return kExitFailure;
  }
  if (!o.quiet) std::printf("%s: %dx%d -> %s\n", file.c_str(), width, height, o.output.c_str());
  return kExitOk;
}

LF_CLI_COMMAND({"decode", "FILE [--thumbnail] -o OUT.bmp|OUT.png",
                "decode the image (or its EXIF thumbnail) to a bitmap file", {}, RunDecode});

}  // namespace
}  // namespace lf::cli
