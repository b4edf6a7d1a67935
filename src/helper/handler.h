// The request handler: what the helper does with every message of every
// connection, whatever transport carried it. It identifies the caller,
// checks that the caller is the client, decodes the request, carries out the
// one operation it names under the service lock, journals what the journal
// keeps, and answers.
#ifndef LWK_HELPER_HANDLER_H_
#define LWK_HELPER_HANDLER_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "helper_core/write.h"
#include "identity/caller.h"
#include "ipc/wire.h"
#include "transport/message.h"

namespace hosts_helper {

// Whether the helper serves a caller: this platform's caller check
// (identity/caller_check_linux.h, identity/caller_check_macos.h), or a
// test's. Called on several threads at once, outside the service lock.
using CallerCheck = std::function<identity::Verdict(const identity::Caller&)>;

// Built once at start-up and shared by every connection's handler through a
// std::shared_ptr, whose reference count is thread-safe. Everything but the
// counter is read-only after start-up.
struct ServiceState {
  // `log` is the journal's file; the refusals of outsiders go to the file
  // named OTHERS_LOG_NAME beside it.
  ServiceState(hosts_helper_core::write::Paths paths_, std::string log_,
               std::unique_ptr<hosts_helper_core::write::Platform> platform_,
               CallerCheck check_caller_);

  hosts_helper_core::write::Paths paths;
  std::string log;         // the journal's file, hosts_paths::helper_log_file() for the service
  std::string others_log;  // the outsiders' refusals, beside it
  // The privileged operations: this system's platform, privileged, for the
  // service. Used only under the lock.
  std::unique_ptr<hosts_helper_core::write::Platform> platform;
  // Who is served; on macOS it holds the client's code requirement.
  CallerCheck check_caller;

  // How many refusals a second get a journal line of their own, in each of
  // the two logs: those of outsiders (Verdict::outsider) in `others_log`,
  // all others in `log`. Anyone may connect, so a flood of refusals costs a
  // few lines a second of standard error, and of the outsiders' own log,
  // never of the record of what the helper did for those it serves. Those
  // left out are counted; the count goes with the next refusal line of the
  // same log or, when none comes, with note_left_out() at the stop.
  std::size_t refusal_lines_per_second = 5;
  struct RefusalLines {
    std::mutex mutex;
    std::chrono::steady_clock::time_point second{};  // when the current second began
    std::size_t noted = 0;                           // lines in the current second
    std::uint64_t left_out = 0;                      // refusals not noted since the last line
  };
  RefusalLines refusal_lines;  // for `log`
  RefusalLines others_lines;   // for `others_log`

  // The service lock: at most one operation at a time, and the only way to
  // the counter. An internal fault ends the process and nothing catches it,
  // so no holder of the lock can end abnormally while others go on: a plain
  // mutex serves, and there is no mark of a panicked holder to keep.
  std::mutex lock;
  std::uint64_t counter = 0;  // the backup counter; guarded by `lock`
};

// One issue of the request as a whole, with `message`: how every failure
// told in one sentence is answered.
hosts_ipc::Issues refused(std::string message);

// Handles one event of a connection, start to end; see handler.cpp for the
// steps. Safe on several threads at once for one state.
void handle(hosts_transport::Message& message, ServiceState& state);

// Journals how many refusals were left out of each log since its last
// refusal line, where any were: for the service's stop, after the last
// message, so that no count is lost with the process.
void note_left_out(ServiceState& state);

}  // namespace hosts_helper

#endif  // LWK_HELPER_HANDLER_H_
