#include "arguments.h"

#include <algorithm>
#include <charconv>
#include <iostream>

#include "output.h"

namespace lantern_wharf::command {

int usage_error(const std::string& command, const std::string& message) {
  say(message);
  std::cerr << "try 'lantern-wharf " << (command.empty() ? "" : command + " ") << "--help'\n";
  return kUsage;
}

std::optional<Arguments> parse_arguments(const std::vector<std::string>& args,
                                         const std::vector<std::string>& allowed,
                                         const std::string& command) {
  Arguments out;
  const auto permits = [&](const char* name) {
    return std::find(allowed.begin(), allowed.end(), name) != allowed.end();
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

}  // namespace lantern_wharf::command
