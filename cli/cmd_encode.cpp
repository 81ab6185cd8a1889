// lumenframe encode IMAGE -o OUT.{jpg,png,tif,gif,bmp} [--quality N] [--exif-from FILE]: an image
// Decode reads, saved by Encode in the format OUT's extension names. With --exif-from, the EXIF
// directory records of FILE (as GetStillImageInfo delivers them) go into the new JPEG.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/host.h"

namespace lf::cli {
namespace {

constexpr int32_t kDefaultQuality = 90;

// The quality as given, or 0 when it is not a number from 1 to 100.
int32_t ParseQuality(const std::string& text) {
  char* end = nullptr;
  const long q = std::strtol(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0' && q >= 1 && q <= 100 ? static_cast<int32_t>(q) : 0;
}

// The records of `path` as one list, whichever shape GetStillImageInfo chose for them.
LF_RESULT ReadRecords(const Module& m, const std::string& path, LfExifRecord* list) {
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

void Report(const Options& o, const std::string& image, LF_RESULT r, int32_t width, int32_t height) {
  if (o.json) {
    std::printf("{\"file\": %s, \"output\": %s, \"ok\": %s, \"result\": %s, \"width\": %d, \"height\": %d}\n",
                JsonString(image).c_str(), JsonString(o.output).c_str(), r == LF_S_OK ? "true" : "false",
                JsonString(ResultName(r)).c_str(), width, height);
  } else if (r != LF_S_OK) {
    std::fprintf(stderr, "%s: %s not written (%s)\n", image.c_str(), o.output.c_str(), ResultName(r).c_str());
  } else if (!o.quiet) {
    std::printf("%s: %dx%d -> %s\n", image.c_str(), width, height, o.output.c_str());
  }
}

int RunEncode(const Module& m, const Options& o) {
  const int32_t quality = ParseQuality(o.Value("--quality", std::to_string(kDefaultQuality)));
  if (o.args.size() != 1 || o.output.empty() || quality == 0) {
    std::fprintf(stderr,
                 "usage: lumenframe encode IMAGE -o OUT.{jpg,png,tif,gif,bmp} [--quality 1-100] "
                 "[--exif-from FILE]\n");
    return kExitUsage;
  }
  const std::string& image = o.args[0];
  LF_HGLOBAL dib = m.Decode(image.c_str(), LF_DECODE_MAIN_IMAGE);
  if (!dib) {
    std::fprintf(stderr, "%s: no image could be decoded\n", image.c_str());
    return kExitFailure;
  }
  int32_t width = 0, height = 0;
  const auto* header = static_cast<const uint8_t*>(LfGlobalLock(dib));
  std::memcpy(&width, header + 4, 4);
  std::memcpy(&height, header + 8, 4);
  LfGlobalUnlock(dib);

  // The extension picks the format; a record adds the EXIF path for a JPEG target.
  uint32_t flags = LF_ENC_BY_EXTENSION;
  LfExifRecord records{};
  LF_RESULT r = LF_S_OK;
  const std::string exifFrom = o.Value("--exif-from");
  if (!exifFrom.empty()) {
    r = ReadRecords(m, exifFrom, &records);
    if (r != LF_S_OK) std::fprintf(stderr, "%s: no EXIF records (%s)\n", exifFrom.c_str(), ResultName(r).c_str());
    flags |= LF_ENC_WITH_EXIF | LF_ENC_RECORD_GIVEN;
  }
  if (r == LF_S_OK) {
    r = m.Encode(dib, o.output.c_str(), flags, quality, records.head ? &records : nullptr);
  }
  LfRecordListFree(&records, 1);
  LfGlobalFree(dib);
  Report(o, image, r, width, height);
  return r == LF_S_OK ? kExitOk : kExitFailure;
}

LF_CLI_COMMAND({"encode", "IMAGE -o OUT [--quality N] [--exif-from FILE]",
                "save an image as JPEG, PNG, TIFF, GIF or BMP (by OUT's extension)",
                {"--quality", "--exif-from"}, RunEncode});

}  // namespace
}  // namespace lf::cli
