#include "goals.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>

namespace lwk_bench {
namespace {

// Google Benchmark's console table, and the seconds per iteration of every
// repetition of every benchmark on the side.
class Recorder final : public benchmark::ConsoleReporter {
 public:
  Recorder() : ConsoleReporter(OO_Tabular) {}  // no colour codes: the output goes to logs

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) continue;
      std::string name = run.run_name.function_name;
      if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
      seconds_[name].push_back(run.real_accumulated_time / static_cast<double>(run.iterations));
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The median seconds per iteration of `name`, or a negative number when it did not run.
  double median(const std::string& name) const {
    const auto it = seconds_.find(name);
    if (it == seconds_.end() || it->second.empty()) return -1;
    std::vector<double> sorted = it->second;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
  }

 private:
  std::map<std::string, std::vector<double>> seconds_;
};

}  // namespace

int run_with_goals(int argc, char** argv, const std::vector<Goal>& goals) {
  // Defaults first, so that the command line can override them.
  std::vector<char*> args = {argv[0]};
  std::string repetitions = "--benchmark_repetitions=5";
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  std::string no_aggregates = "--benchmark_report_aggregates_only=false";
  args.push_back(repetitions.data());
  args.push_back(interleave.data());
  args.push_back(no_aggregates.data());
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  Recorder recorder;
  benchmark::RunSpecifiedBenchmarks(&recorder);
  benchmark::Shutdown();

  std::printf("\ngoals (ratios of medians measured in this run):\n");
  for (const Goal& goal : goals) {
    const double faster = recorder.median(goal.faster);
    const double slower = recorder.median(goal.slower);
    if (faster <= 0 || slower <= 0) {
      std::printf("  %s: not run (filtered out)\n", goal.label.c_str());
      continue;
    }
    const double ratio = slower / faster;
    if (goal.at_least <= 0) {
      std::printf("  %s: %.2fx\n", goal.label.c_str(), ratio);
      continue;
    }
    std::printf("  %s: %.2fx (goal: at least %.2fx) %s\n", goal.label.c_str(), ratio, goal.at_least,
                ratio >= goal.at_least ? "met" : "MISSED");
  }
  return 0;
}

}  // namespace lwk_bench
