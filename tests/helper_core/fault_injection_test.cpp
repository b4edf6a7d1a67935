// A change stopped at each of its steps leaves the target byte for byte as it
// was, no temporary file beside it, and the store as the step allows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helper_core/faulty_platform.h"
#include "helper_core/write.h"
#include "support/temp_dir.h"

namespace {

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

// What the store holds after the failure.
enum class Store { None, Empty, Snapshot, SnapshotAndBackupsDir, SnapshotAndBackup };

TEST(FaultInjection, EveryStepOfAFirstChange) {
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
      {Op::ReadFile, 1, WriteStep::ReadingCurrent, kEio, Store::None, 0},  // the comparison
      {Op::ReadFile, 2, WriteStep::ReadingCurrent, kEio, Store::None, 0},
      {Op::Examine, 2, WriteStep::KeepingSnapshot, kEio, Store::None, 0},  // snapshot lookup
      {Op::MakeDirectories, 1, WriteStep::KeepingSnapshot, kEio, Store::None, 0},
      {Op::CreateFile, 1, WriteStep::KeepingSnapshot, kEio, Store::Empty, 0},
      {Op::Append, 1, WriteStep::KeepingSnapshot, kEio, Store::Empty, 0},
      {Op::Sync, 1, WriteStep::KeepingSnapshot, kEio, Store::Empty, 0},
      {Op::Close, 1, WriteStep::KeepingSnapshot, kEio, Store::Empty, 0},
      {Op::Rename, 1, WriteStep::KeepingSnapshot, kEio, Store::Empty, 0},
      {Op::SyncDirectory, 1, WriteStep::KeepingSnapshot, kEio, Store::Snapshot, 0},
      {Op::MakeDirectories, 2, WriteStep::MakingBackup, kEio, Store::Snapshot, 0},
      {Op::CreateFile, 2, WriteStep::MakingBackup, kEio, Store::SnapshotAndBackupsDir, 1},
      {Op::Append, 2, WriteStep::MakingBackup, kEio, Store::SnapshotAndBackupsDir, 1},
      {Op::Sync, 2, WriteStep::MakingBackup, kEio, Store::SnapshotAndBackupsDir, 1},
      {Op::Rename, 2, WriteStep::MakingBackup, kEio, Store::SnapshotAndBackupsDir, 1},
      {Op::ListDirectory, 1, WriteStep::MakingBackup, kEio, Store::SnapshotAndBackup, 1},
      {Op::CreateFile, 3, WriteStep::CreatingTemporary, kEio, Store::SnapshotAndBackup, 1},
      {Op::Append, 3, WriteStep::WritingContent, kEio, Store::SnapshotAndBackup, 1},
      {Op::Sync, 3, WriteStep::FlushingContent, kEio, Store::SnapshotAndBackup, 1},
      {Op::Close, 3, WriteStep::FlushingContent, kEio, Store::SnapshotAndBackup, 1},
      {Op::RestorePermissions, 1, WriteStep::RestoringOwnerAndMode, kEio, Store::SnapshotAndBackup,
       1},
      {Op::Replace, 1, WriteStep::ReplacingTarget, kEio, Store::SnapshotAndBackup, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(c.op) << " call " << c.nth);
    lwk_test::TempDir dir;
    const Paths paths{dir / "hosts", dir / "store"};
    spit(paths.target, "old content\n");
    FaultyPlatform platform;
    platform.fail(c.op, c.nth);
    std::uint64_t counter = 0;
    auto r = write(paths, "new content\n", platform, counter);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().step, c.step);
    EXPECT_EQ(r.error().message, c.message);
    EXPECT_EQ(counter, c.counter);
    EXPECT_EQ(slurp(paths.target), "old content\n");
    // No temporary file beside the target.
    const std::vector<std::string> beside = names_in(dir.path());
    const std::vector<std::string> expected_beside =
        c.store == Store::None ? std::vector<std::string>{"hosts"}
                               : std::vector<std::string>{"hosts", "store"};
    EXPECT_EQ(beside, expected_beside);
    // No scratch file in the store, and exactly what the step allows.
    std::vector<std::string> stored = names_in(paths.store);
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

TEST(FaultInjection, ASecondChangeNeverRewritesTheSnapshot) {
  lwk_test::TempDir dir;
  const Paths paths{dir / "hosts", dir / "store"};
  spit(paths.target, "first");
  FaultyPlatform platform;
  std::uint64_t counter = 0;
  ASSERT_TRUE(write(paths, "second", platform, counter).has_value());
  ASSERT_TRUE(write(paths, "third", platform, counter).has_value());
  // One snapshot was written (scratch, sync, rename), never a second.
  EXPECT_EQ(platform.calls(Op::Rename), 3);  // snapshot, backup, backup
  EXPECT_EQ(slurp(paths.snapshot()), "first");
}

TEST(FaultInjection, RestoreAndRemoveFailures) {
  struct Case {
    Op op;
    int nth;
    bool tamper;
    WriteStep step;
    std::string message;
  };
  // Calls counted from the start of remove_everything, after one change.
  const Case cases[] = {
      {Op::ReadFile, 1, false, WriteStep::ReadingSnapshot, "Permission denied (os error 13)"},
      {Op::ReadFile, 4, false, WriteStep::CheckingAgainstSnapshot, kEio},
      {Op::Examine, 0, true, WriteStep::CheckingAgainstSnapshot,
       "the file does not match the snapshot taken before the first apply"},
      {Op::RemoveTree, 1, false, WriteStep::RemovingStore, kEio},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(c.op));
    lwk_test::TempDir dir;
    const Paths paths{dir / "hosts", dir / "store"};
    spit(paths.target, "original");
    std::uint64_t counter = 0;
    {
      FaultyPlatform setup;
      ASSERT_TRUE(write(paths, "changed", setup, counter).has_value());
    }
    FaultyPlatform platform;
    platform.fail(c.op, c.nth, c.op == Op::ReadFile && c.nth == 1 ? EACCES : EIO);
    if (c.tamper) platform.after_replace = [&] { spit(paths.target, "someone else's"); };
    auto r = remove_everything(paths, platform, counter);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().step, c.step);
    EXPECT_EQ(r.error().message, c.message);
    // The snapshot stays available for a later attempt.
    EXPECT_EQ(slurp(paths.snapshot()), "original");
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
