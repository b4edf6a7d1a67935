// The commands on sets files and request octets, which neither read
// /etc/hosts' sets nor ask the helper: check, preview, encode, decode.
#include <unistd.h>

#include <iostream>

#include "client/diff.h"
#include "client/input_file.h"
#include "client/responses.h"
#include "client/statuses.h"
#include "commands.h"
#include "paths/paths.h"

namespace lantern_wharf::command {

static_assert(manager::RESPONSE_LIMIT == 256u << 20, "the help text says 256 MiB");

std::optional<manager::Sets> load_sets(const std::string& path) {
  auto text = manager::read_file(path);
  if (!text) {
    say(text.error().sentence);
    return std::nullopt;
  }
  auto sets = manager::parse_sets_file(*text);
  if (!sets) {
    say(path + ": " + sets.error().sentence);
    return std::nullopt;
  }
  return std::move(*sets);
}

int run_check(const Arguments& args) {
  if (args.positional.size() != 1) return usage_error("check", "check takes one sets file");
  auto sets = load_sets(args.positional[0]);
  if (!sets) return kUsage;
  auto issues = manager::check(*sets);
  if (!issues) return failed(issues.error());
  const std::string hosts = args.hosts.value_or(hosts_paths::system_file());
  if (auto file = manager::read_file(hosts)) {
    note_all(manager::shadowed(*sets, *file, hosts), nullptr);
  } else {
    note(file.error().sentence + "; what its lines outside the block answer was not looked at");
  }
  show_issues(*issues);
  return issues->empty() ? kSuccess : kRefused;
}

int run_preview(const Arguments& args) {
  if (args.positional.size() != 1) return usage_error("preview", "preview takes one sets file");
  auto sets = load_sets(args.positional[0]);
  if (!sets) return kUsage;
  const std::string hosts = args.hosts.value_or(hosts_paths::system_file());
  auto change = manager::preview_file(*sets, hosts);
  if (!change) {
    if (change.error().kind != manager::Failure::Kind::Refused) return failed(change.error());
    show_refused(change.error());
    return kRefused;
  }
  if (args.json) {
    print_json({{"content", change->after}});
  } else if (args.diff) {
    write_diff(unified_diff(change->before, change->after, hosts, hosts + " (after the apply)"));
  } else {
    write_data(change->after);
  }
  return kSuccess;
}

int run_encode(const Arguments& args) {
  if (args.positional.size() != 1) {
    return usage_error("encode", "encode takes a sets file, flush or remove-everything");
  }
  const std::string& what = args.positional[0];
  hosts_ipc::Request request = hosts_ipc::FlushNameCache{};
  manager::Sets sets;  // the texts the request views
  if (what == "remove-everything") {
    request = hosts_ipc::RemoveEverything{};
  } else if (what != "flush") {
    auto loaded = load_sets(what);
    if (!loaded) return kUsage;
    sets = std::move(*loaded);
    request = hosts_ipc::ApplySets{manager::to_wire(sets)};
  }
  write_octets(hosts_ipc::encode_request(request));
  return kSuccess;
}

int run_decode(const Arguments& args) {
  if (!args.positional.empty()) return usage_error("decode", "decode reads standard input only");
  const std::size_t limit = manager::RESPONSE_LIMIT;
  auto input = input_file::read_at_most(STDIN_FILENO, limit + 1);
  if (!input) {
    say("standard input: " + input.error().message);
    return kUsage;
  }
  if (input->size() > limit) {
    return failed(manager::response_too_big("more than " + std::to_string(limit)));
  }
  auto response = manager::decode(*input);
  if (!response) return failed(response.error());
  // Decoded octets are the result here: their issues go to standard output.
  const auto* issues = std::get_if<hosts_ipc::Issues>(&*response);
  if (issues == nullptr || args.json) return report(*response);
  for (const hosts_ipc::Issue& issue : issues->issues) print_fields({issue_line(issue)});
  return status_of(*response);
}

}  // namespace lantern_wharf::command
