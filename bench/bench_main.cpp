// SPDX-License-Identifier: MIT
// Runs every registered benchmark and, after the usual table, prints how the module compares with
// the peers measured in the same run: for each family "Family/subject" (the subject follows the
// last slash, so "Op/Input/subject" compares per input) that has a "lumenframe" subject, the ratio
// of its items per second to every other subject's (medians when repetitions are run); a subject
// "X-start" is X's start-up cost, and the ratio to X without it is printed as "X alone". "cpu" is
// the same ratio in CPU time, the work without the waits for the disk.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      // With repetitions the median of the repetitions stands for the benchmark; a single
      // repetition's own rate counts only until an aggregate arrives.
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type != Run::RT_Iteration && !median) continue;
      const auto rate = run.counters.find("items_per_second");
      if (rate == run.counters.end()) continue;
      const std::string name = run.run_name.function_name;
      const size_t slash = name.rfind('/');
      if (slash == std::string::npos) continue;
      const std::string family = name.substr(0, slash), subject = name.substr(slash + 1);
      if (!median && fromMedian_.count(name)) continue;
      if (median) fromMedian_.insert(name);
      rates_[family][subject] = rate->second.value;
      // CPU seconds per item: the work without the waits for the disk.
      const double real = run.GetAdjustedRealTime();
      cpu_[family][subject] = real > 0 ? run.GetAdjustedCPUTime() / real / rate->second.value : 0;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const auto& [family, subjects] : rates_) {
      const auto ours = subjects.find("lumenframe");
      if (ours == subjects.end()) continue;
      std::printf("\n%s: lumenframe %.0f items/s\n", family.c_str(), ours->second);
      for (const auto& [subject, rate] : subjects) {
        if (subject == "lumenframe" || rate <= 0) continue;
        const double ourCpu = cpu_[family]["lumenframe"], theirCpu = cpu_[family][subject];
        std::printf("  lumenframe / %-10s = %5.2fx  (%s %.0f items/s)  cpu %5.2fx\n",
                    subject.c_str(), ours->second / rate, subject.c_str(), rate,
                    ourCpu > 0 ? theirCpu / ourCpu : 0.0);
        // A subject "X-start" times what X costs before its work begins (a process starting and
        // ending): X's work alone is X less that cost.
        const auto start = subjects.find(subject + "-start");
        if (start == subjects.end() || start->second <= 0) continue;
        const double seconds = 1 / rate - 1 / start->second;
        if (seconds <= 0) continue;
        std::printf("  lumenframe / %-10s = %5.2fx  (%s less its start %.0f items/s)\n",
                    (subject + " alone").c_str(), ours->second * seconds, subject.c_str(),
                    1 / seconds);
      }
    }
  }

 private:
  std::map<std::string, std::map<std::string, double>> rates_;
  std::map<std::string, std::map<std::string, double>> cpu_;  // CPU seconds per item
  std::set<std::string> fromMedian_;  // benchmarks whose rate is a median of repetitions
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
