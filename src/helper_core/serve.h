// Turning the outcome of an operation into the response the client gets.
#ifndef LWK_HELPER_CORE_SERVE_H_
#define LWK_HELPER_CORE_SERVE_H_

#include <string>

#include "base/result.h"
#include "ipc/wire.h"

namespace hosts_helper_core::serve {

// The response to a name-cache flush: Done when caches were dropped or none
// was there to drop; otherwise one issue of the request as a whole, "the
// name cache would not drop: TEXT".
hosts_ipc::Response answer_to(const lwk::Result<bool, std::string>& flushed);

}  // namespace hosts_helper_core::serve

#endif  // LWK_HELPER_CORE_SERVE_H_
