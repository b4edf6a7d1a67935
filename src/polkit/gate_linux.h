// How many of polkit's decisions may be awaited at once, shared between
// users. A decision may wait on a person typing a password, or on a prompt
// nobody answers, and it holds one of the listener's workers for callers
// outside the group while it waits. So each uid has at most one decision
// under way, which only it can hold open, and all of them together at most
// `in_all`, fewer than those workers, so that one is always free to answer
// the others at once.
#ifndef LWK_POLKIT_GATE_LINUX_H_
#define LWK_POLKIT_GATE_LINUX_H_

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <mutex>
#include <set>

#include "polkit/authority_linux.h"

namespace hosts_polkit {

class Gate {
 public:
  // At most `in_all` decisions at once, and one for each uid.
  explicit Gate(std::size_t in_all) : in_all_(in_all) {}
  Gate(const Gate&) = delete;
  Gate& operator=(const Gate&) = delete;

  // Runs `decide` for the caller `uid` when there is room, and gives its
  // decision; otherwise, at once, no decision (`later`), saying why. Safe on
  // several threads.
  Decision pass(uid_t uid, const std::function<Decision()>& decide);

 private:
  const std::size_t in_all_;
  std::mutex mutex_;
  std::set<uid_t> of_uid_;  // uids with a decision awaited; guarded by mutex_
};

}  // namespace hosts_polkit

#endif  // LWK_POLKIT_GATE_LINUX_H_
