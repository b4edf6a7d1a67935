// The status numbers of the C interface (lantern_wharf.h's LW_ values), which
// are the lantern-wharf command's exit statuses too: the one place where a
// failure or a response becomes a number.
#ifndef LWK_CLIENT_STATUSES_H_
#define LWK_CLIENT_STATUSES_H_

#include "client/manager.h"
#include "ipc/wire.h"

namespace lantern_wharf {

// LW_ISSUES, LW_BAD_INPUT, LW_NOT_SERVED, LW_UNREACHABLE or LW_NOT_NOW.
int status_of(manager::Failure::Kind kind);

// LW_OK for done and unchanged, LW_ISSUES for issues and not understood.
int status_of(const hosts_ipc::Response& response);

}  // namespace lantern_wharf

#endif  // LWK_CLIENT_STATUSES_H_
