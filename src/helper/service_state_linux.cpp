#include "helper/service_state_linux.h"

#include <grp.h>

#include <chrono>
#include <memory>
#include <string>

#include "helper/service_state.h"
#include "identity/build_constants.h"
#include "paths/paths.h"
#include "polkit/authority_linux.h"
#include "polkit/gate_linux.h"
#include "privsep/linux_platform_linux.h"
#include "transport/server_linux.h"

namespace hosts_helper {
namespace {

// How long polkit may take to decide, a person typing a password included:
// well within the minute the client waits for its answer, so that what polkit
// says still reaches the person who asked.
constexpr std::chrono::seconds kDecisionLimit{45};

// Decisions awaited at once, one for each uid: fewer than the listener's
// workers for callers not served (ServerLimits::others_workers, six), so
// that two of those are always free to answer the rest at once; the group's
// members, who need none, have workers of their own.
constexpr std::size_t kDecisionsAtOnce = 4;
static_assert(kDecisionsAtOnce + 2 <= hosts_transport::ServerLimits{}.others_workers);

}  // namespace

gid_t helper_group() {
  const std::string name(identity::HELPER_GROUP);
  if (const group* found = ::getgrnam(name.c_str())) return found->gr_gid;
  return 0;
}

identity::ClientRules client_rules(bool ask_polkit) {
  identity::ClientRules rules{
      {std::begin(identity::CLIENT_PROGRAMS), std::end(identity::CLIENT_PROGRAMS)},
      helper_group(),
      std::string(identity::HELPER_GROUP),
      {}};
  if (!ask_polkit) return rules;
  auto authority = std::make_shared<const hosts_polkit::Authority>();
  auto gate = std::make_shared<hosts_polkit::Gate>(kDecisionsAtOnce);
  rules.ask_polkit = [authority, gate](const identity::Caller& caller) {
    const hosts_polkit::Decision decision = gate->pass(caller.uid, [&] {
      // A stop gives up the wait at once: a prompt nobody answers must not
      // hold every stop and restart.
      return authority->ask({caller.pid, caller.uid, caller.start_time, caller.pidfd},
                            kDecisionLimit, hosts_transport::Server::stop_watch());
    });
    if (decision.authorized) return identity::Verdict::serve();
    return decision.later ? identity::Verdict::not_now(decision.refusal)
                          : identity::Verdict::refuse(decision.refusal);
  };
  return rules;
}

std::shared_ptr<ServiceState> service_state() {
  return std::make_shared<ServiceState>(
      hosts_helper_core::write::Paths::system(), hosts_paths::helper_log_file(),
      std::make_unique<hosts_privsep::platform::LinuxPlatform>(/*privileged=*/true),
      [rules = client_rules(/*ask_polkit=*/true)](const identity::Caller& caller) {
        return identity::check_caller(caller, rules);
      });
}

}  // namespace hosts_helper
