// A caller on macOS: the audit token of the process at the other end of a
// connection, which the code-signing check takes.
#ifndef LWK_IDENTITY_CALLER_MACOS_H_
#define LWK_IDENTITY_CALLER_MACOS_H_

#include "identity/caller.h"
#include "identity/identity.h"

namespace identity {

struct Caller {
  AuditToken token{};
};

}  // namespace identity

#endif  // LWK_IDENTITY_CALLER_MACOS_H_
