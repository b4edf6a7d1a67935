// What the service on Linux decides callers by: the helper's group, the
// trusted client's path, and polkit for everyone else.
#ifndef LWK_HELPER_SERVICE_STATE_LINUX_H_
#define LWK_HELPER_SERVICE_STATE_LINUX_H_

#include <sys/types.h>

#include "identity/caller_check_linux.h"

namespace hosts_helper {

// The helper's group: the build's, when it exists, else root's.
gid_t helper_group();

// The rules of the caller check: this build's client path and the helper's
// group; with `ask_polkit`, polkit on the system bus is asked about callers
// outside the group (one decision awaited for each uid, four in all, each for
// at most 45 s or until a stop is asked), and without, they are refused
// unasked.
identity::ClientRules client_rules(bool ask_polkit);

}  // namespace hosts_helper

#endif  // LWK_HELPER_SERVICE_STATE_LINUX_H_
