#include "privsep/system_platform.h"

namespace hosts_privsep::platform {

std::vector<CacheCommand> system_cache_commands() {
  return {
      {"/usr/bin/dscacheutil", {"-flushcache"}},
      {"/usr/bin/killall", {"-HUP", "mDNSResponder"}},
  };
}

}  // namespace hosts_privsep::platform
