// lantern-wharf-helper on macOS: the privileged helper that launchd starts as
// root for the Mach service its property list registers. It takes no
// arguments and reads no environment or configuration, and never returns.
//
// Start-up: the file-creation mask, so that the store's modes are the ones
// meant; the service state; the debris of a crash cleared; the listener on
// the service name; then dispatch, for good.
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>

#include "helper/handler.h"
#include "helper/service_state.h"
#include "identity/identity.h"
#include "journal/journal.h"
#include "transport/xpc_macos.h"

int main(int argc, char** /*argv*/) {
  if (argc > 1) {
    (void)std::fputs("lantern-wharf-helper: takes no arguments\n", stderr);
    return 2;
  }
  (void)::umask(022);
  const std::shared_ptr<hosts_helper::ServiceState> state = hosts_helper::service_state();
  for (const std::string& debris :
       hosts_helper_core::write::clear_debris(state->paths, *state->platform)) {
    hosts_journal::note(state->log, "removed a leftover temporary file: " + debris);
  }
  // The listener's handler holds the first share of the state; every
  // connection's handler one more.
  hosts_transport_macos::NamedListener listener(
      identity::service_name(),
      [state](hosts_transport::Message& m) { hosts_helper::handle(m, *state); });
  listener.run_forever();
}
