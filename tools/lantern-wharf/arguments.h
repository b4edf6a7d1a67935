// The command line of one command: its options and its words, and the
// backup numbers among them. A fault is said on standard error with the way
// to the command's help, and is a usage error (exit status 2).
#ifndef LWK_TOOLS_LANTERN_WHARF_ARGUMENTS_H_
#define LWK_TOOLS_LANTERN_WHARF_ARGUMENTS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "output.h"

namespace lantern_wharf::command {

struct Arguments {
  bool help = false;
  bool json = false;
  bool diff = false;
  bool off = false;
  bool skip_refused = false;
  bool allow_empty = false;
  Color color = Color::Auto;
  std::optional<std::string> hosts;
  std::optional<std::string> one_of;
  std::vector<std::string> positional;
};

// Says "lantern-wharf: MESSAGE" and how to get the help of `command` (the
// tool's when it is empty); gives exit status 2.
int usage_error(const std::string& command, const std::string& message);

// Whether `args` ask for --json before any "--".
bool asks_for_json(const std::vector<std::string>& args);

// Parses the arguments of `command`, which takes the options named in
// `allowed` ("json", "diff", "off", "skip-refused", "allow-empty", "hosts",
// "one-of"), and --color=WHEN, which every command takes; "--" ends the
// options. Nothing, after saying why, for an option it does not take, and
// for --json with --diff: a diff is no JSON object.
std::optional<Arguments> parse_arguments(const std::vector<std::string>& args,
                                         const std::vector<std::string>& allowed,
                                         const std::string& command);

// The number, from 1, that `word` is; nothing, after saying so, for a word
// that is none ("WORD" is not a backup number (backups count from 1)).
std::optional<std::uint64_t> backup_number(const std::string& command, const std::string& word);

}  // namespace lantern_wharf::command

#endif  // LWK_TOOLS_LANTERN_WHARF_ARGUMENTS_H_
