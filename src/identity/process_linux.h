// The audit token of a Linux process, built from what the kernel vouches for:
// its credentials and its start time, which plays the part of the pid
// version, so that a reused pid is never taken for the process it replaced.
//
// Layout, as the platform's token words: [0], [1] and [3] the uid; [2] and
// [4] the gid; [5] the pid; [6] and [7] the start time (in clock ticks since
// boot, field 22 of /proc/PID/stat), high word and low word.
#ifndef LWK_IDENTITY_PROCESS_LINUX_H_
#define LWK_IDENTITY_PROCESS_LINUX_H_

#include <sys/types.h>

#include <cstdint>
#include <optional>

#include "identity/identity.h"

namespace identity {

// The start time of process `pid`, or nothing when it cannot be read (the
// process has gone, say).
std::optional<std::uint64_t> start_time_of(pid_t pid);

// The token of process `pid` with these credentials; all zero when its start
// time cannot be read.
AuditToken token_of(pid_t pid, uid_t uid, gid_t gid);

pid_t pid_of(const AuditToken& token);
std::uint64_t start_time_in(const AuditToken& token);

}  // namespace identity

#endif  // LWK_IDENTITY_PROCESS_LINUX_H_
