#include "helper/handler.h"

#include <chrono>
#include <string>
#include <utility>

#include "check/check.h"
#include "check/pipeline.h"
#include "helper_core/serve.h"
#include "journal/journal.h"
#include "os/files.h"
#include "paths/paths.h"

namespace hosts_helper {
namespace {

using hosts_helper_core::write::text_of;
using hosts_helper_core::write::WriteError;
using hosts_ipc::Response;

// One line on standard error and in the log.
void journal(const ServiceState& state, std::string_view line) {
  hosts_journal::note(state.log, line);
}

std::string refusals(std::uint64_t count) {
  return std::to_string(count) + (count == 1 ? " refusal" : " refusals");
}

// A refusal of a caller, journaled in the log of its kind (the outsiders'
// or the helper's own) as far as that log's refusal lines of the current
// second allow; otherwise counted, and the count noted with the next line
// that is.
void journal_refusal(ServiceState& state, bool outsider, std::string_view why,
                     std::string_view head = "refused to serve: ") {
  ServiceState::RefusalLines& lines = outsider ? state.others_lines : state.refusal_lines;
  std::uint64_t left_out = 0;
  {
    const std::lock_guard lock(lines.mutex);
    const auto now = std::chrono::steady_clock::now();
    if (now - lines.second >= std::chrono::seconds(1)) {
      lines.second = now;
      lines.noted = 0;
    }
    if (lines.noted >= state.refusal_lines_per_second) {
      ++lines.left_out;
      return;
    }
    ++lines.noted;
    left_out = std::exchange(lines.left_out, 0);
  }
  std::string line = std::string(head).append(why);
  if (left_out > 0) line.append(" (and ").append(refusals(left_out)).append(" not journaled)");
  hosts_journal::note(outsider ? state.others_log : state.log, line);
}

std::string describe(const WriteError& error) {
  return std::string(text_of(error.step)) + ": " + error.message;
}

Response apply(ServiceState& state, const std::vector<hosts_ipc::WireSet>& sets) {
  // The target is read once, through the platform's files, and what was read
  // is what write_over() changes: a fault of the files is a fault of this read.
  std::string current;
  auto content = hosts_helper_core::pipeline::new_content(
      sets, hosts_helper_core::check::Limits::service(),
      [&state, &current]() -> lwk::Result<std::string, std::string> {
        auto read = hosts_helper_core::write::read_current(state.paths, *state.platform);
        if (!read) return lwk::unexpected(read.error().message);
        current = *read;
        return std::move(*read);
      });
  if (!content) return hosts_ipc::Issues{std::move(content).error()};
  auto changed = hosts_helper_core::write::write_over(state.paths, current, *content,
                                                      *state.platform, state.counter);
  if (!changed) return refused(describe(changed.error()));
  if (*changed) return hosts_ipc::Done{};
  return hosts_ipc::Unchanged{};
}

Response flush(ServiceState& state) {
  auto flushed = state.platform->flush_name_cache();
  if (!flushed) {
    journal(state, "the name cache would not drop: " + flushed.error());
  } else {
    journal(state, *flushed ? "dropped the name caches" : "no name cache was there to drop");
  }
  return hosts_helper_core::serve::answer_to(flushed);
}

Response remove(ServiceState& state) {
  journal(state, "removing everything this side keeps");
  auto removed = [&] {
    // Lines journaled meanwhile on other threads (refusals, which take no
    // lock of the service) wait for the removal: appended half-way through,
    // one would make the store's directory anew and the removal fail.
    hosts_journal::WritesHeld held;
    auto outcome =
        hosts_helper_core::write::remove_everything(state.paths, *state.platform, state.counter);
    // Gone for good: no later line makes the store anew; the next apply does.
    if (outcome) held.store_removed(state.paths.store);
    return outcome;
  }();
  if (removed) {
    // Standard error only: the log's directory has just been removed.
    hosts_journal::say("removed everything this side keeps");
    return hosts_ipc::Done{};
  }
  journal(state, "removal stopped at " + describe(removed.error()));
  return refused(describe(removed.error()));
}

// The one operation of `request`. REQUIRES: the service lock is held.
// Every kind is named: a request kind without its operation does not compile.
Response operate(ServiceState& state, const hosts_ipc::Request& request) {
  return std::visit(
      hosts_ipc::Overloaded{
          [&](const hosts_ipc::ApplySets& apply_sets) { return apply(state, apply_sets.sets); },
          [&](const hosts_ipc::FlushNameCache&) { return flush(state); },
          [&](const hosts_ipc::RemoveEverything&) { return remove(state); },
      },
      request);
}

// The reply, when the sender wants one; without, the work is done all the same.
void answer(hosts_transport::Message& message, std::string_view body) {
  if (message.wants_reply()) message.send_reply(body);
}

}  // namespace

ServiceState::ServiceState(hosts_helper_core::write::Paths paths_, std::string log_,
                           std::unique_ptr<hosts_helper_core::write::Platform> platform_,
                           CallerCheck check_caller_)
    : paths(std::move(paths_)),
      log(std::move(log_)),
      others_log(lwk::os::parent_of(log) + "/" + hosts_paths::OTHERS_LOG_NAME),
      platform(std::move(platform_)),
      check_caller(std::move(check_caller_)) {}

hosts_ipc::Issues refused(std::string message) {
  return {{hosts_ipc::request_issue(std::move(message))}};
}

void note_left_out(ServiceState& state) {
  for (const bool outsider : {false, true}) {
    ServiceState::RefusalLines& lines = outsider ? state.others_lines : state.refusal_lines;
    std::uint64_t left_out = 0;
    {
      const std::lock_guard lock(lines.mutex);
      left_out = std::exchange(lines.left_out, 0);
    }
    if (left_out > 0) {
      hosts_journal::note(outsider ? state.others_log : state.log,
                          refusals(left_out) + " not journaled before the stop");
    }
  }
}

void handle(hosts_transport::Message& message, ServiceState& state) {
  // An error event (the connection's end, say) is no message: no line, no reply.
  if (message.is_error()) return;
  // Who sent it.
  const identity::Caller* caller = message.caller();
  // Only the client is served: a caller that cannot be identified, or that
  // this platform's check refuses, is journaled and gets an empty reply,
  // which carries no response at all. Nothing is known of an unidentified
  // caller, so it counts as an outsider.
  if (caller == nullptr) {
    journal_refusal(state, /*outsider=*/true, "the caller could not be identified");
    return answer(message, {});
  }
  const identity::Verdict verdict = state.check_caller(*caller);
  if (verdict.undecided) {
    // Told to ask again in a moment, which the client says in words of its
    // own: this is no refusal.
    journal_refusal(state, verdict.outsider, verdict.refusal, "not decided now: ");
    if (message.wants_reply()) message.send_not_now();
    return;
  }
  if (!verdict.served) {
    journal_refusal(state, verdict.outsider, verdict.refusal);
    return answer(message, {});
  }
  // What it sent, copied only now: nothing of a refused caller's message is
  // copied or decoded. A message without a payload carries zero bytes.
  const std::string payload = message.payload().value_or(std::string());
  // The request, decoded outside the lock; its texts view `payload`. Bytes
  // that do not decode are answered NotUnderstood without taking the lock.
  const auto request = hosts_ipc::decode_request(payload);
  std::string body;
  if (!request) {
    journal(state, "refused to serve: the message was not understood");
    body = hosts_ipc::encode_response(hosts_ipc::NotUnderstood{});
  } else {
    // The operation and the encoding of its response, under the service lock:
    // one operation at a time, and the counter advances under it.
    const std::lock_guard lock(state.lock);
    body = hosts_ipc::encode_response(operate(state, *request));
  }
  // The lock is released before the reply goes out.
  answer(message, body);
}

}  // namespace hosts_helper
