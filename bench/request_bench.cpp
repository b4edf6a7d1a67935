// One apply request at the largest size the check allows: 1,048,576 octets of
// text in 256 sets of realistic lines, decoded, checked and rendered.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "helper_core/check.h"
#include "hosts_core/block.h"
#include "ipc/wire.h"

namespace {

using hosts_ipc::WireLine;
using hosts_ipc::WireSet;

// 256 sets whose names and lines add up to exactly 1,048,576 octets. Every
// host name is distinct, so the check passes and rendering writes every line.
std::vector<WireSet> largest_request() {
  constexpr std::size_t kTotal = 1u << 20;
  constexpr std::size_t kSets = 256;
  std::vector<WireSet> sets(kSets);
  std::size_t used = 0;
  std::size_t n = 0;
  for (std::size_t s = 0; s < kSets; ++s) {
    sets[s].name = "project " + std::to_string(s);
    used += sets[s].name.size();
    const std::size_t budget = kTotal * (s + 1) / kSets;
    sets[s].lines.push_back({"# hosts of project " + std::to_string(s), true});
    used += sets[s].lines.back().text.size();
    while (true) {
      ++n;
      std::string line = "10." + std::to_string(n / 65536 % 256) + "." +
                         std::to_string(n / 256 % 256) + "." + std::to_string(n % 256) + " host-" +
                         std::to_string(n) + ".project.example";
      if (n % 4 == 0) line += " h" + std::to_string(n);
      if (used + line.size() > budget) break;
      used += line.size();
      sets[s].lines.push_back({std::move(line), n % 9 != 0});
    }
  }
  // Fill to the exact limit with one comment line.
  sets.back().lines.push_back({"#" + std::string(kTotal - used - 1, '-'), true});
  return sets;
}

const std::string kHostsFile =
    "##\n# Host Database\n##\n127.0.0.1\tlocalhost\n255.255.255.255\tbroadcasthost\n"
    "::1             localhost\n";

void BM_DecodeCheckRender(benchmark::State& state) {
  const std::string bytes = hosts_ipc::encode_request(hosts_ipc::ApplySets{largest_request()});
  auto file = hosts_core::block::ManagedFile::read(kHostsFile);
  std::size_t rendered = 0;
  for (auto _ : state) {
    auto request = hosts_ipc::decode_request(bytes);
    const auto& sets = std::get<hosts_ipc::ApplySets>(*request).sets;
    auto checked =
        hosts_helper_core::check::check(sets, hosts_helper_core::check::Limits::service());
    if (!checked) {
      state.SkipWithError(checked.error()[0].message.c_str());
      break;
    }
    const std::string text = file->render(*checked);
    rendered = text.size();
    benchmark::DoNotOptimize(text);
  }
  state.counters["request_bytes"] = static_cast<double>(bytes.size());
  state.counters["file_bytes"] = static_cast<double>(rendered);
}
BENCHMARK(BM_DecodeCheckRender)->Unit(benchmark::kMillisecond);

void BM_DecodeOnly(benchmark::State& state) {
  const std::string bytes = hosts_ipc::encode_request(hosts_ipc::ApplySets{largest_request()});
  for (auto _ : state) {
    auto request = hosts_ipc::decode_request(bytes);
    benchmark::DoNotOptimize(request);
  }
}
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond);

void BM_CheckOnly(benchmark::State& state) {
  const auto sets = largest_request();
  for (auto _ : state) {
    auto checked =
        hosts_helper_core::check::check(sets, hosts_helper_core::check::Limits::service());
    benchmark::DoNotOptimize(checked);
  }
}
BENCHMARK(BM_CheckOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
