#include "cli/host.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits.h>

namespace lf::cli {

namespace {

std::string ExecutableDir() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string path(buf, static_cast<size_t>(n));
  const size_t cut = path.rfind('/');
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void Walk(const Module& module, const std::string& dir, std::vector<std::string>* out) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  std::vector<std::string> names;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    names.push_back(name);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string full = (dir.empty() || dir.back() == '/') ? dir + name : dir + "/" + name;
    if (IsDirectory(full)) {
      Walk(module, full, out);
    } else {
      uint32_t supported = 0;
      if (module.IsSupported(full.c_str(), &supported) == LF_S_OK && supported) out->push_back(full);
    }
  }
}

}  // namespace

bool LoadModule(Module* m, std::string* error) {
  std::vector<std::string> candidates;
  if (const char* env = std::getenv("LUMENFRAME_MODULE"); env && *env) {
    candidates.push_back(env);
  } else {
    candidates.push_back(ExecutableDir() + "Lumenframe.pcp");
#ifdef LF_INSTALLED_MODULE
    // Installed: bin/lumenframe finds the module in the library folder of the same prefix.
    candidates.push_back(ExecutableDir() + LF_INSTALLED_MODULE);
#endif
    candidates.push_back("Lumenframe.pcp");
  }
  std::string tried;
  for (const std::string& c : candidates) {
    if (OpenModule(c, m, error)) return true;
    if (m->handle) return false;  // loaded, but an export is missing
    tried += *error + "\n";
  }
  *error = tried;
  return false;
}

bool Options::Has(const std::string& flag) const {
  return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

std::string Options::Value(const std::string& name, const std::string& fallback) const {
  for (const auto& [k, v] : values) {
    if (k == name) return v;
  }
  return fallback;
}

bool RegisterCommand(Command command) {
  Registry().push_back(std::move(command));
  return true;
}

const std::vector<Command>& Commands() { return Registry(); }

std::vector<std::string> ExpandFiles(const Module& module, const std::vector<std::string>& args) {
  std::vector<std::string> files;
  for (const std::string& a : args) {
    if (IsDirectory(a)) {
      Walk(module, a, &files);
    } else {
      files.push_back(a);
    }
  }
  return files;
}

int RunReadBatch(const Module& module, const Options& o,
                 const std::function<bool(const std::string& file, bool first)>& report) {
  const std::vector<std::string> files = ExpandFiles(module, o.args);
  Progress progress(files.size(), !o.quiet);
  int failed = 0;
  if (o.json) std::printf("[");
  for (size_t i = 0; i < files.size(); ++i) {
    progress.Step(files[i]);
    if (!report(files[i], i == 0)) ++failed;
  }
  if (o.json) std::printf("%s]\n", files.empty() ? "" : "\n");
  return failed ? kExitFailure : kExitOk;
}

Progress::Progress(size_t total, bool enabled)
    : total_(total), enabled_(enabled && total >= 20 && ::isatty(STDERR_FILENO)) {}

Progress::~Progress() {
  if (enabled_) std::fprintf(stderr, "\r\033[K");
}

void Progress::Step(const std::string& item) {
  ++done_;
  if (!enabled_) return;
  std::string shown = item;
  if (shown.size() > 60) shown = "..." + shown.substr(shown.size() - 57);
  std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", done_, total_, shown.c_str());
  std::fflush(stderr);
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  return out + "\"";
}

std::string HexResult(LF_RESULT r) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<uint32_t>(r));
  return buf;
}

std::string ResultName(LF_RESULT r) {
  switch (r) {
    case LF_S_OK: return "S_OK";
    case 1: return "S_FALSE";
    case LF_E_NOTIMPL: return "E_NOTIMPL";
    case LF_E_ABORT: return "E_ABORT";
    case LF_E_FAIL: return "E_FAIL";
    case LF_E_OUTOFMEMORY: return "E_OUTOFMEMORY";
    case LF_E_INVALIDARG: return "E_INVALIDARG";
    case LF_E_NO_EXIF: return "E_NO_EXIF";
    case LF_E_WIN32_NOT_ENOUGH_MEMORY: return "E_WIN32_NOT_ENOUGH_MEMORY";
    case LF_E_WIN32_OUTOFMEMORY: return "E_WIN32_OUTOFMEMORY";
    case LF_E_WIN32_ACCESS_DENIED: return "E_WIN32_ACCESS_DENIED";
    case LF_E_WIN32_CANNOT_MAKE: return "E_WIN32_CANNOT_MAKE";
    default: break;
  }
  const uint32_t u = static_cast<uint32_t>(r);
  if ((u & 0xFFFF0000u) == 0x80070000u) return "HRESULT_FROM_WIN32(" + std::to_string(u & 0xFFFF) + ")";
  if ((u & 0xFF000000u) == 0x82000000u) return "HRESULT_FROM_TOOLKIT(-" + std::to_string(u & 0xFFFFFF) + ")";
  return HexResult(r);
}

}  // namespace lf::cli
