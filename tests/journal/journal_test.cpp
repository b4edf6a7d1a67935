#include "journal/journal.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "paths/paths.h"
#include "support/temp_dir.h"

namespace {

using std::chrono::seconds;
using std::chrono::system_clock;

system_clock::time_point at(std::int64_t s) { return system_clock::time_point(seconds(s)); }

TEST(Stamp, FixedPoints) {
  struct Case {
    system_clock::time_point when;
    const char* stamp;
  };
  const Case cases[] = {
      {at(0), "1970-01-01 00:00:00Z"},
      {at(86399), "1970-01-01 23:59:59Z"},
      {at(951782400), "2000-02-29 00:00:00Z"},
      {at(951782400) + std::chrono::milliseconds(999), "2000-02-29 00:00:00Z"},
      {at(951782399) + std::chrono::microseconds(1), "2000-02-28 23:59:59Z"},
      {at(1796613074), "2026-12-07 03:11:14Z"},
      {at(4107542400), "2100-03-01 00:00:00Z"},  // 2100 is not a leap year
      {at(-1), "1970-01-01 00:00:00Z"},
      {at(-86400 * 400), "1970-01-01 00:00:00Z"},
  };
  for (const Case& c : cases) EXPECT_EQ(hosts_journal::stamp_at(c.when), c.stamp);
  EXPECT_TRUE(
      std::regex_match(hosts_journal::stamp(), std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\dZ)")));
}

TEST(Journal, NoteCreatesTheDirectoryAndAppendsWholeLines) {
  lwk_test::TempDir dir;
  const std::string log = dir / "store/deeper/helper.log";
  testing::internal::CaptureStderr();
  hosts_journal::note(log, "first");
  hosts_journal::note(log, "two\nlines");
  const std::string err = testing::internal::GetCapturedStderr();
  const std::regex line(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\dZ )");
  const std::string file = lwk_test::slurp(log);
  EXPECT_TRUE(
      std::regex_match(file, std::regex(R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\dZ first\n))"
                                        R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\dZ two\nlines\n))")))
      << file;
  EXPECT_EQ(err, file);  // the same lines went to standard error
}

TEST(Journal, FailuresToWriteTheFileAreNotReported) {
  lwk_test::TempDir dir;
  lwk_test::spit(dir / "blocker", "a file where a directory should be");
  testing::internal::CaptureStderr();
  hosts_journal::note(dir / "blocker/helper.log", "still said");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(err.ends_with(" still said\n")) << err;
  EXPECT_EQ(lwk_test::slurp(dir / "blocker"), "a file where a directory should be");
}

TEST(Journal, SayWritesToStandardErrorOnly) {
  lwk_test::TempDir dir;
  testing::internal::CaptureStderr();
  hosts_journal::say("removed everything this side keeps");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(std::regex_match(
      err, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\dZ removed everything this side keeps\n)")));
  EXPECT_TRUE(lwk_test::names_in(dir.path()).empty());
}

// Four threads write 1.5 MiB of lines between them: the log is moved aside
// once, before the line that would take it past 1 MiB, and no line is lost or
// torn.
TEST(Journal, TheLogIsRotatedAtItsBoundAndNoLineIsLost) {
  lwk_test::TempDir dir;
  const std::string log = dir / "store/helper.log";
  const std::string padding(180, '.');
  constexpr int kThreads = 4;
  constexpr int kLines = 2000;
  testing::internal::CaptureStderr();
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i) {
        hosts_journal::note(log, std::to_string(t) + ":" + std::to_string(i) + padding);
      }
    });
  }
  for (auto& w : writers) w.join();
  (void)testing::internal::GetCapturedStderr();
  const std::string older = lwk_test::slurp(log + ".1");
  const std::string newer = lwk_test::slurp(log);
  EXPECT_LE(older.size(), hosts_journal::LOG_LIMIT);
  EXPECT_GT(older.size(), hosts_journal::LOG_LIMIT - 300);  // full, short of one line
  EXPECT_LE(newer.size(), hosts_journal::LOG_LIMIT);
  std::set<std::string> seen;
  const std::regex line(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\dZ (\d+:\d+)\.{180})");
  for (const std::string& text : {older, newer}) {
    std::istringstream lines(text);
    for (std::string l; std::getline(lines, l);) {
      std::smatch m;
      ASSERT_TRUE(std::regex_match(l, m, line)) << l;
      seen.insert(m[1]);
    }
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

TEST(FixedPaths, Paths) {
  EXPECT_EQ(hosts_paths::system_file(), "/etc/hosts");
  EXPECT_EQ(hosts_paths::store_directory(), "/var/db/lantern-wharf-kit");
  EXPECT_EQ(hosts_paths::helper_log_file(), "/var/db/lantern-wharf-kit/helper.log");
}

}  // namespace
