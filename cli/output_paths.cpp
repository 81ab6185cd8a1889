// SPDX-License-Identifier: MIT
#include "cli/output_paths.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

namespace lf::cli {

namespace {

namespace fs = std::filesystem;

[[nodiscard]] bool NamesFolder(const std::string& output) {
  std::error_code ec;
  return !output.empty() && (output.back() == '/' || fs::is_directory(output, ec));
}

[[nodiscard]] bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return a == b || fs::equivalent(a, b, ec);
}

// A path for comparing destinations that do not exist yet.
std::string Key(const std::string& path) {
  std::error_code ec;
  const fs::path p = fs::weakly_canonical(path, ec);
  return ec ? fs::path(path).lexically_normal().string() : p.string();
}

}  // namespace

void AddWriteOptions(CLI::App& app, WriteOptions& options, const std::string& outputHelp,
                     bool required) {
  CLI::Option* o = app.add_option("-o,--output", options.output, outputHelp);
  if (required) o->required();
  app.add_flag("--overwrite", options.overwrite, "replace a destination that already exists");
  app.add_flag("-P,--preserve", options.keepTime, "keep the file's modification time");
}

std::optional<int> PlanDestinations(const std::vector<Input>& inputs, const WriteOptions& options,
                                    std::vector<std::string>* targets) {
  targets->clear();
  const bool folder = NamesFolder(options.output);
  if (!options.output.empty() && !folder && inputs.size() > 1) {
    std::fprintf(stderr,
                 "lumenframe: -o must name a folder (end it with /) when several files "
                 "are written\n");
    return kExitUsage;
  }
  std::map<std::string, std::string> firstSource;  // destination → the input that claimed it
  bool collided = false;
  for (const Input& input : inputs) {
    std::string target = input.path;
    if (folder) {
      target = (fs::path(options.output) / fs::path(input.path).filename()).string();
    } else if (!options.output.empty()) {
      target = options.output;
    }
    targets->push_back(target);
    if (!input.error.empty()) continue;
    const auto [it, fresh] = firstSource.emplace(Key(target), input.path);
    if (!fresh) {
      std::fprintf(stderr,
                   "lumenframe: %s and %s would both be written to %s; nothing was written\n",
                   it->second.c_str(), input.path.c_str(), target.c_str());
      collided = true;
    }
  }
  if (collided) return kExitFailure;
  // The folder that receives the results is made, as for -o DIR/ so for -o DIR/NAME.
  const fs::path folderPath =
      folder ? fs::path(options.output) : fs::path(options.output).parent_path();
  if (!folderPath.empty()) {
    std::error_code ec;
    fs::create_directories(folderPath, ec);
    if (ec) {
      std::fprintf(stderr, "cannot create %s: %s\n", folderPath.c_str(), ec.message().c_str());
      return kExitFailure;
    }
  }
  return std::nullopt;
}

std::optional<std::string> RefuseExisting(const std::string& target, const std::string& source,
                                          bool overwrite) {
  std::error_code ec;
  if (overwrite || (!source.empty() && SameFile(target, source)) ||
      !fs::exists(fs::symlink_status(target, ec))) {
    return std::nullopt;
  }
  return target + " already exists; not replaced (give --overwrite to replace it)";
}

Outcome EditFile(const std::string& source, const std::string& target, const WriteOptions& options,
                 const std::string& done, const std::function<LF_RESULT()>& edit) {
  if (auto refusal = RefuseExisting(target, source, options.overwrite)) {
    return Outcome::Failed(*refusal);
  }
  std::error_code ec;
  const fs::file_time_type time = fs::last_write_time(source, ec);
  const bool haveTime = !ec;
  const LF_RESULT r = edit();
  Outcome out;
  out.ok = LF_SUCCEEDED(r);
  out.record["output"] = target;
  out.record["result"] = ResultJson(r);
  if (!out.ok) {
    out.error = source + ": " + ResultSentence(r, Action::kEdit);
    return out;
  }
  if (options.keepTime && haveTime) fs::last_write_time(target, time, ec);
  out.text = source + (SameFile(target, source) ? "" : " -> " + target) + ": " + done + "\n";
  return out;
}

int RunEdits(const Options& options, const std::vector<Input>& inputs, const WriteOptions& write,
             const std::string& done, const EditWork& edit) {
  std::vector<std::string> targets;
  if (auto status = PlanDestinations(inputs, write, &targets)) return *status;
  return RunBatch(
      options, inputs,
      [&](const std::string& source, size_t i) {
        return EditFile(source, targets[i], write, done, [&] { return edit(targets[i], source); });
      },
      "edited");
}

}  // namespace lf::cli
