#include "journal/journal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A line longer than a pipe takes in one piece goes to standard error cut
// short of the sequence that would be split, with a line feed; the log has it
// whole.
TEST(Journal, ALongLineIsCutOnStandardErrorOnly) {
  lwk_test::TempDir dir;
  const std::string log = dir / "helper.log";
  std::string message = "x";
  for (int i = 0; i < 3000; ++i) message += "\xC3\xA9";  // é
  testing::internal::CaptureStderr();
  hosts_journal::note(log, message);
  const std::string err = testing::internal::GetCapturedStderr();
  const std::string line = lwk_test::slurp(log);
  ASSERT_EQ(line.size(), hosts_journal::stamp().size() + 1 + message.size() + 1);
  // PIPE_BUF - 1 octets would end on the first half of an é.
  EXPECT_EQ(err, line.substr(0, PIPE_BUF - 2) + "\n");
}

// A line that brings the log to exactly its limit is appended; one octet more
// moves the log aside first.
TEST(Journal, TheLogRotatesOnlyPastItsLimit) {
  const std::string message = "at the boundary";
  const std::uint64_t line_size = hosts_journal::stamp().size() + 1 + message.size() + 1;
  struct Case {
    const char* what;
    std::uint64_t before;
    bool rotated;
  };
  const Case cases[] = {
      {"exactly the limit after the line", hosts_journal::LOG_LIMIT - line_size, false},
      {"one octet past the limit", hosts_journal::LOG_LIMIT - line_size + 1, true},
      {"a full log", hosts_journal::LOG_LIMIT, true},
  };
  for (const Case& c : cases) {
    lwk_test::TempDir dir;
    const std::string log = dir / "helper.log";
    const std::string old(c.before, 'x');
    lwk_test::spit(log, old);
    testing::internal::CaptureStderr();
    hosts_journal::note(log, message);
    (void)testing::internal::GetCapturedStderr();
    const std::string now = lwk_test::slurp(log);
    EXPECT_TRUE(now.ends_with(" " + message + "\n")) << c.what;
    if (c.rotated) {
      EXPECT_EQ(lwk_test::slurp(log + ".1"), old) << c.what;
      EXPECT_EQ(now.size(), line_size) << c.what;
    } else {
      EXPECT_FALSE(lwk_test::exists(log + ".1")) << c.what;
      EXPECT_EQ(now.size(), c.before + line_size) << c.what;
    }
  }
}

// A link planted where the log or its older half goes is never written
// through: the line is not written to the file, and rotation replaces the
// link instead of following it.
TEST(Journal, NeverWritesThroughALinkAtTheLogsPaths) {
  struct Case {
    const char* what;
    const char* link;  // its name in the store
    bool target_exists;
    bool full_log;  // the next line rotates
  };
  const Case cases[] = {
      {"the log is a link to a file", "helper.log", true, false},
      {"the log is a link to nothing", "helper.log", false, false},
      {"the older log is a link, at rotation", "helper.log.1", true, true},
  };
  for (const Case& c : cases) {
    lwk_test::TempDir dir;
    const std::string log = dir / "store/helper.log";
    const std::string target = dir / "elsewhere";
    ASSERT_EQ(::mkdir((dir / "store").c_str(), 0755), 0);
    if (c.target_exists) lwk_test::spit(target, "precious\n");
    ASSERT_EQ(::symlink(target.c_str(), (dir / "store/" + c.link).c_str()), 0);
    const std::string full(hosts_journal::LOG_LIMIT, 'x');
    if (c.full_log) lwk_test::spit(log, full);
    testing::internal::CaptureStderr();
    hosts_journal::note(log, "planted");
    (void)testing::internal::GetCapturedStderr();
    if (c.target_exists) {
      EXPECT_EQ(lwk_test::slurp(target), "precious\n") << c.what;
    } else {
      EXPECT_FALSE(lwk_test::exists(target)) << c.what;
    }
    struct stat st;
    ASSERT_EQ(::lstat(log.c_str(), &st), 0) << c.what;
    if (c.full_log) {
      // The link was replaced by the full log, and the line began a new one.
      EXPECT_EQ(lwk_test::slurp(log + ".1"), full) << c.what;
      ASSERT_EQ(::lstat((log + ".1").c_str(), &st), 0);
      EXPECT_TRUE(S_ISREG(st.st_mode)) << c.what;
      EXPECT_TRUE(lwk_test::slurp(log).ends_with(" planted\n")) << c.what;
    } else {
      EXPECT_TRUE(S_ISLNK(st.st_mode)) << c.what;
    }
  }
}

// Once the store has been removed, a line (one that waited for the removal,
// or one after it) goes to standard error only and does not make the store
// again; once the store exists again, lines go to the file again. Logs
// elsewhere are not affected.
TEST(Journal, NoLineMakesARemovedStoreAnew) {
  lwk_test::TempDir dir;
  const std::string store = dir / "store";
  const std::string log = store + "/helper.log";
  testing::internal::CaptureStderr();
  hosts_journal::note(log, "before");
  ASSERT_TRUE(lwk_test::exists(log));
  std::thread waiting;
  {
    hosts_journal::WritesHeld held;
    waiting = std::thread([&] { hosts_journal::note(log, "refused during the removal"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it wait for the writes
    lwk_test::remove_all(store);
    held.store_removed(store + "/");
  }
  waiting.join();
  hosts_journal::note(log, "refused after the removal");
  hosts_journal::note(store + "/deeper/other.log", "inside the store");
  EXPECT_FALSE(lwk_test::exists(store));
  hosts_journal::note(dir / "storehouse/helper.log", "beside the store");
  EXPECT_TRUE(lwk_test::exists(dir / "storehouse/helper.log"));
  ASSERT_EQ(::mkdir(store.c_str(), 0755), 0);  // the next apply makes the store
  hosts_journal::note(log, "after it was made again");
  const std::string err = testing::internal::GetCapturedStderr();
  for (const char* said : {"refused during the removal", "refused after the removal",
                           "inside the store", "after it was made again"}) {
    EXPECT_NE(err.find(std::string(" ") + said + "\n"), std::string::npos) << said;
  }
  EXPECT_TRUE(
      std::regex_match(lwk_test::slurp(log),
                       std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\dZ after it was made again\n)")));
}

// Standard error is a pipe that nobody reads: 10,000 lines neither wait for
// it nor go missing from the log; the lines it took are whole, and once it
// has been drained the next line is preceded by the count of those dropped.
TEST(Journal, AStandardErrorNobodyReadsNeverStopsTheJournal) {
  constexpr int kLines = 10000;
  lwk_test::TempDir dir;
  const std::string log = dir / "store/helper.log";
  int err_pipe[2];
  int done_pipe[2];
  int drained_pipe[2];
  ASSERT_EQ(::pipe(err_pipe), 0);
  ASSERT_EQ(::pipe(done_pipe), 0);
  ASSERT_EQ(::pipe(drained_pipe), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(err_pipe[1], STDERR_FILENO);
    for (int i = 0; i < kLines; ++i) hosts_journal::note(log, "refused " + std::to_string(i));
    char c = 'd';
    if (::write(done_pipe[1], &c, 1) != 1 || ::read(drained_pipe[0], &c, 1) != 1) ::_exit(2);
    hosts_journal::note(log, "after the drain");
    ::_exit(0);
  }
  ::close(err_pipe[1]);
  ::close(done_pipe[1]);
  ::close(drained_pipe[0]);
  pollfd done{done_pipe[0], POLLIN, 0};
  if (::poll(&done, 1, 20000) != 1) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    FAIL() << "note() waited for a standard error that nobody reads";
  }
  std::string err;
  char buffer[65536];
  ASSERT_EQ(::fcntl(err_pipe[0], F_SETFL, O_NONBLOCK), 0);
  for (ssize_t n; (n = ::read(err_pipe[0], buffer, sizeof buffer)) > 0;) err.append(buffer, n);
  ASSERT_EQ(::write(drained_pipe[1], "g", 1), 1);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  for (ssize_t n; (n = ::read(err_pipe[0], buffer, sizeof buffer)) > 0;) err.append(buffer, n);
  for (int fd : {err_pipe[0], done_pipe[0], drained_pipe[1]}) ::close(fd);

  // Whether `line` is a stamp, a space and `message`.
  const std::regex stamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\dZ )");
  const std::size_t stamp_size = hosts_journal::stamp().size() + 1;
  auto is_line = [&](const std::string& line, const std::string& message) {
    return line.size() == stamp_size + message.size() &&
           std::regex_match(line.substr(0, stamp_size), stamp) && line.ends_with(message);
  };
  // The log holds every line, in order.
  std::istringstream file(lwk_test::slurp(log));
  int count = 0;
  for (std::string l; std::getline(file, l); ++count) {
    ASSERT_TRUE(is_line(l, count < kLines ? "refused " + std::to_string(count) : "after the drain"))
        << l;
  }
  EXPECT_EQ(count, kLines + 1);
  // Standard error: the first lines whole, up to where the pipe was full,
  // then the count of the rest, then the line after the drain.
  std::istringstream said(err);
  std::vector<std::string> lines;
  for (std::string l; std::getline(said, l);) lines.push_back(l);
  ASSERT_GE(lines.size(), 3u) << err;
  const int taken = static_cast<int>(lines.size()) - 2;
  EXPECT_LT(taken, kLines);
  for (int i = 0; i < taken; ++i) ASSERT_TRUE(is_line(lines[i], "refused " + std::to_string(i)));
  EXPECT_TRUE(is_line(lines[taken], std::to_string(kLines - taken) +
                                        " journal lines were dropped: standard error was full"))
      << lines[taken];
  EXPECT_TRUE(is_line(lines[taken + 1], "after the drain")) << lines[taken + 1];
}

TEST(FixedPaths, Paths) {
  EXPECT_EQ(hosts_paths::system_file(), "/etc/hosts");
  EXPECT_EQ(hosts_paths::store_directory(), "/var/db/lantern-wharf-kit");
  EXPECT_EQ(hosts_paths::helper_log_file(), "/var/db/lantern-wharf-kit/helper.log");
}

}  // namespace
