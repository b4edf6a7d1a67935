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

}  // namespace lantern_wharf::manager
