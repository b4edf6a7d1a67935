// lantern-wharf: the helper's client. It manages the sets of host entries
// in the managed block of /etc/hosts through the helper, asks the helper to
// apply sets, flush the name caches or remove everything, and prepares,
// checks and previews what the helper will write.
//
// This file finds the command; help.cpp holds the help texts,
// arguments.cpp reads the command line, output.cpp shows results, and each
// group of commands has a file of its own (commands.h). The work is the
// client's library's (src/client/manager.h).
//
// Exit status: 0 success, 1 the request has issues or the file cannot take
// it, or the output could not be written, 2 a usage or input error, 3 the
// helper refused to serve this program, 4 the helper cannot be reached or
// did not answer, 5 the helper could not decide now whether to serve it (ask
// again in a moment). Messages go to standard error; results (the new file,
// a diff, request bytes, a response, --json objects) to standard output.
#include <algorithm>
#include <string>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "help.h"
#include "output.h"

namespace lantern_wharf::command {
namespace {

struct Command {
  const char* name;
  const char* help;
  std::vector<std::string> options;
  int (*run)(const Arguments&);
};

const std::vector<Command>& commands() {
  static const std::vector<Command> all = {
      {"list", help::LIST, {"json"}, run_list},
      {"show", help::SHOW, {"json"}, run_show},
      {"find", help::FIND, {"json"}, run_find},
      {"enable", help::ENABLE, {"json", "diff"}, run_enable},
      {"disable", help::DISABLE, {"json", "diff"}, run_disable},
      {"add", help::ADD, {"json", "diff", "off", "one-of"}, run_add},
      {"remove", help::REMOVE, {"json", "diff"}, run_remove},
      {"rename", help::RENAME, {"json", "diff"}, run_rename},
      {"import", help::IMPORT, {"json", "diff", "skip-refused", "allow-empty"}, run_import},
      {"export", help::EXPORT, {}, run_export},
      {"history", help::HISTORY, {"json"}, run_history},
      {"undo", help::UNDO, {"json", "diff"}, run_undo},
      {"redo", help::REDO, {"json", "diff"}, run_redo},
      {"apply", help::APPLY, {"json"}, run_apply},
      {"flush", help::FLUSH, {"json"}, run_flush},
      {"remove-everything", help::REMOVE_EVERYTHING, {"json"}, run_remove_everything},
      {"send", help::SEND, {}, run_send},
      {"check", help::CHECK, {"json", "hosts"}, run_check},
      {"preview", help::PREVIEW, {"json", "diff", "hosts"}, run_preview},
      {"encode", help::ENCODE, {}, run_encode},
      {"decode", help::DECODE, {"json"}, run_decode},
  };
  return all;
}

const Command* command_named(const std::string& name) {
  for (const Command& command : commands()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

// "help" and "help COMMAND".
int run_help(const std::vector<std::string>& words) {
  if (words.empty()) {
    write_octets(help::TOOL);
    return kSuccess;
  }
  const Command* command = words.size() == 1 ? command_named(words[0]) : nullptr;
  if (command == nullptr) return usage_error("", "help takes one command's name");
  write_octets(command->help);
  return kSuccess;
}

int run(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0] == "help" || argv[0] == "--help" || argv[0] == "-h") {
    return run_help(argv.empty() ? argv : std::vector(argv.begin() + 1, argv.end()));
  }
  if (argv[0] == "--version") {
    write_octets("lantern-wharf " LWK_VERSION "\n");
    return kSuccess;
  }
  const Command* command = command_named(argv[0]);
  if (command == nullptr) return usage_error("", "unknown command " + argv[0]);
  const std::vector<std::string> rest(argv.begin() + 1, argv.end());
  const auto& options = command->options;
  begin(asks_for_json(rest) && std::find(options.begin(), options.end(), "json") != options.end());
  auto args = parse_arguments(rest, options, command->name);
  if (!args) return kUsage;
  use_color(args->color);
  if (args->help) {
    begin(false);
    write_octets(command->help);
    return kSuccess;
  }
  return command->run(*args);
}

}  // namespace
}  // namespace lantern_wharf::command

int main(int argc, char** argv) {
  namespace command = lantern_wharf::command;
  const std::vector<std::string> args(argv + 1, argv + argc);
  return command::finish(command::run(args));
}
