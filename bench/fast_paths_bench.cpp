// Each fast path of the model next to the plain version of the same rule, on
// realistic input, in one run: a fast path stays only where the ratio shows
// that it pays.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/utf8.h"
#include "goals.h"
#include "hosts_core/conflict.h"
#include "hosts_core/entry_key.h"
#include "hosts_core/hostname.h"
#include "hosts_core/line.h"
#include "realistic.h"

namespace {

using hosts_core::block::BlockLine;
using hosts_core::line::EntryView;
using hosts_core::line::LineKind;
using hosts_core::line::MAX_LINE_OCTETS;
using hosts_core::line::MAX_NAMES;

const std::vector<std::string>& lines() {
  static const std::vector<std::string> all = [] {
    std::mt19937 rng(7);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < 4096; ++i) out.push_back(lwk_bench::entry_line(rng, i));
    return out;
  }();
  return all;
}

const std::vector<std::string>& names() {
  static const std::vector<std::string> all = [] {
    std::vector<std::string> out = {"localhost", "broadcasthost", "intranet.test", "Wiki.Test"};
    for (std::size_t i = 0; out.size() < 4096; ++i) {
      // Appended: g++ 12 at -O3 warns falsely (-Wrestrict) on "literal" + std::string.
      const std::string number = std::to_string(i);
      out.push_back(std::string("host-").append(number).append(".example.com"));
      out.push_back(std::string("h").append(number));
    }
    return out;
  }();
  return all;
}

template <class Fault>
void hostname_fault(benchmark::State& state, Fault fault) {
  for (auto _ : state) {
    for (const std::string& name : names()) benchmark::DoNotOptimize(fault(name));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * names().size()));
}
void BM_HostnameFault(benchmark::State& state) {
  hostname_fault(state, hosts_core::hostname::fault_of);
}
void BM_HostnameFaultByRules(benchmark::State& state) {
  hostname_fault(state, hosts_core::hostname::fault_by_rules);
}
BENCHMARK(BM_HostnameFault);
BENCHMARK(BM_HostnameFaultByRules);

void BM_Inspect(benchmark::State& state) {
  EntryView entry;
  for (auto _ : state) {
    for (const std::string& line : lines()) {
      benchmark::DoNotOptimize(
          hosts_core::line::inspect(line, MAX_LINE_OCTETS, MAX_NAMES, &entry, nullptr));
    }
  }
}
void BM_ClassifyWith(benchmark::State& state) {
  for (auto _ : state) {
    for (const std::string& line : lines()) {
      benchmark::DoNotOptimize(hosts_core::line::classify_with(line, MAX_LINE_OCTETS, MAX_NAMES));
    }
  }
}
BENCHMARK(BM_Inspect);
BENCHMARK(BM_ClassifyWith);

// The entries of the lines, as rendering meets them: the same entry once per
// set of the request, so that most inserts find it there already.
struct Entries {
  std::vector<EntryView> views;
  std::vector<hosts_core::line::Entry> entries;
};
const Entries& entries() {
  static const Entries all = [] {
    Entries out;
    for (int copy = 0; copy < 2; ++copy) {
      for (const std::string& line : lines()) {
        EntryView view;
        if (hosts_core::line::inspect(line, MAX_LINE_OCTETS, MAX_NAMES, &view, nullptr) ==
            LineKind::Entry) {
          out.views.push_back(view);
          out.entries.push_back(
              std::get<hosts_core::line::Entry>(hosts_core::line::classify(line).value()));
        }
      }
    }
    return out;
  }();
  return all;
}

void BM_KeyTable(benchmark::State& state) {
  for (auto _ : state) {
    hosts_core::entry_key::KeyTable table;
    for (const EntryView& e : entries().views) {
      benchmark::DoNotOptimize(table.insert(e.address, e.names));
    }
  }
}
void BM_EntryKeySet(benchmark::State& state) {
  for (auto _ : state) {
    std::unordered_set<hosts_core::entry_key::EntryKey> set;
    for (const auto& e : entries().entries) {
      benchmark::DoNotOptimize(set.insert(hosts_core::entry_key::EntryKey::of_line(e)));
    }
  }
}
BENCHMARK(BM_KeyTable);
BENCHMARK(BM_EntryKeySet);

// 32 sets of the lines: the conflict detection of a large request.
const std::vector<hosts_core::conflict::ConflictSet>& conflict_sets() {
  static const std::vector<hosts_core::conflict::ConflictSet> all = [] {
    std::vector<hosts_core::conflict::ConflictSet> out(32);
    for (std::size_t s = 0; s < out.size(); ++s) {
      out[s].label = std::to_string(s);
      for (std::size_t i = s; i < lines().size(); i += out.size()) {
        out[s].lines.push_back(BlockLine{lines()[i], true});
      }
    }
    return out;
  }();
  return all;
}

void BM_Detector(benchmark::State& state) {
  std::vector<std::string> labels;
  for (const auto& set : conflict_sets()) labels.push_back(set.label);
  for (auto _ : state) {
    hosts_core::conflict::Detector detector(lines().size());
    EntryView entry;
    for (std::uint32_t s = 0; s < conflict_sets().size(); ++s) {
      std::uint64_t n = 0;
      for (const BlockLine& l : conflict_sets()[s].lines) {
        ++n;
        if (hosts_core::line::inspect(l.text, MAX_LINE_OCTETS, MAX_NAMES, &entry, nullptr) ==
            LineKind::Entry) {
          detector.add(s, n, entry);
        }
      }
    }
    benchmark::DoNotOptimize(detector.conflicts(labels));
  }
}
void BM_Detect(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(hosts_core::conflict::detect(conflict_sets()));
}
BENCHMARK(BM_Detector);
BENCHMARK(BM_Detect);

template <class Prefix>
void utf8_prefix(benchmark::State& state, Prefix prefix) {
  static const std::string file = lwk_bench::hosts_file(1 << 20);
  for (auto _ : state) benchmark::DoNotOptimize(prefix(file));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
}
void BM_Utf8ValidPrefix(benchmark::State& state) { utf8_prefix(state, lwk::utf8::valid_prefix); }
void BM_Utf8ValidPrefixPlain(benchmark::State& state) {
  utf8_prefix(state, lwk::utf8::valid_prefix_plain);
}
BENCHMARK(BM_Utf8ValidPrefix);
BENCHMARK(BM_Utf8ValidPrefixPlain);

}  // namespace

int main(int argc, char** argv) {
  return lwk_bench::run_with_goals(
      argc, argv,
      {
          {"hostname::fault_of against fault_by_rules", "BM_HostnameFault",
           "BM_HostnameFaultByRules", 1.2},
          {"line::inspect against classify_with", "BM_Inspect", "BM_ClassifyWith", 1.2},
          {"KeyTable against a set of EntryKey", "BM_KeyTable", "BM_EntryKeySet", 1.2},
          {"Detector against detect", "BM_Detector", "BM_Detect", 1.2},
          {"utf8::valid_prefix against valid_prefix_plain", "BM_Utf8ValidPrefix",
           "BM_Utf8ValidPrefixPlain", 1.2},
      });
}
