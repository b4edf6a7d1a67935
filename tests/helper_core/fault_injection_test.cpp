// A change stopped at each of its steps leaves the target byte for byte as it
// was, no temporary file beside it, and the store as the step allows; with
// links planted at every scratch name beforehand, the same holds and nothing
// they point at is touched.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "helper_core/faulty_platform.h"
#include "helper_core/write.h"
#include "support/temp_dir.h"

namespace {

using hosts_helper_core::write::backup_name;
using hosts_helper_core::write::Paths;
using hosts_helper_core::write::remove_everything;
using hosts_helper_core::write::restore;
using hosts_helper_core::write::write;
using hosts_helper_core::write::WriteStep;
using lwk_test::exists;
using lwk_test::FaultyPlatform;
using lwk_test::names_in;
using lwk_test::Op;
using lwk_test::slurp;
using lwk_test::spit;

const std::string kEio = "Input/output error (os error 5)";
constexpr std::uint64_t kSecond = 1'000'000'000;

// What the store holds after the failure.
enum class Store { None, Empty, Snapshot, SnapshotAndBackupsDir, SnapshotAndBackup };

// Plants, at each scratch name of a first change at counter 1, a link to a
// file of its own: a symbolic link for the snapshot's and the temporary
// file's, a hard link for the backup's. Returns the victims.
std::vector<std::string> plant_links(const lwk_test::TempDir& dir, const Paths& paths,
                                     std::uint64_t clock) {
  const std::vector<std::string> victims = {dir / "victim-snapshot", dir / "victim-backup",
                                            dir / "victim-temporary"};
  for (const auto& victim : victims) spit(victim, "not yours");
  EXPECT_EQ(::mkdir(paths.store.c_str(), 0755), 0);
  EXPECT_EQ(::mkdir(paths.backups().c_str(), 0755), 0);
  EXPECT_EQ(::symlink(victims[0].c_str(), (paths.snapshot() + ".partial").c_str()), 0);
  const std::string backup_scratch = paths.backups() + "/." + backup_name(clock, 1) + ".partial";
  EXPECT_EQ(::link(victims[1].c_str(), backup_scratch.c_str()), 0);
  EXPECT_EQ(::symlink(victims[2].c_str(), paths.temporary(1).c_str()), 0);
  return victims;
}

TEST(FaultInjection, EveryStepOfAFirstChangeWithAndWithoutPlantedLinks) {
  struct Case {
    Op op;
    int nth;
    WriteStep step;
    std::string message;
    Store store;
    std::uint64_t counter;
  };
  const Case cases[] = {
      {Op::Examine, 1, WriteStep::ReadingCurrent, "the target file could not be examined: " + kEio,
       Store::None, 0},
      {Op::RejectIfRedirected, 1, WriteStep::ReadingCurrent, "the target is redirected: " + kEio,
       Store::None, 0},
      {Op::ReadFile, 1, WriteStep::ReadingCurrent, kEio, Store::None, 0},
      {Op::Examine, 2, WriteStep::KeepingSnapshot, kEio, Store::None, 0},  // snapshot lookup
      {Op::MakeDirectories, 1, WriteStep::KeepingSnapshot, kEio, Store::None, 0},
      {Op::CreateFile, 1, WriteStep::KeepingSnapshot, kEio, Store::Empty, 0},
      {Op::Append, 1, WriteStep::KeepingSnapshot, kEio, Store::Empty, 0},
      {Op::Sync, 1, WriteStep::KeepingSnapshot, kEio, Store::Empty, 0},
      {Op::Close, 1, WriteStep::KeepingSnapshot, kEio, Store::Empty, 0},
      {Op::Rename, 1, WriteStep::KeepingSnapshot, kEio, Store::Empty, 0},
      {Op::SyncDirectory, 1, WriteStep::KeepingSnapshot, kEio, Store::Snapshot, 0},
      {Op::MakeDirectories, 2, WriteStep::MakingBackup, kEio, Store::Snapshot, 0},  // the store
      {Op::MakeDirectories, 3, WriteStep::MakingBackup, kEio, Store::Snapshot, 0},  // backups
      {Op::CreateFile, 2, WriteStep::MakingBackup, kEio, Store::SnapshotAndBackupsDir, 1},
      {Op::Append, 2, WriteStep::MakingBackup, kEio, Store::SnapshotAndBackupsDir, 1},
      {Op::Sync, 2, WriteStep::MakingBackup, kEio, Store::SnapshotAndBackupsDir, 1},
      {Op::Close, 2, WriteStep::MakingBackup, kEio, Store::SnapshotAndBackupsDir, 1},
      {Op::Rename, 2, WriteStep::MakingBackup, kEio, Store::SnapshotAndBackupsDir, 1},
      // The backup is in place when its directory flush fails: it is kept.
      {Op::SyncDirectory, 2, WriteStep::MakingBackup, kEio, Store::SnapshotAndBackup, 1},
      {Op::ListDirectory, 1, WriteStep::MakingBackup, kEio, Store::SnapshotAndBackup, 1},
      {Op::CreateFile, 3, WriteStep::CreatingTemporary, kEio, Store::SnapshotAndBackup, 1},
      {Op::Append, 3, WriteStep::WritingContent, kEio, Store::SnapshotAndBackup, 1},
      {Op::Sync, 3, WriteStep::FlushingContent, kEio, Store::SnapshotAndBackup, 1},
      {Op::Close, 3, WriteStep::FlushingContent, kEio, Store::SnapshotAndBackup, 1},
      {Op::RestorePermissions, 1, WriteStep::RestoringOwnerAndMode, kEio, Store::SnapshotAndBackup,
       1},
      {Op::Replace, 1, WriteStep::ReplacingTarget, kEio, Store::SnapshotAndBackup, 1},
  };
  for (const bool planted : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(c.op) << " call " << c.nth
                                      << (planted ? ", links planted" : ""));
      lwk_test::TempDir dir;
      const Paths paths{dir / "hosts", dir / "store"};
      spit(paths.target, "old content\n");
      FaultyPlatform platform;
      const std::vector<std::string> victims =
          planted ? plant_links(dir, paths, platform.files().clock) : std::vector<std::string>{};
      platform.fail(c.op, c.nth);
      std::uint64_t counter = 0;
      auto r = write(paths, "new content\n", platform, counter);
      ASSERT_FALSE(r.has_value());
      EXPECT_EQ(r.error().step, c.step);
      EXPECT_EQ(r.error().message, c.message);
      EXPECT_EQ(counter, c.counter);
      EXPECT_EQ(slurp(paths.target), "old content\n");
      for (const auto& victim : victims) EXPECT_EQ(slurp(victim), "not yours") << victim;
      if (planted) continue;  // links that the change did not reach are still there

      // No temporary file beside the target.
      const std::vector<std::string> expected_beside =
          c.store == Store::None ? std::vector<std::string>{"hosts"}
                                 : std::vector<std::string>{"hosts", "store"};
      EXPECT_EQ(names_in(dir.path()), expected_beside);
      // No scratch file in the store, and exactly what the step allows.
      const std::vector<std::string> stored = names_in(paths.store);
      switch (c.store) {
        case Store::None:
        case Store::Empty: EXPECT_TRUE(stored.empty()); break;
        case Store::Snapshot:
          EXPECT_EQ(stored, std::vector<std::string>{"before-first-apply"});
          break;
        case Store::SnapshotAndBackupsDir:
          EXPECT_EQ(stored, (std::vector<std::string>{"backups", "before-first-apply"}));
          EXPECT_TRUE(names_in(paths.backups()).empty());
          break;
        case Store::SnapshotAndBackup:
          EXPECT_EQ(stored, (std::vector<std::string>{"backups", "before-first-apply"}));
          ASSERT_EQ(names_in(paths.backups()).size(), 1u);
          EXPECT_EQ(slurp(paths.backups() + "/" + names_in(paths.backups())[0]), "old content\n");
          break;
      }
      if (c.store != Store::None && c.store != Store::Empty) {
        EXPECT_EQ(slurp(paths.snapshot()), "old content\n");
      }
    }
  }
}

TEST(FaultInjection, PlantedLinksAreReplacedAndAChangeGoesThrough) {
  lwk_test::TempDir dir;
  const Paths paths{dir / "hosts", dir / "store"};
  spit(paths.target, "old");
  FaultyPlatform platform;
  const auto victims = plant_links(dir, paths, platform.files().clock);
  std::uint64_t counter = 0;
  ASSERT_TRUE(write(paths, "new", platform, counter).has_value());
  for (const auto& victim : victims) EXPECT_EQ(slurp(victim), "not yours") << victim;
  EXPECT_EQ(slurp(paths.target), "new");
  EXPECT_EQ(slurp(paths.snapshot()), "old");
  EXPECT_EQ(names_in(paths.backups()),
            std::vector<std::string>{backup_name(platform.files().clock, 1)});
  EXPECT_EQ(slurp(paths.backups() + "/" + backup_name(platform.files().clock, 1)), "old");
}

TEST(FaultInjection, FlushingTheTargetDirectoryIsBestEffort) {
  lwk_test::TempDir dir;
  const Paths paths{dir / "hosts", dir / "store"};
  spit(paths.target, "old");
  FaultyPlatform platform;
  platform.fail(Op::SyncDirectory, 3);
  std::uint64_t counter = 0;
  auto r = write(paths, "new", platform, counter);
  ASSERT_TRUE(r.has_value());
  EXPECT_TRUE(*r);
  EXPECT_EQ(platform.calls(Op::SyncDirectory), 3);
  EXPECT_EQ(slurp(paths.target), "new");
}

TEST(FaultInjection, AFailedRemovalOfTheTemporaryFileIsIgnored) {
  lwk_test::TempDir dir;
  const Paths paths{dir / "hosts", dir / "store"};
  spit(paths.target, "old");
  FaultyPlatform platform;
  platform.fail(Op::Replace, 1);
  // Removals: the leftovers at the snapshot's, the backup's and the
  // temporary file's scratch names, then the temporary file itself.
  platform.fail(Op::RemoveFile, 4, EACCES);
  std::uint64_t counter = 0;
  auto r = write(paths, "new", platform, counter);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().step, WriteStep::ReplacingTarget);
  EXPECT_EQ(r.error().message, kEio);
  EXPECT_EQ(slurp(paths.target), "old");
  EXPECT_EQ(slurp(paths.temporary(1)), "new");  // left, as the failed removal allows
}

TEST(FaultInjection, ASecondChangeNeverRewritesTheSnapshot) {
  lwk_test::TempDir dir;
  const Paths paths{dir / "hosts", dir / "store"};
  spit(paths.target, "first");
  FaultyPlatform platform;
  std::uint64_t counter = 0;
  ASSERT_TRUE(write(paths, "second", platform, counter).has_value());
  ASSERT_TRUE(write(paths, "third", platform, counter).has_value());
  // One snapshot was put in place, never a second; the targets go by replace.
  EXPECT_EQ(platform.calls(Op::Rename), 3);  // snapshot, backup, backup
  EXPECT_EQ(slurp(paths.snapshot()), "first");
}

// Fifteen changes whose backup directory will not flush: each stops after
// its backup is in place, and each prunes, so no more than ten pile up.
TEST(FaultInjection, BackupsArePrunedWhenTheirDirectoryFlushFails) {
  lwk_test::TempDir dir;
  const Paths paths{dir / "hosts", dir / "store"};
  spit(paths.target, "0");
  std::uint64_t counter = 0;
  for (int i = 1; i <= 15; ++i) {
    FaultyPlatform platform;
    platform.files().clock = static_cast<std::uint64_t>(i) * kSecond;
    platform.fail(Op::SyncDirectory, i == 1 ? 2 : 1);  // the first change flushes its snapshot too
    auto r = write(paths, std::to_string(i), platform, counter);
    ASSERT_FALSE(r.has_value());
    ASSERT_EQ(r.error().step, WriteStep::MakingBackup);
  }
  const auto backups = names_in(paths.backups());
  ASSERT_EQ(backups.size(), 10u);
  EXPECT_EQ(backups.back(), backup_name(15 * kSecond, 15));
  EXPECT_EQ(backups.front(), backup_name(6 * kSecond, 6));
}

// Ten changes with the clock three years ahead, then one at the right time:
// its backup sorts lowest, and pruning keeps it with the nine highest others.
TEST(FaultInjection, TheBackupJustMadeSurvivesAClockThatSteppedBack) {
  lwk_test::TempDir dir;
  const Paths paths{dir / "hosts", dir / "store"};
  spit(paths.target, "0");
  FaultyPlatform platform;
  std::uint64_t counter = 0;
  const std::uint64_t ahead = 3ULL * 365 * 24 * 3600 * kSecond;
  for (int i = 1; i <= 10; ++i) {
    platform.files().clock = ahead + static_cast<std::uint64_t>(i) * kSecond;
    ASSERT_TRUE(write(paths, std::to_string(i), platform, counter).has_value());
  }
  platform.files().clock = kSecond;
  ASSERT_TRUE(write(paths, "11", platform, counter).has_value());
  const std::string made = backup_name(kSecond, 11);
  const auto backups = names_in(paths.backups());
  ASSERT_EQ(backups.size(), 10u);
  EXPECT_EQ(backups.front(), made);
  EXPECT_EQ(slurp(paths.backups() + "/" + made), "10");        // the content that change replaced
  EXPECT_EQ(backups[1], backup_name(ahead + 2 * kSecond, 2));  // the oldest other went
}

TEST(FaultInjection, RestoreAndRemoveFailures) {
  struct Case {
    Op op;
    int nth;
    int error;
    bool tamper;
    WriteStep step;
    std::string message;
  };
  // Calls counted from the start of remove_everything, after one change.
  const Case cases[] = {
      {Op::ReadFile, 1, EACCES, false, WriteStep::ReadingSnapshot,
       "Permission denied (os error 13)"},
      {Op::ReadFile, 3, EIO, false, WriteStep::CheckingAgainstSnapshot, kEio},
      {Op::Examine, 0, EIO, true, WriteStep::CheckingAgainstSnapshot,
       "the file does not match the snapshot taken before the first apply"},
      {Op::RemoveDirectory, 2, EIO, false, WriteStep::RemovingStore, kEio},  // the store
      // An entry that vanishes under the removal is no success while the
      // store is still there: neither the store nor an entry below it.
      {Op::RemoveDirectory, 2, ENOENT, false, WriteStep::RemovingStore,
       "No such file or directory (os error 2)"},
      {Op::RemoveFile, 3, ENOENT, false, WriteStep::RemovingStore,
       "Directory not empty (os error 39)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(c.op) << " call " << c.nth);
    lwk_test::TempDir dir;
    const Paths paths{dir / "hosts", dir / "store"};
    spit(paths.target, "original");
    std::uint64_t counter = 0;
    {
      FaultyPlatform setup;
      ASSERT_TRUE(write(paths, "changed", setup, counter).has_value());
    }
    FaultyPlatform platform;
    platform.fail(c.op, c.nth, c.error);
    if (c.tamper) platform.after_replace = [&] { spit(paths.target, "someone else's"); };
    auto r = remove_everything(paths, platform, counter);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().step, c.step);
    EXPECT_EQ(r.error().message, c.message);
    if (c.step == WriteStep::RemovingStore) {
      // Entries removed before the failure stay removed, but the store is
      // there: a failed removal is never taken for a done one.
      EXPECT_TRUE(exists(paths.store));
    } else {
      // Nothing was removed: the snapshot stays available for a later attempt.
      EXPECT_EQ(slurp(paths.snapshot()), "original");
    }
  }
}

TEST(FaultInjection, RestoreWithoutSnapshotExaminesNothing) {
  lwk_test::TempDir dir;
  const Paths paths{dir / "hosts", dir / "store"};
  FaultyPlatform platform;
  std::uint64_t counter = 0;
  auto r = restore(paths, platform, counter);
  ASSERT_TRUE(r.has_value());
  EXPECT_FALSE(*r);
  EXPECT_EQ(platform.calls(Op::Examine), 0);
  EXPECT_FALSE(exists(paths.target));
}

}  // namespace
