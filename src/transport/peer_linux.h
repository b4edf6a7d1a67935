// The caller on Linux, taken once, when its connection is accepted: the
// socket's peer credentials and groups, which the kernel recorded when the
// peer connected, and the peer's start time.
//
// A pid alone names whichever process holds it now, and a caller may hand its
// connection to another process and exit, so that its pid can be reused. So
// the caller is taken at accept time and, where the kernel gives a pidfd of
// the peer (SO_PEERPIDFD, Linux 6.5 and later), the start time is read while
// that pidfd shows the very process that connected still alive: the caller
// then names that process and no other. The pidfd is held for the
// connection's life; the caller check tells that process from any later
// holder of its pid by the pidfd and the start time, read before and after
// it examines the executable.
#ifndef LWK_TRANSPORT_PEER_LINUX_H_
#define LWK_TRANSPORT_PEER_LINUX_H_

#include <sys/types.h>

#include <optional>

#include "identity/caller_linux.h"

namespace hosts_transport {

// The process at the other end of one connection. Owns its caller's pidfd.
class Peer {
 public:
  // The peer of the connected socket `fd`, or nothing when the kernel gives
  // no credentials for it or the helper could not look at it now (its
  // descriptor table full, say): such a connection is to be ended, not
  // refused, for nothing is known of its caller.
  static std::optional<Peer> of(int fd);

  Peer(Peer&& other) noexcept;
  Peer& operator=(Peer&& other) noexcept;
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;
  ~Peer();

  uid_t uid() const { return uid_; }
  // The caller as the kernel vouched for it when it connected, with its
  // start time and the pidfd this peer holds; nothing when it had ended by
  // then (or, on a kernel without pidfds of peers, its start time was gone).
  // The caller check finds out whether it is still there.
  const std::optional<identity::Caller>& caller() const { return caller_; }

 private:
  Peer(uid_t uid, std::optional<identity::Caller> caller, int pidfd)
      : uid_(uid), caller_(std::move(caller)), pidfd_(pidfd) {}

  uid_t uid_;
  std::optional<identity::Caller> caller_;
  int pidfd_;  // -1 where the kernel gives none; the caller's pidfd
};

}  // namespace hosts_transport

#endif  // LWK_TRANSPORT_PEER_LINUX_H_
