// SPDX-License-Identifier: MIT
// lumenframe encode IMAGE -o OUT.{jpg,png,tif,gif,bmp} [--quality N] [--exif-from FILE]: an image
// Decode reads, saved by Encode in the format OUT's extension names. With --exif-from, the EXIF
// directory records of FILE (as GetStillImageInfo delivers them) go into the new JPEG.
#include <CLI/CLI.hpp>

#include <memory>
#include <string>

#include "cli/image_output.h"
#include "cli/output_paths.h"

namespace lf::cli {
namespace {

constexpr int32_t kDefaultQuality = 90;

// The records of `path` as one list, whichever shape GetStillImageInfo chose for them.
[[nodiscard]] LF_RESULT ReadRecords(const Module& m, const std::string& path, LfExifRecord* list) {
  LfStillImageOutput out{};
  const LF_RESULT r =
      m.GetStillImageInfo(path.c_str(), &out, LF_SEL_IFD0 | LF_SEL_EXIF | LF_SEL_GPS | LF_SEL_IFD1);
  if (r != LF_S_OK) return r;
  if (out.list.count >= 2) {
    *list = out.list;
    return LF_S_OK;
  }
  if (!out.single.record) return LF_E_NO_EXIF;
  if (!LfRecordListAppend(list, static_cast<uint32_t>(out.single.selector), out.single.record)) {
    LfStillImageOutputFree(&out);
    return LF_E_OUTOFMEMORY;
  }
  return LF_S_OK;
}

struct EncodeArgs {
  std::string image, output, exifFrom;
  int quality = kDefaultQuality;
  bool overwrite = false;
};

Outcome Encode(const Module& m, const EncodeArgs& a) {
  if (auto refusal = RefuseExisting(a.output, "", a.overwrite)) return Outcome::Failed(*refusal);
  LF_HGLOBAL dib = m.Decode(a.image.c_str(), LF_DECODE_MAIN_IMAGE);
  if (!dib) return Outcome::Failed(a.image + ": no image could be decoded");
  // The extension picks the format; a record adds the EXIF path for a JPEG target.
  uint32_t flags = LF_ENC_BY_EXTENSION;
  LfExifRecord records{};
  LF_RESULT r = LF_S_OK;
  Outcome out;
  if (!a.exifFrom.empty()) {
    r = ReadRecords(m, a.exifFrom, &records);
    if (r != LF_S_OK)
      out.error = a.exifFrom + ": no EXIF records: " + ResultSentence(r, Action::kRead);
    flags |= LF_ENC_WITH_EXIF | LF_ENC_RECORD_GIVEN;
  }
  if (r == LF_S_OK) {
    r = m.Encode(dib, a.output.c_str(), flags, a.quality, records.head ? &records : nullptr);
    if (r != LF_S_OK) {
      out.error = a.image + ": " + a.output + " not written: " + ResultSentence(r, Action::kWrite);
    }
  }
  LfRecordListFree(&records, 1);
  DescribeWrittenPicture(&out, a.image, a.output, dib);
  LfGlobalFree(dib);
  out.ok = r == LF_S_OK;
  out.record["result"] = ResultJson(r);
  return out;
}

Runner Declare(CLI::App& app) {
  auto a = std::make_shared<EncodeArgs>();
  app.add_option("image", a->image, "any image the module decodes")->required();
  app.add_option("-o,--output", a->output, "OUT.jpg, .png, .tif, .gif or .bmp")->required();
  app.add_option("--quality", a->quality, "JPEG quality")->check(CLI::Range(1, 100));
  app.add_option("--exif-from", a->exifFrom, "a file whose EXIF records go into the new JPEG");
  app.add_flag("--overwrite", a->overwrite, "replace OUT when it exists");
  return [a](const Module& m, const Options& o) {
    return RunBatch(o, {{a->image, {}}}, [&](const std::string&, size_t) { return Encode(m, *a); });
  };
}

LF_CLI_COMMAND({"encode", "save an image as JPEG, PNG, TIFF, GIF or BMP (by OUT's extension)",
                Declare});

}  // namespace
}  // namespace lf::cli
