#include "transport/peer_linux.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "identity/process_linux.h"

#ifndef SO_PEERPIDFD
#define SO_PEERPIDFD 77  // Linux 6.5; older headers lack the name
#endif

namespace hosts_transport {
namespace {

// Whether the process behind `pidfd` has ended: a pidfd reads as ready then.
bool has_ended(int pidfd) {
  pollfd p{pidfd, POLLIN, 0};
  return ::poll(&p, 1, 0) != 0;
}

// The supplementary groups the kernel recorded for the peer of `fd` when it
// connected; none when it gives none.
std::vector<gid_t> groups_of(int fd) {
  std::vector<gid_t> groups(64);
  for (;;) {
    auto size = static_cast<socklen_t>(groups.size() * sizeof(gid_t));
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &size) == 0) {
      groups.resize(size / sizeof(gid_t));
      return groups;
    }
    // ERANGE gives the size needed; the kernel holds at most 65,536 groups.
    if (errno != ERANGE || size / sizeof(gid_t) <= groups.size() ||
        size > (65536 * sizeof(gid_t))) {
      return {};
    }
    groups.resize(size / sizeof(gid_t));
  }
}

}  // namespace

std::optional<Peer> Peer::of(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer) {
    return std::nullopt;
  }
  int pidfd = -1;
  size = sizeof pidfd;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERPIDFD, &pidfd, &size) != 0) {
    pidfd = -1;
    switch (identity::why_no_peer_pidfd(errno)) {
      case identity::NoPeerPidfd::NotOffered:
        break;  // an older kernel: the start time alone tells processes apart
      case identity::NoPeerPidfd::Gone:
        // Reaped before it was accepted: its pid may be anyone's by now.
        return Peer(peer.uid, std::nullopt, -1);
      case identity::NoPeerPidfd::NotLooked:
        // The helper's own want of descriptors says nothing of the peer;
        // the connection is closed, and the caller may come again.
        return std::nullopt;
    }
  }
  identity::Caller caller;
  caller.pid = peer.pid;
  caller.uid = peer.uid;
  caller.gid = peer.gid;
  caller.groups = groups_of(fd);
  caller.pidfd = pidfd;
  const auto started = identity::start_time_of(peer.pid);
  if (!started && started.error() == identity::Unknown::NotLooked) {
    if (pidfd >= 0) ::close(pidfd);
    return std::nullopt;  // as above: not looked at is not gone
  }
  // Read after the start time: if the connector is still alive now, the start
  // time read was its own, not that of a later holder of its pid.
  const bool known = started && peer.pid > 0 && !(pidfd >= 0 && has_ended(pidfd));
  if (!known) return Peer(peer.uid, std::nullopt, pidfd);
  caller.start_time = *started;
  return Peer(peer.uid, std::move(caller), pidfd);
}

Peer::Peer(Peer&& other) noexcept
    : uid_(other.uid_),
      caller_(std::move(other.caller_)),
      pidfd_(std::exchange(other.pidfd_, -1)) {}

Peer& Peer::operator=(Peer&& other) noexcept {
  if (this != &other) {
    if (pidfd_ >= 0) ::close(pidfd_);
    uid_ = other.uid_;
    caller_ = std::move(other.caller_);
    pidfd_ = std::exchange(other.pidfd_, -1);
  }
  return *this;
}

Peer::~Peer() {
  if (pidfd_ >= 0) ::close(pidfd_);
}

}  // namespace hosts_transport
