// The command line of one command: its options and its words, and the line
// and backup numbers among them. A fault is said on standard error with the
// way to the command's help, and is a usage error (exit status 2).
#ifndef LWK_TOOLS_LANTERN_WHARF_ARGUMENTS_H_
#define LWK_TOOLS_LANTERN_WHARF_ARGUMENTS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lantern_wharf::command {

struct Arguments {
  bool help = false;
  bool json = false;
  bool diff = false;
  bool off = false;
  bool skip_refused = false;
  std::optional<std::string> hosts;
  std::vector<std::string> positional;
};

// Says "lantern-wharf: MESSAGE" and how to get the help of `command` (the
// tool's when it is empty); gives exit status 2.
int usage_error(const std::string& command, const std::string& message);

// Parses the arguments of `command`, which takes the options named in
// `allowed` ("json", "diff", "off", "skip-refused", "hosts"); "--" ends the
// options. Nothing, after saying why, for an option it does not take.
std::optional<Arguments> parse_arguments(const std::vector<std::string>& args,
                                         const std::vector<std::string>& allowed,
                                         const std::string& command);

// The numbers among `words`, each from 1; nothing, after saying so, for a
// word that is none ("WORD" is not a line number (lines count from 1)).
std::optional<std::vector<std::uint64_t>> line_numbers(const std::string& command,
                                                       const std::vector<std::string>& words);

}  // namespace lantern_wharf::command

#endif  // LWK_TOOLS_LANTERN_WHARF_ARGUMENTS_H_
