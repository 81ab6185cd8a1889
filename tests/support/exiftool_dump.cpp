// SPDX-License-Identifier: MIT
#include "tests/support/exiftool_dump.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <sstream>

namespace lf::test {
namespace {

constexpr char kBinary[] = "(Binary data ";
constexpr char kValueEnd[] = "<lf-value-end>";
constexpr char kFileEnd[] = "<lf-file-end>\n";

// ExifTool's output for `args`, passed through an argument file; "" when it cannot be run.
std::string RunWithArguments(const std::vector<std::string>& args) {
  char argFile[] = "/tmp/lf_exiftool_args_XXXXXX";
  const int fd = ::mkstemp(argFile);
  if (fd < 0) return {};
  std::string lines;
  for (const std::string& a : args) lines.append(a).append("\n");
  const bool written =
      ::write(fd, lines.data(), lines.size()) == static_cast<ssize_t>(lines.size());
  ::close(fd);
  std::string output;
  if (written) {
    const std::string command = std::string("exiftool -@ '") + argFile + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    char buffer[1 << 16];
    size_t n;
    while (pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0)
      output.append(buffer, n);
  }
  std::remove(argFile);
  return output;
}

std::vector<std::string> Split(const std::string& text, const std::string& end) {
  std::vector<std::string> parts;
  for (size_t from = 0, at; (at = text.find(end, from)) != std::string::npos;
       from = at + end.size()) {
    parts.push_back(text.substr(from, at - from));
  }
  return parts;
}

// `-args` prints "(Binary data N bytes, ...)": one `-b` command per file asks for those again.
void ReadBinaryValues(ExifToolDump* dump, const std::vector<std::string>& extraArgs) {
  std::vector<std::pair<ExifToolTags*, std::vector<std::string>>> asked;
  std::vector<std::string> args;
  for (auto& [path, tags] : *dump) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : tags) {
      const std::string plain = key.substr(0, key.size() - Occurrence(key).size());
      if (value.rfind(kBinary, 0) == 0 && (keys.empty() || keys.back() != plain))
        keys.push_back(plain);
    }
    if (keys.empty()) continue;
    args.insert(args.end(), {"-b", "-a", "-u", "-n", "-sep", ";", "-sep", kValueEnd});
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    for (const std::string& k : keys) args.push_back("-" + k);
    args.insert(args.end(),
                {path, "-echo3", std::string(kFileEnd, sizeof kFileEnd - 2), "-execute"});
    asked.emplace_back(&tags, std::move(keys));
  }
  if (asked.empty()) return;
  const std::vector<std::string> files = Split(RunWithArguments(args), kFileEnd);
  for (size_t f = 0; f < asked.size() && f < files.size(); ++f) {
    const std::vector<std::string> values = Split(files[f], kValueEnd);
    ExifToolTags& tags = *asked[f].first;
    std::vector<std::string*> slots;  // every occurrence of each key asked for, in order
    for (const std::string& k : asked[f].second) {
      for (int n = 1;; ++n) {
        const auto it = tags.find(n == 1 ? k : k + " (" + std::to_string(n) + ")");
        if (it == tags.end()) break;
        slots.push_back(&it->second);
      }
    }
    if (values.size() != slots.size()) continue;  // not read again: the lengths are compared
    for (size_t i = 0; i < slots.size(); ++i) {
      if (slots[i]->rfind(kBinary, 0) == 0) *slots[i] = values[i];
    }
  }
}

std::vector<uint64_t> Numbers(const std::string& v) {
  std::vector<uint64_t> n;
  std::istringstream in(v);
  std::string word;
  while (in >> word) {
    if (!std::isdigit(static_cast<unsigned char>(word[0]))) return {};
    n.push_back(std::stoull(word));
  }
  return n;
}

// The offset tags ExifTool reports as file offsets, with the tag giving each piece's length.
std::string LengthTagOf(const std::string& offsetTag) {
  static const std::map<std::string, std::string> pairs = {
      {"ThumbnailOffset", "ThumbnailLength"},  {"StripOffsets", "StripByteCounts"},
      {"TileOffsets", "TileByteCounts"},       {"PreviewImageStart", "PreviewImageLength"},
      {"JpgFromRawStart", "JpgFromRawLength"}, {"OtherImageStart", "OtherImageLength"},
  };
  const auto it = pairs.find(offsetTag);
  return it == pairs.end() ? std::string() : it->second;
}

}  // namespace

bool ExifToolAvailable() {
  return std::isdigit(static_cast<unsigned char>(RunWithArguments({"-ver"})[0])) != 0;
}

ExifToolDump RunExifTool(const std::vector<std::string>& paths,
                         const std::vector<std::string>& extraArgs, std::string* error) {
  ExifToolDump dump;
  if (paths.empty()) return dump;
  std::vector<std::string> args = {"-args", "-a", "-u", "-G1", "-n", "-ec"};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  args.insert(args.end(), paths.begin(), paths.end());
  const std::string output = RunWithArguments(args);
  if (output.empty() && error)
    *error = "ExifTool read none of " + std::to_string(paths.size()) + " files";
  // With more than one file, a "======== path" line starts each file's tags.
  ExifToolTags* tags = paths.size() == 1 ? &dump[paths[0]] : nullptr;
  std::map<std::string, int> seen;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("======== ", 0) == 0) {
      tags = &dump[line.substr(9)];
      seen.clear();
    } else if (const size_t eq = line.find('=');
               tags && line[0] == '-' && eq != std::string::npos) {
      const std::string key = line.substr(1, eq - 1);
      const int n = ++seen[key];
      (*tags)[n == 1 ? key : key + " (" + std::to_string(n) + ")"] = line.substr(eq + 1);
    }
  }
  if (paths.size() == 1 && tags->empty()) dump.clear();
  ReadBinaryValues(&dump, extraArgs);
  return dump;
}

std::string GroupOf(const std::string& key) { return key.substr(0, key.find(':')); }
std::string Occurrence(const std::string& key) {
  const size_t space = key.find(" (", key.rfind(':'));
  return space == std::string::npos ? std::string() : key.substr(space);
}
std::string TagOf(const std::string& key) {
  const size_t colon = key.rfind(':') + 1;
  return key.substr(colon, key.size() - colon - Occurrence(key).size());
}

bool MayMove(const std::string& key) {
  const std::string group = GroupOf(key), tag = TagOf(key);
  if (LengthTagOf(tag).empty()) return false;
  const bool ifd = group == "PreviewIFD" || group.rfind("SubIFD", 0) == 0 ||
                   (group.rfind("IFD", 0) == 0 && group.size() > 3 &&
                    std::isdigit(static_cast<unsigned char>(group[3])));
  return ifd || tag == "PreviewImageStart";
}

std::string NamesSameBytes(const std::string& offsetKey, const ExifToolTags& beforeTags,
                           const Bytes& beforeFile, const ExifToolTags& afterTags,
                           const Bytes& afterFile) {
  const std::string lengthKey =
      GroupOf(offsetKey) + ":" + LengthTagOf(TagOf(offsetKey)) + Occurrence(offsetKey);
  const auto b = beforeTags.find(lengthKey), a = afterTags.find(lengthKey);
  if (b == beforeTags.end() || a == afterTags.end()) return "";
  const std::vector<uint64_t> beforeAt = Numbers(beforeTags.at(offsetKey)),
                              afterAt = Numbers(afterTags.at(offsetKey));
  const std::vector<uint64_t> lengths = Numbers(b->second);
  if (beforeAt.size() != lengths.size()) return "";  // not a list of pieces ExifTool could read
  if (afterAt.size() != beforeAt.size() || Numbers(a->second) != lengths) {
    return "now names " + std::to_string(afterAt.size()) + " pieces instead of " +
           std::to_string(beforeAt.size());
  }
  for (size_t i = 0; i < beforeAt.size(); ++i) {
    const uint64_t n = lengths[i];
    if (beforeAt[i] > beforeFile.size() || n > beforeFile.size() - beforeAt[i]) continue;
    const std::string piece = "piece " + std::to_string(i) + " (" + std::to_string(n) +
                              " bytes at " + std::to_string(beforeAt[i]) + " -> " +
                              std::to_string(afterAt[i]) + ")";
    if (afterAt[i] > afterFile.size() || n > afterFile.size() - afterAt[i])
      return piece + " lies beyond the end";
    if (!std::equal(beforeFile.begin() + static_cast<long>(beforeAt[i]),
                    beforeFile.begin() + static_cast<long>(beforeAt[i] + n),
                    afterFile.begin() + static_cast<long>(afterAt[i]))) {
      return piece + " holds other bytes";
    }
  }
  return "";
}

}  // namespace lf::test
