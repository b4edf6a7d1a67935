// A caller on Linux: the process at the other end of a connection, as the
// kernel vouched for it when it connected (SO_PEERCRED, SO_PEERGROUPS), with
// its start time, which tells it from any later process that gets its pid.
#ifndef LWK_IDENTITY_CALLER_LINUX_H_
#define LWK_IDENTITY_CALLER_LINUX_H_

#include <sys/types.h>

#include <cstdint>
#include <vector>

#include "identity/caller.h"

namespace identity {

struct Caller {
  pid_t pid = 0;
  uid_t uid = 0;
  gid_t gid = 0;                 // its own group
  std::vector<gid_t> groups;     // its supplementary groups
  std::uint64_t start_time = 0;  // clock ticks since boot, /proc/PID/stat field 22
  // A pidfd of that very process, held by the connection; -1 where the
  // kernel gives none. Not owned.
  int pidfd = -1;
};

}  // namespace identity

#endif  // LWK_IDENTITY_CALLER_LINUX_H_
