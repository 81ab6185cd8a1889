// SPDX-License-Identifier: MIT
#include "cli/batch.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace lf::cli {

namespace {

// Whether the file can be opened for reading; the error line when not.
std::optional<std::string> OpenError(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return CannotOpen(path, errno);
  ::close(fd);
  return std::nullopt;
}

Outcome Process(const Input& input, size_t index, const FileWork& work) {
  if (!input.error.empty()) return Outcome::Failed(input.error);
  if (auto error = OpenError(input.path)) return Outcome::Failed(*error);
  try {
    return work(input.path, index);
  } catch (const std::bad_alloc&) {
    return Outcome::Failed(input.path + ": out of memory");
  }
}

}  // namespace

Outcome Outcome::Failed(std::string line) {
  Outcome o;
  o.ok = false;
  o.error = std::move(line);
  return o;
}

std::string CannotOpen(const std::string& path, int error) {
  return "cannot open " + path + ": " + std::strerror(error);
}

Reporter::Reporter(const Options& options, size_t total, std::string summary)
    : options_(options),
      total_(total),
      summary_(std::move(summary)),
      progress_(!options.quiet && total > 1 && ::isatty(STDERR_FILENO)) {}

void Reporter::ClearProgress() {
  if (progress_ && done_ > 0) std::fprintf(stderr, "\r\033[K");
}

void Reporter::Add(const std::string& file, Outcome outcome) {
  ClearProgress();
  ++done_;
  if (!outcome.ok) ++failed_;
  if (options_.json) {
    Json record = Json::object();
    if (!file.empty()) record["file"] = file;
    record["ok"] = outcome.ok;
    record.update(outcome.record);
    if (!outcome.ok) record["error"] = outcome.error;
    document_.push_back(std::move(record));
  } else if (!options_.quiet) {
    std::fputs(outcome.text.c_str(), stdout);
  }
  if (!outcome.ok && !outcome.error.empty()) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", outcome.error.c_str());
  }
  if (progress_ && done_ < total_) {
    std::fflush(stdout);
    std::string shown = file;
    if (shown.size() > 60) shown = "..." + shown.substr(shown.size() - 57);
    std::fprintf(stderr, "[%zu/%zu] %s", done_, total_, shown.c_str());
    std::fflush(stderr);
  }
}

int Reporter::Finish() {
  ClearProgress();
  progress_ = false;
  if (options_.json) {
    std::fputs(DumpJson(document_).c_str(), stdout);
  } else if (!options_.quiet && !summary_.empty() && total_ > 1) {
    std::printf("%zu %s, %zu failed\n", total_ - failed_, summary_.c_str(), failed_);
  }
  std::fflush(stdout);
  return failed_ ? kExitFailure : kExitOk;
}

int RunBatch(const Options& options, const std::vector<Input>& inputs, const FileWork& work,
             const std::string& summary) {
  Reporter reporter(options, inputs.size(), summary);
  const size_t threads = std::min<size_t>(std::max(options.jobs, 1u), inputs.size());
  if (threads <= 1) {
    for (size_t i = 0; i < inputs.size(); ++i)
      reporter.Add(inputs[i].path, Process(inputs[i], i, work));
    return reporter.Finish();
  }
  // Workers take the next input; this thread prints the answers in input order as they arrive.
  std::vector<std::optional<Outcome>> outcomes(inputs.size());
  std::mutex mutex;
  std::condition_variable ready;
  std::atomic<size_t> next{0};
  std::vector<std::jthread> pool;
  for (size_t t = 0; t < threads; ++t) {
    pool.emplace_back([&] {
      for (size_t i; (i = next++) < inputs.size();) {
        Outcome outcome = Process(inputs[i], i, work);
        const std::lock_guard lock(mutex);
        outcomes[i] = std::move(outcome);
        ready.notify_all();
      }
    });
  }
  for (size_t i = 0; i < inputs.size(); ++i) {
    std::unique_lock lock(mutex);
    ready.wait(lock, [&] { return outcomes[i].has_value(); });
    Outcome outcome = std::move(*outcomes[i]);
    lock.unlock();
    reporter.Add(inputs[i].path, std::move(outcome));
  }
  return reporter.Finish();
}

}  // namespace lf::cli
