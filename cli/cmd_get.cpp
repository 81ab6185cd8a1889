// lumenframe get FILE... DIRECTORY TAG: one EXIF value of each file as GetExifValue delivers it —
// the tag's name, its type, the number of values delivered and the values.
//
// DIRECTORY is ifd0, exif, gps, interop or ifd1 in any case (or the selector number 1, 2, 3, 4,
// 257); TAG is a tag name as EXIF tools print it (ExposureTime, Make, GPSLatitude; any case) or a
// number, decimal or 0x-hexadecimal.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/host.h"
#include "cli/value_text.h"
#include "exif/model/tag_table.h"

namespace lf::cli {
namespace {

// Room for any value an APP1 segment can hold.
constexpr uint32_t kValueBufferSize = 65536;

// The directories by the names the command takes.
constexpr struct {
  const char* name;
  uint32_t id;
} kDirectoryNames[] = {{"ifd0", LF_DIR_IFD0}, {"exif", LF_DIR_EXIF}, {"gps", LF_DIR_GPS},
                       {"interop", LF_DIR_INTEROP}, {"ifd1", LF_DIR_IFD1}};

std::string DirectoryName(uint32_t directory) {
  for (const auto& n : kDirectoryNames) {
    if (n.id == directory) return n.name;
  }
  return "directory " + std::to_string(directory);
}

// The name of a directory a table row belongs to (the first, for a tag of IFD0 and IFD1).
std::string HomeName(const exif::TagInfo& row) {
  for (const auto& n : kDirectoryNames) {
    if (row.directories & exif::DirectoryBit(n.id)) return n.name;
  }
  return "?";
}

bool ParseDirectory(const std::string& text, uint32_t* directory) {
  std::string lower;
  for (char c : text) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  for (const auto& n : kDirectoryNames) {
    if (lower == n.name) {
      *directory = n.id;
      return true;
    }
  }
  // Any other number goes to the module as given, so that its own argument check answers.
  char* end = nullptr;
  const unsigned long v = std::strtoul(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || v > UINT32_MAX) return false;
  *directory = static_cast<uint32_t>(v);
  return true;
}

bool ContainsIgnoringCase(const std::string& text, const std::string& part) {
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  return lower(text).find(lower(part)) != std::string::npos;
}

// TAG as a number, or as a name of the tag table among the tags of `directory`. On failure
// *error says why (empty for a malformed number, which gets the plain usage text).
bool ParseTag(const std::string& text, uint32_t directory, uint16_t* tag, std::string* error) {
  if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 0);
    if (*end != '\0' || v > 0xFFFF) return false;
    *tag = static_cast<uint16_t>(v);
    return true;
  }
  if (const exif::TagInfo* row = exif::FindTagByName(directory, text)) {
    *tag = row->tag;
    return true;
  }
  if (exif::DirectoryBit(directory) == 0) {
    *error = DirectoryName(directory) + " has no tag names; give the tag as a number";
  } else if (const exif::TagInfo* elsewhere = exif::FindTagByName(text)) {
    char number[8];
    std::snprintf(number, sizeof number, "0x%04X", elsewhere->tag);
    *error = std::string(elsewhere->name) + " is a tag of " + HomeName(*elsewhere) + ", not of " +
             DirectoryName(directory) + " (give its number, " + number + ", to look for it there)";
  } else {
    *error = "unknown tag name '" + text + "' in " + DirectoryName(directory);
    std::string similar;
    int shown = 0;
    for (const exif::TagInfo& row : exif::kTagTable) {
      if (!(row.directories & exif::DirectoryBit(directory)) || text.empty() ||
          !ContainsIgnoringCase(row.name, text)) {
        continue;
      }
      if (shown++ < 8) similar.append(similar.empty() ? "" : ", ").append(row.name);
    }
    if (!similar.empty()) *error += "; did you mean " + similar + (shown > 8 ? ", ..." : "") + "?";
  }
  return false;
}

// The tag's name from the table, or its number when the table does not name it there.
std::string TagLabel(uint32_t directory, uint16_t tag) {
  if (const exif::TagInfo* row = exif::FindTag(directory, tag)) return row->name;
  char number[8];
  std::snprintf(number, sizeof number, "0x%04X", tag);
  return number;
}

int RunGet(const Module& m, const Options& o) {
  uint32_t directory = 0;
  uint16_t tag = 0;
  std::string error;
  if (o.args.size() < 3 || !ParseDirectory(o.args[o.args.size() - 2], &directory) ||
      !ParseTag(o.args.back(), directory, &tag, &error)) {
    if (!error.empty()) std::fprintf(stderr, "lumenframe get: %s\n", error.c_str());
    std::fprintf(stderr,
                 "usage: lumenframe get FILE... DIRECTORY TAG\n"
                 "  DIRECTORY: ifd0, exif, gps, interop, ifd1 (or 1, 2, 3, 4, 257)\n"
                 "  TAG: a name as EXIF tools print it, e.g. Orientation, ExposureTime, GPSLatitude,\n"
                 "       or a number, e.g. 0x0112 or 274\n");
    return kExitUsage;
  }
  const exif::TagInfo* row = exif::FindTag(directory, tag);
  const std::string label = TagLabel(directory, tag);
  const std::vector<std::string> files =
      ExpandFiles(m, std::vector<std::string>(o.args.begin(), o.args.end() - 2));
  Progress progress(files.size(), !o.quiet);
  std::vector<uint8_t> buffer(kValueBufferSize + 1);  // one more byte: ASCII always ends in NUL
  int failed = 0;
  if (o.json) std::printf("[");
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& f = files[i];
    progress.Step(f);
    std::fill(buffer.begin(), buffer.end(), 0);
    uint32_t size = kValueBufferSize;
    uint16_t type = 0;
    uint32_t count = 0;
    const LF_RESULT r = m.GetExifValue(f.c_str(), directory, tag, buffer.data(), &size, &type, &count);
    if (r != LF_S_OK) ++failed;
    if (o.json) {
      std::printf("%s\n  {\"file\": %s, \"tag\": %u, \"name\": %s, \"result\": %s", i ? "," : "",
                  JsonString(f).c_str(), tag, row ? JsonString(row->name).c_str() : "null",
                  JsonString(ResultName(r)).c_str());
      if (r == LF_S_OK) {
        std::printf(", \"type\": %s, \"typeCode\": %u, \"count\": %u, \"size\": %u, \"values\": %s",
                    JsonString(TypeName(type)).c_str(), type, count, size,
                    ValuesText(type, count, buffer, true).c_str());
      }
      std::printf("}");
    } else if (r == LF_S_OK) {
      const std::string values = ValuesText(type, count, buffer, false);
      if (files.size() > 1) std::printf("%s: ", f.c_str());
      std::printf("%s %s[%u] %s\n", label.c_str(), TypeName(type), count, values.c_str());
    } else if (!o.quiet || r != LF_S_OK) {
      std::printf("%s: %s\n", f.c_str(), ResultName(r).c_str());
    }
  }
  if (o.json) std::printf("%s]\n", files.empty() ? "" : "\n");
  return failed ? kExitFailure : kExitOk;
}

LF_CLI_COMMAND({"get", "FILE... DIRECTORY TAG", "one EXIF value (TAG by name or number)", {},
                RunGet});

}  // namespace
}  // namespace lf::cli
