// Whatever passes the check renders into any file that reads to a file that
// reads again, and renders the same a second time.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "check/check.h"
#include "hosts_core/block.h"
#include "hosts_core/entry_key.h"
#include "hosts_core/line.h"
#include "support/text_store.h"

namespace {

using hosts_ipc::WireLine;
using hosts_ipc::WireSet;

const std::vector<std::string> kPieces = {
    "10.0.0.1",
    " ",
    "\t",
    "host",
    "Host.example",
    "::1",
    "#",
    "\n",
    "\r",
    "\\",
    "\xC2\xA0",
    "\xE2\x80\x94",
    "# >>> lantern-wharf managed block \xE2\x80\x94 do not edit >>>",
    "# <<< lantern-wharf <<<",
    "# >>> lantern-wharf node: ",
    "# lantern-wharf off: ",
    "bad_name",
    "0.0.0.0",
};

std::string_view text(std::mt19937& rng, lwk_test::TextStore& store) {
  std::string out;
  const std::size_t n = rng() % 5;
  for (std::size_t i = 0; i < n; ++i) out += kPieces[rng() % kPieces.size()];
  return store.keep(std::move(out));
}

TEST(CheckProperty, PassingSetsAlwaysRenderToAReadableFile) {
  const std::vector<std::string> files = {
      "",
      "127.0.0.1 localhost\n",
      "a\r\nb",
      "x\n# >>> lantern-wharf managed block \xE2\x80\x94 do not edit >>>\nold\n# <<< lantern-wharf "
      "<<<\ny\n",
  };
  int passed = 0;
  for (unsigned seed = 1; seed <= 20000; ++seed) {
    std::mt19937 rng(seed);
    lwk_test::TextStore store;
    std::vector<WireSet> sets(rng() % 3);
    for (auto& set : sets) {
      set.name = text(rng, store);
      set.lines.resize(rng() % 4);
      for (auto& line : set.lines) line = WireLine{text(rng, store), rng() % 2 == 0};
    }
    auto checked =
        hosts_helper_core::check::check(sets, hosts_helper_core::check::Limits::service());
    if (!checked) continue;
    ++passed;
    const std::string& file = files[seed % files.size()];
    auto read = hosts_core::block::ManagedFile::read(file);
    ASSERT_TRUE(read.has_value());
    const std::string once = read->render(*checked);
    auto again = hosts_core::block::ManagedFile::read(once);
    ASSERT_TRUE(again.has_value()) << "seed " << seed << ": " << again.error().message;
    EXPECT_EQ(again->render(*checked), once) << "seed " << seed;
  }
  EXPECT_GT(passed, 1000);  // the generator really reaches the rendering
}

// The key of a switched-on entry line, found the plain way; nothing for any
// other line.
std::optional<hosts_core::entry_key::EntryKey> key_of(const hosts_core::block::BlockLine& line) {
  if (!line.enabled) return std::nullopt;
  auto classified = hosts_core::line::classify(line.text);
  if (!classified) return std::nullopt;
  const auto* entry = std::get_if<hosts_core::line::Entry>(&*classified);
  if (entry == nullptr) return std::nullopt;
  return hosts_core::entry_key::EntryKey::of_line(*entry);
}

TEST(CheckProperty, ReadingBackInvertsRendering) {
  const std::string_view kEntries[] = {"10.0.0.1 host", "10.0.0.1 HOST", "10.0.0.1  host",
                                       "::1 host", "0:0::1 host x"};
  const std::string files[] = {"", "127.0.0.1 localhost\n", "a\r\nb\r\n",
                               "x\n# >>> lantern-wharf managed block \xE2\x80\x94 do not edit "
                               ">>>\nold\n# <<< lantern-wharf <<<\ny\n"};
  int passed = 0;
  int left_out = 0;
  for (unsigned seed = 1; seed <= 20000; ++seed) {
    std::mt19937 rng(seed);
    lwk_test::TextStore store;
    std::vector<WireSet> sets(rng() % 4);
    for (auto& set : sets) {
      set.name = text(rng, store);
      set.lines.resize(rng() % 5);
      for (auto& line : set.lines) {
        // Whole entries now and then, so that some repeat one another.
        const std::string_view whole = kEntries[rng() % std::size(kEntries)];
        line = WireLine{rng() % 3 == 0 ? whole : text(rng, store), rng() % 2 == 0};
      }
    }
    auto checked =
        hosts_helper_core::check::check(sets, hosts_helper_core::check::Limits::service());
    if (!checked) continue;
    ++passed;
    auto file = hosts_core::block::ManagedFile::read(files[seed % std::size(files)]);
    ASSERT_TRUE(file.has_value());
    const std::string rendered = file->render(*checked);
    auto again = hosts_core::block::ManagedFile::read(rendered);
    ASSERT_TRUE(again.has_value()) << "seed " << seed;
    auto read_back = again->read_sets();
    ASSERT_TRUE(read_back.has_value()) << "seed " << seed << ": " << read_back.error().message;
    // The same sets, less only entries whose key a line kept before them wrote.
    ASSERT_EQ(read_back->size(), checked->size()) << "seed " << seed;
    std::vector<hosts_core::entry_key::EntryKey> written;
    std::vector<hosts_core::block::BlockSet> as_given;
    for (std::size_t i = 0; i < checked->size(); ++i) {
      const auto& given = (*checked)[i];
      const auto& back = (*read_back)[i];
      EXPECT_EQ(back.name, std::string(given.name)) << "seed " << seed;
      std::size_t next = 0;
      for (const auto& line : given.lines) {
        const auto key = key_of(line);
        const bool repeated =
            key && std::find(written.begin(), written.end(), *key) != written.end();
        if (repeated) {
          ++left_out;
          continue;
        }
        ASSERT_LT(next, back.lines.size()) << "seed " << seed;
        EXPECT_EQ(back.lines[next++], line) << "seed " << seed;
        if (key) written.push_back(*key);
      }
      EXPECT_EQ(next, back.lines.size()) << "seed " << seed;
      as_given.push_back({back.name, back.lines});
    }
    // And what was read back renders to the very same bytes.
    EXPECT_EQ(again->render(as_given), rendered) << "seed " << seed;
  }
  EXPECT_GT(passed, 1000);
  EXPECT_GT(left_out, 10);  // repeated entries really are left out and accounted for
}

}  // namespace
