// The peak memory of decoding a hostile 16-byte payload that announces the
// largest counts: 67,108,864 sets, the first with 67,108,864 lines. Counted
// by a replaced operator new, so this program measures memory only.
#include <benchmark/benchmark.h>

#include <string>

#include "ipc/wire.h"
#include "support/allocation_counter.h"

namespace {

void BM_HostilePayloadPeakMemory(benchmark::State& state) {
  const std::string hostile("\x00\x01\x01\x04\x00\x00\x00\x00\x00\x00\x00\x04\x00\x00\x00\x01", 16);
  std::size_t peak = 0;
  for (auto _ : state) {
    lwk_test::reset_peak();
    auto request = hosts_ipc::decode_request(hostile);
    benchmark::DoNotOptimize(request);
    peak = lwk_test::peak_since_reset();
  }
  state.counters["payload_bytes"] = static_cast<double>(hostile.size());
  state.counters["peak_bytes"] = static_cast<double>(peak);
}
BENCHMARK(BM_HostilePayloadPeakMemory);

}  // namespace

BENCHMARK_MAIN();
