// SPDX-License-Identifier: MIT
// lumenframe gps FILE... --lat DEG --lon DEG [--alt M] [--time HH:MM:SS] [--date YYYY:MM:DD]
// [--datum TEXT] [-o OUT]: writes a GPS position into each file's EXIF data (the GPS directory is
// added or merged; GPS entries not given stay). lumenframe gps FILE... --remove takes the GPS data
// out. Degrees are decimal, negative for south and west; a negative altitude is below sea level.
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cli/output_paths.h"

namespace lf::cli {
namespace {

// Seconds are kept to 1/10000 (a few millimetres on the ground).
constexpr uint32_t kSecondDenominator = 10000;
constexpr uint32_t kAltitudeDenominator = 100;

// |degrees| as degrees/1, minutes/1, seconds/10000.
void ToRationals(double degrees, uint32_t out[6]) {
  const uint64_t units =
      static_cast<uint64_t>(std::llround(std::fabs(degrees) * 3600.0 * kSecondDenominator));
  const uint64_t perDegree = 3600ull * kSecondDenominator, perMinute = 60ull * kSecondDenominator;
  out[0] = static_cast<uint32_t>(units / perDegree);
  out[1] = 1;
  out[2] = static_cast<uint32_t>(units % perDegree / perMinute);
  out[3] = 1;
  out[4] = static_cast<uint32_t>(units % perMinute);
  out[5] = kSecondDenominator;
}

[[nodiscard]] bool ParseTime(const std::string& text, uint32_t out[6]) {
  unsigned h = 0, m = 0, s = 0;
  char tail = 0;
  if (text.size() != 8 || std::sscanf(text.c_str(), "%2u:%2u:%2u%c", &h, &m, &s, &tail) != 3 ||
      h > 23 || m > 59 || s > 59) {
    return false;
  }
  const uint32_t v[6] = {h, 1, m, 1, s, 1};
  for (int i = 0; i < 6; ++i) out[i] = v[i];
  return true;
}

[[nodiscard]] bool ParseDateStamp(const std::string& text) {
  unsigned y = 0, m = 0, d = 0;
  char tail = 0;
  return text.size() == 10 && std::sscanf(text.c_str(), "%4u:%2u:%2u%c", &y, &m, &d, &tail) == 3 &&
         m >= 1 && m <= 12 && d >= 1 && d <= 31;
}

[[nodiscard]] int Usage(const std::string& why) {
  std::fprintf(stderr, "lumenframe gps: %s\n", why.c_str());
  return kExitUsage;
}

struct GpsArgs {
  std::vector<std::string> files;
  double lat = 0, lon = 0, alt = 0;
  bool hasLat = false, hasLon = false, hasAlt = false;  // given on the command line
  std::string time, date, datum;
  bool remove = false;
  WriteOptions write;
};

[[nodiscard]] int Run(const Module& m, const Options& o, const GpsArgs& a) {
  std::vector<uint32_t> tags;
  LfGpsRecord record{};
  std::string what = "GPS removed";
  if (!a.remove) {
    if (!a.hasLat || !a.hasLon) return Usage("give --lat and --lon, or --remove");
    tags = {0x0000, 0x0001, 0x0002, 0x0003, 0x0004};
    record.latitudeRef[0] = a.lat < 0 ? 'S' : 'N';
    record.longitudeRef[0] = a.lon < 0 ? 'W' : 'E';
    ToRationals(a.lat, record.latitude);
    ToRationals(a.lon, record.longitude);
    char text[96];
    std::snprintf(text, sizeof text, "GPS %.6f %.6f", a.lat, a.lon);
    what = text;
    if (a.hasAlt) {
      record.altitudeRef = a.alt < 0 ? 1 : 0;
      record.altitude[0] =
          static_cast<uint32_t>(std::llround(std::fabs(a.alt) * kAltitudeDenominator));
      record.altitude[1] = kAltitudeDenominator;
      tags.insert(tags.end(), {0x0005, 0x0006});
      std::snprintf(text, sizeof text, " %.2fm", a.alt);
      what += text;
    }
    if (!a.time.empty()) {
      if (!ParseTime(a.time, record.timeStamp)) return Usage("--time must be HH:MM:SS (UTC)");
      tags.push_back(0x0007);
    }
    if (!a.datum.empty()) tags.push_back(0x0012);
    if (!a.date.empty()) {
      if (!ParseDateStamp(a.date)) return Usage("--date must be YYYY:MM:DD (UTC)");
      tags.push_back(0x001D);
    }
  }
  return RunEdits(o, ExpandInputs(m, a.files, o.recursive), a.write, what,
                  [&](const std::string& target, const std::string& source) {
                    // Each thread fills its own record: the module writes the version it settled
                    // on (by the file's Exif version) back into it.
                    LfGpsRecord own = record;
                    std::string datum = a.datum, date = a.date;
                    own.mapDatum.text = datum.empty() ? nullptr : datum.data();
                    own.dateStamp.text = date.empty() ? nullptr : date.data();
                    std::vector<uint32_t> ownTags = tags;
                    own.tagList.data = ownTags.data();
                    own.tagList.size = own.tagList.capacity = static_cast<int32_t>(ownTags.size());
                    own.versionID[0] = own.versionID[1] = 2;
                    own.versionID[2] = own.versionID[3] = 0;
                    return m.ReplaceExifGps(target.c_str(), source.c_str(), 100, &own);
                  });
}

Runner Declare(CLI::App& app) {
  auto a = std::make_shared<GpsArgs>();
  app.add_option("files", a->files, "files or folders")->required();
  CLI::Option* lat = app.add_option("--lat", a->lat, "latitude in decimal degrees, south negative")
                         ->check(CLI::Range(-90.0, 90.0));
  CLI::Option* lon = app.add_option("--lon", a->lon, "longitude in decimal degrees, west negative")
                         ->check(CLI::Range(-180.0, 180.0));
  CLI::Option* alt = app.add_option("--alt", a->alt, "altitude in metres, below sea level negative")
                         ->check(CLI::Range(-1e6, 1e6));
  CLI::Option* time = app.add_option("--time", a->time, "GPS time, HH:MM:SS (UTC)");
  CLI::Option* date = app.add_option("--date", a->date, "GPS date, YYYY:MM:DD (UTC)");
  CLI::Option* datum = app.add_option("--datum", a->datum, "the geodetic datum, e.g. WGS-84");
  app.add_flag("--remove", a->remove, "remove every GPS entry, the GPS IFD and its pointer")
      ->excludes(lat, lon, alt, time, date, datum);
  AddWriteOptions(app, a->write, "write to this file, or into this folder/ (created)");
  return [a, lat, lon, alt](const Module& m, const Options& o) {
    a->hasLat = lat->count() > 0;
    a->hasLon = lon->count() > 0;
    a->hasAlt = alt->count() > 0;
    return Run(m, o, *a);
  };
}

LF_CLI_COMMAND({"gps", "write or remove the GPS position of photos", Declare});

}  // namespace
}  // namespace lf::cli
