#include <cstring>

#include "transport/xpc_macos.h"
#include "transport/xpc_private_macos.h"

namespace hosts_transport_macos::caller {

static_assert(sizeof(audit_token_t) == sizeof(identity::AuditToken));

std::optional<identity::AuditToken> audit_token_of(xpc_connection_t connection) {
  if (connection == nullptr) return std::nullopt;
  audit_token_t raw;
  std::memset(&raw, 0, sizeof raw);
  xpc_connection_get_audit_token(connection, &raw);
  identity::AuditToken token;
  std::memcpy(token.data(), &raw, sizeof raw);
  if (identity::is_empty(token)) return std::nullopt;
  return token;
}

}  // namespace hosts_transport_macos::caller
