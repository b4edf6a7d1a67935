#include "hosts_core/entry_key.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "hosts_core/line.h"

namespace {

using hosts_core::address::Address;
using hosts_core::entry_key::EntryKey;
using hosts_core::entry_key::KeyTable;

EntryKey key_of(const std::string& line) {
  auto r = hosts_core::line::classify(line);
  return EntryKey::of_line(std::get<hosts_core::line::Entry>(r.value()));
}

TEST(EntryKey, EqualityFoldsCaseOnly) {
  EXPECT_EQ(key_of("10.0.0.1 Host.Example A"), key_of("10.0.0.1\thost.example  a # x"));
  EXPECT_EQ(key_of("::1 h"), key_of("0:0::1 H"));
  EXPECT_EQ(key_of("::1 h").hash(), key_of("0:0::1 H").hash());
  EXPECT_FALSE(key_of("10.0.0.1 a b") == key_of("10.0.0.1 b a"));
  EXPECT_FALSE(key_of("10.0.0.1 a") == key_of("10.0.0.2 a"));
  EXPECT_FALSE(key_of("10.0.0.1 ab") == key_of("10.0.0.1 a b"));
}

TEST(KeyTable, IdsInOrderOfFirstSight) {
  KeyTable table;
  const Address a = Address::v4({10, 0, 0, 1});
  const std::vector<std::string_view> one = {"x"};
  const std::vector<std::string_view> two = {"x", "y"};
  EXPECT_EQ(table.insert(a, one), std::make_pair(0u, true));
  EXPECT_EQ(table.insert(a, two), std::make_pair(1u, true));
  EXPECT_EQ(table.insert(Address::v4({10, 0, 0, 2}), one), std::make_pair(2u, true));
  EXPECT_EQ(table.insert(a, std::vector<std::string_view>{"X"}), std::make_pair(0u, false));
  EXPECT_EQ(table.insert(a, std::vector<std::string_view>{"xy"}), std::make_pair(3u, true));
  EXPECT_EQ(table.insert(a, std::vector<std::string_view>{}), std::make_pair(4u, true));
  EXPECT_EQ(table.size(), 5u);
}

// Against EntryKey's plain rules, on many names of every length, with random
// letter case and every octet that may stand in a name: the table finds a key
// again in any case, and tells different keys apart.
TEST(KeyTable, AgreesWithEntryKeyOnManyNames) {
  std::mt19937 rng(99);
  const std::string alphabet =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-.@[`{";
  std::vector<std::string> names;
  KeyTable table;
  const Address a = Address::v6({1, 2, 3, 4, 5, 6, 7, 8});
  for (int i = 0; i < 4000; ++i) {
    std::string name;
    for (std::size_t k = 0, n = 1 + rng() % 40; k < n; ++k)
      name += alphabet[rng() % alphabet.size()];
    names.push_back(name);
  }
  std::vector<std::uint32_t> ids;
  for (const std::string& name : names) {
    const std::string_view view = name;
    ids.push_back(table.insert(a, std::span(&view, 1)).first);
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string varied = names[i];
    for (char& c : varied) {
      if (rng() % 2 == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (rng() % 2 == 0 && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    const std::string_view view = varied;
    const auto [id, added] = table.insert(a, std::span(&view, 1));
    EXPECT_FALSE(added) << varied;
    // The first of the names that fold alike owns the id.
    const std::string folded = hosts_core::entry_key::ascii_lower(names[i]);
    std::size_t first = 0;
    while (hosts_core::entry_key::ascii_lower(names[first]) != folded) ++first;
    EXPECT_EQ(id, ids[first]) << names[i];
  }
}

}  // namespace
