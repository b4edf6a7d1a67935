// What the client's bounds cost: each input that the library refuses for
// its size, its time and its peak memory (counted by a replaced operator
// new) beside its own size. The goal: refused within a second, in a few
// times the input's size.
#include <benchmark/benchmark.h>

#include <string>

#include "client/lantern_wharf.h"
#include "client/manager.h"
#include "support/allocation_counter.h"

namespace {

// A sets file of `lines` copies of `line` in one set.
std::string sets_file(std::size_t lines, const std::string& line) {
  std::string out = R"({"sets": [{"name": "big", "lines": [)";
  for (std::size_t i = 0; i < lines; ++i) out += (i == 0 ? "" : ",") + line;
  return out + "]}]}";
}

// Runs `call` on `input`, refused as it must be, and counts its peak memory.
template <class Call>
void measure(benchmark::State& state, const std::string& input, int refused_with, Call call) {
  std::size_t peak = 0;
  for (auto _ : state) {
    lwk_test::reset_peak();
    const int status = call(input);
    peak = lwk_test::peak_since_reset();
    if (status != refused_with) state.SkipWithError(lw_last_error());
  }
  state.counters["input_bytes"] = static_cast<double>(input.size());
  state.counters["peak_bytes"] = static_cast<double>(peak);
  state.counters["peak_per_input"] = static_cast<double>(peak) / static_cast<double>(input.size());
}

// 15.9 MiB of a sets file as lw_read_sets writes one: too many octets on
// the wire once switched (refused as it is parsed, or as it is written).
void BM_SwitchOfABigSetsFile(benchmark::State& state) {
  static const std::string input =
      sets_file(236'000, R"({"text": "0.0.0.0 host-123456.tracker.example.com", "enabled": true})");
  measure(state, input, LW_BAD_INPUT, [](const std::string& json) {
    char* changed = nullptr;
    const int status = lw_switch(json.c_str(), "big", nullptr, 0, 0, &changed);
    lw_free(changed);
    return status;
  });
}
BENCHMARK(BM_SwitchOfABigSetsFile)->Unit(benchmark::kMillisecond);

// 5,200,000 empty lines: no octets against the check, 26 MB on the wire.
void BM_CheckOfEmptyLines(benchmark::State& state) {
  static const std::string input = sets_file(5'200'000, R"("")");
  measure(state, input, LW_BAD_INPUT, [](const std::string& json) {
    char* issues = nullptr;
    const int status = lw_check(json.c_str(), &issues);
    lw_free(issues);
    return status;
  });
}
BENCHMARK(BM_CheckOfEmptyLines)->Unit(benchmark::kMillisecond);

// 64 MiB of text to add as lines: more than the client reads.
void BM_AddOfAHugeText(benchmark::State& state) {
  static const std::string input(64u << 20, '\n');
  measure(state, input, LW_BAD_INPUT, [](const std::string& text) {
    char* changed = nullptr;
    const int status = lw_add_lines(R"({"sets": []})", "big", text.c_str(), 1, &changed);
    lw_free(changed);
    return status;
  });
}
BENCHMARK(BM_AddOfAHugeText)->Unit(benchmark::kMillisecond);

// An import of 16 MiB of line breaks, as the command makes it.
void BM_ImportOfLineBreaks(benchmark::State& state) {
  static const std::string input(16u << 20, '\n');
  measure(state, input, LW_BAD_INPUT, [](const std::string& text) {
    return lantern_wharf::manager::import("big", text) ? LW_OK : LW_BAD_INPUT;
  });
}
BENCHMARK(BM_ImportOfLineBreaks)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
