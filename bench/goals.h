// Runs a program's benchmarks and then prints, for each goal, the ratio of
// two of them measured in the same run, next to the goal. Each benchmark is
// run several times, interleaved with the others, and the median taken, so
// that a machine's drift during the run weighs on both sides of a ratio.
#ifndef LWK_BENCH_GOALS_H_
#define LWK_BENCH_GOALS_H_

#include <string>
#include <vector>

namespace lwk_bench {

// The ratio time(slower) / time(faster) of two benchmarks, named as Google
// Benchmark names them ("BM_Name" or "BM_Name/arg"), to be at least `at_least`;
// a ratio with `at_least` 0 is only reported.
struct Goal {
  std::string label;  // what the ratio says, e.g. "Address::parse against inet_pton"
  std::string faster;
  std::string slower;
  double at_least;
};

// Runs every benchmark (5 interleaved repetitions unless the command line says
// otherwise), prints Google Benchmark's own table, then one line per goal.
// Returns the process's exit status: 0, also when a goal is missed (a
// benchmark reports, it does not judge a build).
int run_with_goals(int argc, char** argv, const std::vector<Goal>& goals);

}  // namespace lwk_bench

#endif  // LWK_BENCH_GOALS_H_
