#include "helper/service_state.h"
#include "identity/caller_check_macos.h"
#include "paths/paths.h"
#include "privsep/mac_platform_macos.h"

namespace hosts_helper {

std::shared_ptr<ServiceState> service_state() {
  return std::make_shared<ServiceState>(
      hosts_helper_core::write::Paths::system(), hosts_paths::helper_log_file(),
      std::make_unique<hosts_privsep_macos::platform::MacPlatform>(/*privileged=*/true),
      [requirement = identity::ClientRequirement::make()](const identity::Caller& caller) {
        return identity::check_caller(caller, requirement);
      });
}

}  // namespace hosts_helper
