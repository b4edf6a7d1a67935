// What one change to the file did to its sets, as a history tells it.
#include "client/manager.h"

namespace lantern_wharf::manager {

std::string what_changed(const Backup& backup, const lwk::Result<Sets, Failure>& after) {
  if (!backup.readable) return "unreadable: " + backup.sets.error().sentence;
  if (!backup.sets || !after) return "a block that does not read back";
  std::string what;
  for (const std::string& phrase : changes(*backup.sets, *after)) {
    what += (what.empty() ? "" : ", ") + phrase;
  }
  return what.empty() ? "no change to the sets" : what;
}

std::vector<BackupChange> what_each_did(const std::vector<Backup>& backups,
                                        const lwk::Result<Sets, Failure>& now) {
  std::vector<BackupChange> out;
  out.reserve(backups.size());
  for (std::size_t i = 0; i < backups.size(); ++i) {
    const auto& after = i == 0 ? now : backups[i - 1].sets;
    BackupChange change{what_changed(backups[i], after), std::nullopt};
    if (backups[i].sets && after) change.changes = changes(*backups[i].sets, *after);
    out.push_back(std::move(change));
  }
  return out;
}

}  // namespace lantern_wharf::manager
