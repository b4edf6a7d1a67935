// What Linux tells of a process that the caller check needs: its start time,
// which tells it from any later process that gets its pid, and what it means
// when the kernel gives no pidfd of a socket's peer.
#ifndef LWK_IDENTITY_PROCESS_LINUX_H_
#define LWK_IDENTITY_PROCESS_LINUX_H_

#include <sys/types.h>

#include <cstdint>

#include "base/result.h"

namespace identity {

// Why something of a process is not known.
enum class Unknown {
  // The process has gone: nothing holds its pid, or what does is not it.
  Gone,
  // The helper could not look now (no descriptor or no memory to look
  // with): this says nothing of the process, which may well be there.
  NotLooked,
};

// Whether the error number `error` is the helper's own want of descriptors
// or memory (EMFILE, ENFILE, ENOMEM), which says nothing of what it looked
// at.
bool short_of_resources(int error);

// The start time of process `pid`, in clock ticks since boot (field 22 of
// /proc/PID/stat). NotLooked when its entry could not be read for want of
// descriptors or memory; Gone otherwise when it cannot be had (no entry for
// the pid, one the helper may not read, a line that holds no start time).
lwk::Result<std::uint64_t, Unknown> start_time_of(pid_t pid);

// What the kernel's refusal, with the error number `error`, to give a pidfd
// of a socket's peer (SO_PEERPIDFD) tells of that peer.
enum class NoPeerPidfd {
  // The kernel does not know the option (before Linux 6.5): the peer's
  // start time alone tells it from a later holder of its pid.
  NotOffered,
  // The peer has ended, and may have been reaped, since it connected (the
  // kernel gives no pidfd of a reaped process before Linux 6.16), or there
  // is no peer: its pid may be another process's by now.
  Gone,
  // The helper could not take a descriptor now: nothing is known of the
  // peer.
  NotLooked,
};
NoPeerPidfd why_no_peer_pidfd(int error);

}  // namespace identity

#endif  // LWK_IDENTITY_PROCESS_LINUX_H_
