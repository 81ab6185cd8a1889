// lumenframe makernote FILE... [TAG...]: the entries of each file's maker note, through
// GetMakerNoteValue (tags and raw value fields) and GetExifMakerValue (the values themselves).
// lumenframe makernote FILE... --set TAG=VALUE [-o OUT]: sets one existing entry holding a single
// BYTE, SHORT or LONG through SetMakerNote; files are patched in place, with -o the result goes
// to OUT (a file, or a directory for several files). TAG and VALUE are decimal or 0x-hexadecimal.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/edit_batch.h"
#include "cli/host.h"
#include "cli/value_text.h"

namespace lf::cli {
namespace {

constexpr const char* kUsage =
    "usage: lumenframe makernote FILE... [TAG...]\n"
    "       lumenframe makernote FILE... --set TAG=VALUE [-o OUT]\n";
constexpr uint32_t kValueBufferSize = 65536;

bool ParseNumber(const std::string& text, uint32_t limit, uint32_t* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (*end != '\0' || text[0] == '-' || v > limit) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

bool Exists(const std::string& path) {
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

int List(const Module& m, const Options& o, const std::vector<std::string>& files,
         const std::vector<uint16_t>& tags) {
  Progress progress(files.size(), !o.quiet && !o.json);
  int failed = 0;
  if (o.json) std::printf("[");
  for (size_t i = 0; i < files.size(); ++i) {
    progress.Step(files[i]);
    const Listing l = ReadEntries(m, files[i], tags);
    if (l.result != LF_S_OK) ++failed;
    if (o.json) {
      std::printf("%s\n  {\"file\": %s, \"result\": %s", i ? "," : "", JsonString(files[i]).c_str(),
                  JsonString(ResultName(l.result)).c_str());
      if (l.result == LF_S_OK || l.result == LF_E_ABORT) {
        std::printf(", \"header\": %s", JsonString(l.header).c_str());
      }
      if (l.result == LF_S_OK) {
        std::printf(", \"entries\": [");
        for (size_t k = 0; k < l.entries.size(); ++k) {
          const Entry& e = l.entries[k];
          std::printf("%s\n    {\"tag\": %u, \"valueField\": %u", k ? "," : "", e.tag, e.valueField);
          if (e.result == LF_S_OK) {
            std::printf(", \"type\": %s, \"count\": %u, \"values\": %s", JsonString(TypeName(e.type)).c_str(),
                        e.count, ValuesText(e.type, e.count, e.value, true).c_str());
          }
          std::printf("}");
        }
        std::printf("%s]", l.entries.empty() ? "" : "\n  ");
      }
      std::printf("}");
      continue;
    }
    if (l.result != LF_S_OK) {
      std::printf("%s: %s\n", files[i].c_str(), ResultName(l.result).c_str());
      continue;
    }
    std::printf("%s: maker note \"%s\", %zu entries\n", files[i].c_str(), l.header.c_str(), l.entries.size());
    for (const Entry& e : l.entries) {
      if (e.result == LF_S_OK) {
        std::printf("  0x%04X %s[%u] %s\n", e.tag, TypeName(e.type), e.count,
                    ValuesText(e.type, e.count, e.value, false).c_str());
      } else {
        std::printf("  0x%04X value field 0x%08X (value not readable)\n", e.tag, e.valueField);
      }
    }
  }
  if (o.json) std::printf("%s]\n", files.empty() ? "" : "\n");
  return failed ? kExitFailure : kExitOk;
}

// Sets one entry: its type and count come from the file, so only the value changes.
LF_RESULT SetOne(const Module& m, const std::string& target, const std::string& file, uint16_t tag,
                 uint32_t value) {
  const Listing l = ReadEntries(m, file, {tag});
  if (l.result != LF_S_OK) return l.result;
  if (l.entries.empty() || l.entries[0].result != LF_S_OK) {
    std::fprintf(stderr, "%s: the maker note has no entry 0x%04X\n", file.c_str(), tag);
    return LF_E_FAIL;
  }
  const Entry& e = l.entries[0];
  const uint32_t limit = e.type == 1 ? 0xFF : e.type == 3 ? 0xFFFF : 0xFFFFFFFF;
  if (e.count != 1 || (e.type != 1 && e.type != 3 && e.type != 4) || value > limit) {
    std::fprintf(stderr, "%s: entry 0x%04X is %s[%u]; only a single BYTE, SHORT or LONG can be set "
                 "(at most %u)\n", file.c_str(), tag, TypeName(e.type), e.count, limit);
    return LF_E_INVALIDARG;
  }
  return m.SetMakerNote(target.c_str(), file.c_str(), l.header.c_str(), tag, e.type, 1, value);
}

int RunMakerNote(const Module& m, const Options& o) {
  std::vector<std::string> paths;
  std::vector<uint16_t> tags;
  for (const std::string& a : o.args) {
    uint32_t tag = 0;
    if (!Exists(a) && ParseNumber(a, 0xFFFF, &tag)) {
      tags.push_back(static_cast<uint16_t>(tag));
    } else {
      paths.push_back(a);
    }
  }
  if (paths.empty()) {
    std::fprintf(stderr, "%s", kUsage);
    return kExitUsage;
  }
  const std::vector<std::string> files = ExpandFiles(m, paths);
  const std::string set = o.Value("--set");
  if (set.empty()) return List(m, o, files, tags);

  const size_t eq = set.find('=');
  uint32_t tag = 0, value = 0;
  if (!tags.empty() || eq == std::string::npos || !ParseNumber(set.substr(0, eq), 0xFFFF, &tag) ||
      !ParseNumber(set.substr(eq + 1), 0xFFFFFFFF, &value)) {
    std::fprintf(stderr, "lumenframe makernote: --set takes TAG=VALUE, e.g. 0x0001=3\n%s", kUsage);
    return kExitUsage;
  }
  std::vector<std::string> targets;
  if (!DestinationsFor(files, o.output, &targets)) return kExitUsage;
  return RunEditBatch(files, o, "maker-note entry " + set.substr(0, eq) + " set to " + set.substr(eq + 1),
                      [&](size_t i) { return SetOne(m, targets[i], files[i], static_cast<uint16_t>(tag), value); });
}

LF_CLI_COMMAND({"makernote", "FILE... [TAG...] | FILE... --set TAG=VALUE [-o OUT]",
                "list the maker note's entries, or set one", {"--set"}, RunMakerNote});

}  // namespace
}  // namespace lf::cli
