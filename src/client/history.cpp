// The backups the helper keeps of the file, read as its history.
#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <tuple>
#include <utility>

#include "client/failures.h"
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

}  // namespace

lwk::Result<std::vector<Backup>, Failure> history(const std::string& store) {
  auto found = listed(hosts_helper_core::write::Paths::backups_in(store));
  if (!found) return found;
  // The names order them as the helper made them: by time, then by counter.
  std::sort(found->begin(), found->end(), [](const Backup& a, const Backup& b) {
    return std::tie(a.nanoseconds, a.counter) > std::tie(b.nanoseconds, b.counter);
  });
  for (Backup& backup : *found) {
    auto bytes = read_file(backup.path);
    if (!bytes) return refused(std::move(bytes).error().sentence);
    backup.bytes = std::move(*bytes);
    backup.sets = read_sets(backup.bytes);
    if (!backup.sets) backup.sets = refused(backup.path + ": " + backup.sets.error().sentence);
  }
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

}  // namespace lantern_wharf::manager
