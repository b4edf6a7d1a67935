// The helper's privileged operations on Linux: the system's platform, with
// Linux's cache commands (cache_commands_linux.cpp) and their bounds
// (command_bounds_linux.cpp).
#ifndef LWK_PRIVSEP_LINUX_PLATFORM_LINUX_H_
#define LWK_PRIVSEP_LINUX_PLATFORM_LINUX_H_

#include "privsep/system_platform.h"

namespace hosts_privsep::platform {

using LinuxPlatform = SystemPlatform;

}  // namespace hosts_privsep::platform

#endif  // LWK_PRIVSEP_LINUX_PLATFORM_LINUX_H_
