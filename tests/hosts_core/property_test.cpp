// Properties of reading and rendering, over files and sets made by a small
// seeded generator: rendering a file that reads, with sets whose lines
// classify, gives a text that reads again, keeps head and tail byte for byte,
// and renders to the same bytes a second time.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "hosts_core/block.h"
#include "hosts_core/line.h"
#include "hosts_core/markup.h"
#include "support/render_exception.h"
#include "support/text_store.h"

namespace {

using hosts_core::block::BlockLine;
using hosts_core::block::BlockSet;
using hosts_core::block::ManagedFile;

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  std::size_t below(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }
  bool chance(int percent) { return below(100) < static_cast<std::size_t>(percent); }

  std::string pick(const std::vector<std::string>& options) {
    return options[below(options.size())];
  }

  // `prefix` followed by `n` in decimal. Appended rather than written as
  // "literal" + std::string: g++ 12 at -O3 warns falsely (-Wrestrict) inside
  // libstdc++ on that operator.
  static std::string numbered(std::string prefix, std::size_t n) {
    return prefix.append(std::to_string(n));
  }

  std::string address() {
    if (chance(60)) {
      return std::to_string(below(256)) + "." + std::to_string(below(256)) + "." +
             std::to_string(below(256)) + "." + std::to_string(below(256));
    }
    return pick({"::1", "fe80::1%en0", "::ffff:10.0.0.1", numbered("2001:db8::", below(9)),
                 "1:2:3:4:5:6:7:8"});
  }

  std::string name() {
    return pick({"a", "host", "Host", "intranet.test", "wiki.test", "x-y.example",
                 numbered("n", below(20))});
  }

  std::string space() { return pick({" ", "\t", "  ", " \t", "\xC2\xA0"}); }

  // A line that classifies (blank, comment or entry).
  std::string valid_line() {
    switch (below(4)) {
      case 0: return pick({"", " ", "\t \t"});
      case 1: return pick({"#", "# note", "  # >>> not the marker", "\t#x"});
      default: {
        std::string line = address();
        for (std::size_t i = 0, n = 1 + below(4); i < n; ++i) line += space() + name();
        if (chance(30)) line += " # trailing";
        return line;
      }
    }
  }

  // Any line of an ordinary file: valid, broken, or with odd bytes.
  std::string file_line() {
    if (chance(60)) return valid_line();
    return pick({"garbage here", "bad_host 1.2.3.4", "caf\xC3\xA9 \xE2\x80\x94", "a\rb", "\r",
                 "# >>> lantern-wharf node: looks like a heading"});
  }

  std::string ending(bool crlf) { return crlf ? "\r\n" : "\n"; }

  std::string file() {
    const bool crlf = chance(30);
    std::string out;
    const std::size_t lines = below(6);
    for (std::size_t i = 0; i < lines; ++i) out += file_line() + ending(crlf && chance(90));
    if (chance(50)) {
      out += std::string(hosts_core::markup::OPENING_MARKER) + ending(crlf);
      for (std::size_t i = 0, n = below(4); i < n; ++i) out += file_line() + ending(crlf);
      out += std::string(hosts_core::markup::CLOSING_MARKER);
      if (chance(20)) return out;  // the closing marker ends the file unterminated
      out += ending(crlf);
      for (std::size_t i = 0, n = below(3); i < n; ++i) out += file_line() + ending(crlf);
    }
    if (chance(30)) out += pick({"last", "last\r", "10.0.0.1 end"});
    return out;
  }

  std::vector<BlockSet> sets() {
    std::vector<BlockSet> out;
    for (std::size_t i = 0, n = below(4); i < n; ++i) {
      BlockSet set{texts_.keep(pick({"work", "home", "a\nb", "c\\r\r", ""})), {}};
      for (std::size_t j = 0, m = below(5); j < m; ++j) {
        const bool on = chance(75);
        set.lines.push_back({texts_.keep(on ? valid_line() : file_line()), on});
      }
      out.push_back(std::move(set));
    }
    return out;
  }

 private:
  std::mt19937 rng_;
  lwk_test::TextStore texts_;  // what the sets view
};

TEST(RenderProperty, ReadsAgainKeepsHeadAndTailAndIsStable) {
  for (unsigned seed = 1; seed <= 3000; ++seed) {
    Generator gen(seed);
    const std::string file = gen.file();
    const std::vector<BlockSet> sets = gen.sets();
    for (const auto& set : sets) {
      for (const auto& l : set.lines) {
        if (l.enabled) {
          ASSERT_TRUE(hosts_core::line::classify(l.text).has_value()) << l.text;
        }
      }
    }
    auto first = ManagedFile::read(file);
    ASSERT_TRUE(first.has_value()) << "seed " << seed;
    const std::string once = first->render(sets);
    ASSERT_TRUE(once.starts_with(first->head)) << "seed " << seed;
    if (first->body) {
      ASSERT_TRUE(once.ends_with(first->tail)) << "seed " << seed;
    } else if (sets.empty()) {
      ASSERT_EQ(once, file) << "seed " << seed;
    }

    auto second = ManagedFile::read(once);
    ASSERT_TRUE(second.has_value()) << "seed " << seed << ": " << second.error().message;
    if (first->body) {
      EXPECT_EQ(second->head, first->head) << "seed " << seed;
      EXPECT_EQ(second->tail, first->tail) << "seed " << seed;
    }
    if (lwk_test::renders_differently_twice(file)) continue;
    EXPECT_EQ(second->render(sets), once) << "seed " << seed;
  }
}

TEST(RenderProperty, TheDocumentedExceptionSwitchesToCrLf) {
  const std::vector<BlockSet> sets = {{"s", {}}};
  auto first = ManagedFile::read("last\r");
  ASSERT_TRUE(first.has_value());
  const std::string once = first->render(sets);
  auto second = ManagedFile::read(once);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->newline, "\r\n");
  EXPECT_NE(second->render(sets), once);
}

}  // namespace
