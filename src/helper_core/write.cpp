#include "helper_core/write.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "base/text.h"
#include "base/utf8.h"
#include "os/files.h"
#include "paths/paths.h"

namespace hosts_helper_core::write {
namespace {

using lwk::unexpected;

WriteError fail(WriteStep step, std::string message) {
  return WriteError{step, std::move(message)};
}

// The digits of the clock reading in a backup's name.
constexpr std::size_t kClockDigits = 24;

// The number that `text`, nothing but decimal digits, spells; nothing for
// any other text or a number beyond 64 bits.
std::optional<std::uint64_t> digits_of(std::string_view text) {
  std::uint64_t n = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return n;
}

// The stages of putting a file durably in place, in their order.
enum class Stage { Create, Write, Flush, Permissions, Rename, FlushDirectory };

struct Stopped {
  Stage stage;
  IoError error;
};

// Puts `content` at `path` so that `path` never names a partial file: writes
// it into `scratch`, a new file (a leftover entry of that name is removed
// first, so that nothing planted there is followed or shared), flushes and
// closes it, renames it over `path` and flushes the directory. With
// `as_target` the scratch file first gets the target's owner and mode, and
// the platform's atomic replace does the rename. A stop before the rename
// removes the scratch file; a failure to remove it is ignored.
lwk::Result<void, Stopped> put_durably(Platform& platform, const std::string& scratch,
                                       const std::string& path, std::string_view content,
                                       bool as_target) {
  Files& files = platform.files();
  (void)files.remove_file(scratch);  // a leftover of a crash, or something planted
  auto file = files.create_new(scratch);
  if (!file) return unexpected(Stopped{Stage::Create, file.error()});
  auto placed = [&]() -> lwk::Result<void, Stopped> {
    if (auto r = (*file)->append(content); !r) return unexpected(Stopped{Stage::Write, r.error()});
    if (auto r = (*file)->sync(); !r) return unexpected(Stopped{Stage::Flush, r.error()});
    if (auto r = (*file)->close(); !r) return unexpected(Stopped{Stage::Flush, r.error()});
    if (as_target) {
      if (auto r = platform.restore_permissions(scratch, path); !r) {
        return unexpected(Stopped{Stage::Permissions, r.error()});
      }
    }
    auto renamed = as_target ? platform.replace(scratch, path) : files.rename(scratch, path);
    if (!renamed) return unexpected(Stopped{Stage::Rename, renamed.error()});
    return lwk::success();
  }();
  file->reset();
  if (!placed) {
    (void)files.remove_file(scratch);
    return placed;
  }
  if (auto r = files.sync_directory(lwk::os::parent_of(path)); !r) {
    return unexpected(Stopped{Stage::FlushDirectory, r.error()});
  }
  return lwk::success();
}

// Refuses a target that writing would not reach in place: one that cannot be
// examined (without following a link in its last component), a symbolic
// link, or one the platform finds redirected. With `plain`, a failed
// examination gives the system's sentence alone. Every failure is one of
// reading the current file.
lwk::Result<void, WriteError> check_target(const Paths& paths, Platform& platform, bool plain) {
  auto kind = platform.files().examine(paths.target);
  if (!kind) {
    return unexpected(fail(WriteStep::ReadingCurrent,
                           plain
                               ? kind.error().message
                               : "the target file could not be examined: " + kind.error().message));
  }
  if (*kind == FileKind::SymbolicLink) {
    return unexpected(
        fail(WriteStep::ReadingCurrent,
             "the target is a symbolic link, and following it would write elsewhere"));
  }
  if (auto redirected = platform.reject_if_redirected(paths.target); !redirected) {
    return unexpected(
        fail(WriteStep::ReadingCurrent, "the target is redirected: " + redirected.error().message));
  }
  return lwk::success();
}

// The target's current content, read whole after check_target().
lwk::Result<std::string, WriteError> read_target(const Paths& paths, Platform& platform,
                                                 bool plain) {
  if (auto checked = check_target(paths, platform, plain); !checked) {
    return unexpected(checked.error());
  }
  auto current = platform.files().read_file(paths.target);
  if (!current) return unexpected(fail(WriteStep::ReadingCurrent, current.error().message));
  return std::move(*current);
}

// Makes `directory` of the store, under `step`: a real directory, never one
// reached through a link.
lwk::Result<void, WriteError> make_store_directory(Files& files, const std::string& directory,
                                                   WriteStep step) {
  if (auto made = files.make_directories(directory); !made) {
    return unexpected(fail(step, made.error().message));
  }
  return lwk::success();
}

// Keeps `current`, the content before this change, as the snapshot of the
// file before the service first changed it: written when, and only when, the
// lookup answers that there is none, so an existing snapshot is never
// rewritten. It goes through a scratch file, so it is whole or absent.
lwk::Result<void, WriteError> keep_snapshot(const Paths& paths, std::string_view current,
                                            Platform& platform) {
  auto existing = platform.files().examine(paths.snapshot());
  if (existing) return lwk::success();
  if (!existing.error().not_found()) {
    return unexpected(fail(WriteStep::KeepingSnapshot, existing.error().message));
  }
  if (auto made = make_store_directory(platform.files(), paths.store, WriteStep::KeepingSnapshot);
      !made) {
    return made;
  }
  const std::string snapshot = paths.snapshot();
  if (auto put = put_durably(platform, snapshot + ".partial", snapshot, current, false); !put) {
    return unexpected(fail(WriteStep::KeepingSnapshot, put.error().error.message));
  }
  return lwk::success();
}

// Replaces the target with `content` through the temporary file beside it,
// named after `counter`: created, written, flushed, given the target's owner
// and mode, then moved over the target in one atomic step, so that a reader
// sees the old file or the new one, never a mixture. The target's directory
// is flushed after the replace as well, but the change is made by then, so a
// failure there is not reported.
lwk::Result<void, WriteError> replace_target(const Paths& paths, std::string_view content,
                                             Platform& platform, std::uint64_t counter) {
  auto put = put_durably(platform, paths.temporary(counter), paths.target, content, true);
  if (put) return lwk::success();
  switch (put.error().stage) {
    case Stage::Create:
      return unexpected(fail(WriteStep::CreatingTemporary, put.error().error.message));
    case Stage::Write:
      return unexpected(fail(WriteStep::WritingContent, put.error().error.message));
    case Stage::Flush:
      return unexpected(fail(WriteStep::FlushingContent, put.error().error.message));
    case Stage::Permissions:
      return unexpected(fail(WriteStep::RestoringOwnerAndMode, put.error().error.message));
    case Stage::Rename:
      return unexpected(fail(WriteStep::ReplacingTarget, put.error().error.message));
    case Stage::FlushDirectory: break;
  }
  return lwk::success();
}

// Removes `path` and everything below it, depth first, never following a
// link: a link is removed as the entry it is. An entry that vanishes
// meanwhile is passed over; a missing `path` is the not-found error.
IoResult<void> remove_tree(Files& files, const std::string& path) {
  auto kind = files.examine(path);
  if (!kind) return unexpected(kind.error());
  if (*kind != FileKind::Directory) return files.remove_file(path);
  auto names = files.list_directory(path);
  if (!names) return unexpected(names.error());
  for (const std::string& name : *names) {
    auto removed = remove_tree(files, path + "/" + name);
    if (!removed && !removed.error().not_found()) return removed;
  }
  return files.remove_directory(path);
}

}  // namespace

Paths Paths::system() { return Paths{hosts_paths::system_file(), hosts_paths::store_directory()}; }

std::string Paths::snapshot_in(std::string_view store) {
  return std::string(store) + "/" + std::string(SNAPSHOT_NAME);
}

std::string Paths::backups_in(std::string_view store) {
  return std::string(store) + "/" + std::string(BACKUPS_NAME);
}

std::string Paths::temporary(std::uint64_t counter) const {
  return target + ".lantern-wharf-" + std::to_string(counter);
}

std::string_view text_of(WriteStep step) {
  switch (step) {
    case WriteStep::ReadingCurrent: return "reading the current file";
    case WriteStep::ReadingSnapshot: return "reading the snapshot taken before the first apply";
    case WriteStep::CheckingAgainstSnapshot: return "checking the file against the snapshot";
    case WriteStep::RemovingStore: return "removing what the privileged side kept";
    case WriteStep::KeepingSnapshot: return "keeping the snapshot taken before the first apply";
    case WriteStep::MakingBackup: return "making a backup";
    case WriteStep::CreatingTemporary: return "creating the temporary file beside the target";
    case WriteStep::WritingContent: return "writing the content";
    case WriteStep::FlushingContent: return "flushing the content to disk";
    case WriteStep::RestoringOwnerAndMode: return "restoring the target's owner and mode";
    case WriteStep::ReplacingTarget: break;
  }
  return "replacing the target";
}

std::string backup_name(std::uint64_t nanoseconds, std::uint64_t counter) {
  return std::string(BACKUP_PREFIX) + lwk::zero_padded(nanoseconds, kClockDigits) + "-" +
         lwk::zero_padded(counter, 6);
}

std::optional<BackupName> parse_backup_name(std::string_view name) {
  if (!name.starts_with(BACKUP_PREFIX)) return std::nullopt;
  const std::string_view rest = name.substr(BACKUP_PREFIX.size());
  if (rest.size() < kClockDigits + 2 || rest[kClockDigits] != '-') return std::nullopt;
  const auto nanoseconds = digits_of(rest.substr(0, kClockDigits));
  const auto counter = digits_of(rest.substr(kClockDigits + 1));
  if (!nanoseconds || !counter) return std::nullopt;
  return BackupName{*nanoseconds, *counter};
}

lwk::Result<void, WriteError> rotate(const std::string& backups, std::string_view just_made,
                                     Platform& platform) {
  auto names = platform.files().list_directory(backups);
  if (!names) return unexpected(fail(WriteStep::MakingBackup, names.error().message));
  bool made_is_there = false;
  std::vector<std::string> others;
  for (const std::string& name : *names) {
    if (!lwk::utf8::is_valid(name) || !name.starts_with(BACKUP_PREFIX)) continue;
    if (name == just_made) {
      made_is_there = true;
    } else {
      others.push_back(name);
    }
  }
  // In one directory, sorting full paths is sorting names byte by byte. With
  // a clock that stepped back, the backup just made sorts low; it stays.
  std::stable_sort(others.begin(), others.end());
  const std::size_t room = BACKUPS_KEPT - (made_is_there ? 1 : 0);
  if (others.size() <= room) return lwk::success();
  for (std::size_t i = others.size() - room; i-- > 0;) {
    (void)platform.files().remove_file(backups + "/" + others[i]);
  }
  return lwk::success();
}

lwk::Result<void, WriteError> make_backup(const std::string& store, std::string_view current,
                                          Platform& platform, std::uint64_t& counter) {
  Files& files = platform.files();
  const std::string backups = Paths::backups_in(store);
  for (const std::string& directory : {store, backups}) {
    if (auto made = make_store_directory(files, directory, WriteStep::MakingBackup); !made) {
      return made;
    }
  }
  ++counter;
  const std::string name = backup_name(files.now_nanoseconds(), counter);
  // The scratch name does not begin with "hosts-", so pruning never counts it.
  auto put = put_durably(platform, backups + "/." + name + ".partial", backups + "/" + name,
                         current, false);
  if (!put && put.error().stage != Stage::FlushDirectory) {
    return unexpected(fail(WriteStep::MakingBackup, put.error().error.message));
  }
  // The backup is in place, flushed or not: prune, so that failing flushes
  // cannot pile backups up.
  auto pruned = rotate(backups, name, platform);
  if (!put) return unexpected(fail(WriteStep::MakingBackup, put.error().error.message));
  return pruned;
}

namespace {

// write() from its fifth step on: `current` has been read and checked.
lwk::Result<bool, WriteError> change(const Paths& paths, std::string_view current,
                                     std::string_view content, Platform& platform,
                                     std::uint64_t& counter) {
  if (current == content) return false;
  if (auto kept = keep_snapshot(paths, current, platform); !kept) return unexpected(kept.error());
  if (auto backed_up = make_backup(paths.store, current, platform, counter); !backed_up) {
    return unexpected(backed_up.error());
  }
  if (auto replaced = replace_target(paths, content, platform, counter); !replaced) {
    return unexpected(replaced.error());
  }
  return true;
}

}  // namespace

lwk::Result<bool, WriteError> write(const Paths& paths, std::string_view content,
                                    Platform& platform, std::uint64_t& counter) {
  auto current = read_target(paths, platform, /*plain=*/false);
  if (!current) return unexpected(current.error());
  return change(paths, *current, content, platform, counter);
}

lwk::Result<std::string, WriteError> read_current(const Paths& paths, Platform& platform) {
  return read_target(paths, platform, /*plain=*/true);
}

lwk::Result<bool, WriteError> write_over(const Paths& paths, std::string_view current,
                                         std::string_view content, Platform& platform,
                                         std::uint64_t& counter) {
  if (auto checked = check_target(paths, platform, /*plain=*/false); !checked) {
    return unexpected(checked.error());
  }
  return change(paths, current, content, platform, counter);
}

std::vector<std::string> clear_debris(const Paths& paths, Platform& platform) {
  Files& files = platform.files();
  std::vector<std::string> removed;
  // Removes the entries of `directory` that `is_debris` picks, but never a directory.
  auto clear = [&](const std::string& directory, auto is_debris) {
    auto names = files.list_directory(directory);
    if (!names) return;
    for (const std::string& name : *names) {
      const std::string path = directory + "/" + name;
      if (!is_debris(name)) continue;
      auto kind = files.examine(path);
      if (kind && *kind != FileKind::Directory && files.remove_file(path)) removed.push_back(path);
    }
  };
  const std::string beside = lwk::os::parent_of(paths.target);
  const std::size_t slash = paths.target.find_last_of('/');
  const std::string prefix =
      paths.target.substr(slash == std::string::npos ? 0 : slash + 1) + ".lantern-wharf-";
  clear(beside, [&](const std::string& name) {
    if (!name.starts_with(prefix) || name.size() == prefix.size()) return false;
    return name.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
  });
  auto partial = [](const std::string& name) { return name.ends_with(".partial"); };
  clear(paths.store, partial);
  clear(paths.backups(), partial);
  return removed;
}

lwk::Result<bool, WriteError> restore(const Paths& paths, Platform& platform,
                                      std::uint64_t& counter) {
  auto snapshot = platform.files().read_file(paths.snapshot());
  if (!snapshot) {
    if (snapshot.error().not_found()) return false;
    return unexpected(fail(WriteStep::ReadingSnapshot, snapshot.error().message));
  }
  auto changed = write(paths, *snapshot, platform, counter);
  if (!changed) return changed;
  auto now = platform.files().read_file(paths.target);
  if (!now) return unexpected(fail(WriteStep::CheckingAgainstSnapshot, now.error().message));
  if (*now != *snapshot) {
    return unexpected(fail(WriteStep::CheckingAgainstSnapshot,
                           "the file does not match the snapshot taken before the first apply"));
  }
  return changed;
}

lwk::Result<void, WriteError> remove_everything(const Paths& paths, Platform& platform,
                                                std::uint64_t& counter) {
  if (auto restored = restore(paths, platform, counter); !restored) {
    return unexpected(restored.error());
  }
  Files& files = platform.files();
  // The restored target must be durable before the snapshot may go: its
  // rename is flushed by the replace only as far as that flush went, and
  // were the store's removal to reach the disk before it, a power cut could
  // leave neither the original file nor its snapshot.
  if (auto flushed = files.sync_directory(lwk::os::parent_of(paths.target)); !flushed) {
    return unexpected(fail(WriteStep::RemovingStore,
                           "the restored file could not be made durable, so the snapshot is "
                           "kept: " +
                               flushed.error().message));
  }
  // Only a store missing at the start counts as removed already.
  if (auto there = files.examine(paths.store); !there) {
    if (there.error().not_found()) return lwk::success();
    return unexpected(fail(WriteStep::RemovingStore, there.error().message));
  }
  auto removed = remove_tree(files, paths.store);
  // Whatever the removal answered, success means that the store is gone.
  auto left = files.examine(paths.store);
  if (!left && left.error().not_found()) {
    // Made durable, so that a power cut cannot bring back a snapshot that a
    // later hand edit of the target should have replaced. The target is the
    // original again by now, so a failure here is not reported.
    (void)files.sync_directory(lwk::os::parent_of(paths.store));
    return lwk::success();
  }
  if (!removed) return unexpected(fail(WriteStep::RemovingStore, removed.error().message));
  return unexpected(
      fail(WriteStep::RemovingStore,
           left ? "the store directory is still there after its removal" : left.error().message));
}

}  // namespace hosts_helper_core::write
