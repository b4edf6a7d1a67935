#include "client/diff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using lantern_wharf::unified_diff;

constexpr std::size_t kContext = 3;

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    const std::size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
    lines.emplace_back(text.substr(0, end));
    text.remove_prefix(end);
  }
  return lines;
}

// The length of a longest common subsequence, by the plain quadratic table.
std::size_t lcs_length(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  std::vector<std::vector<std::size_t>> table(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      table[i][j] = a[i - 1] == b[j - 1] ? table[i - 1][j - 1] + 1
                                         : std::max(table[i - 1][j], table[i][j - 1]);
    }
  }
  return table[a.size()][b.size()];
}

// The outcome of applying a diff to the text it was made from.
struct Patched {
  std::string text;
  std::size_t removed = 0;
  std::size_t added = 0;
  std::string fault;  // empty when the diff was well formed
};

// Applies `diff` to `before` the way `patch` would, and checks on the way the
// layout of `diff -u`: headers that agree with the hunk bodies, hunks in order
// and apart, exactly three lines of context where the text has them, at most
// six unchanged lines inside a hunk and more than six between two hunks, and
// removed lines before added ones within a change.
Patched patch(std::string_view before, std::string_view diff) {
  const std::vector<std::string> old_lines = lines_of(before);
  std::vector<std::string> rows = lines_of(diff);
  Patched result;
  auto fail = [&result](std::string what) {
    result.fault = std::move(what);
    return result;
  };
  if (diff.empty()) {
    result.text = before;
    return result;
  }
  if (rows.size() < 3 || rows[0] != "--- old\n" || rows[1] != "+++ new\n") return fail("labels");
  std::vector<std::string> out;
  std::size_t old_at = 0;
  std::optional<std::size_t> last_change_end;  // in the old text, after the latest change
  std::size_t row = 2;
  while (row < rows.size()) {
    // Each range is "start,length", or "start" alone for a length of 1.
    std::size_t a = 0, b = 1, c = 0, d = 1;
    int at = 0;
    const char* header = rows[row].c_str();
    const auto range = [&](char mark, std::size_t* start, std::size_t* length) {
      int used = 0;
      const std::string form = std::string(1, mark) + "%zu%n";
      if (std::sscanf(header + at, form.c_str(), start, &used) != 1) return false;
      at += used;
      if (header[at] != ',') return true;
      if (std::sscanf(header + at, ",%zu%n", length, &used) != 1) return false;
      at += used;
      return *length != 1;  // diff -u leaves a length of 1 out
    };
    const bool opened = rows[row].starts_with("@@ ");
    at = 3;
    if (!opened || !range('-', &a, &b) || header[at++] != ' ' || !range('+', &c, &d) ||
        std::string_view(header + at) != " @@\n") {
      return fail("header: " + rows[row]);
    }
    ++row;
    const std::size_t start = b == 0 ? a : a - 1;
    if (start < old_at || start > old_lines.size()) return fail("hunk out of order");
    if ((d == 0 ? c : c - 1) != out.size() + (start - old_at)) return fail("new start");
    out.insert(out.end(), old_lines.begin() + old_at, old_lines.begin() + start);
    old_at = start;
    std::size_t olds = 0, news = 0, context_run = 0, lead = 0;
    bool changed = false;
    char previous = ' ';
    while (row < rows.size() && !rows[row].starts_with("@@")) {
      const char mark = rows[row][0];
      std::string line = rows[row].substr(1);
      ++row;
      if (row < rows.size() && rows[row] == "\\ No newline at end of file\n") {
        line.pop_back();
        ++row;
      }
      if (mark == '-' && previous == '+') return fail("removal after addition");
      if (mark == ' ' || mark == '-') {
        if (old_at >= old_lines.size() || old_lines[old_at] != line) return fail("mismatch");
        ++old_at;
        ++olds;
      }
      if (mark == ' ' || mark == '+') {
        ++news;
      }
      if (mark == ' ') {
        out.push_back(line);
        ++context_run;
      } else if (mark == '+') {
        out.push_back(line);
        ++result.added;
      } else if (mark == '-') {
        ++result.removed;
      } else {
        return fail("mark");
      }
      if (mark != ' ') {
        if (!changed) {
          lead = context_run;
          const std::size_t first_change = old_at - (mark == '-' ? 1 : 0);
          if (last_change_end && first_change - *last_change_end <= 2 * kContext) {
            return fail("hunks not merged");
          }
        } else if (context_run > 2 * kContext) {
          return fail("hunk not split");
        }
        changed = true;
        context_run = 0;
        last_change_end = old_at;
      }
      previous = mark;
    }
    if (!changed) return fail("hunk without change");
    if (olds != b || news != d) return fail("lengths");
    if (lead != std::min(kContext, start + lead)) return fail("leading context");
    if (context_run != std::min(kContext, old_lines.size() - *last_change_end)) {
      return fail("trailing context");
    }
  }
  out.insert(out.end(), old_lines.begin() + old_at, old_lines.end());
  for (const std::string& line : out) result.text += line;
  return result;
}

// Random pairs of texts of few distinct lines, so that lines match often:
// unrelated pairs, and pairs where the second is the first after a few edits,
// long enough to need several hunks.
TEST(UnifiedDiff, IsMinimalAndReproducesTheNewText) {
  std::mt19937 rng(20240611);
  const std::string_view alphabet[] = {"a", "b", "c", ""};
  auto pick = [&rng](std::size_t bound) { return static_cast<std::size_t>(rng() % bound); };
  for (int round = 0; round < 6000; ++round) {
    const std::string eol = pick(2) ? "\n" : "\r\n";
    auto random_line = [&] { return std::string(alphabet[pick(4)]) + eol; };
    auto random_lines = [&](std::size_t count) {
      std::vector<std::string> lines(count);
      for (std::string& line : lines) line = random_line();
      return lines;
    };
    const bool related = round % 2 == 1;
    const std::vector<std::string> first = random_lines(pick(related ? 41 : 13));
    std::vector<std::string> second;
    if (!related) {
      second = random_lines(pick(13));
    } else {
      second = first;
      for (std::size_t edits = 1 + pick(3); edits > 0; --edits) {
        const std::size_t at = pick(second.size() + 1);
        switch (pick(3)) {
          case 0: second.insert(second.begin() + at, random_line()); break;
          case 1:
            if (at < second.size()) second.erase(second.begin() + at);
            break;
          case 2:
            if (at < second.size()) second[at] = random_line();
            break;
        }
      }
    }
    auto join = [&](const std::vector<std::string>& lines) {
      std::string text;
      for (const std::string& line : lines) text += line;
      if (pick(2) && !text.empty()) text.resize(text.size() - (eol.size() == 2 && pick(2) ? 2 : 1));
      return text;
    };
    const std::string before = join(first);
    const std::string after = join(second);
    const std::string diff = unified_diff(before, after, "old", "new");
    const Patched patched = patch(before, diff);
    const std::string shown = "before:\n" + before + "|\nafter:\n" + after + "|\ndiff:\n" + diff;
    ASSERT_EQ(patched.fault, "") << shown;
    ASSERT_EQ(patched.text, after) << shown;
    const auto a = lines_of(before);
    const auto b = lines_of(after);
    ASSERT_EQ(patched.removed + patched.added, a.size() + b.size() - 2 * lcs_length(a, b)) << shown;
    ASSERT_EQ(diff.empty(), before == after) << shown;
  }
}

// Long texts with many scattered changes: the diff stays minimal.
TEST(UnifiedDiff, ManyChangesInLongTexts) {
  struct Case {
    std::size_t lines;
    std::size_t edits;  // removed plus added lines expected
  };
  const Case cases[] = {
      {2000, 2000},    // every other line replaced: 1000 removed, 1000 added
      {20000, 20000},  // 10,000 replaced
  };
  for (const Case& c : cases) {
    std::string before;
    std::string after;
    for (std::size_t i = 0; i < c.lines; ++i) {
      before += "10.0.0." + std::to_string(i) + " host\n";
      after += (i % 2 == 1 ? "10.1.0." : "10.0.0.") + std::to_string(i) + " host\n";
    }
    const Patched patched = patch(before, unified_diff(before, after, "old", "new"));
    EXPECT_EQ(patched.fault, "") << c.lines;
    EXPECT_EQ(patched.text, after) << c.lines;
    EXPECT_EQ(patched.removed + patched.added, c.edits) << c.lines;
  }
}

// Exact output, checked against what GNU `diff -u` prints for the same files
// (a one-line range written without its length, as diff -u writes it).
TEST(UnifiedDiff, Hunks) {
  struct Case {
    std::string before;
    std::string after;
    std::string diff;
  };
  const Case cases[] = {
      {"same\n", "same\n", ""},
      {"", "a\n", "@@ -0,0 +1 @@\n+a\n"},
      {"a\n", "", "@@ -1 +0,0 @@\n-a\n"},
      {"1\n2\n3\n4\n5\nold\n6\n7\n8\n9\n", "1\n2\n3\n4\n5\nnew\n6\n7\n8\n9\n",
       "@@ -3,7 +3,7 @@\n 3\n 4\n 5\n-old\n+new\n 6\n 7\n 8\n"},
      {"a\nb", "a\nb\n", "@@ -1,2 +1,2 @@\n a\n-b\n\\ No newline at end of file\n+b\n"},
      {"x\r\n", "x\r\ny\r\n", "@@ -1 +1,2 @@\n x\r\n+y\r\n"},
      {"a\nb\nc\n", "a\nc\n", "@@ -1,3 +1,2 @@\n a\n-b\n c\n"},
      // Seven unchanged lines between two changes: two hunks.
      {"1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n", "X\n2\n3\n4\n5\n6\n7\n8\nY\n10\n11\n",
       "@@ -1,4 +1,4 @@\n-1\n+X\n 2\n 3\n 4\n"
       "@@ -6,6 +6,6 @@\n 6\n 7\n 8\n-9\n+Y\n 10\n 11\n"},
      // Six: one hunk.
      {"1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n", "X\n2\n3\n4\n5\n6\n7\nY\n9\n10\n",
       "@@ -1,10 +1,10 @@\n-1\n+X\n 2\n 3\n 4\n 5\n 6\n 7\n-8\n+Y\n 9\n 10\n"},
      {"1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11\r\n12\r\nend",
       "new\r\n1\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11\r\n12\r\nend\r\n",
       "@@ -1,5 +1,5 @@\n+new\r\n 1\r\n-2\r\n 3\r\n 4\r\n 5\r\n"
       "@@ -10,4 +10,4 @@\n 10\r\n 11\r\n 12\r\n-end\n\\ No newline at end of file\n+end\r\n"},
  };
  for (const Case& c : cases) {
    const std::string diff = unified_diff(c.before, c.after, "old", "new");
    if (c.diff.empty()) {
      EXPECT_EQ(diff, "");
    } else {
      EXPECT_EQ(diff, "--- old\n+++ new\n" + c.diff) << c.before << "|" << c.after;
    }
  }
}

}  // namespace
