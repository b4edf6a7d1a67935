#include "privsep/system_platform.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "helper_core/write.h"
#include "support/temp_dir.h"

namespace {

using hosts_privsep::platform::CacheCommand;
using hosts_privsep::platform::SystemPlatform;
using lwk_test::exists;
using lwk_test::slurp;
using lwk_test::spit;

std::string script(const lwk_test::TempDir& dir, const std::string& name, const std::string& body,
                   mode_t mode = 0755) {
  const std::string path = dir / name;
  spit(path, "#!/bin/sh\n" + body + "\n");
  ::chmod(path.c_str(), mode);
  return path;
}

TEST(FlushNameCache, Outcomes) {
  lwk_test::TempDir dir;
  const std::string missing = dir / "missing";
  const std::string loud =
      script(dir, "loud", "head -c 300000 /dev/zero; head -c 300000 /dev/zero >&2");
  const std::string killed = script(dir, "killed", "kill -9 $$");
  struct Case {
    std::vector<CacheCommand> commands;
    bool dropped;
  };
  const Case cases[] = {
      {{{"/usr/bin/true", {}}, {"/usr/bin/true", {}}}, true},
      {{{missing, {"-flushcache"}}, {"/usr/bin/true", {"-HUP", "x"}}}, true},
      {{{"/usr/bin/false", {}}, {"/usr/bin/false", {}}}, false},
      {{{missing, {}}, {missing, {}}}, false},
      {{{loud, {}}}, true},  // output larger than a pipe is drained, not a deadlock
      {{{killed, {}}, {"/usr/bin/false", {}}}, false},  // an end by a signal drops nothing
      {{}, false},
  };
  for (const Case& c : cases) {
    SystemPlatform platform(true, c.commands);
    auto r = platform.flush_name_cache();
    ASSERT_TRUE(r.has_value()) << r.error();
    EXPECT_EQ(*r, c.dropped);
  }
}

TEST(FlushNameCache, ExactArgumentsNoShellNullInput) {
  lwk_test::TempDir dir;
  const std::string out = dir / "seen";
  const std::string record = script(
      dir, "record",
      "for a in \"$@\"; do printf '[%s]' \"$a\"; done > " + out + "; cat >> " + out + "; echo ok");
  SystemPlatform platform(true, {{record, {"-HUP", "two words", "$HOME", "*"}}});
  auto r = platform.flush_name_cache();
  ASSERT_TRUE(r.has_value());
  EXPECT_TRUE(*r);
  EXPECT_EQ(slurp(out), "[-HUP][two words][$HOME][*]");  // nothing read from standard input
}

TEST(FlushNameCache, AStartFailureOtherThanAbsenceStopsAtOnce) {
  lwk_test::TempDir dir;
  const std::string not_executable = script(dir, "plain", "exit 0", 0644);
  const std::string marker = dir / "second-ran";
  const std::string second = script(dir, "second", "touch " + marker);
  SystemPlatform platform(true, {{not_executable, {}}, {second, {}}});
  auto r = platform.flush_name_cache();
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error(), not_executable + ": Permission denied (os error 13)");
  EXPECT_FALSE(exists(marker));
}

// A command whose background child keeps the output open: the flush waits
// for the command, not for the end of its output, and the child, in the
// command's process group, is ended with it.
TEST(FlushNameCache, AChildLeftBehindNeitherBlocksTheFlushNorOutlivesIt) {
  lwk_test::TempDir dir;
  const std::string pid_file = dir / "child";
  const std::string leaves = script(dir, "leaves", "sleep 30 & echo $! > " + pid_file + "; exit 0");
  SystemPlatform platform(true, {{leaves, {}}});
  const auto start = std::chrono::steady_clock::now();
  auto r = platform.flush_name_cache();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ASSERT_TRUE(r.has_value()) << r.error();
  EXPECT_TRUE(*r);
  const pid_t child = std::stoi(slurp(pid_file));
  // Ended by a signal; init reaps it soon after.
  bool gone = false;
  for (int i = 0; i < 100 && !gone; ++i) {
    gone = ::kill(child, 0) != 0 && errno == ESRCH;
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(gone) << "the child " << child << " outlived the flush";
}

TEST(FlushNameCache, ACommandPastItsLimitIsEndedAndStopsTheFlush) {
  lwk_test::TempDir dir;
  const std::string marker = dir / "second-ran";
  const std::string second = script(dir, "second", "touch " + marker);
  SystemPlatform platform(true, {{"/bin/sleep", {"30"}}, {second, {}}}, std::chrono::seconds(1));
  const auto start = std::chrono::steady_clock::now();
  auto r = platform.flush_name_cache();
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error(), "/bin/sleep: did not finish within 1 s");
  EXPECT_GE(took, std::chrono::seconds(1));
  EXPECT_LT(took, std::chrono::seconds(5));
  EXPECT_FALSE(exists(marker));
}

TEST(RestorePermissions, ModeAndOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "changing owners needs root";
  lwk_test::TempDir dir;
  for (bool privileged : {true, false}) {
    const std::string file = dir / (privileged ? "privileged" : "plain");
    spit(file, "x");
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
    ASSERT_EQ(::chown(file.c_str(), 1234, 1234), 0);
    SystemPlatform platform(privileged, {});
    ASSERT_TRUE(platform.restore_permissions(file, "/unused").has_value());
    struct stat st;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(st.st_uid, privileged ? 0u : 1234u);
    EXPECT_EQ(st.st_gid, privileged ? 0u : 1234u);
  }
}

TEST(RestorePermissions, AChangedTargetIsRootOwned0644WhateverTheUmask) {
  if (::geteuid() != 0) GTEST_SKIP() << "changing owners needs root";
  lwk_test::TempDir dir;
  const hosts_helper_core::write::Paths paths{dir / "hosts", dir / "store"};
  spit(paths.target, "old");
  ASSERT_EQ(::chmod(paths.target.c_str(), 0600), 0);
  ASSERT_EQ(::chown(paths.target.c_str(), 1234, 1234), 0);
  const mode_t old_mask = ::umask(0077);
  SystemPlatform platform(true, {});
  std::uint64_t counter = 0;
  auto r = hosts_helper_core::write::write(paths, "new", platform, counter);
  ::umask(old_mask);
  ASSERT_TRUE(r.has_value()) << r.error().message;
  struct stat st;
  ASSERT_EQ(::stat(paths.target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_gid, 0u);
  EXPECT_EQ(slurp(paths.target), "new");
}

TEST(Platform, ReplaceAndReject) {
  lwk_test::TempDir dir;
  SystemPlatform platform(false, {});
  EXPECT_TRUE(platform.reject_if_redirected(dir / "does/not/exist").has_value());
  spit(dir / "a", "a");
  spit(dir / "b", "b");
  ASSERT_TRUE(platform.replace(dir / "a", dir / "b").has_value());
  EXPECT_EQ(slurp(dir / "b"), "a");
  EXPECT_FALSE(exists(dir / "a"));
  auto missing = platform.replace(dir / "a", dir / "b");
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error().message, "No such file or directory (os error 2)");
}

}  // namespace
