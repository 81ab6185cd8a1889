// Runs every registered benchmark and, after the usual table, prints how the module compares with
// the peers measured in the same run: for each family "Family/subject" that has a "lumenframe"
// subject, the ratio of its items per second to every other subject's.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const auto rate = run.counters.find("items_per_second");
      if (rate == run.counters.end()) continue;
      const std::string name = run.run_name.function_name;
      const size_t slash = name.find('/');
      if (slash == std::string::npos) continue;
      rates_[name.substr(0, slash)][name.substr(slash + 1)] = rate->second.value;
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
        std::printf("  lumenframe / %-10s = %5.2fx  (%s %.0f items/s)\n", subject.c_str(),
                    ours->second / rate, subject.c_str(), rate);
      }
    }
  }

 private:
  std::map<std::string, std::map<std::string, double>> rates_;
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
