// The commands that ask the helper: apply, flush, remove-everything, send.
#include <unistd.h>

#include <iostream>

#include "client/helper_link.h"
#include "client/input_file.h"
#include "client/statuses.h"
#include "commands.h"
#include "password_agent.h"

namespace lantern_wharf::command {

namespace {

// Shows the helper's answer, or why there is none; gives the exit status.
int reported(const lwk::Result<hosts_ipc::Response, manager::Failure>& response, NamedSets named) {
  if (!response) return failed(response.error());
  return report(*response, named);
}

}  // namespace

int request_and_report(const hosts_ipc::Request& request, NamedSets named) {
  const auto agent = PasswordAgent::before_asking();
  return reported(manager::ask(request), named);
}

int apply_and_report(const manager::Sets& sets) {
  const auto agent = PasswordAgent::before_asking();
  return reported(manager::apply(sets), &sets);
}

int run_apply(const Arguments& args) {
  if (args.positional.size() != 1) return usage_error("apply", "apply takes one sets file");
  auto sets = load_sets(args.positional[0]);
  if (!sets) return kUsage;
  // The layer keeps such lines off whoever calls; here they are named.
  if (manager::sendable(*sets)) {
    for (const std::string& kept_off : manager::keep_repeats_off(*sets)) note(kept_off);
  }
  const auto agent = PasswordAgent::before_asking();
  return reported(manager::apply(*sets), nullptr);
}

int run_flush(const Arguments& args) {
  if (!args.positional.empty()) return usage_error("flush", "flush takes no arguments");
  return request_and_report(hosts_ipc::FlushNameCache{});
}

int run_remove_everything(const Arguments& args) {
  if (!args.positional.empty()) {
    return usage_error("remove-everything", "remove-everything takes no arguments");
  }
  return request_and_report(hosts_ipc::RemoveEverything{});
}

int run_send(const Arguments& args) {
  if (!args.positional.empty()) return usage_error("send", "send reads standard input only");
  // One octet past the limit tells a request too big; a second tells whether
  // the count the refusal gives is all there is.
  auto bytes = input_file::read_at_most(STDIN_FILENO, request_limit() + 2);
  if (!bytes) {
    say("standard input: " + bytes.error().message);
    return kUsage;
  }
  if (bytes->size() > request_limit() + 1) {
    return failed(manager::request_too_big("more than " + std::to_string(request_limit() + 1)));
  }
  const auto agent = PasswordAgent::before_asking();
  auto answer = manager::send(*bytes);
  if (!answer) return failed(answer.error());
  write_octets(*answer);
  auto response = hosts_ipc::decode_response(*answer);
  if (!response) return kRefused;
  return status_of(*response);
}

}  // namespace lantern_wharf::command
