// What Linux tells of a process that the caller check needs: its start time,
// which tells it from any later process that gets its pid.
#ifndef LWK_IDENTITY_PROCESS_LINUX_H_
#define LWK_IDENTITY_PROCESS_LINUX_H_

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace identity {

// The start time of process `pid`, in clock ticks since boot (field 22 of
// /proc/PID/stat), or nothing when it cannot be read (the process has gone,
// say).
std::optional<std::uint64_t> start_time_of(pid_t pid);

}  // namespace identity

#endif  // LWK_IDENTITY_PROCESS_LINUX_H_
