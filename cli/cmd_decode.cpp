// SPDX-License-Identifier: MIT
// lumenframe decode FILE [--thumbnail] -o OUT.bmp|OUT.png: what Decode makes of a file (its main
// image, or its EXIF thumbnail), written as a BMP (the packed DIB as it is) or a PNG.
#include <CLI/CLI.hpp>

#include <memory>
#include <string>

#include "cli/image_output.h"
#include "cli/output_paths.h"

namespace lf::cli {
namespace {

struct DecodeArgs {
  std::string file, output;
  bool thumbnail = false, overwrite = false;
};

Outcome Decode(const Module& m, const DecodeArgs& a) {
  if (auto refusal = RefuseExisting(a.output, "", a.overwrite)) return Outcome::Failed(*refusal);
  const uint32_t source = a.thumbnail ? LF_DECODE_THUMBNAIL : LF_DECODE_MAIN_IMAGE;
  LF_HGLOBAL dib = m.Decode(a.file.c_str(), source);
  if (!dib) {
    return Outcome::Failed(a.file + ": no " + (a.thumbnail ? "thumbnail" : "image") +
                           " could be decoded");
  }
  std::string error;
  const bool ok = IsPngPath(a.output) ? WriteDibAsPng(a.output, dib, &error)
                                      : WriteBmpFile(a.output, dib, &error);
  Outcome out;
  if (ok) DescribeWrittenPicture(&out, a.file, a.output, dib);
  LfGlobalFree(dib);
  if (!ok) return Outcome::Failed(error);
  return out;
}

Runner Declare(CLI::App& app) {
  auto a = std::make_shared<DecodeArgs>();
  app.add_option("file", a->file, "the file to decode")->required();
  app.add_flag("--thumbnail", a->thumbnail, "decode the EXIF thumbnail instead");
  app.add_option("-o,--output", a->output, "OUT.bmp or OUT.png")
      ->required()
      ->check(CLI::Validator(
          [](std::string& path) -> std::string {
            return IsPngPath(path) || IsBmpPath(path) ? "" : "OUT must end in .bmp or .png";
          },
          "OUT.bmp|OUT.png"));
  app.add_flag("--overwrite", a->overwrite, "replace OUT when it exists");
  return [a](const Module& m, const Options& o) {
    return RunBatch(o, {{a->file, {}}}, [&](const std::string&, size_t) { return Decode(m, *a); });
  };
}

LF_CLI_COMMAND({"decode", "decode the image (or its EXIF thumbnail) to a BMP or PNG file",
                Declare});

}  // namespace
}  // namespace lf::cli
