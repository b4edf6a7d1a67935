#include "hosts_core/conflict.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using hosts_core::address::Address;
using hosts_core::conflict::Conflict;
using hosts_core::conflict::ConflictSet;
using hosts_core::conflict::detect;
using hosts_core::conflict::Party;

const Address kA1 = Address::v4({10, 0, 0, 1});
const Address kA2 = Address::v4({10, 0, 0, 2});
const Address kLoop4 = Address::v4({127, 0, 0, 1});
const Address kLoop6 = Address::v6({0, 0, 0, 0, 0, 0, 0, 1});
const Address kOther6 = Address::v6({0xfe80, 0, 0, 0, 0, 0, 0, 1});

// The sets view their texts, which live as long as the test program.
ConflictSet on(std::string label, std::vector<std::string> lines) {
  static std::vector<std::unique_ptr<std::string>> texts;
  ConflictSet set{std::move(label), {}};
  for (auto& text : lines) {
    texts.push_back(std::make_unique<std::string>(std::move(text)));
    set.lines.push_back({*texts.back(), true});
  }
  return set;
}

TEST(Detect, Cases) {
  struct Case {
    const char* what;
    std::vector<ConflictSet> sets;
    std::vector<Conflict> conflicts;
  };
  ConflictSet with_off = on("0", {"10.0.0.1 h", "10.0.0.2 h", "10.0.0.2 h"});
  with_off.lines[1].enabled = false;
  const Case cases[] = {
      {"no sets", {}, {}},
      {"nothing switched on", {{"0", {{"10.0.0.1 a", false}, {"10.0.0.2 a", false}}}}, {}},
      {"two sets",
       {on("0", {"10.0.0.1 h"}), on("1", {"10.0.0.2 h"})},
       {{"h", {{"0", 1, kA1}, {"1", 1, kA2}}}}},
      {"repeat within a set",
       {on("0", {"10.0.0.1 h", "# x", "10.0.0.1 h"}), on("1", {"10.0.0.2 h"})},
       {{"h", {{"0", 1, kA1}, {"0", 3, kA1}, {"1", 1, kA2}}}}},
      {"first spelling wins",
       {on("0", {"10.0.0.1 Host"}), on("1", {"10.0.0.2 HOST host"})},
       {{"Host", {{"0", 1, kA1}, {"1", 1, kA2}, {"1", 1, kA2}}}}},
      {"families apart", {on("0", {"127.0.0.1 h"}), on("1", {"::1 h"})}, {}},
      {"only the disagreeing family",
       {on("0", {"127.0.0.1 h"}), on("1", {"::1 h"}), on("2", {"10.0.0.1 h"})},
       {{"h", {{"0", 1, kLoop4}, {"2", 1, kA1}}}}},
      {"both families, IPv4 first",
       {on("0", {"::1 h", "10.0.0.1 h"}), on("1", {"fe80::1 h", "10.0.0.2 h"})},
       {{"h", {{"0", 2, kA1}, {"1", 2, kA2}, {"0", 1, kLoop6}, {"1", 1, kOther6}}}}},
      {"two spellings of one IPv6 address",
       {on("0", {"::1 h"}), on("1", {"0:0:0:0:0:0:0:1 H"})},
       {}},
      {"same entry twice", {on("0", {"10.0.0.1 a b"}), on("1", {"10.0.0.1 b a"})}, {}},
      {"switched-off line counts in numbering only",
       {with_off},
       {{"h", {{"0", 1, kA1}, {"0", 3, kA2}}}}},
      {"broken lines never take part",
       {on("0", {"10.0.0.1 h", "10.0.0.2 h bad_name", "10.0.0.3"})},
       {}},
      // Line breaks are white space to classification: the request check
      // refuses such lines, and still reports their conflicts on their own line.
      {"a line break is white space",
       {on("0", {"10.0.0.1 a\nh"}), on("1", {"10.0.0.2 h\r\n"})},
       {{"h", {{"0", 1, kA1}, {"1", 1, kA2}}}}},
      {"an entry after a line break is more names of the first",
       {on("0", {"10.0.0.1 ok\r\n10.0.0.2 h"}), on("1", {"10.0.0.2 h"})},
       {{"h", {{"0", 1, kA1}, {"1", 1, kA2}}}}},
      {"a line break shifts no line number",
       {on("0", {"# x\n# y\n", "10.0.0.1 h"}), on("1", {"10.0.0.2 h"})},
       {{"h", {{"0", 2, kA1}, {"1", 1, kA2}}}}},
      {"order of first sight",
       {on("0", {"10.0.0.1 b a"}), on("1", {"10.0.0.2 a b"})},
       {{"b", {{"0", 1, kA1}, {"1", 1, kA2}}}, {"a", {{"0", 1, kA1}, {"1", 1, kA2}}}}},
  };
  for (const Case& c : cases) EXPECT_EQ(detect(c.sets), c.conflicts) << c.what;
}

}  // namespace

namespace {

using hosts_core::conflict::disagreeing_parties;
using hosts_core::conflict::Record;

TEST(DisagreeingParties, OneFamilyAtATime) {
  const Record record{
      "h", {{"0", 1, kA1}, {"0", 2, kLoop6}, {"1", 1, kA1}, {"1", 4, kA2}, {"2", 1, kLoop6}}};
  EXPECT_EQ(disagreeing_parties(record, hosts_core::address::Family::V4),
            (std::vector<Party>{{"0", 1, kA1}, {"1", 1, kA1}, {"1", 4, kA2}}));
  EXPECT_TRUE(disagreeing_parties(record, hosts_core::address::Family::V6).empty());
  EXPECT_TRUE(disagreeing_parties(Record{"h", {}}, hosts_core::address::Family::V4).empty());
}

}  // namespace
