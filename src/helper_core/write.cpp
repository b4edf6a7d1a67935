#include "helper_core/write.h"

#include <algorithm>
#include <chrono>
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

std::uint64_t nanoseconds_now() {
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count();
  return ns < 0 ? 0 : static_cast<std::uint64_t>(ns);
}

// Writes `content` to `directory`/`name` so that the name never holds a
// partial file: into `directory`/`scratch` first, flushed, renamed over
// `name`, and the directory flushed, so that the file is on disk before the
// caller goes on. The scratch file is removed on failure.
lwk::Result<void, IoError> write_whole_file(Platform& platform, const std::string& directory,
                                            const std::string& name, const std::string& scratch,
                                            std::string_view content) {
  const std::string final_path = directory + "/" + name;
  const std::string scratch_path = directory + "/" + scratch;
  auto file = platform.create_file(scratch_path);
  if (!file) return unexpected(file.error());
  auto outcome = [&]() -> lwk::Result<void, IoError> {
    if (auto r = (*file)->append(content); !r) return r;
    if (auto r = (*file)->sync(); !r) return r;
    if (auto r = (*file)->close(); !r) return r;
    if (auto r = platform.rename(scratch_path, final_path); !r) return r;
    return platform.sync_directory(directory);
  }();
  if (!outcome) (void)platform.remove_file(scratch_path);
  return outcome;
}

// Keeps the snapshot: writes `current` as the snapshot when, and only when,
// the lookup answers that there is none.
lwk::Result<void, WriteError> keep_snapshot(const Paths& paths, std::string_view current,
                                            Platform& platform) {
  auto existing = platform.examine(paths.snapshot());
  if (existing) return lwk::success();
  if (!existing.error().not_found()) {
    return unexpected(fail(WriteStep::KeepingSnapshot, existing.error().message));
  }
  if (auto made = platform.make_directories(paths.store); !made) {
    return unexpected(fail(WriteStep::KeepingSnapshot, made.error().message));
  }
  const std::string name(Paths::SNAPSHOT_NAME);
  auto written = write_whole_file(platform, paths.store, name, name + ".partial", current);
  if (!written) return unexpected(fail(WriteStep::KeepingSnapshot, written.error().message));
  return lwk::success();
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
  return "hosts-" + lwk::zero_padded(nanoseconds, 24) + "-" + lwk::zero_padded(counter, 6);
}

lwk::Result<void, WriteError> rotate(const std::string& backups, Platform& platform) {
  auto names = platform.list_directory(backups);
  if (!names) return unexpected(fail(WriteStep::MakingBackup, names.error().message));
  std::vector<std::string> kept;
  for (const std::string& name : *names) {
    if (lwk::utf8::is_valid(name) && name.starts_with("hosts-")) kept.push_back(name);
  }
  // In one directory, sorting full paths is sorting names byte by byte.
  std::stable_sort(kept.begin(), kept.end());
  if (kept.size() <= BACKUPS_KEPT) return lwk::success();
  const std::size_t surplus = kept.size() - BACKUPS_KEPT;
  for (std::size_t i = surplus; i-- > 0;) {
    (void)platform.remove_file(backups + "/" + kept[i]);
  }
  return lwk::success();
}

lwk::Result<void, WriteError> make_backup(const std::string& store, std::string_view current,
                                          Platform& platform, std::uint64_t& counter) {
  const std::string backups = Paths::backups_in(store);
  if (auto made = platform.make_directories(backups); !made) {
    return unexpected(fail(WriteStep::MakingBackup, made.error().message));
  }
  ++counter;
  const std::string name = backup_name(nanoseconds_now(), counter);
  // The scratch name does not begin with "hosts-", so pruning never counts it.
  auto written = write_whole_file(platform, backups, name, "." + name + ".partial", current);
  if (!written) return unexpected(fail(WriteStep::MakingBackup, written.error().message));
  return rotate(backups, platform);
}

lwk::Result<bool, WriteError> write(const Paths& paths, std::string_view content,
                                    Platform& platform, std::uint64_t& counter) {
  auto kind = platform.examine(paths.target);
  if (!kind) {
    return unexpected(fail(WriteStep::ReadingCurrent,
                           "the target file could not be examined: " + kind.error().message));
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
  // Most applies change nothing: find that out without holding the file twice.
  auto unchanged = platform.holds_exactly(paths.target, content);
  if (!unchanged) return unexpected(fail(WriteStep::ReadingCurrent, unchanged.error().message));
  if (*unchanged) return false;
  auto current = platform.read_file(paths.target);
  if (!current) return unexpected(fail(WriteStep::ReadingCurrent, current.error().message));
  if (*current == content) return false;  // it changed back since the comparison

  if (auto kept = keep_snapshot(paths, *current, platform); !kept) {
    return unexpected(kept.error());
  }
  if (auto backed_up = make_backup(paths.store, *current, platform, counter); !backed_up) {
    return unexpected(backed_up.error());
  }

  const std::string temporary = paths.temporary(counter);
  auto file = platform.create_file(temporary);
  if (!file) return unexpected(fail(WriteStep::CreatingTemporary, file.error().message));
  auto replaced = [&]() -> lwk::Result<void, WriteError> {
    if (auto r = (*file)->append(content); !r) {
      return unexpected(fail(WriteStep::WritingContent, r.error().message));
    }
    if (auto r = (*file)->sync(); !r) {
      return unexpected(fail(WriteStep::FlushingContent, r.error().message));
    }
    if (auto r = (*file)->close(); !r) {
      return unexpected(fail(WriteStep::FlushingContent, r.error().message));
    }
    if (auto r = platform.restore_permissions(temporary, paths.target); !r) {
      return unexpected(fail(WriteStep::RestoringOwnerAndMode, r.error().message));
    }
    if (auto r = platform.replace(temporary, paths.target); !r) {
      return unexpected(fail(WriteStep::ReplacingTarget, r.error().message));
    }
    return lwk::success();
  }();
  file->reset();
  if (!replaced) {
    (void)platform.remove_file(temporary);
    return unexpected(replaced.error());
  }
  // The target has been replaced; flushing its directory makes the rename
  // survive a power loss. Best effort: a failure here changes nothing.
  (void)platform.sync_directory(lwk::os::parent_of(paths.target));
  return true;
}

lwk::Result<bool, WriteError> restore(const Paths& paths, Platform& platform,
                                      std::uint64_t& counter) {
  auto snapshot = platform.read_file(paths.snapshot());
  if (!snapshot) {
    if (snapshot.error().not_found()) return false;
    return unexpected(fail(WriteStep::ReadingSnapshot, snapshot.error().message));
  }
  auto changed = write(paths, *snapshot, platform, counter);
  if (!changed) return changed;
  auto now = platform.read_file(paths.target);
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
  auto removed = platform.remove_tree(paths.store);
  if (!removed && !removed.error().not_found()) {
    return unexpected(fail(WriteStep::RemovingStore, removed.error().message));
  }
  return lwk::success();
}

}  // namespace hosts_helper_core::write
