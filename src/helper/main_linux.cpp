// lantern-wharf-helper on Linux: the privileged helper, serving its client
// on a Unix socket. It takes no arguments and reads no configuration.
//
// Start-up: the file-creation mask, so that the store's modes are the ones
// meant whatever mask the helper was started with; the socket, either the
// one systemd handed over (socket activation) or one of its own, unless a
// helper is serving there already; the debris of a crash cleared; then
// serving until SIGTERM or SIGINT, which lets the operation in progress and
// every message already read finish first, and ends with status 0.
//
// Under socket activation the socket is systemd's: it keeps listening while
// the helper is stopped, connections made meanwhile wait in its queue and
// start the helper again, and the helper never removes the socket's file.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "helper/handler.h"
#include "helper/service_state.h"
#include "helper/service_state_linux.h"
#include "journal/journal.h"
#include "transport/activation_linux.h"
#include "transport/frame.h"
#include "transport/server_linux.h"

namespace {

void on_stop_signal(int) { hosts_transport::Server::request_stop(); }

void install_signal_handlers() {
  // A client that hangs up must never end the service: writes to its
  // socket fail with EPIPE instead.
  (void)::signal(SIGPIPE, SIG_IGN);
  struct sigaction stop {};
  stop.sa_handler = on_stop_signal;
  (void)::sigemptyset(&stop.sa_mask);
  (void)::sigaction(SIGTERM, &stop, nullptr);
  (void)::sigaction(SIGINT, &stop, nullptr);
}

}  // namespace

int main(int argc, char** /*argv*/) {
  if (argc > 1) {
    (void)std::fputs("lantern-wharf-helper: takes no arguments\n", stderr);
    return 2;
  }
  // Every mode in the store is "0777 or 0666 before the mask": with a mask
  // of 0, another user could rewrite the snapshot that remove-everything
  // puts back.
  (void)::umask(022);
  install_signal_handlers();

  const std::string path = hosts_transport::frame::socket_path();
  auto inherited = hosts_transport::activation::inherited_listener(path);
  if (!inherited) {
    (void)std::fprintf(stderr, "lantern-wharf-helper: %s\n", inherited.error().c_str());
    return 1;
  }
  const bool activated = inherited->has_value();
  auto listening = activated ? lwk::Result<int, std::string>(**inherited)
                             : hosts_transport::listen_at(path, hosts_helper::helper_group());
  if (!listening) {
    (void)std::fprintf(stderr, "lantern-wharf-helper: %s\n", listening.error().c_str());
    return 1;
  }
  // Only once the socket is ours: a second helper started beside a serving
  // one must not take the first one's temporary file for debris. Connections
  // made meanwhile wait in the socket's queue.
  const std::shared_ptr<hosts_helper::ServiceState> state = hosts_helper::service_state();
  for (const std::string& debris :
       hosts_helper_core::write::clear_debris(state->paths, *state->platform)) {
    hosts_journal::note(state->log, "removed a leftover temporary file: " + debris);
  }

  {
    // Each worker's handler holds a share of the state for as long as it runs.
    hosts_transport::Server server(
        *listening, [state](hosts_transport::Message& m) { hosts_helper::handle(m, *state); },
        // At accept time, nobody is asked: a prompt must not hold the
        // polling thread. Callers polkit allows are served all the same,
        // from the others' share of the bounds.
        [rules = hosts_helper::client_rules(/*ask_polkit=*/false)](const identity::Caller& caller) {
          return identity::check_caller(caller, rules).served;
        });
    server.run();
  }
  hosts_helper::note_left_out(*state);
  if (!activated) (void)::unlink(path.c_str());  // ours: this helper made it
  return 0;
}
