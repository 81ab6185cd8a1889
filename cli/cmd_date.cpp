// SPDX-License-Identifier: MIT
// lumenframe date FILE... "YYYY:MM:DD HH:MM:SS": sets the capture date (EXIF DateTimeOriginal)
// of each file in place. lumenframe date FILE... --shift [-][D:]H:M:S moves each file's own date
// by that much. Only a file that already has a DateTimeOriginal is changed.
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/output_paths.h"
#include "cli/shooting_summary.h"

namespace lf::cli {
namespace {

using std::chrono::seconds;

[[nodiscard]] bool ParseDate(const std::string& text, LfExifDateTime* out) {
  unsigned y, mo, d, h, mi, s;
  char tail = 0;
  if (text.size() != 19 || std::sscanf(text.c_str(), "%4u:%2u:%2u %2u:%2u:%2u%c", &y, &mo, &d, &h,
                                       &mi, &s, &tail) != 6) {
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

// "[+|-][D:]H:M:S" as seconds.
std::optional<seconds> ParseShift(const std::string& text) {
  std::string body = text;
  int sign = 1;
  if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
    sign = body[0] == '-' ? -1 : 1;
    body.erase(0, 1);
  }
  unsigned parts[4] = {};
  int n = 0;
  size_t at = 0;
  while (n < 4) {
    size_t used = 0;
    if (at >= body.size() || !std::isdigit(static_cast<unsigned char>(body[at])))
      return std::nullopt;
    const unsigned long v = std::stoul(body.substr(at), &used);
    if (v > 100000) return std::nullopt;
    parts[n++] = static_cast<unsigned>(v);
    at += used;
    if (at == body.size()) break;
    if (body[at++] != ':') return std::nullopt;
  }
  if (at != body.size() || n < 3) return std::nullopt;
  const unsigned days = n == 4 ? parts[0] : 0;
  const unsigned* hms = parts + (n == 4 ? 1 : 0);
  return sign * (seconds(((days * 24ll + hms[0]) * 60 + hms[1]) * 60 + hms[2]));
}

// The date moved by `shift`; nothing when it leaves the years 1 to 9999.
std::optional<LfExifDateTime> Shifted(const LfExifDateTime& t, seconds shift) {
  using namespace std::chrono;
  const sys_seconds from = sys_days{year{t.year} / month{t.month} / day{t.day}} + hours{t.hour} +
                           minutes{t.minute} + seconds{t.second};
  const sys_seconds to = from + shift;
  const sys_days dayStart = floor<days>(to);
  const year_month_day ymd{dayStart};
  const hh_mm_ss hms{to - dayStart};
  if (int(ymd.year()) < 1 || int(ymd.year()) > 9999) return std::nullopt;
  LfExifDateTime out{};
  out.year = static_cast<uint16_t>(int(ymd.year()));
  out.month = static_cast<uint16_t>(unsigned(ymd.month()));
  out.day = static_cast<uint16_t>(unsigned(ymd.day()));
  out.hour = static_cast<uint16_t>(hms.hours().count());
  out.minute = static_cast<uint16_t>(hms.minutes().count());
  out.second = static_cast<uint16_t>(hms.seconds().count());
  return out;
}

struct DateArgs {
  std::vector<std::string> args;
  std::string shift;
  WriteOptions write;
};

Outcome ShiftOne(const Module& m, const std::string& f, seconds shift, const WriteOptions& write) {
  LfExifDateTime old{};
  const LF_RESULT r = m.GetDateTimeOriginal(f.c_str(), &old);
  if (r != LF_S_OK) {
    Outcome out =
        Outcome::Failed(f + ": no DateTimeOriginal to shift: " + ResultSentence(r, Action::kRead) +
                        "; the file is unchanged");
    out.record["result"] = ResultJson(r);
    return out;
  }
  const std::optional<LfExifDateTime> now = Shifted(old, shift);
  if (!now) {
    return Outcome::Failed(f +
                           ": refused: the shifted date falls outside the years 1 to 9999; "
                           "the file is unchanged");
  }
  Outcome out = EditFile(f, f, write, "DateTimeOriginal " + ExifDateText(*now),
                         [&] { return m.SetDateTimeOriginal(f.c_str(), *now); });
  out.record["from"] = ExifDateText(old);
  out.record["to"] = ExifDateText(*now);
  return out;
}

[[nodiscard]] int Run(const Module& m, const Options& o, const DateArgs& a) {
  std::vector<std::string> files = a.args;
  if (!a.shift.empty()) {
    const std::optional<seconds> shift = ParseShift(a.shift);
    if (!shift) {
      std::fprintf(stderr, "lumenframe date: --shift takes [-][D:]H:M:S, e.g. -1:00:00\n");
      return kExitUsage;
    }
    return RunBatch(o, ExpandInputs(m, files, o.recursive),
                    [&](const std::string& f, size_t) { return ShiftOne(m, f, *shift, a.write); });
  }
  LfExifDateTime value{};
  if (files.size() < 2 || !ParseDate(files.back(), &value)) {
    std::fprintf(stderr, "lumenframe date: give FILE... \"YYYY:MM:DD HH:MM:SS\", or --shift\n");
    return kExitUsage;
  }
  const std::string text = files.back();
  files.pop_back();
  return RunBatch(o, ExpandInputs(m, files, o.recursive), [&](const std::string& f, size_t) {
    return EditFile(f, f, a.write, "DateTimeOriginal " + text,
                    [&] { return m.SetDateTimeOriginal(f.c_str(), value); });
  });
}

Runner Declare(CLI::App& app) {
  auto a = std::make_shared<DateArgs>();
  app.add_option("args", a->args, "files or folders, then the date \"YYYY:MM:DD HH:MM:SS\"")
      ->required();
  app.add_option("--shift", a->shift, "move each file's date by [-][D:]H:M:S instead");
  app.add_flag("-P,--preserve", a->write.keepTime, "keep the file's modification time");
  return [a](const Module& m, const Options& o) { return Run(m, o, *a); };
}

LF_CLI_COMMAND({"date", "set or shift the capture date (DateTimeOriginal) of photos", Declare});

}  // namespace
}  // namespace lf::cli
