// Socket activation: systemd opens the helper's socket itself and starts the
// helper on the first connection, handing the listening socket over by the
// LISTEN_PID/LISTEN_FDS protocol of sd_listen_fds(3). On Linux this plays the
// part of launchd's check-in on macOS, where launchd owns the Mach service
// and the helper only takes it up.
#ifndef LWK_TRANSPORT_ACTIVATION_LINUX_H_
#define LWK_TRANSPORT_ACTIVATION_LINUX_H_

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace hosts_transport::activation {

// The first descriptor the service manager passes.
constexpr int FIRST_PASSED_FD = 3;

// How many descriptors a hand-off passes to the process `self`, given the
// values of LISTEN_PID and LISTEN_FDS (nullopt for a variable that is not
// set). Zero when there is no hand-off, or when it was meant for another
// process (LISTEN_PID names someone else: a variable inherited by mistake).
// A hand-off meant for `self` whose values are not plain decimal numbers is
// an error.
lwk::Result<int, std::string> passed_count(std::optional<std::string_view> listen_pid,
                                           std::optional<std::string_view> listen_fds, pid_t self);

// Whether `fd` is a listening Unix stream socket bound at `path`; the
// sentence that says what it is instead, if not.
lwk::Result<int, std::string> check_listener(int fd, const std::string& path);

// The listening socket handed over to this process for `path`, or nullopt
// when the helper was started without one and must make its own. Anything
// handed over other than exactly one listening Unix stream socket at `path`
// is an error: serving on something else would be serving somewhere the
// client does not look. The hand-off's variables are removed from the
// environment and the one descriptor is made close-on-exec, so that the
// commands the helper runs inherit neither. A count other than one is
// refused before any descriptor is touched, however large it is.
//
// This is the one piece of the environment the helper reads.
lwk::Result<std::optional<int>, std::string> inherited_listener(const std::string& path);

}  // namespace hosts_transport::activation

#endif  // LWK_TRANSPORT_ACTIVATION_LINUX_H_
