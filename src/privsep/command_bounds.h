// What a cache command takes with it when it starts, and what it may leave
// behind: the mechanisms differ per platform, each in a file of its own
// (command_bounds_linux.cpp, command_bounds_macos.cpp).
#ifndef LWK_PRIVSEP_COMMAND_BOUNDS_H_
#define LWK_PRIVSEP_COMMAND_BOUNDS_H_

#include <spawn.h>

#include <chrono>

namespace hosts_privsep::platform {

// Adds to a command's start what makes it begin with descriptors 0, 1 and 2
// only, whatever else the helper holds open without close-on-exec (anything
// the helper's starter leaked, say). REQUIRES: the descriptors the command
// is to have are arranged in `actions` first. Returns 0 or an error number.
int keep_standard_descriptors_only(posix_spawn_file_actions_t& actions, short& spawn_flags);

// Makes the helper the process that the orphaned descendants of its commands
// are handed to, so that end_leftovers() finds even one that left the
// command's process group and session. Repeating it does no harm.
void adopt_orphans();

// Ends every process the commands left behind: kills and reaps every child
// of the helper, and then the children they leave, until none is left or
// `deadline` has passed. REQUIRES: the helper runs no process of its own
// meanwhile (its only children are the cache commands, one at a time).
void end_leftovers(std::chrono::steady_clock::time_point deadline);

}  // namespace hosts_privsep::platform

#endif  // LWK_PRIVSEP_COMMAND_BOUNDS_H_
