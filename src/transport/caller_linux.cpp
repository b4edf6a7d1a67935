#include "transport/caller_linux.h"

#include <sys/socket.h>

#include "identity/process_linux.h"

namespace caller {

std::optional<identity::AuditToken> audit_token_of(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer) {
    return std::nullopt;
  }
  const identity::AuditToken token = identity::token_of(peer.pid, peer.uid, peer.gid);
  if (identity::is_empty(token)) return std::nullopt;
  return token;
}

}  // namespace caller
