// lumenframe date FILE... "YYYY:MM:DD HH:MM:SS": sets the capture date (EXIF DateTimeOriginal)
// of each file in place. Only a file that already has a DateTimeOriginal is changed.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/edit_batch.h"
#include "cli/host.h"

namespace lf::cli {
namespace {

constexpr const char* kUsage = "usage: lumenframe date FILE... \"YYYY:MM:DD HH:MM:SS\"\n";

bool ParseDate(const std::string& text, LfExifDateTime* out) {
  unsigned y, mo, d, h, mi, s;
  char tail = 0;
  if (text.size() != 19 ||
      std::sscanf(text.c_str(), "%4u:%2u:%2u %2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6) {
    return false;
  }
  *out = {};
  out->year = static_cast<uint16_t>(y);
  out->month = static_cast<uint16_t>(mo);
  out->day = static_cast<uint16_t>(d);
  out->hour = static_cast<uint16_t>(h);
  out->minute = static_cast<uint16_t>(mi);
  out->second = static_cast<uint16_t>(s);
  return true;
}

int RunDate(const Module& m, const Options& o) {
  LfExifDateTime value{};
  if (o.args.size() < 2 || !ParseDate(o.args.back(), &value)) {
    std::fprintf(stderr, "%s", kUsage);
    return kExitUsage;
  }
  const std::vector<std::string> files =
      ExpandFiles(m, std::vector<std::string>(o.args.begin(), o.args.end() - 1));
  return RunEditBatch(files, o, "date " + o.args.back(),
                      [&](size_t i) { return m.SetDateTimeOriginal(files[i].c_str(), value); });
}

LF_CLI_COMMAND({"date", "FILE... \"YYYY:MM:DD HH:MM:SS\"",
                "set the capture date (DateTimeOriginal) of photos", {}, RunDate});

}  // namespace
}  // namespace lf::cli
