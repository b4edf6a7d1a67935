// lantern-wharf: the helper's client. It asks the helper to apply sets, flush
// the name caches or remove everything, and it prepares, checks and previews
// what the helper will write.
//
//   lantern-wharf apply [--json] SETS.json
//   lantern-wharf flush [--json]
//   lantern-wharf remove-everything [--json]
//   lantern-wharf send
//   lantern-wharf check [--json] SETS.json
//   lantern-wharf preview [--json] [--diff] [--hosts FILE] SETS.json
//   lantern-wharf encode SETS.json | flush | remove-everything
//   lantern-wharf decode [--json]
//
// Exit status: 0 success, 1 the request has issues or the file cannot take
// it, 2 a usage or input error, 3 the helper refused to serve this program,
// 4 the helper cannot be reached or did not answer, 5 the helper could not
// decide now whether to serve it (ask again in a moment). Messages go to standard
// error; results (the new file, a diff, request bytes, a response, --json
// objects) to standard output.
//
// Every file the client reads must be a regular file: a FIFO, a device, a
// directory or a socket is refused unopened. A sets file holds at most
// kSetsFileLimit octets and a hosts file at most kHostsFileLimit; a bigger
// one is refused from its size before a byte of it is read. Standard input
// is read only up to the bound of what it carries.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "base/utf8.h"
#include "check/check.h"
#include "diff.h"
#include "helper_core/write.h"
#include "helper_link.h"
#include "helper_requests.h"
#include "input_file.h"
#include "ipc/wire.h"
#include "journal/journal.h"
#include "manager.h"
#include "os/files.h"
#include "paths/paths.h"
#include "preview.h"
#include "sets_json.h"
#include "transport/frame.h"

namespace lantern_wharf {
namespace {

using helper_requests::status_of;
using hosts_ipc::Issue;
using input_file::read_at_most;

// The issues as one JSON object, on a line of its own.
std::string issues_json(const std::vector<Issue>& issues) {
  return helper_requests::issues_json(issues) + "\n";
}

// The files the client reads: regular files within a bound, read unwaiting.
lwk::Result<std::string, input_file::NotRead> read_input_file(const std::string& path,
                                                              std::size_t limit) {
  return input_file::read(path, limit);
}

constexpr int kSuccess = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;
constexpr int kNotServed = 3;
constexpr int kUnreachable = 4;
constexpr int kNotNow = 5;

// The largest sets file the client reads: a bigger one could never reach the
// helper, whose messages carry at most this many octets.
constexpr std::size_t kSetsFileLimit = hosts_transport::frame::MAX_PAYLOAD;
// The largest hosts file preview reads.
constexpr std::size_t kHostsFileLimit = preview::HOSTS_FILE_LIMIT;
// The most octets decode reads on standard input: well beyond the largest
// response the helper gives, an issue for each line of the largest request
// it checks.
constexpr std::size_t kResponseInputLimit = 256u << 20;
static_assert(kSetsFileLimit == 16u << 20 && kHostsFileLimit == 16u << 20,
              "the help texts say 16 MiB");
static_assert(kResponseInputLimit == 256u << 20, "the help text says 256 MiB");

constexpr const char* kToolHelp =
    "usage: lantern-wharf COMMAND [OPTIONS]\n"
    "\n"
    "Prepares, checks and previews what the lantern-wharf helper writes into the\n"
    "managed block of the hosts file.\n"
    "\n"
    "commands that manage the sets in /etc/hosts:\n"
    "  list                  the sets, each with its lines on and off\n"
    "  show SET              the lines of a set, numbered\n"
    "  enable SET [LINE...]  switch a set, or some of its lines, on\n"
    "  disable SET [LINE...] switch a set, or some of its lines, off\n"
    "  add SET LINE...       add lines to a set, made when it is new\n"
    "  remove SET [LINE...]  remove lines, or a whole set\n"
    "  rename SET NEW        rename a set\n"
    "  import SET [FILE]     make a hosts file, or a list, a set\n"
    "  export                print the sets as a sets file\n"
    "  history [BACKUP]      the backups the helper keeps, or one as a diff\n"
    "  undo [BACKUP]         go back to the sets of a backup\n"
    "\n"
    "commands:\n"
    "  apply SETS.json       ask the helper to write the sets into /etc/hosts\n"
    "  flush                 ask the helper to flush the name caches\n"
    "  remove-everything     ask the helper to put /etc/hosts back as it was before\n"
    "                        its first change, and to delete all it keeps\n"
    "  send                  send request bytes from standard input to the helper\n"
    "                        and print the response bytes\n"
    "  check SETS.json       check the sets as the helper would\n"
    "  preview SETS.json     print the hosts file an apply would write\n"
    "  encode SETS.json      print the request bytes of an apply\n"
    "  encode flush          print the request bytes of a name-cache flush\n"
    "  encode remove-everything\n"
    "                        print the request bytes of a removal\n"
    "  decode                read response bytes on standard input and print them\n"
    "\n"
    "options:\n"
    "  --help                show this text, or a command's with COMMAND --help\n"
    "  --version             show the version\n"
    "\n"
    "A sets file reads {\"sets\": [{\"name\": \"work\", \"lines\": [LINE, ...]}]}, where\n"
    "a LINE is {\"text\": \"10.0.0.5 intranet.test\", \"enabled\": true} or a plain\n"
    "string (a switched-on line).\n"
    "\n"
    "A sets file or a hosts file is read only when it is a regular file of at most\n"
    "16 MiB (16777216 octets); anything else is an input error.\n"
    "\n"
    "Exit status: 0 success, 1 the request has issues or the file cannot take it,\n"
    "2 a usage or input error, 3 the helper refused to serve this program, 4 the\n"
    "helper cannot be reached or did not answer, 5 the helper could not decide now\n"
    "whether to serve this program (it was deciding an earlier request of yours, or\n"
    "stopping): nothing was done, ask again in a moment.\n";

constexpr const char* kApplyHelp =
    "usage: lantern-wharf apply [--json] SETS.json\n"
    "\n"
    "Asks the helper to write the sets into the managed block of /etc/hosts.\n"
    "Prints done, or unchanged when the file already holds them; otherwise the\n"
    "issues on standard error, as check prints them, and exits 1. Look first with\n"
    "preview --diff.\n"
    "\n"
    "  --json   print {\"response\": \"done\"} or {\"issues\": [...]}\n";

constexpr const char* kFlushHelp =
    "usage: lantern-wharf flush [--json]\n"
    "\n"
    "Asks the helper to flush the system's name caches. Prints done, or the\n"
    "issue on standard error and exits 1.\n";

constexpr const char* kRemoveHelp =
    "usage: lantern-wharf remove-everything [--json]\n"
    "\n"
    "Asks the helper to put /etc/hosts back as it was before its first change,\n"
    "and then to delete its snapshot, its backups and its log. Prints done, or\n"
    "the issue on standard error and exits 1.\n";

constexpr const char* kSendHelp =
    "usage: lantern-wharf send\n"
    "\n"
    "Sends the request bytes on standard input to the helper as they are, and\n"
    "writes the response bytes to standard output: for debugging and tests.\n"
    "Exits as apply does for the response.\n";

constexpr const char* kCheckHelp =
    "usage: lantern-wharf check [--json] SETS.json\n"
    "\n"
    "Checks the sets as the helper checks an apply request. Prints nothing and\n"
    "exits 0 when there is no issue; otherwise prints one line per issue on\n"
    "standard error, \"set S, line L: MESSAGE\" (line 0: the request as a whole or\n"
    "a set's name), and exits 1.\n"
    "\n"
    "  --json   print {\"issues\": [{\"set\": S, \"line\": L, \"message\": M}, ...]}\n"
    "           on standard output instead\n";

constexpr const char* kPreviewHelp =
    "usage: lantern-wharf preview [--json] [--diff] [--hosts FILE] SETS.json\n"
    "\n"
    "Checks the sets, reads FILE (default /etc/hosts, only read), cuts it at its\n"
    "managed block and prints the complete file an apply would write. Issues,\n"
    "a broken block or an unreadable file are printed on standard error, exit 1.\n"
    "A FILE that is no regular file, or that holds more than 16 MiB, is an input\n"
    "error, exit 2.\n"
    "\n"
    "  --diff         print a unified diff of FILE against the new file instead\n"
    "                 (nothing when the apply would change nothing)\n"
    "  --hosts FILE   the file to start from\n"
    "  --json         print issues as {\"issues\": [...]} on standard output\n";

constexpr const char* kEncodeHelp =
    "usage: lantern-wharf encode SETS.json | flush | remove-everything\n"
    "\n"
    "Prints the request bytes that the client sends the helper: an apply of the\n"
    "sets in SETS.json (not checked; see check), a name-cache flush, or a removal\n"
    "of everything the helper keeps. To encode a sets file named flush, write\n"
    "./flush.\n";

constexpr const char* kDecodeHelp =
    "usage: lantern-wharf decode [--json]\n"
    "\n"
    "Reads the bytes of a response on standard input and prints it: done,\n"
    "unchanged, not understood, or the issues as check prints them. Exits 0 for\n"
    "done and unchanged, 1 otherwise, 2 for bytes that are no response or more\n"
    "than 256 MiB of them.\n"
    "\n"
    "  --json   print {\"response\": \"done\"} or {\"issues\": [...]}\n";

// The sets in the file. Every command that changes them reads them back from
// the managed block of /etc/hosts, changes them, and asks the helper to apply
// them all, as apply does; --diff shows the change instead and sends nothing.
#define LWK_CHANGE_OPTIONS                                                       \
  "  --diff   print a unified diff of /etc/hosts against what it would be,\n"    \
  "           and send nothing\n"                                                \
  "  --json   print {\"response\": \"done\"} or {\"issues\": [...]}\n"           \
  "\n"                                                                           \
  "The sets are read from the managed block of /etc/hosts; the client keeps\n"   \
  "nothing of its own. When two clients change the file at the same time, the\n" \
  "last apply wins.\n"

constexpr const char* kListHelp =
    "usage: lantern-wharf list [--json]\n"
    "\n"
    "Lists the sets in the managed block of /etc/hosts, in order, each with how\n"
    "many of its lines are switched on and off.\n"
    "\n"
    "  --json   print {\"sets\": [{\"name\": N, \"on\": K, \"off\": K}, ...]}\n";

constexpr const char* kShowHelp =
    "usage: lantern-wharf show [--json] SET\n"
    "\n"
    "Shows the lines of the set SET, numbered from 1 as the helper's check\n"
    "numbers them (the numbers enable, disable and remove take), each on or off.\n"
    "\n"
    "  --json   print {\"name\": N, \"lines\": [{\"line\": L, \"text\": T, \"enabled\": B}]}\n";

constexpr const char* kEnableHelp =
    "usage: lantern-wharf enable [--diff] [--json] SET [LINE...]\n"
    "\n"
    "Switches on the lines numbered LINE of the set SET, or, without LINE, every\n"
    "line of it: lines that were off before the set was switched off come on\n"
    "too, for the file keeps no state of a set apart from its lines. A line\n"
    "whose entry an earlier line already writes stays off, and the client says\n"
    "which line writes it: the file would leave it out, and it would be lost.\n"
    "\n" LWK_CHANGE_OPTIONS;

constexpr const char* kDisableHelp =
    "usage: lantern-wharf disable [--diff] [--json] SET [LINE...]\n"
    "\n"
    "Switches off the lines numbered LINE of the set SET, or, without LINE, every\n"
    "line of it. A line switched off stays in the block as a comment.\n"
    "\n" LWK_CHANGE_OPTIONS;

constexpr const char* kAddHelp =
    "usage: lantern-wharf add [--off] [--diff] [--json] SET LINE...\n"
    "\n"
    "Adds each LINE, as written, at the end of the set SET, which is made when\n"
    "there is none of that name. A line whose entry an earlier line already\n"
    "writes is added switched off, and the client says which line writes it:\n"
    "the file would leave it out, and it would be lost.\n"
    "\n"
    "  --off    add the lines switched off\n" LWK_CHANGE_OPTIONS;

constexpr const char* kRemoveLinesHelp =
    "usage: lantern-wharf remove [--diff] [--json] SET [LINE...]\n"
    "\n"
    "Removes the lines numbered LINE from the set SET, or, without LINE, the\n"
    "whole set.\n"
    "\n" LWK_CHANGE_OPTIONS;

constexpr const char* kRenameHelp =
    "usage: lantern-wharf rename [--diff] [--json] SET NEW\n"
    "\n"
    "Gives the set SET the name NEW, which no other set may have.\n"
    "\n" LWK_CHANGE_OPTIONS;

constexpr const char* kImportHelp =
    "usage: lantern-wharf import [--skip-refused] [--diff] [--json] SET [FILE]\n"
    "\n"
    "Makes the lines of the hosts-format FILE (standard input when FILE is - or\n"
    "left out) the lines of the set SET, made when there is none of that name:\n"
    "an existing hosts file, or a list someone publishes. Every line is kept as\n"
    "written, comments and empty lines too, switched on. The lines the helper\n"
    "would refuse are listed with their line numbers, and nothing is sent.\n"
    "\n"
    "  --skip-refused   leave the refused lines out and import the rest\n" LWK_CHANGE_OPTIONS;

constexpr const char* kExportHelp =
    "usage: lantern-wharf export\n"
    "\n"
    "Prints the sets in the managed block of /etc/hosts as a sets file, which\n"
    "apply takes: to keep them, move them to another machine, or put them under\n"
    "version control.\n";

constexpr const char* kHistoryHelp =
    "usage: lantern-wharf history [--json] [BACKUP]\n"
    "\n"
    "Lists the backups the helper keeps of /etc/hosts, newest first and numbered\n"
    "from 1, each with when it was made and what the change after it did to the\n"
    "sets. With BACKUP, prints that backup as a unified diff against the current\n"
    "file instead.\n"
    "\n"
    "  --json   print {\"backups\": [{\"backup\": N, \"made\": T, \"path\": P,\n"
    "           \"changes\": [...]}]}\n";

constexpr const char* kUndoHelp =
    "usage: lantern-wharf undo [--diff] [--json] [BACKUP]\n"
    "\n"
    "Goes back to the sets of the backup numbered BACKUP in the history (the\n"
    "newest when left out): the helper applies the sets of that backup's managed\n"
    "block, as it applies any change, and everything outside the block stays as\n"
    "it is now. Undoing is a change too: it makes a backup of its own.\n"
    "\n" LWK_CHANGE_OPTIONS;

// The parsed command line of one command.
struct Arguments {
  bool help = false;
  bool json = false;
  bool diff = false;
  bool off = false;
  bool skip_refused = false;
  std::optional<std::string> hosts;
  std::vector<std::string> positional;
};

int usage_error(const std::string& command, const std::string& message) {
  std::cerr << "lantern-wharf: " << message << "\n";
  std::cerr << "try 'lantern-wharf " << (command.empty() ? "" : command + " ") << "--help'\n";
  return kUsage;
}

// Parses the options `allowed` ("json", "diff", "hosts") of a command.
std::optional<Arguments> parse_arguments(const std::vector<std::string>& args,
                                         const std::vector<std::string>& allowed,
                                         const std::string& command) {
  Arguments out;
  auto permits = [&](const std::string& name) {
    for (const auto& a : allowed) {
      if (a == name) return true;
    }
    return false;
  };
  bool options_done = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
      out.positional.push_back(arg);
    } else if (arg == "--") {
      options_done = true;
    } else if (arg == "--help" || arg == "-h") {
      out.help = true;
    } else if (arg == "--json" && permits("json")) {
      out.json = true;
    } else if (arg == "--diff" && permits("diff")) {
      out.diff = true;
    } else if (arg == "--off" && permits("off")) {
      out.off = true;
    } else if (arg == "--skip-refused" && permits("skip-refused")) {
      out.skip_refused = true;
    } else if (arg == "--hosts" && permits("hosts")) {
      if (i + 1 == args.size()) {
        usage_error(command, "--hosts needs a file");
        return std::nullopt;
      }
      out.hosts = args[++i];
    } else if (arg.starts_with("--hosts=") && permits("hosts")) {
      out.hosts = arg.substr(8);
    } else {
      usage_error(command, "unknown option " + arg);
      return std::nullopt;
    }
  }
  return out;
}

// The sets the issues are about, by their names, when a command changed the
// sets in the file (whose positions a person never sees); null for a sets
// file, whose sets are named by position, from 0.
using NamedSets = const std::vector<manager::Set>*;

// "set S, line L: MESSAGE"; with `named`, "set "NAME", line L: MESSAGE", or
// "set "NAME": MESSAGE" for the set as a whole, and the message alone for
// the request as a whole.
std::string issue_line(const Issue& issue, NamedSets named = nullptr) {
  if (named == nullptr || issue.set >= named->size()) {
    return "set " + std::to_string(issue.set) + ", line " + std::to_string(issue.line) + ": " +
           issue.message;
  }
  if (issue.line == 0 && issue.set == 0) return issue.message;
  std::string out = "set \"" + (*named)[issue.set].name + "\"";
  if (issue.line != 0) out += ", line " + std::to_string(issue.line);
  return out + ": " + issue.message;
}

// Shows issues: as lines on standard error, or as one JSON object on standard output.
void show_issues(const std::vector<Issue>& issues, bool json, NamedSets named = nullptr) {
  if (json) {
    std::cout << issues_json(issues);
    return;
  }
  for (const Issue& issue : issues) std::cerr << issue_line(issue, named) << "\n";
}

// Shows why the file cannot take the sets: the sentence alone on standard
// error, or, as the helper answers it, one issue of the request as a whole.
void show_refusal(const std::string& sentence, bool json) {
  if (json) {
    std::cout << issues_json({hosts_ipc::request_issue(sentence)});
  } else {
    std::cerr << sentence << "\n";
  }
}

// Reads and parses a sets file, reporting any fault (exit 2) as "FILE: ...".
std::optional<SetsFile> load_sets(const std::string& path) {
  auto text = read_input_file(path, kSetsFileLimit);
  if (!text) {
    std::cerr << "lantern-wharf: " << path << ": " << text.error().message << "\n";
    return std::nullopt;
  }
  auto sets = parse_sets(*text);
  if (!sets) {
    std::cerr << "lantern-wharf: " << path << ": " << sets.error() << "\n";
    return std::nullopt;
  }
  return std::move(*sets);
}

bool write_out(std::string_view bytes) {
  return lwk::os::write_all(STDOUT_FILENO, bytes).has_value();
}

// Shows a response: done, unchanged or not understood on standard output, the
// issues on `issues_to` as check shows them; or all of it as one JSON object.
// Returns the exit status it calls for.
int report(const hosts_ipc::Response& response, bool json, std::ostream& issues_to,
           NamedSets named = nullptr) {
  const auto say = [json](const char* word) {
    if (json) {
      std::cout << nlohmann::ordered_json{{"response", word}}.dump() << "\n";
    } else {
      std::cout << word << "\n";
    }
  };
  std::visit(hosts_ipc::Overloaded{
                 [&](const hosts_ipc::Done&) { say("done"); },
                 [&](const hosts_ipc::Unchanged&) { say("unchanged"); },
                 [&](const hosts_ipc::NotUnderstood&) { say("not understood"); },
                 [&](const hosts_ipc::Issues& issues) {
                   if (json) {
                     std::cout << issues_json(issues.issues);
                   } else {
                     for (const Issue& issue : issues.issues) {
                       issues_to << issue_line(issue, named) << "\n";
                     }
                   }
                 },
             },
             response);
  return status_of(response);
}

// Says that a request of `octets` (a count, or words such as "more than N")
// is too big to go to the helper, and gives the exit status.
int request_too_big(const std::string& octets) {
  std::cerr << "lantern-wharf: the request is " << octets
            << " octets, and a message to the helper carries at most " << request_limit() << "\n";
  return kUsage;
}

// Sends `request` to the helper; on an answer, gives its bytes. On no answer
// or a refusal, says why on standard error and gives the exit status.
std::variant<std::string, int> ask_helper(std::string_view request) {
  if (request.size() > request_limit()) return request_too_big(std::to_string(request.size()));
  auto reply = exchange(request);
  if (!reply) {
    std::cerr << "lantern-wharf: " << reply.error() << "\n";
    return kUnreachable;
  }
  switch (reply->kind) {
    case Reply::Kind::NotServed:
      std::cerr << "lantern-wharf: " << not_served() << "\n";
      return kNotServed;
    case Reply::Kind::NotNow: std::cerr << "lantern-wharf: " << not_now() << "\n"; return kNotNow;
    case Reply::Kind::Response: break;
  }
  return std::move(reply->response);
}

// Sends `request` and shows the response.
int request_and_report(const hosts_ipc::Request& request, bool json, NamedSets named = nullptr) {
  auto response = helper_requests::ask(request);
  if (!response) {
    std::cerr << "lantern-wharf: " << response.error().sentence << "\n";
    return response.error().status;
  }
  return report(*response, json, std::cerr, named);
}

int run_apply(const Arguments& args) {
  if (args.positional.size() != 1) return usage_error("apply", "apply takes one sets file");
  auto sets = load_sets(args.positional[0]);
  if (!sets) return kUsage;
  return request_and_report(hosts_ipc::ApplySets{sets->sets}, args.json);
}

int run_flush(const Arguments& args) {
  if (!args.positional.empty()) return usage_error("flush", "flush takes no arguments");
  return request_and_report(hosts_ipc::FlushNameCache{}, args.json);
}

int run_remove_everything(const Arguments& args) {
  if (!args.positional.empty()) {
    return usage_error("remove-everything", "remove-everything takes no arguments");
  }
  return request_and_report(hosts_ipc::RemoveEverything{}, args.json);
}

int run_send(const Arguments& args) {
  if (!args.positional.empty()) return usage_error("send", "send reads standard input only");
  // One octet past the limit tells a request too big; a second tells whether
  // the count the refusal gives is all there is.
  auto bytes = read_at_most(STDIN_FILENO, request_limit() + 2);
  if (!bytes) {
    std::cerr << "lantern-wharf: standard input: " << bytes.error().message << "\n";
    return kUsage;
  }
  if (bytes->size() > request_limit() + 1) {
    return request_too_big("more than " + std::to_string(request_limit() + 1));
  }
  auto reply = ask_helper(*bytes);
  if (const int* status = std::get_if<int>(&reply)) return *status;
  const std::string& body = std::get<std::string>(reply);
  if (!write_out(body)) return kRefused;
  auto response = hosts_ipc::decode_response(body);
  if (!response) return kRefused;
  return status_of(*response);
}

int run_check(const Arguments& args) {
  if (args.positional.size() != 1) return usage_error("check", "check takes one sets file");
  auto sets = load_sets(args.positional[0]);
  if (!sets) return kUsage;
  auto checked =
      hosts_helper_core::check::check(sets->sets, hosts_helper_core::check::Limits::service());
  if (checked) {
    if (args.json) std::cout << issues_json({});
    return kSuccess;
  }
  show_issues(checked.error(), args.json);
  return kRefused;
}

int run_preview(const Arguments& args) {
  if (args.positional.size() != 1) return usage_error("preview", "preview takes one sets file");
  auto sets = load_sets(args.positional[0]);
  if (!sets) return kUsage;
  const std::string hosts = args.hosts.value_or(hosts_paths::system_file());
  auto change = preview::of_file(sets->sets, hosts);
  if (!change) {
    const preview::Failure& failure = change.error();
    if (!failure.refusal.empty()) {
      std::cerr << "lantern-wharf: " << failure.refusal << "\n";
      return kUsage;
    }
    if (failure.file_fault) {
      show_refusal(failure.issues.front().message, args.json);
    } else {
      show_issues(failure.issues, args.json);
    }
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
  std::optional<SetsFile> sets;  // holds the texts the request views
  if (what == "remove-everything") {
    request = hosts_ipc::RemoveEverything{};
  } else if (what != "flush") {
    sets = load_sets(what);
    if (!sets) return kUsage;
    request = hosts_ipc::ApplySets{sets->sets};
  }
  return write_out(hosts_ipc::encode_request(request)) ? kSuccess : kRefused;
}

int run_decode(const Arguments& args) {
  if (!args.positional.empty()) return usage_error("decode", "decode reads standard input only");
  auto input = read_at_most(STDIN_FILENO, kResponseInputLimit + 1);
  if (!input) {
    std::cerr << "lantern-wharf: standard input: " << input.error().message << "\n";
    return kUsage;
  }
  const std::string& bytes = *input;
  if (bytes.size() > kResponseInputLimit) {
    std::cerr << "lantern-wharf: the response is more than " << kResponseInputLimit
              << " octets, and decode reads at most " << kResponseInputLimit << "\n";
    return kUsage;
  }
  if (bytes.empty()) {
    std::cerr
        << "lantern-wharf: no response: an empty reply is the helper's refusal of the caller\n";
    return kUsage;
  }
  auto response = hosts_ipc::decode_response(bytes);
  if (!response) {
    std::cerr << "lantern-wharf: the bytes are no response: "
              << hosts_ipc::describe(response.error()) << "\n";
    return kUsage;
  }
  return report(*response, args.json, std::cout);
}

// ---- Managing the sets in the file ----

// Prints `object` on a line of its own; text that is not UTF-8 is replaced,
// not refused.
void print_json(const nlohmann::ordered_json& object) {
  std::cout << object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
            << "\n";
}

namespace manager = lantern_wharf::manager;

// The file as it is now and the sets its block holds.
struct Current {
  std::string path;
  std::string bytes;
  std::vector<manager::Set> sets;
};

// Reads the current file, unchecked; on failure, says why and gives the exit
// status.
std::variant<Current, int> current_file() {
  Current current{hosts_paths::system_file(), {}, {}};
  auto bytes = read_input_file(current.path, kHostsFileLimit);
  if (!bytes) {
    std::cerr << "lantern-wharf: " << current.path << ": " << bytes.error().message << "\n";
    return bytes.error().refused ? kUsage : kRefused;
  }
  current.bytes = std::move(*bytes);
  return current;
}

// Reads the current file and its sets; on failure, says why and gives the
// exit status.
std::variant<Current, int> current_sets() {
  auto current = current_file();
  if (std::holds_alternative<int>(current)) return current;
  Current& now = std::get<Current>(current);
  auto sets = manager::read_sets(now.bytes);
  if (!sets) {
    std::cerr << "lantern-wharf: " << now.path << ": " << sets.error() << "; nothing was changed\n";
    return kRefused;
  }
  now.sets = std::move(*sets);
  return current;
}

// The line numbers among `words`, from 1; nothing, after saying so, for a
// word that is none.
std::optional<std::vector<std::uint64_t>> line_numbers(const std::string& command,
                                                       const std::vector<std::string>& words) {
  std::vector<std::uint64_t> numbers;
  for (const std::string& word : words) {
    std::uint64_t n = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), n);
    if (error != std::errc() || end != word.data() + word.size() || n == 0) {
      usage_error(command, "\"" + word + "\" is not a line number (lines count from 1)");
      return std::nullopt;
    }
    numbers.push_back(n);
  }
  return numbers;
}

// A change refused before anything is sent: the sentence, exit status 2.
int refuse_change(const std::string& why) {
  std::cerr << "lantern-wharf: " << why << "; nothing was sent\n";
  return kUsage;
}

// Why `sets` cannot be sent at all, or "": a name or a line that is not
// UTF-8 (from the command line), or more octets of names and lines than the
// helper takes in one request.
std::string unsendable(const std::vector<manager::Set>& sets) {
  for (const manager::Set& set : sets) {
    if (!lwk::utf8::is_valid(set.name)) return "a set's name is not valid UTF-8";
    for (std::size_t i = 0; i < set.lines.size(); ++i) {
      if (!lwk::utf8::is_valid(set.lines[i].text)) {
        return "set \"" + set.name + "\", line " + std::to_string(i + 1) + " is not valid UTF-8";
      }
    }
  }
  const std::uint64_t octets = hosts_helper_core::check::request_octets(manager::to_wire(sets));
  const std::uint64_t limit = hosts_helper_core::check::Limits::service().max_request_octets;
  if (octets > limit) {
    return "the sets would hold " + std::to_string(octets) +
           " octets of names and lines, and the helper takes at most " + std::to_string(limit);
  }
  return "";
}

// Sends `changed` in place of the current sets, or, with --diff, prints what
// it would change and sends nothing. A switched-on line that the file would
// leave out (an earlier line writes its entry) is kept switched off instead,
// and named, so that no line is lost from its set.
int send_change(const Current& current, std::vector<manager::Set> changed, const Arguments& args) {
  if (const std::string why = unsendable(changed); !why.empty()) return refuse_change(why);
  for (const std::string& note : manager::keep_repeats_off(changed)) {
    std::cerr << "lantern-wharf: " << note << "\n";
  }
  const std::vector<hosts_ipc::WireSet> wire = manager::to_wire(changed);
  if (!args.diff) return request_and_report(hosts_ipc::ApplySets{wire}, args.json, &changed);
  auto content = preview::after(wire, current.bytes);
  if (!content) {
    show_issues(content.error(), args.json, &changed);
    return kRefused;
  }
  return write_out(unified_diff(current.bytes, *content, current.path,
                                current.path + " (after the change)"))
             ? kSuccess
             : kRefused;
}

int run_list(const Arguments& args) {
  if (!args.positional.empty()) return usage_error("list", "list takes no arguments");
  auto current = current_sets();
  if (const int* status = std::get_if<int>(&current)) return *status;
  const auto& sets = std::get<Current>(current).sets;
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const manager::Set& set : sets) {
    const auto on = std::count_if(set.lines.begin(), set.lines.end(),
                                  [](const manager::Line& l) { return l.enabled; });
    const auto off = static_cast<std::int64_t>(set.lines.size()) - on;
    if (args.json) {
      list.push_back({{"name", set.name}, {"on", on}, {"off", off}});
    } else {
      std::cout << set.name << "\t" << on << " on, " << off << " off\n";
    }
  }
  if (args.json) print_json(nlohmann::ordered_json{{"sets", list}});
  return kSuccess;
}

int run_show(const Arguments& args) {
  if (args.positional.size() != 1) return usage_error("show", "show takes one set's name");
  auto current = current_sets();
  if (const int* status = std::get_if<int>(&current)) return *status;
  const auto& sets = std::get<Current>(current).sets;
  auto at = manager::find(sets, args.positional[0]);
  if (!at) {
    std::cerr << "lantern-wharf: " << at.error() << "\n";
    return kUsage;
  }
  const manager::Set& set = sets[*at];
  nlohmann::ordered_json lines = nlohmann::ordered_json::array();
  for (std::size_t i = 0; i < set.lines.size(); ++i) {
    const manager::Line& line = set.lines[i];
    if (args.json) {
      lines.push_back({{"line", i + 1}, {"text", line.text}, {"enabled", line.enabled}});
    } else {
      std::cout << (i + 1) << "\t" << (line.enabled ? "on" : "off") << "\t" << line.text << "\n";
    }
  }
  if (args.json) print_json(nlohmann::ordered_json{{"name", set.name}, {"lines", lines}});
  return kSuccess;
}

// enable and disable.
int run_switch(const Arguments& args, bool enabled) {
  const std::string command = enabled ? "enable" : "disable";
  if (args.positional.empty()) return usage_error(command, command + " takes a set's name");
  const std::vector<std::string> words(args.positional.begin() + 1, args.positional.end());
  auto numbers = line_numbers(command, words);
  if (!numbers) return kUsage;
  auto current = current_sets();
  if (const int* status = std::get_if<int>(&current)) return *status;
  const Current& now = std::get<Current>(current);
  std::vector<manager::Set> changed = now.sets;
  if (auto ok = manager::set_enabled(changed, args.positional[0], *numbers, enabled); !ok) {
    return refuse_change(ok.error());
  }
  return send_change(now, std::move(changed), args);
}

int run_enable(const Arguments& args) { return run_switch(args, true); }
int run_disable(const Arguments& args) { return run_switch(args, false); }

int run_add(const Arguments& args) {
  if (args.positional.size() < 2) return usage_error("add", "add takes a set's name and lines");
  auto current = current_sets();
  if (const int* status = std::get_if<int>(&current)) return *status;
  const Current& now = std::get<Current>(current);
  std::vector<manager::Set> changed = now.sets;
  const std::vector<std::string> texts(args.positional.begin() + 1, args.positional.end());
  manager::add_lines(changed, args.positional[0], texts, !args.off);
  return send_change(now, std::move(changed), args);
}

int run_remove(const Arguments& args) {
  if (args.positional.empty()) return usage_error("remove", "remove takes a set's name");
  const std::vector<std::string> words(args.positional.begin() + 1, args.positional.end());
  auto numbers = line_numbers("remove", words);
  if (!numbers) return kUsage;
  auto current = current_sets();
  if (const int* status = std::get_if<int>(&current)) return *status;
  const Current& now = std::get<Current>(current);
  std::vector<manager::Set> changed = now.sets;
  if (auto ok = manager::remove(changed, args.positional[0], *numbers); !ok) {
    return refuse_change(ok.error());
  }
  return send_change(now, std::move(changed), args);
}

int run_rename(const Arguments& args) {
  if (args.positional.size() != 2) return usage_error("rename", "rename takes two names");
  auto current = current_sets();
  if (const int* status = std::get_if<int>(&current)) return *status;
  const Current& now = std::get<Current>(current);
  std::vector<manager::Set> changed = now.sets;
  if (auto ok = manager::rename(changed, args.positional[0], args.positional[1]); !ok) {
    return refuse_change(ok.error());
  }
  return send_change(now, std::move(changed), args);
}

int run_import(const Arguments& args) {
  if (args.positional.empty() || args.positional.size() > 2) {
    return usage_error("import", "import takes a set's name and at most one file");
  }
  const std::string& name = args.positional[0];
  const std::string source = args.positional.size() == 2 ? args.positional[1] : "-";
  std::string text;
  if (source == "-") {
    auto in = read_at_most(STDIN_FILENO, kSetsFileLimit + 1);
    if (!in) return refuse_change("standard input: " + in.error().message);
    if (in->size() > kSetsFileLimit) {
      return refuse_change("standard input holds more than " + std::to_string(kSetsFileLimit) +
                           " octets, and the client reads at most " +
                           std::to_string(kSetsFileLimit));
    }
    text = std::move(*in);
  } else {
    auto file = read_input_file(source, kSetsFileLimit);
    if (!file) return refuse_change(source + ": " + file.error().message);
    text = std::move(*file);
  }
  auto lines = manager::lines_of(text);
  if (!lines) return refuse_change(source + ": " + lines.error());
  const auto limits = hosts_helper_core::check::Limits::service();
  manager::Set imported{name, {}};
  for (const std::string& line : *lines) imported.lines.push_back({line, true});
  const std::uint64_t octets =
      hosts_helper_core::check::request_octets(manager::to_wire({imported}));
  if (octets > limits.max_request_octets) {
    return refuse_change(source + ": the set would hold " + std::to_string(octets) +
                         " octets of name and lines, and the helper takes at most " +
                         std::to_string(limits.max_request_octets) + " in all");
  }
  // The lines the helper would refuse, judged as a set of their own.
  auto checked = hosts_helper_core::check::check(manager::to_wire({imported}), limits);
  if (!checked) {
    std::vector<bool> refused(imported.lines.size(), false);
    for (const Issue& issue : checked.error()) {
      if (issue.line == 0) return refuse_change(source + ": " + issue.message);
      refused[issue.line - 1] = true;
      if (!args.skip_refused) {
        std::cerr << source << ", line " << issue.line << ": " << issue.message << "\n";
      }
    }
    if (!args.skip_refused) {
      std::cerr << "lantern-wharf: the helper would refuse these lines; nothing was sent "
                   "(--skip-refused leaves them out)\n";
      return kRefused;
    }
    std::vector<manager::Line> kept;
    for (std::size_t i = 0; i < imported.lines.size(); ++i) {
      if (!refused[i]) kept.push_back(std::move(imported.lines[i]));
    }
    std::cerr << "lantern-wharf: left out the lines the helper would refuse: "
              << (imported.lines.size() - kept.size()) << " of " << imported.lines.size() << "\n";
    imported.lines = std::move(kept);
  }
  auto current = current_sets();
  if (const int* status = std::get_if<int>(&current)) return *status;
  const Current& now = std::get<Current>(current);
  std::vector<manager::Set> changed = now.sets;
  if (auto at = manager::find(changed, name)) {
    changed[*at].lines = std::move(imported.lines);
  } else {
    changed.push_back(std::move(imported));
  }
  return send_change(now, std::move(changed), args);
}

int run_export(const Arguments& args) {
  if (!args.positional.empty()) return usage_error("export", "export takes no arguments");
  auto current = current_sets();
  if (const int* status = std::get_if<int>(&current)) return *status;
  return write_out(manager::to_sets_file(std::get<Current>(current).sets)) ? kSuccess : kRefused;
}

// One backup the helper keeps, its bytes, and its sets when they read back.
struct Kept {
  manager::Backup backup;
  std::string bytes;
  lwk::Result<std::vector<manager::Set>, std::string> sets;
};

// The current file, its sets when they read back, and the backups.
struct History {
  Current now;  // its sets left empty
  lwk::Result<std::vector<manager::Set>, std::string> now_sets;
  std::vector<Kept> kept;
};

std::variant<History, int> history() {
  auto current = current_file();
  if (const int* status = std::get_if<int>(&current)) return *status;
  auto backups = manager::backups_in(
      hosts_helper_core::write::Paths::backups_in(hosts_paths::store_directory()));
  if (!backups) {
    std::cerr << "lantern-wharf: " << backups.error() << "\n";
    return kRefused;
  }
  std::vector<Kept> kept;
  for (manager::Backup& backup : *backups) {
    auto bytes = read_input_file(backup.path, kHostsFileLimit);
    if (!bytes) {
      std::cerr << "lantern-wharf: " << backup.path << ": " << bytes.error().message << "\n";
      return kRefused;
    }
    auto sets = manager::read_sets(*bytes);
    kept.push_back({std::move(backup), std::move(*bytes), std::move(sets)});
  }
  Current& now = std::get<Current>(current);
  auto now_sets = manager::read_sets(now.bytes);
  return History{std::move(now), std::move(now_sets), std::move(kept)};
}

// The backup numbered `word` (1: the newest) among `kept`; nothing, after
// saying so, for a number that names none.
std::optional<std::size_t> backup_number(const std::string& command, const std::string& word,
                                         std::size_t kept) {
  auto numbers = line_numbers(command, {word});
  if (!numbers) return std::nullopt;
  if (numbers->front() > kept) {
    std::cerr << "lantern-wharf: there is no backup " << word << " (there are " << kept << ")\n";
    return std::nullopt;
  }
  return numbers->front() - 1;
}

int run_history(const Arguments& args) {
  if (args.positional.size() > 1) return usage_error("history", "history takes at most a number");
  auto loaded = history();
  if (const int* status = std::get_if<int>(&loaded)) return *status;
  const auto& [now, now_sets, kept] = std::get<History>(loaded);
  if (args.positional.size() == 1) {
    const auto at = backup_number("history", args.positional[0], kept.size());
    if (!at) return kUsage;
    return write_out(unified_diff(kept[*at].bytes, now.bytes, kept[*at].backup.path, now.path))
               ? kSuccess
               : kRefused;
  }
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (std::size_t i = 0; i < kept.size(); ++i) {
    // What the change it was made before did: from it to the next state.
    const auto& after = i == 0 ? now_sets : kept[i - 1].sets;
    std::string what = "a block that does not read back";
    std::vector<std::string> phrases;
    if (kept[i].sets && after) {
      phrases = manager::changes(*kept[i].sets, *after);
      what.clear();
      for (const std::string& phrase : phrases) what += (what.empty() ? "" : ", ") + phrase;
      if (what.empty()) what = "no change to the sets";
    }
    const std::string when = hosts_journal::stamp_at(std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds(kept[i].backup.nanoseconds))));
    if (args.json) {
      list.push_back({{"backup", i + 1},
                      {"made", when},
                      {"path", kept[i].backup.path},
                      {"changes", kept[i].sets && after ? nlohmann::ordered_json(phrases)
                                                        : nlohmann::ordered_json(nullptr)}});
    } else {
      std::cout << (i + 1) << "\t" << when << "\t" << what << "\n";
    }
  }
  if (args.json) print_json(nlohmann::ordered_json{{"backups", list}});
  return kSuccess;
}

int run_undo(const Arguments& args) {
  if (args.positional.size() > 1) return usage_error("undo", "undo takes at most a number");
  // Only the current bytes are needed: the helper replaces the block whole,
  // so a block that no longer reads back can still be undone.
  auto loaded = history();
  if (const int* status = std::get_if<int>(&loaded)) return *status;
  const History& h = std::get<History>(loaded);
  const std::vector<Kept>& kept = h.kept;
  if (kept.empty()) return refuse_change("the helper keeps no backup to go back to");
  const auto at = args.positional.empty() ? std::optional<std::size_t>(0)
                                          : backup_number("undo", args.positional[0], kept.size());
  if (!at) return kUsage;
  if (!kept[*at].sets) return refuse_change(kept[*at].backup.path + ": " + kept[*at].sets.error());
  return send_change(h.now, *kept[*at].sets, args);
}

struct Command {
  const char* name;
  const char* help;
  std::vector<std::string> options;
  int (*run)(const Arguments&);
};

int run(const std::vector<std::string>& argv) {
  if (argv.empty()) return usage_error("", "a command is needed");
  if (argv[0] == "--help" || argv[0] == "-h") {
    std::cout << kToolHelp;
    return kSuccess;
  }
  if (argv[0] == "--version") {
    std::cout << "lantern-wharf " << LWK_VERSION << "\n";
    return kSuccess;
  }
  const Command commands[] = {
      {"apply", kApplyHelp, {"json"}, run_apply},
      {"flush", kFlushHelp, {"json"}, run_flush},
      {"remove-everything", kRemoveHelp, {"json"}, run_remove_everything},
      {"send", kSendHelp, {}, run_send},
      {"check", kCheckHelp, {"json"}, run_check},
      {"preview", kPreviewHelp, {"json", "diff", "hosts"}, run_preview},
      {"encode", kEncodeHelp, {}, run_encode},
      {"decode", kDecodeHelp, {"json"}, run_decode},
      {"list", kListHelp, {"json"}, run_list},
      {"show", kShowHelp, {"json"}, run_show},
      {"enable", kEnableHelp, {"json", "diff"}, run_enable},
      {"disable", kDisableHelp, {"json", "diff"}, run_disable},
      {"add", kAddHelp, {"json", "diff", "off"}, run_add},
      {"remove", kRemoveLinesHelp, {"json", "diff"}, run_remove},
      {"rename", kRenameHelp, {"json", "diff"}, run_rename},
      {"import", kImportHelp, {"json", "diff", "skip-refused"}, run_import},
      {"export", kExportHelp, {}, run_export},
      {"history", kHistoryHelp, {"json"}, run_history},
      {"undo", kUndoHelp, {"json", "diff"}, run_undo},
  };
  for (const Command& command : commands) {
    if (argv[0] != command.name) continue;
    const std::vector<std::string> rest(argv.begin() + 1, argv.end());
    auto args = parse_arguments(rest, command.options, command.name);
    if (!args) return kUsage;
    if (args->help) {
      std::cout << command.help;
      return kSuccess;
    }
    return command.run(*args);
  }
  return usage_error("", "unknown command " + argv[0]);
}

}  // namespace
}  // namespace lantern_wharf

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const int status = lantern_wharf::run(args);
  std::cout.flush();
  return status;
}
