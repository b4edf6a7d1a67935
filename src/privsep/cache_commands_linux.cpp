#include "privsep/system_platform.h"

namespace hosts_privsep::platform {

std::vector<CacheCommand> system_cache_commands() {
  return {
      {"/usr/bin/resolvectl", {"flush-caches"}},
      {"/usr/sbin/nscd", {"-i", "hosts"}},
  };
}

}  // namespace hosts_privsep::platform
