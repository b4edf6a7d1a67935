// The state the service runs with, apart from the handler that uses it, so
// that the handler can be built and tested with any platform's caller check.
#ifndef LWK_HELPER_SERVICE_STATE_H_
#define LWK_HELPER_SERVICE_STATE_H_

#include <memory>

#include "helper/handler.h"

namespace hosts_helper {

// The system's paths and log, this system's privileged platform with its
// name-cache commands, and this platform's caller check
// (service_state_linux.cpp, service_state_macos.cpp).
std::shared_ptr<ServiceState> service_state();

}  // namespace hosts_helper

#endif  // LWK_HELPER_SERVICE_STATE_H_
