// SPDX-License-Identifier: MIT
// lumenframe makernote FILE... [TAG...]: the entries of each file's maker note, through
// GetMakerNoteValue (tags and raw value fields) and GetExifMakerValue (the values themselves).
// lumenframe makernote FILE... --set TAG=VALUE [-o OUT]: sets one existing entry holding a single
// BYTE, SHORT or LONG through SetMakerNote; files are patched in place, with -o the result goes
// to OUT (a file, or a directory for several files). TAG and VALUE are decimal or 0x-hexadecimal.
#include <sys/stat.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/output_paths.h"
#include "cli/value_text.h"

namespace lf::cli {
namespace {

constexpr const char* kUsage =
    "usage: lumenframe makernote FILE... [TAG...]\n"
    "       lumenframe makernote FILE... --set TAG=VALUE [-o OUT]\n";
constexpr uint32_t kValueBufferSize = 65536;

[[nodiscard]] bool ParseNumber(const std::string& text, uint32_t limit, uint32_t* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (*end != '\0' || text[0] == '-' || v > limit) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

[[nodiscard]] bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

struct Entry {
  uint16_t tag = 0;
  uint32_t valueField = 0;
  LF_RESULT result = LF_E_FAIL;
  uint16_t type = 0;
  uint32_t count = 0;
  std::vector<uint8_t> value;
};

struct Listing {
  LF_RESULT result = LF_E_FAIL;
  std::string header;
  std::vector<Entry> entries;
};

Listing ReadEntries(const Module& m, const std::string& path, const std::vector<uint16_t>& tags) {
  Listing out;
  LfString header{};
  LfU16List list{};
  LfU32List values{};
  for (uint16_t t : tags) LfU16ListAppend(&list, t);
  out.result = m.GetMakerNoteValue(path.c_str(), &header, &list, &values);
  out.header = header.text ? header.text : "";
  for (int32_t i = 0; out.result == LF_S_OK && i < list.size && i < values.size; ++i) {
    Entry e;
    e.tag = list.data[i];
    e.valueField = values.data[i];
    e.value.assign(kValueBufferSize + 1, 0);  // one more byte: ASCII always ends in NUL
    uint32_t size = kValueBufferSize;
    e.result = m.GetExifMakerValue(path.c_str(), header.text ? header.text : "", e.tag,
                                   e.value.data(), &size, &e.type, &e.count);
    out.entries.push_back(std::move(e));
  }
  LfStringFree(&header);
  LfU16ListFree(&list);
  LfU32ListFree(&values);
  return out;
}

Outcome List(const Module& m, const std::string& file, const std::vector<uint16_t>& tags) {
  const Listing l = ReadEntries(m, file, tags);
  Outcome out;
  out.ok = l.result == LF_S_OK;
  out.record["result"] = ResultJson(l.result);
  if (l.result == LF_S_OK || l.result == LF_E_ABORT) out.record["header"] = l.header;
  if (!out.ok) {
    out.error = file + ": maker note: " + ResultSentence(l.result, Action::kRead);
    return out;
  }
  Json entries = Json::array();
  out.text = file + ": maker note \"" + l.header + "\", " + std::to_string(l.entries.size()) +
             " entries\n";
  char line[64];
  for (const Entry& e : l.entries) {
    Json entry = {{"tag", e.tag}, {"valueField", e.valueField}};
    if (e.result == LF_S_OK) {
      entry["type"] = TypeName(e.type);
      entry["count"] = e.count;
      entry["values"] = ValuesJson(e.type, e.count, e.value);
      std::snprintf(line, sizeof line, "  0x%04X %s[%u] ", e.tag, TypeName(e.type), e.count);
      out.text += line + ValuesText(e.type, e.count, e.value) + "\n";
    } else {
      std::snprintf(line, sizeof line, "  0x%04X value field 0x%08X (value not readable)\n", e.tag,
                    e.valueField);
      out.text += line;
    }
    entries.push_back(std::move(entry));
  }
  out.record["entries"] = entries;
  return out;
}

// Sets one entry: its type and count come from the file, so only the value changes. The reason
// of a refusal the tool finds itself goes into *why.
[[nodiscard]] LF_RESULT SetOne(const Module& m, const std::string& target, const std::string& file,
                               uint16_t tag, uint32_t value, std::string* why) {
  const Listing l = ReadEntries(m, file, {tag});
  if (l.result != LF_S_OK) return l.result;
  char text[160];
  if (l.entries.empty() || l.entries[0].result != LF_S_OK) {
    std::snprintf(text, sizeof text, "the maker note has no entry 0x%04X", tag);
    *why = text;
    return LF_E_FAIL;
  }
  const Entry& e = l.entries[0];
  const uint32_t limit = e.type == 1 ? 0xFF : e.type == 3 ? 0xFFFF : 0xFFFFFFFF;
  if (e.count != 1 || (e.type != 1 && e.type != 3 && e.type != 4) || value > limit) {
    std::snprintf(text, sizeof text,
                  "entry 0x%04X is %s[%u]; only a single BYTE, SHORT or LONG can be set (at most "
                  "%u)",
                  tag, TypeName(e.type), e.count, limit);
    *why = text;
    return LF_E_INVALIDARG;
  }
  return m.SetMakerNote(target.c_str(), file.c_str(), l.header.c_str(), tag, e.type, 1, value);
}

struct MakerNoteArgs {
  std::vector<std::string> args;
  std::string set;
  WriteOptions write;
};

[[nodiscard]] int Run(const Module& m, const Options& o, const MakerNoteArgs& a) {
  std::vector<std::string> paths;
  std::vector<uint16_t> tags;
  for (const std::string& arg : a.args) {
    uint32_t tag = 0;
    if (!Exists(arg) && ParseNumber(arg, 0xFFFF, &tag)) {
      tags.push_back(static_cast<uint16_t>(tag));
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.empty()) {
    std::fprintf(stderr, "%s", kUsage);
    return kExitUsage;
  }
  const std::vector<Input> inputs = ExpandInputs(m, paths, o.recursive);
  if (a.set.empty()) {
    return RunBatch(o, inputs, [&](const std::string& f, size_t) { return List(m, f, tags); });
  }
  const size_t eq = a.set.find('=');
  uint32_t tag = 0, value = 0;
  if (!tags.empty() || eq == std::string::npos || !ParseNumber(a.set.substr(0, eq), 0xFFFF, &tag) ||
      !ParseNumber(a.set.substr(eq + 1), 0xFFFFFFFF, &value)) {
    std::fprintf(stderr, "lumenframe makernote: --set takes TAG=VALUE, e.g. 0x0001=3\n%s", kUsage);
    return kExitUsage;
  }
  std::vector<std::string> targets;
  if (auto status = PlanDestinations(inputs, a.write, &targets)) return *status;
  const std::string done =
      "maker-note entry " + a.set.substr(0, eq) + " set to " + a.set.substr(eq + 1);
  return RunBatch(o, inputs, [&](const std::string& f, size_t i) {
    const std::string& target = targets[i];
    std::string why;
    Outcome out = EditFile(f, target, a.write, done, [&] {
      return SetOne(m, target, f, static_cast<uint16_t>(tag), value, &why);
    });
    if (!why.empty()) out.error = f + ": refused: " + why + "; the file is unchanged";
    return out;
  });
}

Runner Declare(CLI::App& app) {
  auto a = std::make_shared<MakerNoteArgs>();
  app.add_option("files", a->args, "files or folders, then the tags to list (0x0001 or 1)")
      ->required();
  app.add_option("--set", a->set, "TAG=VALUE: rewrite one entry holding a single number");
  AddWriteOptions(app, a->write, "with --set: write the result to this file or folder/");
  return [a](const Module& m, const Options& o) { return Run(m, o, *a); };
}

LF_CLI_COMMAND({"makernote", "list the maker note's entries, or set one", Declare});

}  // namespace
}  // namespace lf::cli
