// The one XPC function the helper uses that Apple's SDK headers do not
// declare: libxpc exports it, and it is the way to a connection's audit
// token, which names the process exactly where a pid could be reused.
#ifndef LWK_TRANSPORT_XPC_PRIVATE_MACOS_H_
#define LWK_TRANSPORT_XPC_PRIVATE_MACOS_H_

#include <mach/message.h>
#include <xpc/xpc.h>

extern "C" void xpc_connection_get_audit_token(xpc_connection_t connection, audit_token_t* token);

#endif  // LWK_TRANSPORT_XPC_PRIVATE_MACOS_H_
