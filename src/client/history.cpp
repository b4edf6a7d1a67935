// The backups the helper keeps of the file, read as its history.
#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <tuple>
#include <utility>

#include "client/failures.h"
#include "client/input_file.h"
#include "client/manager.h"
#include "helper_core/write.h"

namespace lantern_wharf::manager {
namespace {

// The backups in the directory `backups`, unread and in no order.
lwk::Result<std::vector<Backup>, Failure> listed(const std::string& backups) {
  std::vector<Backup> found;
  DIR* directory = ::opendir(backups.c_str());
  if (directory == nullptr) {
    if (errno == ENOENT) return found;
    return refused(backups + ": " + std::strerror(errno));
  }
  while (const dirent* entry = ::readdir(directory)) {
    const auto name = hosts_helper_core::write::parse_backup_name(entry->d_name);
    if (!name) continue;
    found.push_back({backups + "/" + entry->d_name, name->nanoseconds, name->counter, {}, Sets{}});
  }
  (void)::closedir(directory);
  return found;
}

// Reads `backup` whole, or marks it unreadable with why. A link is not
// followed: the helper writes none there, so one is not its backup.
void read_backup(Backup& backup) {
  auto bytes = input_file::read(backup.path, FILE_LIMIT, input_file::Links::NotFollowed);
  if (!bytes) {
    backup.readable = false;
    backup.sets = refused(backup.path + ": " + bytes.error().message);
    return;
  }
  backup.bytes = std::move(*bytes);
  backup.sets = read_sets(backup.bytes);
  if (!backup.sets) backup.sets = refused(backup.path + ": " + backup.sets.error().sentence);
}

// The walk through the states of the sets, oldest first, that undo and redo
// move along: each state's sets and the newest backup that holds them
// (kNow: the current file's), and where the walk stands.
constexpr std::size_t kNow = static_cast<std::size_t>(-1);

struct Walk {
  std::vector<std::pair<const Sets*, std::size_t>> states;
  std::size_t at = 0;
};

// Takes the next state, `sets` (null: a block that does not read back, which
// equals no other) of the backup `index`, into `walk`.
void step(Walk& walk, const Sets* sets, std::size_t index) {
  const auto same = [&](std::size_t k) {
    return k < walk.states.size() && sets != nullptr && walk.states[k].first != nullptr &&
           *walk.states[k].first == *sets;
  };
  if (!walk.states.empty() && walk.at > 0 && same(walk.at - 1)) {
    --walk.at;  // an undo
  } else if (same(walk.at + 1)) {
    ++walk.at;  // a redo
  } else if (walk.states.empty() || !same(walk.at)) {
    // A change: what lay ahead of it can no longer be redone.
    if (!walk.states.empty()) walk.states.resize(walk.at + 1);
    walk.states.emplace_back(sets, index);
    walk.at = walk.states.size() - 1;
  }
  walk.states[walk.at].second = index;
}

Walk walk_of(const std::vector<Backup>& backups, const lwk::Result<Sets, Failure>& now) {
  Walk walk;
  for (std::size_t i = backups.size(); i-- > 0;) {
    if (backups[i].sets) step(walk, &*backups[i].sets, i);
  }
  step(walk, now ? &*now : nullptr, kNow);
  return walk;
}

}  // namespace

lwk::Result<std::vector<Backup>, Failure> history(const std::string& store) {
  auto found = listed(hosts_helper_core::write::Paths::backups_in(store));
  if (!found) return found;
  // The names order them as the helper made them: by time, then by counter.
  std::sort(found->begin(), found->end(), [](const Backup& a, const Backup& b) {
    return std::tie(a.nanoseconds, a.counter) > std::tie(b.nanoseconds, b.counter);
  });
  for (Backup& backup : *found) read_backup(backup);
  return found;
}

lwk::Result<std::size_t, Failure> backup_numbered(const std::vector<Backup>& backups,
                                                  std::uint64_t number) {
  if (number == 0 || number > backups.size()) {
    return bad_input("there is no backup " + std::to_string(number) + " (there are " +
                     std::to_string(backups.size()) + ")");
  }
  return number - 1;
}

lwk::Result<Sets, Failure> undo(const std::vector<Backup>& backups, std::size_t index) {
  if (index >= backups.size()) lwk::fatal("undo of a backup that is not there");
  const Backup& backup = backups[index];
  if (!backup.sets) return bad_input(backup.sets.error().sentence);
  return *backup.sets;
}

lwk::Result<std::size_t, Failure> undo_step(const std::vector<Backup>& backups,
                                            const lwk::Result<Sets, Failure>& now) {
  if (backups.empty()) return bad_input("the helper keeps no backup to go back to");
  const Walk walk = walk_of(backups, now);
  if (walk.at == 0) {
    return bad_input("there is nothing older to go back to: the sets are as the oldest of the " +
                     std::to_string(backups.size()) + " backups the helper keeps holds them");
  }
  return walk.states[walk.at - 1].second;
}

lwk::Result<std::size_t, Failure> redo_step(const std::vector<Backup>& backups,
                                            const lwk::Result<Sets, Failure>& now) {
  const Walk walk = walk_of(backups, now);
  if (walk.at + 1 >= walk.states.size()) {
    return bad_input("there is nothing to redo: no undo has been made since the last change");
  }
  return walk.states[walk.at + 1].second;
}

}  // namespace lantern_wharf::manager
