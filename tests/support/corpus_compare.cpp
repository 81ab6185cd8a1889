// SPDX-License-Identifier: MIT
#include "tests/support/corpus_compare.h"

#include <cctype>
#include <cstdio>
#include <map>
#include <sstream>

#include "tests/support/edit_fixtures.h"

namespace lf::test {

namespace {

std::vector<uint64_t> Numbers(const std::string& v) {
  std::vector<uint64_t> n;
  std::istringstream in(v);
  std::string word;
  while (in >> word) {
    if (word.empty() || !std::isdigit(static_cast<unsigned char>(word[0]))) return {};
    n.push_back(std::stoull(word));
  }
  return n;
}

// Pointer tags whose value may change when the data they name moves, with the tag giving the
// length of each piece. ExifTool reports them as file offsets, so that after an edit the same
// bytes must lie at the new places (checked by NamesSameBytes). The IFD pointers themselves
// (ExifOffset, GPSInfo, InteropOffset, SubIFDs) are not among ExifTool's tag values.
const std::map<std::string, std::string>& MovableOffsets() {
  static const std::map<std::string, std::string> pairs = {
      {"ThumbnailOffset", "ThumbnailLength"},  {"StripOffsets", "StripByteCounts"},
      {"TileOffsets", "TileByteCounts"},       {"PreviewImageStart", "PreviewImageLength"},
      {"JpgFromRawStart", "JpgFromRawLength"}, {"OtherImageStart", "OtherImageLength"},
  };
  return pairs;
}

}  // namespace

std::vector<CorpusFile> ExifCorpusFiles() {
  std::vector<CorpusFile> files;
  for (const CorpusFile& f : LoadCorpusManifest()) {
    if (f.category == "ok" && (f.format == "JPEG" || f.format == "TIFF") && !f.byteOrder.empty()) {
      files.push_back(f);
    }
  }
  return files;
}

std::string HexCode(int32_t r) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(r));
  return text;
}

std::string Extension(const std::string& path) {
  const size_t dot = path.rfind('.'), slash = path.rfind('/');
  return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? std::string() : path.substr(dot);
}

std::string GroupOf(const std::string& key) { return key.substr(0, key.find(':')); }
std::string Occurrence(const std::string& key) {
  const size_t space = key.find(' ', key.rfind(':'));
  return space == std::string::npos ? std::string() : key.substr(space);
}
std::string TagOf(const std::string& key) {
  const size_t colon = key.rfind(':') + 1;
  return key.substr(colon, key.size() - colon - Occurrence(key).size());
}

std::string Shown(const std::string& v, size_t from) {
  constexpr size_t kKeep = 48;
  if (v.size() <= kKeep) return "'" + v + "'";
  const size_t start = from > 16 ? from - 16 : 0;
  std::string s = v.substr(start, kKeep);
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  return std::string("'") + (start ? "…" : "") + s + "…' (" + std::to_string(v.size()) + " chars)";
}
std::string ShownPair(const std::string& a, const std::string& b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return Shown(a, i) + " -> " + Shown(b, i) + (i > 16 ? " (first difference at char " + std::to_string(i) + ")" : "");
}

std::string Digits(const std::string& v) {
  std::string d;
  for (char c : v) if (std::isdigit(static_cast<unsigned char>(c))) d.push_back(c);
  return d;
}
std::string Separators(const std::string& v) {
  std::string d;
  for (char c : v) if (!std::isdigit(static_cast<unsigned char>(c))) d.push_back(c);
  return d;
}
bool LooksLikeDateTime(const std::string& v) {
  return v.size() == 19 && Digits(v).size() == 14 && Separators(v) == ":: ::";
}

// The groups where they may move: the TIFF directories of the file. A maker note's
// PreviewImageStart may move with the maker note; its PreviewImage value must then be unchanged.
bool MayMove(const std::string& key) {
  const std::string group = GroupOf(key), tag = TagOf(key);
  if (!MovableOffsets().count(tag)) return false;
  const bool ifd = group == "PreviewIFD" || group.rfind("SubIFD", 0) == 0 ||
                   (group.rfind("IFD", 0) == 0 && group.size() > 3 && std::isdigit(static_cast<unsigned char>(group[3])));
  return ifd || tag == "PreviewImageStart";
}

std::string NamesSameBytes(const std::string& offsetKey, const ExifToolTags& beforeTags, const Bytes& beforeFile,
                           const ExifToolTags& afterTags, const Bytes& afterFile) {
  const std::string lengthKey =
      GroupOf(offsetKey) + ":" + MovableOffsets().at(TagOf(offsetKey)) + Occurrence(offsetKey);
  const auto b = beforeTags.find(lengthKey), a = afterTags.find(lengthKey);
  if (b == beforeTags.end() || a == afterTags.end()) return "";
  const std::vector<uint64_t> beforeAt = Numbers(beforeTags.at(offsetKey)), afterAt = Numbers(afterTags.at(offsetKey));
  const std::vector<uint64_t> beforeLen = Numbers(b->second), afterLen = Numbers(a->second);
  if (beforeAt.size() != beforeLen.size()) return "";  // not a list of pieces ExifTool could read
  if (afterAt.size() != beforeAt.size() || afterLen != beforeLen) {
    return "now names " + std::to_string(afterAt.size()) + " pieces instead of " + std::to_string(beforeAt.size());
  }
  for (size_t i = 0; i < beforeAt.size(); ++i) {
    const uint64_t n = beforeLen[i];
    if (beforeAt[i] > beforeFile.size() || n > beforeFile.size() - beforeAt[i]) continue;
    if (afterAt[i] > afterFile.size() || n > afterFile.size() - afterAt[i]) {
      return "piece " + std::to_string(i) + " (" + std::to_string(n) + " bytes at " + std::to_string(afterAt[i]) +
             ") now lies beyond the end of the file";
    }
    const Bytes was = Slice(beforeFile, beforeAt[i], n), now = Slice(afterFile, afterAt[i], n);
    if (was != now) {
      size_t k = 0;
      while (was[k] == now[k]) ++k;
      return "piece " + std::to_string(i) + " (" + std::to_string(n) + " bytes, at " + std::to_string(beforeAt[i]) +
             " -> " + std::to_string(afterAt[i]) + ") holds different bytes from byte " + std::to_string(k) + " on";
    }
  }
  return "";
}

std::vector<std::string> UnexplainedChanges(const ExifToolTags& before, const Bytes& beforeFile,
                                            const ExifToolTags& after, const Bytes& afterFile,
                                            const Explains& edit) {
  std::vector<std::string> problems;
  auto ignored = [](const std::string& key) {
    return GroupOf(key) == "System" || key == "ExifTool:ExifToolVersion";
  };
  auto explained = [&](const std::string& key, const std::string* was, const std::string* now) {
    if (edit(key, was, now)) return true;
    // Every edit stamps the modification date with the current time.
    if (key == "IFD0:ModifyDate") return now && LooksLikeDateTime(*now);
    if (key == "Composite:SubSecModifyDate") return now && Digits(*now).size() >= 14;
    return false;
  };

  for (const auto& [key, was] : before) {
    if (ignored(key)) continue;
    const auto now = after.find(key);
    if (now == after.end()) {
      if (!explained(key, &was, nullptr)) problems.push_back("missing " + key + " (was " + Shown(was) + ")");
    } else if (now->second != was) {
      if (MayMove(key)) continue;  // judged by the bytes below
      if (!explained(key, &was, &now->second)) problems.push_back("changed " + key + ": " + ShownPair(was, now->second));
    }
  }
  size_t copies = 0;
  for (const auto& [key, now] : after) {
    if (ignored(key) || before.count(key)) continue;
    if (explained(key, nullptr, &now)) continue;
    problems.push_back("added " + key + " = " + Shown(now));
    const std::string first = key.substr(0, key.size() - Occurrence(key).size());
    if (!Occurrence(key).empty() && before.count(first)) ++copies;
  }
  if (copies > 8) {
    problems.insert(problems.begin(), std::to_string(copies) +
                                          " added tags are second occurrences of existing ones: ExifTool reads the "
                                          "metadata twice");
  }
  // Pointers must name the same bytes, whether or not they moved (a rebuild may also have put
  // something else where the data was).
  for (const auto& [key, was] : before) {
    if (!MayMove(key) || !after.count(key)) continue;
    const std::string moved = NamesSameBytes(key, before, beforeFile, after, afterFile);
    if (!moved.empty()) {
      problems.push_back("pointer " + key + " (" + ShownPair(was, after.at(key)) + ") no longer names the same bytes: " +
                         moved);
    }
  }
  return problems;
}

}  // namespace lf::test
