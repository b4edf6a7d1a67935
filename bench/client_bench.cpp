// Reading the sets back from a hosts file with a managed block of 1 MiB,
// next to a plain read of the same file, in the same run: the structural
// read-back (the file cut at its block, the sets read from the body), and
// the client's full read-back, which also runs the helper's check over the
// sets so that a block it would refuse is named before any change; and the
// sendable check of those sets, which a window runs on every keystroke.
#include <benchmark/benchmark.h>

#include <string>

#include "check/check.h"
#include "client/manager.h"
#include "goals.h"
#include "hosts_core/block.h"
#include "os/files.h"
#include "realistic.h"
#include "support/temp_dir.h"

namespace {

// A hosts file of about 64 KiB of the machine's own lines and a managed
// block of about 1 MiB, in a file of its own.
const std::string& file_path() {
  static lwk_test::TempDir dir;
  static const std::string path = [] {
    const std::string file = lwk_bench::file_with_block(lwk_bench::managed_block(1u << 20, 400));
    const std::string at = dir / "hosts";
    FILE* out = std::fopen(at.c_str(), "w");
    (void)std::fwrite(file.data(), 1, file.size(), out);
    (void)std::fclose(out);
    return at;
  }();
  return path;
}

void BM_PlainRead(benchmark::State& state) {
  for (auto _ : state) {
    auto bytes = lwk::os::read_regular_file(file_path());
    benchmark::DoNotOptimize(bytes);
  }
}
BENCHMARK(BM_PlainRead);

void BM_ManagedFileRead(benchmark::State& state) {
  for (auto _ : state) {
    auto bytes = lwk::os::read_regular_file(file_path());
    auto file = hosts_core::block::ManagedFile::read(*bytes);
    benchmark::DoNotOptimize(file);
  }
}
BENCHMARK(BM_ManagedFileRead);

void BM_ReadBack(benchmark::State& state) {
  for (auto _ : state) {
    auto bytes = lwk::os::read_regular_file(file_path());
    auto file = hosts_core::block::ManagedFile::read(*bytes);
    auto sets = file->read_sets();
    if (!sets || sets->empty()) state.SkipWithError("the block did not read back");
    benchmark::DoNotOptimize(sets);
  }
}
BENCHMARK(BM_ReadBack);

void BM_ReadBackChecked(benchmark::State& state) {
  for (auto _ : state) {
    auto bytes = lwk::os::read_regular_file(file_path());
    auto sets = lantern_wharf::manager::read_sets(*bytes);
    if (!sets) state.SkipWithError(sets.error().sentence.c_str());
    benchmark::DoNotOptimize(sets);
  }
}
BENCHMARK(BM_ReadBackChecked);

// The sendable check on the sets read back, as a window runs it on every
// keystroke: what the helper's check would say, with nothing read or sent.
void BM_SendableCheck(benchmark::State& state) {
  auto bytes = lwk::os::read_regular_file(file_path());
  auto sets = lantern_wharf::manager::read_sets(*bytes);
  if (!sets) state.SkipWithError(sets.error().sentence.c_str());
  for (auto _ : state) {
    auto issues = lantern_wharf::manager::check(*sets);
    if (!issues || !issues->empty()) state.SkipWithError("the sets have issues");
    benchmark::DoNotOptimize(issues);
  }
}
BENCHMARK(BM_SendableCheck);

// The helper's own check of the same sets, as a request carries them.
void BM_HelperCheck(benchmark::State& state) {
  auto bytes = lwk::os::read_regular_file(file_path());
  auto sets = lantern_wharf::manager::read_sets(*bytes);
  if (!sets) state.SkipWithError(sets.error().sentence.c_str());
  const auto wire = lantern_wharf::manager::to_wire(*sets);
  for (auto _ : state) {
    auto checked =
        hosts_helper_core::check::check(wire, hosts_helper_core::check::Limits::service());
    benchmark::DoNotOptimize(checked);
  }
}
BENCHMARK(BM_HelperCheck);

}  // namespace

int main(int argc, char** argv) {
  return lwk_bench::run_with_goals(
      argc, argv,
      {{"reading the sets back against the helper's read of the file, cut at its block "
        "(goal: at most 2x)",
        "BM_ManagedFileRead", "BM_ReadBack", 0},
       {"reading the sets back against reading the file's bytes alone", "BM_PlainRead",
        "BM_ReadBack", 0},
       {"reading back with the helper's check against a plain read", "BM_PlainRead",
        "BM_ReadBackChecked", 0},
       {"the sendable check of the sets of a 1 MiB block against the helper's check of them "
        "(goal: at most 1.5x)",
        "BM_HelperCheck", "BM_SendableCheck", 0}});
}
