#include "privsep/command_bounds.h"

namespace hosts_privsep::platform {

int keep_standard_descriptors_only(posix_spawn_file_actions_t& /*actions*/, short& spawn_flags) {
  // Every descriptor not named by the file actions is closed in the command.
  spawn_flags |= POSIX_SPAWN_CLOEXEC_DEFAULT;
  return 0;
}

// macOS hands orphans to launchd and has no subreaper: what a command leaves
// in its process group is ended with the group, and that is all.
void adopt_orphans() {}

void end_leftovers(std::chrono::steady_clock::time_point /*deadline*/) {}

}  // namespace hosts_privsep::platform
