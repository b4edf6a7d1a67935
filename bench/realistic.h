// Realistic inputs for the benchmarks: hosts-file lines and files like those
// people keep, and the largest request the check lets through.
#ifndef LWK_BENCH_REALISTIC_H_
#define LWK_BENCH_REALISTIC_H_

#include <cstddef>
#include <random>
#include <string>

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

}  // namespace lwk_bench

#endif  // LWK_BENCH_REALISTIC_H_
