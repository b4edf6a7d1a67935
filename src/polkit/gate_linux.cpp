#include "polkit/gate_linux.h"

#include <string>

namespace hosts_polkit {

Decision Gate::pass(uid_t uid, const std::function<Decision()>& decide) {
  {
    const std::lock_guard lock(mutex_);
    if (of_uid_.contains(uid)) {
      return Decision{false, "refused the action " + std::string(ACTION) + " for uid " +
                                 std::to_string(uid) +
                                 ": polkit is still deciding an earlier request of that uid"};
    }
    if (awaited_ >= in_all_) {
      return Decision{false, "refused the action " + std::string(ACTION) + " for uid " +
                                 std::to_string(uid) +
                                 ": polkit is deciding an earlier request; ask again in a moment"};
    }
    ++awaited_;
    of_uid_.insert(uid);
  }
  Decision decision = decide();
  const std::lock_guard lock(mutex_);
  --awaited_;
  of_uid_.erase(uid);
  return decision;
}

}  // namespace hosts_polkit
