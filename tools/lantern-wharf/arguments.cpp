#include "arguments.h"

#include <algorithm>
#include <charconv>
#include <iostream>

namespace lantern_wharf::command {
namespace {

// The WHEN of --color=WHEN.
std::optional<Color> color_of(const std::string& when) {
  if (when == "auto") return Color::Auto;
  if (when == "always") return Color::Always;
  if (when == "never") return Color::Never;
  return std::nullopt;
}

}  // namespace

int usage_error(const std::string& command, const std::string& message) {
  say(message);
  std::cerr << "try 'lantern-wharf " << (command.empty() ? "" : command + " ") << "--help'\n";
  return kUsage;
}

bool asks_for_json(const std::vector<std::string>& args) {
  const auto end = std::find(args.begin(), args.end(), "--");
  return std::find(args.begin(), end, "--json") != end;
}

std::optional<Arguments> parse_arguments(const std::vector<std::string>& args,
                                         const std::vector<std::string>& allowed,
                                         const std::string& command) {
  Arguments out;
  const auto permits = [&](const char* name) {
    return std::find(allowed.begin(), allowed.end(), name) != allowed.end();
  };
  const auto refuse = [&](const std::string& why) {
    usage_error(command, why);
    return std::nullopt;
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
    } else if (arg == "--allow-empty" && permits("allow-empty")) {
      out.allow_empty = true;
    } else if (arg == "--color" || arg.starts_with("--color=")) {
      const auto color = color_of(arg == "--color" ? "always" : arg.substr(8));
      if (!color) return refuse("--color takes auto, always or never");
      out.color = *color;
    } else if (arg == "--hosts" && permits("hosts")) {
      if (i + 1 == args.size()) return refuse("--hosts needs a file");
      out.hosts = args[++i];
    } else if (arg.starts_with("--hosts=") && permits("hosts")) {
      out.hosts = arg.substr(8);
    } else if (arg == "--one-of" && permits("one-of")) {
      if (i + 1 == args.size()) {
        usage_error(command, "--one-of needs a group's name");
        return std::nullopt;
      }
      out.one_of = args[++i];
    } else {
      return refuse("unknown option " + arg);
    }
  }
  if (out.json && out.diff) {
    return refuse("--json and --diff do not go together: a diff is no JSON");
  }
  return out;
}

std::optional<std::uint64_t> backup_number(const std::string& command, const std::string& word) {
  std::uint64_t n = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), n);
  if (error != std::errc() || end != word.data() + word.size() || n == 0) {
    usage_error(command, "\"" + word + "\" is not a backup number (backups count from 1)");
    return std::nullopt;
  }
  return n;
}

}  // namespace lantern_wharf::command
