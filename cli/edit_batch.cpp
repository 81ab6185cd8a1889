#include "cli/edit_batch.h"

#include <sys/stat.h>

#include <cstdio>

namespace lf::cli {

namespace {

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string BaseName(const std::string& path) {
  const size_t cut = path.find_last_of('/');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

bool DestinationsFor(const std::vector<std::string>& files, const std::string& output,
                     std::vector<std::string>* targets) {
  targets->clear();
  if (!output.empty() && !IsDirectory(output) && files.size() > 1) {
    std::fprintf(stderr, "lumenframe: -o must name a directory when several files are edited\n");
    return false;
  }
  for (const std::string& f : files) {
    if (output.empty()) {
      targets->push_back(f);
    } else if (IsDirectory(output)) {
      targets->push_back(output + (output.back() == '/' ? "" : "/") + BaseName(f));
    } else {
      targets->push_back(output);
    }
  }
  return true;
}

int RunEditBatch(const std::vector<std::string>& files, const Options& o, const std::string& what,
                 const std::function<LF_RESULT(size_t)>& edit) {
  if (files.empty()) {
    std::fprintf(stderr, "lumenframe: no files to edit\n");
    return kExitFailure;
  }
  Progress progress(files.size(), !o.quiet && !o.json);
  size_t failed = 0;
  if (o.json) std::printf("[");
  for (size_t i = 0; i < files.size(); ++i) {
    progress.Step(files[i]);
    const LF_RESULT r = edit(i);
    const bool ok = r >= 0;
    if (!ok) ++failed;
    if (o.json) {
      std::printf("%s\n  {\"file\": %s, \"ok\": %s, \"result\": %s, \"resultName\": %s}", i ? "," : "",
                  JsonString(files[i]).c_str(), ok ? "true" : "false", JsonString(HexResult(r)).c_str(),
                  JsonString(ResultName(r)).c_str());
    } else if (!ok) {
      std::fprintf(stderr, "%s: failed: %s (%s)\n", files[i].c_str(), ResultName(r).c_str(), HexResult(r).c_str());
    } else if (!o.quiet) {
      std::printf("%s: %s\n", files[i].c_str(), what.c_str());
    }
  }
  if (o.json) std::printf("%s]\n", files.empty() ? "" : "\n");
  if (!o.json && !o.quiet && files.size() > 1) {
    std::printf("%zu edited, %zu failed\n", files.size() - failed, failed);
  }
  return failed ? kExitFailure : kExitOk;
}

}  // namespace lf::cli
