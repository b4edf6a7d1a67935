#include "diff.h"

#include <gtest/gtest.h>

namespace {

using lantern_wharf::unified_diff;

TEST(UnifiedDiff, Hunks) {
  struct Case {
    std::string before;
    std::string after;
    std::string diff;
  };
  const Case cases[] = {
      {"same\n", "same\n", ""},
      {"", "a\n", "@@ -0,0 +1,1 @@\n+a\n"},
      {"a\n", "", "@@ -1,1 +0,0 @@\n-a\n"},
      {"1\n2\n3\n4\n5\nold\n6\n7\n8\n9\n", "1\n2\n3\n4\n5\nnew\n6\n7\n8\n9\n",
       "@@ -3,7 +3,7 @@\n 3\n 4\n 5\n-old\n+new\n 6\n 7\n 8\n"},
      {"a\nb", "a\nb\n", "@@ -1,2 +1,2 @@\n a\n-b\n\\ No newline at end of file\n+b\n"},
      {"x\r\n", "x\r\ny\r\n", "@@ -1,1 +1,2 @@\n x\r\n+y\r\n"},
      {"a\nb\nc\n", "a\nc\n", "@@ -1,3 +1,2 @@\n a\n-b\n c\n"},
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
