// Throughput of the hosts-file model: reading a large file, classifying entry
// lines, parsing addresses next to inet_pton, rendering, conflict detection.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "goals.h"
#include "hosts_core/address.h"
#include "hosts_core/block.h"
#include "hosts_core/conflict.h"
#include "hosts_core/line.h"
#include "realistic.h"
#include "support/text_store.h"

namespace {

using lwk_bench::entry_line;
using lwk_bench::hosts_file;

using hosts_core::block::BlockLine;
using hosts_core::block::BlockSet;
using hosts_core::block::ManagedFile;

void BM_ManagedFileRead(benchmark::State& state) {
  const std::string file = hosts_file(10 * 1024 * 1024);
  for (auto _ : state) {
    auto read = ManagedFile::read(file);
    benchmark::DoNotOptimize(read);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
  state.SetLabel("goal: at least 1 GB/s");
}
BENCHMARK(BM_ManagedFileRead)->Unit(benchmark::kMillisecond);

void BM_Classify(benchmark::State& state) {
  std::mt19937 rng(7);
  std::vector<std::string> lines;
  std::size_t total = 0;
  for (std::size_t i = 0; i < 4096; ++i) {
    lines.push_back(entry_line(rng, i));
    total += lines.back().size();
  }
  for (auto _ : state) {
    for (const auto& line : lines) {
      auto r = hosts_core::line::classify(line);
      benchmark::DoNotOptimize(r);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total));
  state.SetLabel("goal: at least 150 MB/s");
}
BENCHMARK(BM_Classify);

std::vector<std::string> addresses() {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> octet(0, 255);
  std::vector<std::string> out;
  for (int i = 0; i < 1024; ++i) {
    if (i % 4 == 0) {
      out.push_back("fe80::" + std::to_string(i % 9999) + ":" + std::to_string(octet(rng)));
    } else {
      out.push_back(std::to_string(octet(rng) % 223 + 1) + "." + std::to_string(octet(rng)) + "." +
                    std::to_string(octet(rng)) + "." + std::to_string(octet(rng)));
    }
  }
  return out;
}

void BM_AddressParse(benchmark::State& state) {
  const auto list = addresses();
  for (auto _ : state) {
    for (const auto& a : list) {
      auto r = hosts_core::address::Address::parse(a);
      benchmark::DoNotOptimize(r);
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * list.size()));
}
BENCHMARK(BM_AddressParse);

void BM_InetPton(benchmark::State& state) {
  const auto list = addresses();
  unsigned char buffer[16];
  for (auto _ : state) {
    for (const auto& a : list) {
      // inet_pton needs the family up front; a colon tells it, as in Address::parse.
      const int family = a.find(':') == std::string::npos ? AF_INET : AF_INET6;
      int ok = inet_pton(family, a.c_str(), buffer);
      benchmark::DoNotOptimize(ok);
      benchmark::DoNotOptimize(buffer);
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * list.size()));
}
BENCHMARK(BM_InetPton);

std::vector<BlockSet> many_sets(std::size_t sets, std::size_t lines_per_set,
                                lwk_test::TextStore* texts) {
  std::mt19937 rng(11);
  std::vector<BlockSet> out;
  std::size_t n = 0;
  for (std::size_t s = 0; s < sets; ++s) {
    BlockSet set{texts->keep("set " + std::to_string(s)), {}};
    for (std::size_t l = 0; l < lines_per_set; ++l, ++n) {
      set.lines.push_back(BlockLine{texts->keep(entry_line(rng, n)), l % 5 != 0});
    }
    out.push_back(std::move(set));
  }
  return out;
}

void BM_Render(benchmark::State& state) {
  const std::string file = hosts_file(4096);
  lwk_test::TextStore texts;
  const auto sets = many_sets(256, 1000, &texts);
  auto read = ManagedFile::read(file);
  std::size_t out_bytes = 0;
  for (auto _ : state) {
    std::string text = read->render(sets);
    out_bytes = text.size();
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out_bytes));
}
BENCHMARK(BM_Render)->Unit(benchmark::kMillisecond);

void BM_ConflictDetect(benchmark::State& state) {
  // N names, one per line, in 100 sets; every tenth name also stands at a
  // second address in another set, so there are conflicts to report.
  const auto names = static_cast<std::size_t>(state.range(0));
  std::vector<std::vector<std::string>> texts(100);
  for (std::size_t i = 0; i < names; ++i) {
    const std::string name = "host-" + std::to_string(i) + ".example.com";
    texts[i % 100].push_back("10.0." + std::to_string(i % 250) + ".1 " + name);
    if (i % 10 == 0) texts[(i + 1) % 100].push_back("10.9.9.9 " + name);
  }
  std::vector<hosts_core::conflict::ConflictSet> sets(100);
  for (std::size_t s = 0; s < sets.size(); ++s) {
    sets[s].label = std::to_string(s);
    for (const std::string& text : texts[s]) sets[s].lines.push_back({text, true});
  }
  // The service's path: the Detector, fed what inspect() finds. The plain
  // detect() beside it is the rule it is checked against, not the one run.
  std::vector<std::string> labels;
  for (const auto& set : sets) labels.push_back(set.label);
  for (auto _ : state) {
    hosts_core::conflict::Detector detector(names);
    hosts_core::line::EntryView entry;
    for (std::uint32_t s = 0; s < sets.size(); ++s) {
      std::uint64_t n = 0;
      for (const auto& line : sets[s].lines) {
        ++n;
        if (hosts_core::line::inspect(line.text, hosts_core::line::MAX_LINE_OCTETS,
                                      hosts_core::line::MAX_NAMES, &entry,
                                      nullptr) == hosts_core::line::LineKind::Entry) {
          detector.add(s, n, entry);
        }
      }
    }
    benchmark::DoNotOptimize(detector.conflicts(labels));
  }
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ConflictDetect)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace

int main(int argc, char** argv) {
  return lwk_bench::run_with_goals(
      argc, argv, {{"Address::parse against inet_pton", "BM_AddressParse", "BM_InetPton", 1.1}});
}
