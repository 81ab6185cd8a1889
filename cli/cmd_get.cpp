// SPDX-License-Identifier: MIT
// lumenframe get FILE... DIRECTORY TAG: one EXIF value of each file as GetExifValue delivers it —
// the tag's name, its type, the number of values delivered and the values.
//
// DIRECTORY is ifd0, exif, gps, interop or ifd1 in any case (or the selector number 1, 2, 3, 4,
// 257); TAG is a tag name as EXIF tools print it (ExposureTime, Make, GPSLatitude; any case) or a
// number, decimal or 0x-hexadecimal.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/batch.h"
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
} kDirectoryNames[] = {{"ifd0", LF_DIR_IFD0},
                       {"exif", LF_DIR_EXIF},
                       {"gps", LF_DIR_GPS},
                       {"interop", LF_DIR_INTEROP},
                       {"ifd1", LF_DIR_IFD1}};

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

[[nodiscard]] bool ParseDirectory(const std::string& text, uint32_t* directory) {
  std::string lower;
  for (char c : text)
    lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
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

[[nodiscard]] bool ContainsIgnoringCase(const std::string& text, const std::string& part) {
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  return lower(text).find(lower(part)) != std::string::npos;
}

// TAG as a number, or as a name of the tag table among the tags of `directory`. On failure
// *error says why (empty for a malformed number, which gets the plain usage text).
[[nodiscard]] bool ParseTag(const std::string& text, uint32_t directory, uint16_t* tag,
                            std::string* error) {
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

Outcome Get(const Module& m, const std::string& f, uint32_t directory, uint16_t tag,
            const std::string& label, bool showFile) {
  std::vector<uint8_t> buffer(kValueBufferSize + 1, 0);  // one more byte: ASCII ends in NUL
  uint32_t size = kValueBufferSize;
  uint16_t type = 0;
  uint32_t count = 0;
  const LF_RESULT r =
      m.GetExifValue(f.c_str(), directory, tag, buffer.data(), &size, &type, &count);
  Outcome out;
  out.ok = r == LF_S_OK;
  out.record["tag"] = tag;
  out.record["name"] = label;
  out.record["result"] = ResultJson(r);
  if (!out.ok) {
    out.error = f + ": " + label + ": " + ResultSentence(r, Action::kRead);
    return out;
  }
  buffer.resize(std::min<size_t>(size, kValueBufferSize) + 1);
  out.record["type"] = TypeName(type);
  out.record["count"] = count;
  out.record["values"] = ValuesJson(type, count, buffer);
  out.text = (showFile ? f + ": " : "") + label + " " + TypeName(type) + "[" +
             std::to_string(count) + "] " + ValuesText(type, count, buffer) + "\n";
  return out;
}

struct GetArgs {
  std::vector<std::string> args;
};

Runner Declare(CLI::App& app) {
  auto a = std::make_shared<GetArgs>();
  app.add_option("args", a->args,
                 "files or folders, the directory (ifd0, exif, gps, interop or ifd1), and the tag "
                 "by the name EXIF tools print for it or by number (0x829A, 33434)")
      ->required();
  return [a](const Module& m, const Options& o) {
    if (a->args.size() < 3) {
      std::fprintf(stderr, "lumenframe get: give FILE... DIRECTORY TAG\n");
      return kExitUsage;
    }
    const std::vector<std::string> files(a->args.begin(), a->args.end() - 2);
    const std::string& directoryText = a->args[a->args.size() - 2];
    const std::string& tagText = a->args.back();
    uint32_t directory = 0;
    uint16_t tag = 0;
    std::string error;
    if (!ParseDirectory(directoryText, &directory)) {
      std::fprintf(stderr,
                   "lumenframe get: unknown directory '%s'; give ifd0, exif, gps, interop "
                   "or ifd1\n",
                   directoryText.c_str());
      return kExitUsage;
    }
    if (!ParseTag(tagText, directory, &tag, &error)) {
      if (error.empty()) error = "'" + tagText + "' is not a tag number";
      std::fprintf(stderr, "lumenframe get: %s\n", error.c_str());
      return kExitUsage;
    }
    const std::string label = TagLabel(directory, tag);
    const std::vector<Input> inputs = ExpandInputs(m, files, o.recursive);
    const bool showFile = inputs.size() > 1;
    return RunBatch(o, inputs, [&](const std::string& f, size_t) {
      return Get(m, f, directory, tag, label, showFile);
    });
  };
}

LF_CLI_COMMAND({"get", "one EXIF value (TAG by name or number)", Declare});

}  // namespace
}  // namespace lf::cli
