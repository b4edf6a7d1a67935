// The commands on sets files and request octets, which neither read
// /etc/hosts' sets nor ask the helper: check, preview, encode, decode.
#include <unistd.h>

#include <iostream>

#include "client/diff.h"
#include "client/input_file.h"
#include "client/responses.h"
#include "commands.h"
#include "paths/paths.h"

namespace lantern_wharf::command {
namespace {

// The most octets decode reads on standard input: well beyond the largest
// response the helper gives, an issue for each line of the largest request
// it checks.
constexpr std::size_t kResponseInputLimit = 256u << 20;
static_assert(kResponseInputLimit == 256u << 20, "the help text says 256 MiB");

}  // namespace

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
  if (issues->empty()) {
    if (args.json) show_issues({}, true);
    return kSuccess;
  }
  show_issues(*issues, args.json);
  return kRefused;
}

int run_preview(const Arguments& args) {
  if (args.positional.size() != 1) return usage_error("preview", "preview takes one sets file");
  auto sets = load_sets(args.positional[0]);
  if (!sets) return kUsage;
  const std::string hosts = args.hosts.value_or(hosts_paths::system_file());
  auto change = manager::preview_file(*sets, hosts);
  if (!change) {
    if (change.error().kind != manager::Failure::Kind::Refused) return failed(change.error());
    show_refused(change.error(), args.json);
    return kRefused;
  }
  const std::string out =
      args.diff ? unified_diff(change->before, change->after, hosts, hosts + " (after the apply)")
                : change->after;
  return write_out(out) ? kSuccess : kRefused;
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
  return write_out(hosts_ipc::encode_request(request)) ? kSuccess : kRefused;
}

int run_decode(const Arguments& args) {
  if (!args.positional.empty()) return usage_error("decode", "decode reads standard input only");
  auto input = input_file::read_at_most(STDIN_FILENO, kResponseInputLimit + 1);
  if (!input) {
    say("standard input: " + input.error().message);
    return kUsage;
  }
  if (input->size() > kResponseInputLimit) {
    say("the response is more than " + std::to_string(kResponseInputLimit) +
        " octets, and decode reads at most " + std::to_string(kResponseInputLimit));
    return kUsage;
  }
  auto response = manager::decode(*input);
  if (!response) return failed(response.error());
  return report(*response, args.json, std::cout);
}

}  // namespace lantern_wharf::command
