// Whatever passes the check renders into any file that reads to a file that
// reads again, and renders the same a second time.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "helper_core/check.h"
#include "hosts_core/block.h"
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

}  // namespace
