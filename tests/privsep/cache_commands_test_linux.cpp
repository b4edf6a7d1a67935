#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "privsep/system_platform.h"
#include "support/temp_dir.h"

namespace {

using hosts_privsep::platform::SystemPlatform;

TEST(FlushNameCache, ThisPlatformsCommands) {
  const auto commands = hosts_privsep::platform::system_cache_commands();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].program, "/usr/bin/resolvectl");
  EXPECT_EQ(commands[0].arguments, std::vector<std::string>{"flush-caches"});
  EXPECT_EQ(commands[1].program, "/usr/sbin/nscd");
  EXPECT_EQ(commands[1].arguments, (std::vector<std::string>{"-i", "hosts"}));
}

std::string script(const lwk_test::TempDir& dir, const std::string& name, const std::string& body) {
  const std::string path = dir / name;
  lwk_test::spit(path, "#!/bin/sh\n" + body + "\n");
  ::chmod(path.c_str(), 0755);
  return path;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// The helper holds a descriptor without close-on-exec and a variable its
// starter set, ignores SIGPIPE and blocks a signal: the command sees none of
// it. Its environment and signals are read as the kernel handed them over,
// and its descriptors are those `ls`, exec'd in its place, inherits (less the
// one ls opens on /proc/self/fd itself).
TEST(FlushNameCache, ACommandStartsWithAFixedEnvironmentAndTheStandardDescriptorsOnly) {
  lwk_test::TempDir dir;
  const int leaked = ::open((dir / "leaked").c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(leaked, 3);
  ASSERT_EQ(::setenv("LD_LIBRARY_PATH", "/tmp/planted", 1), 0);
  struct sigaction ignore {};
  struct sigaction was {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGPIPE, &ignore, &was), 0);
  sigset_t blocked;
  sigset_t mask_was;
  ::sigemptyset(&blocked);
  ::sigaddset(&blocked, SIGUSR1);
  ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &blocked, &mask_was), 0);
  const std::string reports = script(
      dir, "reports",
      "tr '\\0' '\\n' < /proc/$$/environ > " + dir / "environment" +
          // Read by the shell itself, before it has started anything: a
          // shell blocks signals while it starts a command.
          "\nwhile IFS= read -r l; do case \"$l\" in SigBlk*|SigIgn*) echo \"$l\";; esac; done"
          " < /proc/$$/status > " +
          dir / "signals" + "\nexec ls -l /proc/self/fd > " + dir / "descriptors");
  SystemPlatform platform(true, {{reports, {}}});
  auto r = platform.flush_name_cache();
  ::close(leaked);
  ::unsetenv("LD_LIBRARY_PATH");
  ::sigaction(SIGPIPE, &was, nullptr);
  ::pthread_sigmask(SIG_SETMASK, &mask_was, nullptr);
  ASSERT_TRUE(r.has_value()) << r.error();
  EXPECT_TRUE(*r);
  EXPECT_EQ(lines_of(lwk_test::slurp(dir / "environment")),
            (std::vector<std::string>{"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LANG=C.UTF-8"}));
  // No signal blocked, and none of the standard ones ignored (the C library
  // keeps its own real-time ones ignored in what posix_spawn starts).
  const std::vector<std::string> signals = lines_of(lwk_test::slurp(dir / "signals"));
  ASSERT_EQ(signals.size(), 2u);
  EXPECT_EQ(signals[0], "SigBlk:\t0000000000000000");
  ASSERT_TRUE(signals[1].starts_with("SigIgn:\t")) << signals[1];
  EXPECT_EQ(std::stoull(signals[1].substr(8), nullptr, 16) & 0x7fffffffu, 0u) << signals[1];
  const std::string listing = lwk_test::slurp(dir / "descriptors");
  std::set<int> open;
  for (const std::string& line : lines_of(listing)) {
    const std::size_t arrow = line.find(" -> ");
    if (arrow == std::string::npos) continue;  // "total 0"
    const std::string target = line.substr(arrow + 4);
    if (target.starts_with("/proc/") && target.ends_with("/fd")) continue;  // ls's own
    open.insert(std::stoi(line.substr(line.rfind(' ', arrow - 1) + 1)));
  }
  EXPECT_EQ(open, (std::set<int>{0, 1, 2})) << listing;
}

// A grandchild that leaves the command's process group and session does not
// outlive the flush either: it is ended and reaped before the flush returns,
// well within the command's time.
TEST(FlushNameCache, AGrandchildThatCalledSetsidDoesNotOutliveTheFlush) {
  lwk_test::TempDir dir;
  const std::string pid_file = dir / "grandchild";
  const std::string escapes =
      script(dir, "escapes",
             "setsid sh -c 'echo $$ > " + pid_file + "; exec sleep 60' &\n" + "while [ ! -s " +
                 pid_file + " ]; do sleep 0.01; done\nexit 0");
  constexpr std::chrono::seconds limit{5};
  SystemPlatform platform(true, {{escapes, {}}}, limit);
  const auto start = std::chrono::steady_clock::now();
  auto r = platform.flush_name_cache();
  const bool gone_at_once = [&] {
    const pid_t grandchild = std::stoi(lwk_test::slurp(pid_file));
    const bool gone = ::kill(grandchild, 0) != 0 && errno == ESRCH;
    if (!gone) (void)::kill(grandchild, SIGKILL);  // no sleeper left behind by a failure
    return gone;
  }();
  EXPECT_LT(std::chrono::steady_clock::now() - start, limit);
  ASSERT_TRUE(r.has_value()) << r.error();
  EXPECT_TRUE(*r);
  EXPECT_TRUE(gone_at_once) << "the setsid() grandchild outlived the flush";
}

}  // namespace
