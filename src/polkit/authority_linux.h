// polkit's decision whether a caller may take the helper's action, asked with
// org.freedesktop.PolicyKit1.Authority.CheckAuthorization over the system bus.
//
// The helper talks to polkit over D-Bus with sd-bus rather than running
// pkcheck: it reaps every leftover process of its cache commands on the
// understanding that its only children are those commands, one at a time
// (privsep/command_bounds.h, end_leftovers). A pkcheck child per decision,
// started outside the service lock on several threads at once, would break
// that and be killed by it. Over D-Bus the subject can also carry the
// caller's pidfd, which polkit versions that know it prefer to a pid.
//
// Every call opens a connection of its own and closes it before returning:
// an sd-bus connection may be used by one thread only, decisions are made on
// several threads at once, and only callers outside the helper's group are
// asked about, so the cost of a connection is paid rarely. Nothing is kept
// between calls.
#ifndef LWK_POLKIT_AUTHORITY_LINUX_H_
#define LWK_POLKIT_AUTHORITY_LINUX_H_

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "polkit/action.h"

namespace hosts_polkit {

// The process polkit is asked about: the peer as the kernel vouched for it
// when it connected.
struct Subject {
  pid_t pid = 0;
  uid_t uid = 0;
  // Clock ticks since boot, as field 22 of /proc/PID/stat: with the pid it
  // names one process, never a later one that reuses the pid.
  std::uint64_t start_time = 0;
  // A pidfd of the process, or -1 when the kernel gave none. Borrowed: the
  // caller keeps it and closes it.
  int pidfd = -1;
};

// polkit's answer. `refusal` is the journal's sentence when `authorized` is
// false, and empty when it is true. `later`: no decision was made, for a
// reason that passes (no answer in time, the helper stopping, another
// decision of the same user under way); the caller may ask again.
struct Decision {
  bool authorized = false;
  std::string refusal;
  bool later = false;
};

class Authority {
 public:
  // polkit on the system bus.
  Authority() = default;
  // polkit on the bus at `address`, a D-Bus address such as
  // "unix:path=/tmp/bus": for tests with a bus of their own.
  explicit Authority(std::string address) : address_(std::move(address)) {}

  // Asks whether `subject` may take ACTION, allowing polkit to ask the user
  // through an authentication agent. Returns within `limit` (plus the time
  // of a few system calls), and at once when the descriptor `stop` (-1:
  // none) becomes readable: both give no decision, `later`, "no decision on
  // the action A for uid U: no answer within L ms" or "...: the helper is
  // stopping". Every failure to reach polkit or to read its answer is a
  // refusal; the sentence says which.
  // The subject carries "pid", "start-time" and "uid", and "pidfd" when
  // subject.pidfd >= 0 and the bus passes file descriptors; polkit versions
  // that do not know "pidfd" look up the keys they know and pass over the
  // rest.
  Decision ask(const Subject& subject, std::chrono::milliseconds limit, int stop = -1) const;

 private:
  std::optional<std::string> address_;  // nothing: the system bus
};

}  // namespace hosts_polkit

#endif  // LWK_POLKIT_AUTHORITY_LINUX_H_
