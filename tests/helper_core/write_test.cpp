#include "helper_core/write.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "privsep/system_platform.h"
#include "support/temp_dir.h"

namespace {

using hosts_helper_core::write::backup_name;
using hosts_helper_core::write::Paths;
using hosts_helper_core::write::remove_everything;
using hosts_helper_core::write::restore;
using hosts_helper_core::write::write;
using hosts_helper_core::write::WriteError;
using hosts_helper_core::write::WriteStep;
using hosts_privsep::platform::SystemPlatform;
using lwk_test::exists;
using lwk_test::names_in;
using lwk_test::slurp;
using lwk_test::spit;

class WriteTest : public ::testing::Test {
 protected:
  WriteTest() : paths_{dir_ / "hosts", dir_ / "store"}, platform_(false, {}) {}

  bool apply(const std::string& content) {
    auto r = write(paths_, content, platform_, counter_);
    EXPECT_TRUE(r.has_value()) << (r ? "" : r.error().message);
    return r.has_value() && *r;
  }
  WriteError failure(const std::string& content) {
    auto r = write(paths_, content, platform_, counter_);
    EXPECT_FALSE(r.has_value());
    return r ? WriteError{WriteStep::ReadingCurrent, "<succeeded>"} : r.error();
  }
  std::vector<std::string> backups() const { return names_in(paths_.backups()); }
  std::string backup(std::size_t i) const { return slurp(paths_.backups() + "/" + backups()[i]); }

  lwk_test::TempDir dir_;
  Paths paths_;
  SystemPlatform platform_;
  std::uint64_t counter_ = 0;
};

TEST(Paths, SystemPathsAndNames) {
  const Paths system = Paths::system();
  EXPECT_EQ(system.target, "/etc/hosts");
  EXPECT_EQ(system.store, "/var/db/lantern-wharf-kit");
  EXPECT_EQ(system.snapshot(), "/var/db/lantern-wharf-kit/before-first-apply");
  EXPECT_EQ(system.temporary(12), "/etc/hosts.lantern-wharf-12");
  EXPECT_EQ(backup_name(5, 12), "hosts-000000000000000000000005-000012");
  EXPECT_EQ(backup_name(5, 12).size(), 37u);
  EXPECT_EQ(backup_name(1765000000123456789, 1234567), "hosts-000001765000000123456789-1234567");
}

// A name reads back as what it was written with; nothing else reads as a backup.
TEST(Paths, BackupNamesReadBack) {
  using hosts_helper_core::write::BackupName;
  using hosts_helper_core::write::parse_backup_name;
  for (const BackupName made :
       {BackupName{0, 0}, BackupName{5, 12}, BackupName{UINT64_MAX, UINT64_MAX}}) {
    EXPECT_EQ(parse_backup_name(backup_name(made.nanoseconds, made.counter)), made);
  }
  const std::string good = backup_name(5, 12);
  for (const std::string& name :
       {std::string("hosts-"), good.substr(0, 31), "Hosts" + good.substr(5), good + "x",
        "." + good + ".partial", good.substr(0, 30) + "_" + good.substr(31),
        good.substr(0, 31) + "-12", good.substr(0, 31) + "99999999999999999999"}) {
    EXPECT_EQ(parse_backup_name(name), std::nullopt) << name;
  }
}

TEST_F(WriteTest, UnchangedContentWritesNothing) {
  spit(paths_.target, "127.0.0.1 localhost\n");
  EXPECT_FALSE(apply("127.0.0.1 localhost\n"));
  EXPECT_EQ(names_in(dir_.path()), std::vector<std::string>{"hosts"});
  EXPECT_EQ(counter_, 0u);
}

TEST_F(WriteTest, FirstAndSecondChange) {
  spit(paths_.target, "A");
  EXPECT_TRUE(apply("B"));
  EXPECT_EQ(slurp(paths_.target), "B");
  EXPECT_EQ(slurp(paths_.snapshot()), "A");
  ASSERT_EQ(backups().size(), 1u);
  EXPECT_EQ(backups()[0].size(), 37u);
  EXPECT_TRUE(backups()[0].starts_with("hosts-"));
  EXPECT_TRUE(backups()[0].ends_with("-000001"));
  EXPECT_EQ(backup(0), "A");
  // Nothing but the target and the store; no scratch file in the store.
  EXPECT_EQ(names_in(dir_.path()), (std::vector<std::string>{"hosts", "store"}));
  EXPECT_EQ(names_in(paths_.store), (std::vector<std::string>{"backups", "before-first-apply"}));

  EXPECT_TRUE(apply("C"));
  EXPECT_EQ(slurp(paths_.snapshot()), "A");
  ASSERT_EQ(backups().size(), 2u);
  EXPECT_TRUE(backups()[1].ends_with("-000002"));
  EXPECT_EQ(backup(1), "B");
  EXPECT_EQ(counter_, 2u);
}

TEST_F(WriteTest, TwelveChangesKeepTheNewestTen) {
  spit(paths_.target, "0");
  ASSERT_TRUE(lwk_test::exists(dir_.path()));
  ASSERT_TRUE(platform_.files().make_directories(paths_.backups()).has_value());
  spit(paths_.backups() + "/notes", "mine");
  ASSERT_TRUE(platform_.files().make_directories(paths_.backups() + "/old").has_value());
  for (int i = 1; i <= 12; ++i) ASSERT_TRUE(apply(std::to_string(i)));
  const auto names = backups();
  ASSERT_EQ(names.size(), 12u);  // ten backups, "notes" and "old"
  for (int i = 0; i < 10; ++i) {
    EXPECT_TRUE(names[static_cast<std::size_t>(i)].ends_with(
        "-" + std::string(i < 7 ? "00000" : "0000") + std::to_string(i + 3)))
        << names[static_cast<std::size_t>(i)];
    EXPECT_EQ(backup(static_cast<std::size_t>(i)), std::to_string(i + 2));
  }
  EXPECT_EQ(names[10], "notes");
  EXPECT_EQ(names[11], "old");
  EXPECT_EQ(slurp(paths_.snapshot()), "0");
}

TEST_F(WriteTest, SymbolicLinkTargetIsRefused) {
  spit(dir_ / "real", "real content");
  ASSERT_EQ(::symlink((dir_ / "real").c_str(), paths_.target.c_str()), 0);
  const WriteError e = failure("new");
  EXPECT_EQ(e.step, WriteStep::ReadingCurrent);
  EXPECT_EQ(e.message, "the target is a symbolic link, and following it would write elsewhere");
  EXPECT_EQ(slurp(dir_ / "real"), "real content");
  EXPECT_EQ(names_in(dir_.path()), (std::vector<std::string>{"hosts", "real"}));
}

TEST_F(WriteTest, MissingTargetIsRefusedAndNotCreated) {
  const WriteError e = failure("new");
  EXPECT_EQ(e.step, WriteStep::ReadingCurrent);
  EXPECT_EQ(e.message,
            "the target file could not be examined: No such file or directory (os error 2)");
  EXPECT_TRUE(names_in(dir_.path()).empty());
}

TEST_F(WriteTest, SnapshotLookupFailureStopsTheChange) {
  spit(paths_.target, "old");
  spit(paths_.store, "a file where the store directory should be");
  const WriteError e = failure("new");
  EXPECT_EQ(e.step, WriteStep::KeepingSnapshot);
  EXPECT_EQ(e.message, "Not a directory (os error 20)");
  EXPECT_EQ(slurp(paths_.target), "old");
  EXPECT_EQ(counter_, 0u);
}

// A link planted as the store or as its backups directory would send root's
// writes and removals elsewhere: the change stops at that directory's step.
TEST_F(WriteTest, ALinkedStoreOrBackupsDirectoryIsRefused) {
  spit(paths_.target, "old");
  const std::string elsewhere = dir_ / "elsewhere";
  ASSERT_EQ(::mkdir(elsewhere.c_str(), 0755), 0);
  const std::string not_a_directory = "Not a directory (os error 20)";

  ASSERT_EQ(::symlink(elsewhere.c_str(), paths_.store.c_str()), 0);
  WriteError e = failure("new");
  EXPECT_EQ(e.step, WriteStep::KeepingSnapshot);
  EXPECT_EQ(e.message, not_a_directory);

  ASSERT_EQ(::unlink(paths_.store.c_str()), 0);
  ASSERT_EQ(::mkdir(paths_.store.c_str(), 0755), 0);
  ASSERT_EQ(::symlink(elsewhere.c_str(), paths_.backups().c_str()), 0);
  e = failure("new");
  EXPECT_EQ(e.step, WriteStep::MakingBackup);
  EXPECT_EQ(e.message, not_a_directory);

  EXPECT_TRUE(names_in(elsewhere).empty());
  EXPECT_EQ(slurp(paths_.target), "old");
  EXPECT_EQ(counter_, 0u);
}

// A FIFO (or a device) at the target is refused at once, never opened to
// wait for a writer that may not come, holding the service's lock.
TEST_F(WriteTest, AFifoAtTheTargetIsRefusedWithoutWaiting) {
  ASSERT_EQ(::mkfifo(paths_.target.c_str(), 0644), 0);
  // Were the FIFO opened to be read, this writer would let that open go on
  // after a while, and the change would then read nothing and go ahead.
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const int fd = ::open(paths_.target.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
  });
  const auto start = std::chrono::steady_clock::now();
  const WriteError e = failure("new");
  const auto took = std::chrono::steady_clock::now() - start;
  writer.join();
  EXPECT_EQ(e.step, WriteStep::ReadingCurrent);
  EXPECT_EQ(e.message, "not a regular file");
  EXPECT_LT(took, std::chrono::seconds(1));
  EXPECT_FALSE(exists(paths_.store));
}

TEST_F(WriteTest, DebrisOfACrashIsClearedAndNothingElse) {
  spit(paths_.target, "mine");
  ASSERT_TRUE(platform_.files().make_directories(paths_.backups()).has_value());
  const std::vector<std::string> debris = {
      paths_.target + ".lantern-wharf-3", paths_.snapshot() + ".partial",
      paths_.backups() + "/." + backup_name(5, 7) + ".partial"};
  for (const auto& path : debris) spit(path, "half");
  const std::vector<std::string> kept = {
      paths_.target + ".lantern-wharf-", paths_.target + ".lantern-wharf-3x",
      dir_ / "other.lantern-wharf-4", paths_.backups() + "/" + backup_name(5, 7),
      paths_.store + "/before-first-apply"};
  for (const auto& path : kept) spit(path, "keep");
  ASSERT_EQ(::mkdir((paths_.target + ".lantern-wharf-9").c_str(), 0755), 0);  // no file

  auto removed = hosts_helper_core::write::clear_debris(paths_, platform_);
  std::sort(removed.begin(), removed.end());
  std::vector<std::string> expected = debris;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(removed, expected);
  for (const auto& path : debris) EXPECT_FALSE(exists(path)) << path;
  for (const auto& path : kept) EXPECT_EQ(slurp(path), "keep") << path;
  EXPECT_TRUE(exists(paths_.target + ".lantern-wharf-9"));
}

TEST_F(WriteTest, RemoveEverythingPutsTheFileBack) {
  spit(paths_.target, "before A");
  ASSERT_TRUE(apply("A"));
  ASSERT_TRUE(apply("B"));
  auto removed = remove_everything(paths_, platform_, counter_);
  ASSERT_TRUE(removed.has_value()) << removed.error().message;
  EXPECT_EQ(slurp(paths_.target), "before A");
  EXPECT_FALSE(exists(paths_.store));
  EXPECT_EQ(names_in(dir_.path()), std::vector<std::string>{"hosts"});
  // A second time finds nothing to do.
  EXPECT_TRUE(remove_everything(paths_, platform_, counter_).has_value());
  EXPECT_EQ(slurp(paths_.target), "before A");
  // The next change starts afresh with a new snapshot.
  ASSERT_TRUE(apply("C"));
  EXPECT_EQ(slurp(paths_.snapshot()), "before A");
  EXPECT_EQ(backups().size(), 1u);
}

// Removal goes depth first and removes a link as the entry it is, never
// what it points at.
TEST_F(WriteTest, RemoveEverythingNeverFollowsALinkOutOfTheStore) {
  spit(paths_.target, "before");
  ASSERT_TRUE(apply("after"));
  spit(dir_ / "outside", "keep");
  ASSERT_TRUE(platform_.files().make_directories(paths_.store + "/x").has_value());
  ASSERT_TRUE(platform_.files().make_directories(paths_.store + "/x/y").has_value());
  spit(paths_.store + "/x/y/f", "f");
  ASSERT_EQ(::symlink((dir_ / "outside").c_str(), (paths_.store + "/link").c_str()), 0);
  ASSERT_EQ(::symlink(dir_.path().c_str(), (paths_.backups() + "/hosts-link").c_str()), 0);
  ASSERT_TRUE(remove_everything(paths_, platform_, counter_).has_value());
  EXPECT_FALSE(exists(paths_.store));
  EXPECT_EQ(slurp(dir_ / "outside"), "keep");
  EXPECT_EQ(slurp(paths_.target), "before");
}

TEST_F(WriteTest, RemoveEverythingWithoutStoreOrSnapshot) {
  spit(paths_.target, "mine");
  EXPECT_TRUE(remove_everything(paths_, platform_, counter_).has_value());
  EXPECT_EQ(slurp(paths_.target), "mine");

  ASSERT_TRUE(platform_.files().make_directories(paths_.backups()).has_value());
  spit(paths_.backups() + "/hosts-1", "old");
  EXPECT_TRUE(remove_everything(paths_, platform_, counter_).has_value());
  EXPECT_EQ(slurp(paths_.target), "mine");
  EXPECT_FALSE(exists(paths_.store));
  EXPECT_EQ(counter_, 0u);
}

TEST_F(WriteTest, RestoreWhenTargetAlreadyHoldsTheSnapshot) {
  spit(paths_.target, "original");
  ASSERT_TRUE(apply("changed"));
  spit(paths_.target, "original");  // someone put it back by hand
  const std::uint64_t before = counter_;
  auto restored = restore(paths_, platform_, counter_);
  ASSERT_TRUE(restored.has_value());
  EXPECT_FALSE(*restored);
  EXPECT_EQ(counter_, before);  // no backup was made
  EXPECT_EQ(backups().size(), 1u);
  EXPECT_TRUE(remove_everything(paths_, platform_, counter_).has_value());
  EXPECT_FALSE(exists(paths_.store));
}

TEST_F(WriteTest, RemoveEverythingRefusesALinkedTargetAndKeepsTheStore) {
  spit(paths_.target, "original");
  ASSERT_TRUE(apply("changed"));
  ASSERT_EQ(::unlink(paths_.target.c_str()), 0);
  spit(dir_ / "elsewhere", "elsewhere");
  ASSERT_EQ(::symlink((dir_ / "elsewhere").c_str(), paths_.target.c_str()), 0);
  auto removed = remove_everything(paths_, platform_, counter_);
  ASSERT_FALSE(removed.has_value());
  EXPECT_EQ(removed.error().step, WriteStep::ReadingCurrent);
  EXPECT_EQ(removed.error().message,
            "the target is a symbolic link, and following it would write elsewhere");
  EXPECT_EQ(slurp(paths_.snapshot()), "original");
  EXPECT_EQ(slurp(dir_ / "elsewhere"), "elsewhere");
}

}  // namespace
