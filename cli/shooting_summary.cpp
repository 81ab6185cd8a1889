// SPDX-License-Identifier: MIT
#include "cli/shooting_summary.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace lf::cli {
namespace {

[[nodiscard]] bool Delivered(const LfU16List& tags, uint16_t tag) {
  for (int32_t i = 0; i < tags.size; ++i) {
    if (tags.data[i] == tag) return true;
  }
  return false;
}

// Degrees from three rationals (degrees, minutes, seconds); a zero denominator counts as 0.
double Degrees(const uint32_t dms[6]) {
  double d = 0, scale = 1;
  for (int i = 0; i < 3; ++i, scale *= 60) {
    if (dms[2 * i + 1] != 0) d += static_cast<double>(dms[2 * i]) / dms[2 * i + 1] / scale;
  }
  return d;
}

double Ratio(const uint32_t r[2]) { return r[1] ? static_cast<double>(r[0]) / r[1] : 0; }

// A coordinate is a position only when its degrees are a number: a receiver without a fix writes
// 0/0.
[[nodiscard]] bool IsCoordinate(const uint32_t dms[6]) { return dms[1] != 0; }

// How each maker-note setting of the summary record is shown.
enum class Shape { kU16, kU32, kUnalignedU32, kFlag, kDate, kText, kBytes };
struct MakerField {
  uint16_t tag;
  Shape shape;
  size_t offset;
  size_t size;
};
#define LF_NOTE(tag, shape, member) \
  { tag, Shape::shape, offsetof(LfMakerNoteSummary, member), sizeof(LfMakerNoteSummary::member) }
constexpr MakerField kMakerFields[] = {
    LF_NOTE(0x0001, kU16, tag0001),       LF_NOTE(0x0002, kUnalignedU32, tag0002),
    LF_NOTE(0x0003, kU16, tag0003),       LF_NOTE(0x0007, kU16, tag0007),
    LF_NOTE(0x000F, kU16, tag000F),       LF_NOTE(0x001A, kU16, tag001A),
    LF_NOTE(0x001C, kU16, tag001C),       LF_NOTE(0x001F, kU16, tag001F),
    LF_NOTE(0x0020, kU16, tag0020),       LF_NOTE(0x0021, kFlag, has0021),
    LF_NOTE(0x0022, kU16, tag0022),       LF_NOTE(0x0026, kUnalignedU32, tag0026),
    LF_NOTE(0x0027, kU16, tag0027),       LF_NOTE(0x0028, kU16, tag0028),
    LF_NOTE(0x002A, kU16, tag002A),       LF_NOTE(0x002B, kU32, tag002B),
    LF_NOTE(0x002D, kU16, tag002D),       LF_NOTE(0x0032, kU16, tag0032),
    LF_NOTE(0x0033, kDate, dateTime0033), LF_NOTE(0x0042, kU16, tag0042),
    LF_NOTE(0x0044, kU16, tag0044),       LF_NOTE(0x0051, kText, text0051),
    LF_NOTE(0x0E00, kFlag, has0E00),      LF_NOTE(0x4950, kFlag, has4950),
    LF_NOTE(0x0036, kU16, tag0036),       LF_NOTE(0x003D, kU16, tag003D),
    LF_NOTE(0x003F, kU16, tag003F),       LF_NOTE(0x0043, kU16, tag0043),
    LF_NOTE(0x0023, kU16, tag0023),       LF_NOTE(0x004D, kBytes, tag004D),
    LF_NOTE(0x0034, kU16, tag0034),       LF_NOTE(0x0053, kText, text0053),
    LF_NOTE(0x0055, kU16, tag0055),       LF_NOTE(0x004F, kU16, tag004F),
    LF_NOTE(0x0061, kBytes, tag0061),
};
#undef LF_NOTE

Json MakerValueJson(const LfMakerNoteSummary& note, const MakerField& f) {
  const auto* at = reinterpret_cast<const uint8_t*>(&note) + f.offset;
  switch (f.shape) {
    case Shape::kU16: {
      uint16_t v;
      std::memcpy(&v, at, 2);
      return v;
    }
    case Shape::kU32:
    case Shape::kUnalignedU32:
    case Shape::kFlag: {
      uint32_t v;
      std::memcpy(&v, at, 4);
      return f.shape == Shape::kFlag ? Json(v != 0) : Json(v);
    }
    case Shape::kDate: {
      LfExifDateTime t;
      std::memcpy(&t, at, sizeof t);
      return ExifDateText(t);
    }
    case Shape::kText: {
      const LfString* s = reinterpret_cast<const LfString*>(at);
      return s->text ? s->text : "";
    }
    case Shape::kBytes: {
      std::string hex;
      char text[4];
      for (size_t i = 0; i < f.size; ++i) {
        std::snprintf(text, sizeof text, "%02x", at[i]);
        hex += text;
      }
      return hex;
    }
  }
  return nullptr;
}

}  // namespace

ShootingSummary ReadShootingSummary(const Module& m, const std::string& path) {
  ShootingSummary s;
  LfExifSummary exif{};
  LfGpsSummary gps{};
  LfMakerNoteSummary note{};
  s.result = m.GetExif(path.c_str(), &exif, &gps, &note);
  if (s.result == LF_S_OK) {
    const LfU16List& t = exif.tags;
    s.hasExposure = Delivered(t, 0x829A);
    std::memcpy(s.exposure, exif.exposureTime, sizeof s.exposure);
    s.hasFNumber = Delivered(t, 0x829D);
    std::memcpy(s.fNumber, exif.fNumber, sizeof s.fNumber);
    s.hasIso = Delivered(t, 0x8827);
    s.iso = exif.isoSpeedRatings;
    s.hasFocal = Delivered(t, 0x920A);
    std::memcpy(s.focal, exif.focalLength, sizeof s.focal);
    s.hasFocal35 = Delivered(t, 0xA405);
    s.focal35 = exif.focalLengthIn35mmFilm;
    s.hasFlash = Delivered(t, 0x9209);
    s.flash = exif.flash;
    s.hasGps = Delivered(gps.tags, 0x0002) && Delivered(gps.tags, 0x0004) &&
               IsCoordinate(gps.latitude) && IsCoordinate(gps.longitude);
    s.latitude = Degrees(gps.latitude) * (gps.latitudeRef[0] == 'S' ? -1 : 1);
    s.longitude = Degrees(gps.longitude) * (gps.longitudeRef[0] == 'W' ? -1 : 1);
    s.hasAltitude = Delivered(gps.tags, 0x0006) && gps.altitude[1] != 0;
    s.altitude =
        Ratio(gps.altitude) * (Delivered(gps.tags, 0x0005) && gps.altitudeRef == 1 ? -1 : 1);
    s.makerNoteHeader = note.header.text ? note.header.text : "";
    for (int32_t i = 0; i < note.tags.size; ++i) {
      for (const MakerField& f : kMakerFields) {
        if (f.tag == note.tags.data[i]) s.makerValues.emplace_back(f.tag, MakerValueJson(note, f));
      }
    }
  }
  LfExifSummaryClear(&exif);
  LfGpsSummaryClear(&gps);
  LfMakerNoteSummaryClear(&note);
  return s;
}

std::string ExifDateText(const LfExifDateTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u:%02u:%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

std::string ShootingText(const ShootingSummary& s) {
  char item[160];
  if (s.result != LF_S_OK) {
    std::snprintf(item, sizeof item, "  shooting data:     - (%s)\n", ResultName(s.result).c_str());
    return item;
  }
  std::string line;
  auto add = [&](const char* text) {
    if (!line.empty()) line += ", ";
    line += text;
  };
  if (s.hasExposure) {
    if (s.exposure[0] != 0 && s.exposure[1] % s.exposure[0] == 0) {
      std::snprintf(item, sizeof item, "1/%u s", s.exposure[1] / s.exposure[0]);
    } else {
      std::snprintf(item, sizeof item, "%g s", Ratio(s.exposure));
    }
    add(item);
  }
  if (s.hasFNumber) std::snprintf(item, sizeof item, "f/%.1f", Ratio(s.fNumber)), add(item);
  if (s.hasIso) std::snprintf(item, sizeof item, "ISO %u", s.iso), add(item);
  if (s.hasFocal) {
    std::snprintf(item, sizeof item, "%g mm", Ratio(s.focal));
    add(item);
    if (s.hasFocal35) line += " (" + std::to_string(s.focal35) + " mm in 35 mm film)";
  }
  std::string out = "  exposure:          " + (line.empty() ? std::string("none") : line) + "\n";
  if (s.hasFlash) {
    std::snprintf(item, sizeof item, "  flash:             %s (0x%04X)\n",
                  (s.flash & 1) ? "fired" : "did not fire", s.flash);
    out += item;
  }
  if (s.hasGps) {
    std::snprintf(item, sizeof item, "  GPS:               %.6f %c, %.6f %c", std::fabs(s.latitude),
                  s.latitude < 0 ? 'S' : 'N', std::fabs(s.longitude), s.longitude < 0 ? 'W' : 'E');
    out += item;
    if (s.hasAltitude)
      std::snprintf(item, sizeof item, ", altitude %.1f m", s.altitude), out += item;
    out += "\n";
  } else {
    out += "  GPS:               none\n";
  }
  if (s.makerValues.empty()) return out;
  out += "  maker settings:    \"" + s.makerNoteHeader + "\"";
  for (const auto& [tag, value] : s.makerValues) {
    std::snprintf(item, sizeof item, " 0x%04X=", tag);
    out += item + (value.is_string() ? value.get<std::string>() : value.dump());
  }
  return out + "\n";
}

Json ShootingJson(const ShootingSummary& s) {
  Json out = {{"result", ResultJson(s.result)}};
  auto pair = [&](const char* name, bool has, const uint32_t v[2]) {
    if (has) out[name] = {v[0], v[1]};
  };
  pair("exposureTime", s.hasExposure, s.exposure);
  pair("fNumber", s.hasFNumber, s.fNumber);
  if (s.hasIso) out["iso"] = s.iso;
  pair("focalLength", s.hasFocal, s.focal);
  if (s.hasFocal35) out["focalLengthIn35mmFilm"] = s.focal35;
  if (s.hasFlash) out["flash"] = s.flash;
  if (s.hasGps) {
    Json gps = {{"latitude", s.latitude}, {"longitude", s.longitude}};
    if (s.hasAltitude) gps["altitude"] = s.altitude;
    out["gps"] = gps;
  }
  if (!s.makerValues.empty()) {
    Json values = Json::object();
    char key[8];
    for (const auto& [tag, value] : s.makerValues) {
      std::snprintf(key, sizeof key, "0x%04X", tag);
      values[key] = value;
    }
    out["makerNote"] = {{"header", s.makerNoteHeader}, {"values", values}};
  }
  return out;
}

}  // namespace lf::cli
