// The only code that changes the hosts file. write() replaces the target's
// content through a temporary file beside it, after keeping a snapshot of the
// content from before the first change and a backup of the content before
// every change (the newest ten are kept). restore() and remove_everything()
// put the snapshot back and delete what the service keeps.
//
// REQUIRES of every function here: nothing else changes the target, the store
// or the counter while it runs (the service lock guarantees it).
#ifndef LWK_HELPER_CORE_WRITE_H_
#define LWK_HELPER_CORE_WRITE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "helper_core/platform.h"

namespace hosts_helper_core::write {

// Where the service works: the hosts file it edits, and its store directory.
struct Paths {
  std::string target;
  std::string store;

  // "/etc/hosts" and "/var/db/lantern-wharf-kit".
  static Paths system();

  // The names of the store's entries.
  static constexpr std::string_view SNAPSHOT_NAME = "before-first-apply";
  static constexpr std::string_view BACKUPS_NAME = "backups";

  // The snapshot and the backups directory of this store.
  std::string snapshot() const { return snapshot_in(store); }
  std::string backups() const { return backups_in(store); }
  // The same for the store directory at `store`.
  static std::string snapshot_in(std::string_view store);
  static std::string backups_in(std::string_view store);
  // The temporary file beside the target for counter value `counter`.
  std::string temporary(std::uint64_t counter) const;
};

// The steps at which changing the file can stop, in declaration order.
enum class WriteStep {
  ReadingCurrent,
  ReadingSnapshot,
  CheckingAgainstSnapshot,
  RemovingStore,
  KeepingSnapshot,
  MakingBackup,
  CreatingTemporary,
  WritingContent,
  FlushingContent,
  RestoringOwnerAndMode,
  ReplacingTarget,
};

// The text shown to the user for `step`, e.g. "making a backup".
std::string_view text_of(WriteStep step);

struct WriteError {
  WriteStep step;
  std::string message;
  friend bool operator==(const WriteError&, const WriteError&) = default;
};

inline constexpr std::size_t BACKUPS_KEPT = 10;

// How every backup's name begins; pruning counts only such names.
inline constexpr std::string_view BACKUP_PREFIX = "hosts-";

// The backup's file name for a clock reading and a counter value:
// BACKUP_PREFIX, 24 digits of nanoseconds, "-", at least 6 digits of the
// counter.
std::string backup_name(std::uint64_t nanoseconds, std::uint64_t counter);

// What a backup's name says: the clock reading and the counter it was made with.
struct BackupName {
  std::uint64_t nanoseconds;
  std::uint64_t counter;
  friend bool operator==(const BackupName&, const BackupName&) = default;
};

// Reads back a name that backup_name() wrote; nothing for any other name.
// Ordering what it gives by (nanoseconds, counter) orders backups as they
// were made, while the clock runs forward.
std::optional<BackupName> parse_backup_name(std::string_view name);

// Replaces the target's content with `content`. Returns false, having written
// nothing, when the target already holds exactly `content`; true once the
// target has been replaced. On failure the target is unchanged and the
// temporary file is gone (unless removing it failed); the snapshot and a new
// backup may have been kept. `counter` counts every backup made, also those
// of failed changes. The snapshot, each backup and the target are each
// written to a scratch file of their own, created anew, flushed, renamed into
// place, and their directory flushed: no name ever holds a partial file.
lwk::Result<bool, WriteError> write(const Paths& paths, std::string_view content,
                                    Platform& platform, std::uint64_t& counter);

// What write() reads before it changes anything, for a caller that needs the
// current content first (the handler renders the new content from it): the
// target examined without following a link in its last component, refused
// when it is a symbolic link or the platform finds it redirected, then read
// whole through the platform's files, once. Every failure has the step
// ReadingCurrent; a target that cannot be examined gives the system's
// sentence alone, as a failed read does.
lwk::Result<std::string, WriteError> read_current(const Paths& paths, Platform& platform);

// write() for `current`, the target's content as read_current() read it
// under the same lock: nothing reads the target again. The refusals of a
// linked or redirected target are made again, as they cost no read.
lwk::Result<bool, WriteError> write_over(const Paths& paths, std::string_view current,
                                         std::string_view content, Platform& platform,
                                         std::uint64_t& counter);

// Writes `current` as a new backup in the store's backups directory, then
// prunes it with rotate(), keeping the new backup. The pruning happens also
// when the change stops after the backup was renamed into place.
lwk::Result<void, WriteError> make_backup(const std::string& store, std::string_view current,
                                          Platform& platform, std::uint64_t& counter);

// Prunes `backups` to BACKUPS_KEPT entries whose names begin "hosts-": the
// backup named `just_made`, which is never removed, and the highest-named
// others (the newest, while the clock runs forward). Other entries are never
// touched. Failures to remove are ignored.
lwk::Result<void, WriteError> rotate(const std::string& backups, std::string_view just_made,
                                     Platform& platform);

// Removes what a change that a crash cut short leaves behind: temporary files
// beside the target (the target's name, ".lantern-wharf-" and digits) and
// scratch files (ending ".partial") in the store and its backups directory.
// Returns the paths removed. REQUIRES: no change is under way.
std::vector<std::string> clear_debris(const Paths& paths, Platform& platform);

// Writes the snapshot back over the target through write() and verifies the
// result. Returns false when there is no snapshot or the target already holds
// it.
lwk::Result<bool, WriteError> restore(const Paths& paths, Platform& platform,
                                      std::uint64_t& counter);

// Restores the snapshot and, only when that succeeded, removes the store
// directory with everything in it. A store that is missing to begin with is
// already removed; otherwise success means the store is gone when it returns,
// and its removal is flushed into its parent as far as the flush went.
lwk::Result<void, WriteError> remove_everything(const Paths& paths, Platform& platform,
                                                std::uint64_t& counter);

}  // namespace hosts_helper_core::write

#endif  // LWK_HELPER_CORE_WRITE_H_
