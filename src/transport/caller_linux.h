// The caller's audit token on Linux: the socket's peer credentials, which the
// kernel recorded when the peer connected, with the peer's start time.
#ifndef LWK_TRANSPORT_CALLER_LINUX_H_
#define LWK_TRANSPORT_CALLER_LINUX_H_

#include <optional>

#include "identity/identity.h"

namespace caller {

// The token of the process at the other end of the connected socket `fd`;
// nothing when its credentials cannot be had, or the token is all zero.
std::optional<identity::AuditToken> audit_token_of(int fd);

}  // namespace caller

#endif  // LWK_TRANSPORT_CALLER_LINUX_H_
