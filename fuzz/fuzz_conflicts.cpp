// Sets of fuzzed lines: the Detector, fed what inspect() finds, reports the
// conflicts that detect() reports, and the KeyTable that rendering keeps tells
// entries apart exactly as EntryKey does.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "hosts_core/conflict.h"
#include "hosts_core/line.h"
#include "support/differential.h"
#include "support/text_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  lwk_test::TextStore texts;  // what the sets and the table view
  std::vector<hosts_core::conflict::ConflictSet> sets(in.ConsumeIntegralInRange<std::size_t>(0, 4));
  for (std::size_t s = 0; s < sets.size(); ++s) {
    sets[s].label = std::to_string(s);
    for (std::size_t l = 0, n = in.ConsumeIntegralInRange<std::size_t>(0, 8); l < n; ++l) {
      const bool enabled = in.ConsumeBool();
      sets[s].lines.push_back({texts.keep(in.ConsumeRandomLengthString(80)), enabled});
    }
  }
  if (auto differ = lwk_test::detector_disagrees(sets)) lwk::fatal(differ->c_str());

  lwk_test::KeyTableDifferential table;
  hosts_core::line::EntryView entry;
  for (const auto& set : sets) {
    for (const auto& line : set.lines) {
      if (hosts_core::line::inspect(line.text, hosts_core::line::MAX_LINE_OCTETS,
                                    hosts_core::line::MAX_NAMES, &entry,
                                    nullptr) != hosts_core::line::LineKind::Entry) {
        continue;
      }
      if (auto differ = table.insert(entry.address, entry.names)) lwk::fatal(differ->c_str());
    }
  }
  return 0;
}
