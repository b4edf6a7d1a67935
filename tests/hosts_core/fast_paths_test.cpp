// Each fast path of the model against the plain version of its rule, on
// random and adversarial input: the fast one must give the same answer for
// every text, or it is wrong however fast it is.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/adversarial.h"
#include "support/differential.h"
#include "support/text_store.h"

namespace {

using hosts_core::address::Address;
using lwk_test::adversarial_text;

constexpr int kRounds = 30000;

// A text of the octets a host name may hold and their nearest neighbours, so
// that most texts are names or nearly names: of any length up to past 253.
std::string name_like(std::mt19937& rng) {
  static const std::string alphabet = "aAzZ09-.-./_`{@[:";
  std::string out(rng() % 260, 'a');
  for (char& c : out) {
    if (rng() % 4 == 0) c = alphabet[rng() % alphabet.size()];
  }
  return out;
}

TEST(FastPaths, HostnameFastTestAgreesWithTheRules) {
  std::mt19937 rng(1);
  for (int i = 0; i < kRounds; ++i) {
    const std::string text =
        i % 2 == 0 ? name_like(rng) : adversarial_text(rng, i % 3 == 0 ? 40 : 6);
    ASSERT_EQ(lwk_test::hostname_disagrees(text), std::nullopt) << testing::PrintToString(text);
  }
}

TEST(FastPaths, Utf8FastSkipAgreesWithDecoding) {
  std::mt19937 rng(2);
  for (int i = 0; i < kRounds; ++i) {
    const std::string text =
        i % 2 == 0 ? lwk_test::random_octets(rng, 40) : adversarial_text(rng, 12);
    ASSERT_EQ(lwk_test::utf8_disagrees(text), std::nullopt) << testing::PrintToString(text);
  }
}

// Address::parse takes a one-pass path for the common IPv4 address; on any
// text without ":" or "%" it must say what parse_v4 says.
TEST(FastPaths, CommonIpv4PathAgreesWithParseV4) {
  std::mt19937 rng(3);
  // Parts at the edges of the rules: lengths, leading zeros, 255 and 256.
  static const std::vector<std::string> parts = {
      "0",   "1",   "9",   "10",  "99",  "100", "199", "200", "249",  "250", "255",
      "256", "260", "299", "300", "999", "00",  "01",  "010", "1000", "",    "1x"};
  for (int i = 0; i < kRounds; ++i) {
    std::string text = parts[rng() % parts.size()];
    for (std::size_t k = 0, n = 1 + rng() % 5; k < n; ++k)
      text += "." + parts[rng() % parts.size()];
    if (i % 7 == 0) text += " ";
    ASSERT_EQ(lwk_test::address_disagrees(text), std::nullopt) << text;
  }
}

TEST(FastPaths, InspectAgreesWithClassifyWith) {
  std::mt19937 rng(4);
  for (int i = 0; i < kRounds; ++i) {
    std::string text = adversarial_text(rng, i % 5 == 0 ? 60 : 8);
    if (i % 3 == 0) text = "10.0.0." + std::to_string(i % 300) + " " + text;
    // The service's limits, and small ones that the texts reach.
    const bool small = i % 4 == 0;
    const std::size_t octets = small ? rng() % 80 : hosts_core::line::MAX_LINE_OCTETS;
    const std::size_t names = small ? rng() % 4 : hosts_core::line::MAX_NAMES;
    ASSERT_EQ(lwk_test::inspect_disagrees(text, octets, names), std::nullopt)
        << testing::PrintToString(text) << " under " << octets << " and " << names;
  }
}

TEST(FastPaths, KeyTableAgreesWithEntryKeys) {
  std::mt19937 rng(5);
  const Address addresses[] = {Address::v4({10, 0, 0, 1}), Address::v4({10, 0, 0, 2}),
                               Address::v6({0, 0, 0, 0, 0, 0, 0x0A00, 1}),
                               Address::v6({0, 0, 0, 0, 0, 0, 0, 1})};
  // Names that differ in case only, that split one name in two ("ab" and "a",
  // "b"), and that run past the eight-octet words.
  const std::vector<std::string> pool = {"a",        "A",         "b",         "ab",
                                         "AB",       "host-1",    "HOST-1",    "host-12345678",
                                         "Host-123", "host-1234", "h.example", "H.EXAMPLE"};
  lwk_test::TextStore texts;  // the table keeps views of the names
  for (int round = 0; round < 200; ++round) {
    lwk_test::KeyTableDifferential table;
    for (int i = 0; i < 300; ++i) {
      std::vector<std::string_view> names;
      for (std::size_t k = 0, n = rng() % 4; k < n; ++k) {
        names.push_back(texts.keep(pool[rng() % pool.size()]));
      }
      ASSERT_EQ(table.insert(addresses[rng() % 4], names), std::nullopt) << "round " << round;
    }
  }
}

TEST(FastPaths, DetectorAgreesWithDetect) {
  std::mt19937 rng(6);
  const std::vector<std::string> addresses = {"10.0.0.1", "10.0.0.2", "010.0.0.1", "::1",
                                              "0::1",     "fe80::1",  "bad"};
  const std::vector<std::string> names = {"a", "A", "b", "shared", "SHARED", "bad_name", "x.y"};
  for (int round = 0; round < 3000; ++round) {
    lwk_test::TextStore texts;
    std::vector<hosts_core::conflict::ConflictSet> sets(rng() % 4);
    for (std::size_t s = 0; s < sets.size(); ++s) {
      sets[s].label = std::to_string(s);
      for (std::size_t l = 0, n = rng() % 6; l < n; ++l) {
        std::string line = rng() % 8 == 0 ? "# note" : addresses[rng() % addresses.size()];
        for (std::size_t k = 0, m = rng() % 4; k < m; ++k)
          line += " " + names[rng() % names.size()];
        sets[s].lines.push_back({texts.keep(line), rng() % 5 != 0});
      }
    }
    ASSERT_EQ(lwk_test::detector_disagrees(sets), std::nullopt) << "round " << round;
  }
}

}  // namespace
