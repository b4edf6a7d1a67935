// The helper's privileged operations on macOS: the system's platform, with
// macOS's cache commands (cache_commands_macos.cpp).
#ifndef LWK_PRIVSEP_MAC_PLATFORM_MACOS_H_
#define LWK_PRIVSEP_MAC_PLATFORM_MACOS_H_

#include "privsep/system_platform.h"

namespace hosts_privsep_macos::platform {

using MacPlatform = hosts_privsep::platform::SystemPlatform;

}  // namespace hosts_privsep_macos::platform

#endif  // LWK_PRIVSEP_MAC_PLATFORM_MACOS_H_
