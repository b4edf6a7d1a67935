// A change onto a full file system: in a private mount namespace, a tiny
// tmpfs holds the target; it is filled, then a change is applied.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "helper_core/write.h"
#include "privsep/system_platform.h"
#include "support/temp_dir.h"

namespace {

using hosts_helper_core::write::Paths;
using hosts_helper_core::write::WriteStep;

// Fills the file system that holds `path` by writing to it until it is full.
void fill(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  const std::string block(4096, 'f');
  while (::write(fd, block.data(), block.size()) > 0) {
  }
  // Whatever room is left is less than a block: take it byte by byte.
  while (::write(fd, "f", 1) > 0) {
  }
  EXPECT_EQ(errno, ENOSPC);
  ::close(fd);
}

TEST(DiskFull, WritingTheContentStopsAndLeavesNothingBehind) {
  if (::geteuid() != 0) GTEST_SKIP() << "a private mount namespace needs root";
  if (::unshare(CLONE_NEWNS) != 0) GTEST_SKIP() << "unshare: " << std::strerror(errno);
  // Mounts made from here on stay in this process's namespace.
  ASSERT_EQ(::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0) << std::strerror(errno);

  lwk_test::TempDir dir;
  const std::string small = dir / "small";
  ASSERT_EQ(::mkdir(small.c_str(), 0755), 0);
  ASSERT_EQ(::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k"), 0) << std::strerror(errno);

  const Paths paths{small + "/hosts", dir / "store"};
  lwk_test::spit(paths.target, "127.0.0.1 localhost\n");
  fill(small + "/filler");

  hosts_privsep::platform::SystemPlatform platform(false, {});
  std::uint64_t counter = 0;
  auto r = hosts_helper_core::write::write(paths, std::string(1 << 20, 'x'), platform, counter);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().step, WriteStep::WritingContent);
  EXPECT_EQ(r.error().message, "No space left on device (os error 28)");
  EXPECT_EQ(lwk_test::slurp(paths.target), "127.0.0.1 localhost\n");
  EXPECT_EQ(lwk_test::names_in(small), (std::vector<std::string>{"filler", "hosts"}));
  // The snapshot and the backup, on a file system with room, were kept.
  EXPECT_EQ(lwk_test::slurp(paths.snapshot()), "127.0.0.1 localhost\n");
  EXPECT_EQ(lwk_test::names_in(paths.backups()).size(), 1u);

  ASSERT_EQ(::umount(small.c_str()), 0);
}

}  // namespace
