#include "polkit/gate_linux.h"

#include <string>

namespace hosts_polkit {

Decision Gate::pass(uid_t uid, const std::function<Decision()>& decide) {
  const auto not_now = [uid](const char* why) {
    return Decision{false,
                    "no decision on the action " + std::string(ACTION) + " for uid " +
                        std::to_string(uid) + ": " + why,
                    true};
  };
  {
    const std::lock_guard lock(mutex_);
    if (of_uid_.contains(uid)) return not_now("polkit is still deciding an earlier request of it");
    if (of_uid_.size() >= in_all_) {
      return not_now("polkit is deciding as many requests of others as it may at once");
    }
    of_uid_.insert(uid);
  }
  Decision decision = decide();
  const std::lock_guard lock(mutex_);
  of_uid_.erase(uid);
  return decision;
}

}  // namespace hosts_polkit
