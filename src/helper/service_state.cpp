#include "helper/service_state.h"

#include "identity/signature.h"
#include "paths/paths.h"
#include "privsep/mac_platform.h"

namespace hosts_helper {

std::shared_ptr<ServiceState> service_state() {
  return std::make_shared<ServiceState>(
      identity::ClientRequirement::make(), hosts_helper_core::write::Paths::system(),
      hosts_paths::helper_log_file(),
      std::make_unique<hosts_privsep_macos::platform::MacPlatform>(/*privileged=*/true),
      &signature::check);
}

}  // namespace hosts_helper
