#include "transport/caller_linux.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

#include "identity/process_linux.h"

#ifndef SO_PEERPIDFD
#define SO_PEERPIDFD 77  // Linux 6.5; older headers lack the name
#endif

namespace caller {
namespace {

// Whether the process behind `pidfd` has ended: a pidfd reads as ready then.
bool has_ended(int pidfd) {
  pollfd p{pidfd, POLLIN, 0};
  return ::poll(&p, 1, 0) != 0;
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
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERPIDFD, &pidfd, &size) != 0 || size != sizeof pidfd) {
    pidfd = -1;  // an older kernel: the start time alone tells processes apart
  }
  std::optional<identity::AuditToken> token = identity::token_of(peer.pid, peer.uid, peer.gid);
  // Read after the start time: if the connector is still alive now, the start
  // time read was its own, not that of a later holder of its pid.
  if (identity::is_empty(*token) || (pidfd >= 0 && has_ended(pidfd))) token.reset();
  return Peer(peer.uid, token, pidfd);
}

Peer::Peer(Peer&& other) noexcept
    : uid_(other.uid_), token_(other.token_), pidfd_(std::exchange(other.pidfd_, -1)) {}

Peer& Peer::operator=(Peer&& other) noexcept {
  if (this != &other) {
    if (pidfd_ >= 0) ::close(pidfd_);
    uid_ = other.uid_;
    token_ = other.token_;
    pidfd_ = std::exchange(other.pidfd_, -1);
  }
  return *this;
}

Peer::~Peer() {
  if (pidfd_ >= 0) ::close(pidfd_);
}

std::optional<identity::AuditToken> Peer::token() const {
  if (pidfd_ >= 0 && has_ended(pidfd_)) return std::nullopt;
  return token_;
}

}  // namespace caller
