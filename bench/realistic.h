// Realistic inputs for the benchmarks: hosts-file lines and files like those
// people keep, and the largest request the check lets through.
#ifndef LWK_BENCH_REALISTIC_H_
#define LWK_BENCH_REALISTIC_H_

#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "hosts_core/block.h"
#include "ipc/wire.h"
#include "support/text_store.h"

namespace lwk_bench {

// An entry line: an address (mostly IPv4), one or two names, sometimes a
// trailing comment.
inline std::string entry_line(std::mt19937& rng, std::size_t i) {
  std::uniform_int_distribution<int> octet(0, 255);
  std::string line;
  if (i % 10 == 0) {
    line = "2001:db8:" + std::to_string(i % 65536) + "::" + std::to_string(i % 97 + 1);
  } else {
    line = std::to_string(octet(rng) % 223 + 1) + "." + std::to_string(octet(rng)) + "." +
           std::to_string(octet(rng)) + "." + std::to_string(octet(rng));
  }
  line += "\thost-" + std::to_string(i) + ".example.com";
  if (i % 3 == 0) line += " host-" + std::to_string(i);
  if (i % 7 == 0) line += " # added by hand";
  return line;
}

// A hosts file of at least `bytes` octets: the machine's own names, then
// entry lines with a comment heading every fiftieth.
inline std::string hosts_file(std::size_t bytes) {
  std::mt19937 rng(42);
  std::string file = "127.0.0.1\tlocalhost\n::1\tlocalhost\n# the machine's own names\n\n";
  for (std::size_t i = 0; file.size() < bytes; ++i) {
    file += (i % 50 == 0) ? "# section " + std::to_string(i) : entry_line(rng, i);
    file += '\n';
  }
  return file;
}

// The lines inside a managed block of at least `bytes` octets, as the helper
// writes them: a heading every `lines_per_set` lines, every ninth line
// switched off, entries of one or two names. Its sets' names and lines hold
// fewer octets than the block (no prefixes, no line ends), so that the
// helper's check takes them for a block of up to 1 MiB and a little more.
inline std::string managed_block(std::size_t bytes, std::size_t lines_per_set) {
  std::string block;
  std::size_t set = 0;
  for (std::size_t i = 0; block.size() < bytes; ++i) {
    if (i % lines_per_set == 0) {
      block += std::string(hosts_core::block::NODE_PREFIX) + "set " + std::to_string(set++) + "\n";
    }
    block += i % 9 == 0 ? std::string(hosts_core::block::OFF_PREFIX) : std::string();
    block += "10." + std::to_string(i / 65536 % 256) + "." + std::to_string(i / 256 % 256) + "." +
             std::to_string(i % 256) + "\thost-" + std::to_string(i) + ".example.com";
    block += i % 3 == 0 ? " host-" + std::to_string(i) + "\n" : "\n";
  }
  return block;
}

// A hosts file of about 64 KiB of the machine's own lines and a managed block
// of `block` (managed_block()'s lines).
inline std::string file_with_block(const std::string& block) {
  return hosts_file(64u << 10) + "\n" + std::string(hosts_core::block::OPENING_MARKER) + "\n" +
         block + std::string(hosts_core::block::CLOSING_MARKER) + "\n";
}

// The bytes of an apply request of 256 sets whose names and lines add up to
// exactly 1,048,576 octets, the most the check lets through. Every host name
// is distinct, and ends in "." + domain + ".example", so that requests of two
// domains of one length are as large and render differently.
inline std::string largest_request(const std::string& domain = "project") {
  constexpr std::size_t kTotal = 1u << 20;
  constexpr std::size_t kSets = 256;
  lwk_test::TextStore texts;
  std::vector<hosts_ipc::WireSet> sets(kSets);
  std::size_t used = 0;
  std::size_t n = 0;
  for (std::size_t s = 0; s < kSets; ++s) {
    sets[s].name = texts.keep("project " + std::to_string(s));
    used += sets[s].name.size();
    const std::size_t budget = kTotal * (s + 1) / kSets;
    sets[s].lines.push_back({texts.keep("# hosts of project " + std::to_string(s)), true});
    used += sets[s].lines.back().text.size();
    while (true) {
      ++n;
      std::string line = "10." + std::to_string(n / 65536 % 256) + "." +
                         std::to_string(n / 256 % 256) + "." + std::to_string(n % 256) + " host-" +
                         std::to_string(n) + "." + domain + ".example";
      if (n % 4 == 0) line += " h" + std::to_string(n);
      if (used + line.size() > budget) break;
      used += line.size();
      sets[s].lines.push_back({texts.keep(std::move(line)), n % 9 != 0});
    }
  }
  // Fill to the exact limit with one comment line.
  sets.back().lines.push_back({texts.keep("#" + std::string(kTotal - used - 1, '-')), true});
  return hosts_ipc::encode_request(hosts_ipc::ApplySets{std::move(sets)});
}

}  // namespace lwk_bench

#endif  // LWK_BENCH_REALISTIC_H_
