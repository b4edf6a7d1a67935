// The cost of a change next to the bare cost of an atomic replace on the same
// file system (write a temporary file, flush it, rename it: the floor), and of
// a change that writes nothing next to reading the file once. Both pairs run
// interleaved in one loop, so that they see the same disk.
//
// Runs in a scratch directory under the current directory (pass another with
// LWK_BENCH_DIR): /tmp may be a memory file system, where a flush costs nothing.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "helper_core/write.h"
#include "os/files.h"
#include "os/full_flush.h"
#include "privsep/system_platform.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using hosts_helper_core::write::Paths;

std::string scratch_directory() {
  const char* base = std::getenv("LWK_BENCH_DIR");
  std::string pattern = std::string(base ? base : ".") + "/lwk-write-bench-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  return pattern;
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The floor: what any atomic, durable replace of the file must cost.
void bare_replace(const std::string& target, const std::string& content) {
  const std::string temporary = target + ".floor";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || !lwk::os::write_all(fd, content) || !lwk::os::full_flush(fd)) std::abort();
  ::close(fd);
  if (::rename(temporary.c_str(), target.c_str()) != 0) std::abort();
}

void BM_WriteChangeAgainstFloor(benchmark::State& state) {
  const std::string dir = scratch_directory();
  const Paths paths{dir + "/hosts", dir + "/store"};
  const std::string a(1 << 20, 'a');
  const std::string b(1 << 20, 'b');
  const std::string floor_target = dir + "/floor";
  bare_replace(paths.target, a);
  hosts_privsep::platform::SystemPlatform platform(false, {});
  std::uint64_t counter = 0;
  double write_total = 0;
  double floor_total = 0;
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    const auto start = Clock::now();
    auto r = hosts_helper_core::write::write(paths, flip ? b : a, platform, counter);
    write_total += seconds_since(start);
    if (!r || !*r) state.SkipWithError("write did not change the file");
    state.PauseTiming();
    const auto floor_start = Clock::now();
    bare_replace(floor_target, flip ? b : a);
    floor_total += seconds_since(floor_start);
    state.ResumeTiming();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["write_ms"] = write_total / n * 1e3;
  state.counters["floor_ms"] = floor_total / n * 1e3;
  state.counters["ratio"] = write_total / floor_total;
  state.SetLabel("goal: ratio at most 2.3");
  lwk_test::remove_all(dir);
}
BENCHMARK(BM_WriteChangeAgainstFloor)->Unit(benchmark::kMillisecond)->Iterations(60);

void BM_WriteNoopAgainstRead(benchmark::State& state) {
  const std::string dir = scratch_directory();
  const Paths paths{dir + "/hosts", dir + "/store"};
  const std::string content(1 << 20, 'a');
  bare_replace(paths.target, content);
  hosts_privsep::platform::SystemPlatform platform(false, {});
  std::uint64_t counter = 0;
  double write_total = 0;
  double read_total = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    auto r = hosts_helper_core::write::write(paths, content, platform, counter);
    write_total += seconds_since(start);
    if (!r || *r) state.SkipWithError("a no-op write changed the file");
    state.PauseTiming();
    const auto read_start = Clock::now();
    auto read = platform.files().read_file(paths.target);
    read_total += seconds_since(read_start);
    benchmark::DoNotOptimize(read);
    state.ResumeTiming();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["write_us"] = write_total / n * 1e6;
  state.counters["read_us"] = read_total / n * 1e6;
  state.counters["ratio"] = write_total / read_total;
  state.SetLabel("goal: ratio at most 1.2");
  lwk_test::remove_all(dir);
}
BENCHMARK(BM_WriteNoopAgainstRead)->Unit(benchmark::kMicrosecond)->Iterations(2000);

}  // namespace

BENCHMARK_MAIN();
