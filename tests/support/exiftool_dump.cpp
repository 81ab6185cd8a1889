// SPDX-License-Identifier: MIT
#include "tests/support/exiftool_dump.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <utility>

namespace lf::test {
namespace {

// A reader for the JSON ExifTool writes: objects, arrays, strings, numbers, true/false/null.
class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : s_(text) {}

  bool Fail(const std::string& what) {
    if (error_.empty()) error_ = what + " at offset " + std::to_string(pos_);
    return false;
  }
  const std::string& error() const { return error_; }

  void SkipSpace() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t')) ++pos_;
  }
  bool Eat(char c) {
    SkipSpace();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool AtEnd() {
    SkipSpace();
    return pos_ >= s_.size();
  }

  static void AppendUtf8(uint32_t cp, std::string* out) {
    if (cp < 0x80) {
      out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }

  bool Hex4(uint32_t* v) {
    if (pos_ + 4 > s_.size()) return Fail("short \\u escape");
    *v = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = s_[pos_++];
      *v <<= 4;
      if (c >= '0' && c <= '9') *v |= static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') *v |= static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') *v |= static_cast<uint32_t>(c - 'A' + 10);
      else return Fail("bad \\u escape");
    }
    return true;
  }

  bool String(std::string* out) {
    SkipSpace();
    if (pos_ >= s_.size() || s_[pos_] != '"') return Fail("string expected");
    ++pos_;
    out->clear();
    while (pos_ < s_.size()) {
      const char c = s_[pos_++];
      if (c == '"') return true;
      if (c != '\\') {
        out->push_back(c);
        continue;
      }
      if (pos_ >= s_.size()) break;
      const char e = s_[pos_++];
      switch (e) {
        case '"': out->push_back('"'); break;
        case '\\': out->push_back('\\'); break;
        case '/': out->push_back('/'); break;
        case 'b': out->push_back('\b'); break;
        case 'f': out->push_back('\f'); break;
        case 'n': out->push_back('\n'); break;
        case 'r': out->push_back('\r'); break;
        case 't': out->push_back('\t'); break;
        case 'u': {
          uint32_t cp = 0;
          if (!Hex4(&cp)) return false;
          if (cp >= 0xD800 && cp < 0xDC00 && pos_ + 6 <= s_.size() && s_[pos_] == '\\' && s_[pos_ + 1] == 'u') {
            pos_ += 2;
            uint32_t low = 0;
            if (!Hex4(&low)) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(cp, out);
          break;
        }
        default: return Fail("bad escape");
      }
    }
    return Fail("unterminated string");
  }

  // Any value, rendered as text.
  bool Value(std::string* out) {
    SkipSpace();
    if (pos_ >= s_.size()) return Fail("value expected");
    const char c = s_[pos_];
    if (c == '"') return String(out);
    if (c == '[') {
      ++pos_;
      *out = "[";
      if (Eat(']')) return out->append("]"), true;
      for (bool first = true;; first = false) {
        std::string item;
        if (!Value(&item)) return false;
        if (!first) out->append(", ");
        out->append(item);
        if (Eat(']')) break;
        if (!Eat(',')) return Fail("',' or ']' expected");
      }
      out->append("]");
      return true;
    }
    if (c == '{') {
      ++pos_;
      *out = "{";
      if (Eat('}')) return out->append("}"), true;
      for (bool first = true;; first = false) {
        std::string key, item;
        if (!String(&key) || !Eat(':') || !Value(&item)) return Fail("member expected");
        if (!first) out->append(", ");
        out->append(key).append("=").append(item);
        if (Eat('}')) break;
        if (!Eat(',')) return Fail("',' or '}' expected");
      }
      out->append("}");
      return true;
    }
    // A number or a literal: its spelling up to the next delimiter.
    const size_t start = pos_;
    while (pos_ < s_.size() && s_[pos_] != ',' && s_[pos_] != '}' && s_[pos_] != ']' && s_[pos_] != ' ' &&
           s_[pos_] != '\n' && s_[pos_] != '\r' && s_[pos_] != '\t') {
      ++pos_;
    }
    if (pos_ == start) return Fail("value expected");
    *out = s_.substr(start, pos_ - start);
    return true;
  }

 private:
  const std::string& s_;
  size_t pos_ = 0;
  std::string error_;
};

}  // namespace

bool ParseExifToolJson(const std::string& json, ExifToolDump* out, std::string* error) {
  JsonReader r(json);
  auto fail = [&]() {
    if (error) *error = r.error();
    return false;
  };
  if (r.AtEnd()) return true;  // no file was read
  if (!r.Eat('[')) return r.Fail("'[' expected"), fail();
  if (r.Eat(']')) return true;
  do {
    if (!r.Eat('{')) return r.Fail("'{' expected"), fail();
    std::vector<std::pair<std::string, std::string>> members;
    if (!r.Eat('}')) {
      do {
        std::string key, value;
        if (!r.String(&key) || !r.Eat(':') || !r.Value(&value)) return r.Fail("member expected"), fail();
        members.emplace_back(std::move(key), std::move(value));
      } while (r.Eat(','));
      if (!r.Eat('}')) return r.Fail("'}' expected"), fail();
    }
    // ExifTool numbers the copies of a tag name over all groups ("IFD1:Copy1:Orientation" when
    // IFD0 has one too), so adding a tag to one directory would rename its namesakes elsewhere.
    // Number them within their group instead: "IFD0:StripOffsets", "IFD0:StripOffsets (2)".
    ExifToolTags tags;
    std::map<std::string, int> seen;
    for (auto& [key, value] : members) {
      std::string plain = key;
      const size_t first = key.find(':'), last = key.rfind(':');
      if (first != last && key.compare(first + 1, 4, "Copy") == 0) plain = key.substr(0, first) + key.substr(last);
      const int n = ++seen[plain];
      tags[n == 1 ? plain : plain + " (" + std::to_string(n) + ")"] = std::move(value);
    }
    const auto source = tags.find("SourceFile");
    if (source == tags.end()) return r.Fail("object without SourceFile"), fail();
    const std::string path = source->second;
    tags.erase(source);
    (*out)[path] = std::move(tags);
  } while (r.Eat(','));
  if (!r.Eat(']') || !r.AtEnd()) return r.Fail("']' expected"), fail();
  return true;
}

bool ExifToolAvailable() {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen("exiftool -ver 2>/dev/null", "r"), ::pclose);
  if (!pipe) return false;
  char line[64] = {};
  const bool read = std::fgets(line, sizeof line, pipe.get()) != nullptr;
  return read && line[0] >= '0' && line[0] <= '9';
}

ExifToolDump RunExifTool(const std::vector<std::string>& paths, const std::vector<std::string>& extraArgs,
                         std::string* error) {
  ExifToolDump dump;
  if (paths.empty()) return dump;
  // The arguments go through a file, one a line, so neither their number nor quoting matters.
  char argFile[] = "/tmp/lf_exiftool_args_XXXXXX";
  const int fd = ::mkstemp(argFile);
  if (fd < 0) {
    if (error) *error = "cannot create an argument file";
    return dump;
  }
  std::string args;
  for (const char* a : {"-j", "-a", "-u", "-G1:4", "-n", "-b", "-all"}) args.append(a).append("\n");
  for (const std::string& a : extraArgs) args.append(a).append("\n");
  for (const std::string& p : paths) args.append(p).append("\n");
  const bool written = ::write(fd, args.data(), args.size()) == static_cast<ssize_t>(args.size());
  ::close(fd);
  std::string output;
  if (written) {
    const std::string command = std::string("exiftool -@ '") + argFile + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (pipe) {
      char buffer[1 << 16];
      size_t n;
      while ((n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) output.append(buffer, n);
    }
  }
  std::remove(argFile);
  if (!written) {
    if (error) *error = "cannot write the argument file";
    return dump;
  }
  std::string parseError;
  if (!ParseExifToolJson(output, &dump, &parseError) && error) {
    *error = "cannot parse ExifTool's output: " + parseError;
  }
  return dump;
}

}  // namespace lf::test
