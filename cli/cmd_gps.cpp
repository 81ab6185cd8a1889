// lumenframe gps FILE... --lat DEG --lon DEG [--alt M] [--time HH:MM:SS] [--date YYYY:MM:DD]
// [--datum TEXT] [-o OUT]: writes a GPS position into each file's EXIF data (the GPS directory is
// added or merged; GPS entries not given stay). lumenframe gps FILE... --remove takes the GPS data
// out. Degrees are decimal, negative for south and west; a negative altitude is below sea level.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/edit_batch.h"
#include "cli/host.h"

namespace lf::cli {
namespace {

constexpr const char* kUsage =
    "usage: lumenframe gps FILE... --lat DEG --lon DEG [--alt M] [--time HH:MM:SS] [--date YYYY:MM:DD]\n"
    "                              [--datum TEXT] [-o OUT]\n"
    "       lumenframe gps FILE... --remove [-o OUT]\n";

// Seconds are kept to 1/10000 (a few millimetres on the ground).
constexpr uint32_t kSecondDenominator = 10000;
constexpr uint32_t kAltitudeDenominator = 100;

bool ParseNumber(const std::string& text, double low, double high, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(v) || v < low || v > high) return false;
  *out = v;
  return true;
}

// |degrees| as degrees/1, minutes/1, seconds/10000.
void ToRationals(double degrees, uint32_t out[6]) {
  const uint64_t units = static_cast<uint64_t>(std::llround(std::fabs(degrees) * 3600.0 * kSecondDenominator));
  const uint64_t perDegree = 3600ull * kSecondDenominator, perMinute = 60ull * kSecondDenominator;
  out[0] = static_cast<uint32_t>(units / perDegree);
  out[1] = 1;
  out[2] = static_cast<uint32_t>(units % perDegree / perMinute);
  out[3] = 1;
  out[4] = static_cast<uint32_t>(units % perMinute);
  out[5] = kSecondDenominator;
}

bool ParseTime(const std::string& text, uint32_t out[6]) {
  unsigned h = 0, m = 0, s = 0;
  char tail = 0;
  if (text.size() != 8 || std::sscanf(text.c_str(), "%2u:%2u:%2u%c", &h, &m, &s, &tail) != 3 || h > 23 ||
      m > 59 || s > 59) {
    return false;
  }
  const uint32_t v[6] = {h, 1, m, 1, s, 1};
  for (int i = 0; i < 6; ++i) out[i] = v[i];
  return true;
}

bool ParseDateStamp(const std::string& text) {
  unsigned y = 0, m = 0, d = 0;
  char tail = 0;
  return text.size() == 10 && std::sscanf(text.c_str(), "%4u:%2u:%2u%c", &y, &m, &d, &tail) == 3 && m >= 1 &&
         m <= 12 && d >= 1 && d <= 31;
}

int Usage(const std::string& why) {
  if (!why.empty()) std::fprintf(stderr, "lumenframe: %s\n", why.c_str());
  std::fprintf(stderr, "%s", kUsage);
  return kExitUsage;
}

int RunGps(const Module& m, const Options& o) {
  if (o.args.empty()) return Usage("");
  const bool remove = o.Has("--remove");
  for (const std::string& flag : o.flags) {
    if (flag != "--remove") return Usage("unknown option " + flag);
  }
  std::vector<uint32_t> tags;
  LfGpsRecord record{};
  std::string datum, date;
  std::string what = "GPS removed";
  if (remove) {
    if (!o.values.empty()) return Usage("--remove takes no position");
  } else {
    double lat = 0, lon = 0;
    if (!ParseNumber(o.Value("--lat"), -90, 90, &lat)) return Usage("--lat must be decimal degrees from -90 to 90");
    if (!ParseNumber(o.Value("--lon"), -180, 180, &lon)) {
      return Usage("--lon must be decimal degrees from -180 to 180");
    }
    tags = {0x0000, 0x0001, 0x0002, 0x0003, 0x0004};
    // The module settles the version by the file's Exif version.
    record.versionID[0] = 2;
    record.versionID[1] = 2;
    record.latitudeRef[0] = lat < 0 ? 'S' : 'N';
    record.longitudeRef[0] = lon < 0 ? 'W' : 'E';
    ToRationals(lat, record.latitude);
    ToRationals(lon, record.longitude);
    char text[96];
    std::snprintf(text, sizeof text, "GPS %.6f %.6f", lat, lon);
    what = text;
    if (!o.Value("--alt").empty()) {
      double alt = 0;
      if (!ParseNumber(o.Value("--alt"), -1e6, 1e6, &alt)) return Usage("--alt must be metres");
      record.altitudeRef = alt < 0 ? 1 : 0;
      record.altitude[0] = static_cast<uint32_t>(std::llround(std::fabs(alt) * kAltitudeDenominator));
      record.altitude[1] = kAltitudeDenominator;
      tags.insert(tags.end(), {0x0005, 0x0006});
      std::snprintf(text, sizeof text, " %.2fm", alt);
      what += text;
    }
    if (!o.Value("--time").empty()) {
      if (!ParseTime(o.Value("--time"), record.timeStamp)) return Usage("--time must be HH:MM:SS (UTC)");
      tags.push_back(0x0007);
    }
    if (!o.Value("--datum").empty()) {
      datum = o.Value("--datum");
      record.mapDatum.text = datum.data();
      tags.push_back(0x0012);
    }
    if (!o.Value("--date").empty()) {
      date = o.Value("--date");
      if (!ParseDateStamp(date)) return Usage("--date must be YYYY:MM:DD (UTC)");
      record.dateStamp.text = date.data();
      tags.push_back(0x001D);
    }
  }
  record.tagList.data = tags.data();
  record.tagList.size = static_cast<int32_t>(tags.size());
  record.tagList.capacity = record.tagList.size;

  const std::vector<std::string> files = ExpandFiles(m, o.args);
  std::vector<std::string> targets;
  if (!DestinationsFor(files, o.output, &targets)) return kExitUsage;
  return RunEditBatch(files, o, what, [&](size_t i) {
    // The module writes the version it settled on into the record; each file starts afresh.
    record.versionID[0] = 2;
    record.versionID[1] = 2;
    record.versionID[2] = record.versionID[3] = 0;
    return m.ReplaceExifGps(targets[i].c_str(), files[i].c_str(), 100, &record);
  });
}

LF_CLI_COMMAND({"gps", "FILE... --lat DEG --lon DEG [...] | --remove",
                "write or remove the GPS position of photos",
                {"--lat", "--lon", "--alt", "--time", "--date", "--datum"},
                RunGps});

}  // namespace
}  // namespace lf::cli
