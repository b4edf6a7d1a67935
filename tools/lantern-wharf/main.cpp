// lantern-wharf: the helper's client. It manages the sets in the managed
// block of /etc/hosts through the helper, asks the helper to apply sets,
// flush the name caches or remove everything, and prepares, checks and
// previews what the helper will write.
//
// This file finds the command; help.cpp holds the help texts,
// arguments.cpp reads the command line, output.cpp shows results, and each
// group of commands has a file of its own (commands.h). The work is the
// client's library's (src/client/manager.h).
//
// Exit status: 0 success, 1 the request has issues or the file cannot take
// it, 2 a usage or input error, 3 the helper refused to serve this program,
// 4 the helper cannot be reached or did not answer, 5 the helper could not
// decide now whether to serve it (ask again in a moment). Messages go to
// standard error; results (the new file, a diff, request bytes, a response,
// --json objects) to standard output.
#include <iostream>
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

int run(const std::vector<std::string>& argv) {
  if (argv.empty()) return usage_error("", "a command is needed");
  if (argv[0] == "--help" || argv[0] == "-h") {
    std::cout << help::TOOL;
    return kSuccess;
  }
  if (argv[0] == "--version") {
    std::cout << "lantern-wharf " << LWK_VERSION << "\n";
    return kSuccess;
  }
  const Command commands[] = {
      {"apply", help::APPLY, {"json"}, run_apply},
      {"flush", help::FLUSH, {"json"}, run_flush},
      {"remove-everything", help::REMOVE_EVERYTHING, {"json"}, run_remove_everything},
      {"send", help::SEND, {}, run_send},
      {"check", help::CHECK, {"json"}, run_check},
      {"preview", help::PREVIEW, {"json", "diff", "hosts"}, run_preview},
      {"encode", help::ENCODE, {}, run_encode},
      {"decode", help::DECODE, {"json"}, run_decode},
      {"list", help::LIST, {"json"}, run_list},
      {"show", help::SHOW, {"json"}, run_show},
      {"enable", help::ENABLE, {"json", "diff"}, run_enable},
      {"disable", help::DISABLE, {"json", "diff"}, run_disable},
      {"add", help::ADD, {"json", "diff", "off"}, run_add},
      {"remove", help::REMOVE, {"json", "diff"}, run_remove},
      {"rename", help::RENAME, {"json", "diff"}, run_rename},
      {"import", help::IMPORT, {"json", "diff", "skip-refused"}, run_import},
      {"export", help::EXPORT, {}, run_export},
      {"history", help::HISTORY, {"json"}, run_history},
      {"undo", help::UNDO, {"json", "diff"}, run_undo},
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
}  // namespace lantern_wharf::command

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const int status = lantern_wharf::command::run(args);
  std::cout.flush();
  return status;
}
