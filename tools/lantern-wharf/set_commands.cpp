// The commands that manage the sets in the managed block of /etc/hosts. Each
// change reads the sets back from the file, changes them, and asks the
// helper to apply them all, as apply does; --diff shows the change instead.
#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "client/diff.h"
#include "client/input_file.h"
#include "commands.h"
#include "paths/paths.h"

namespace lantern_wharf::command {

lwk::Result<manager::Current, int> current_file() {
  const std::string path = hosts_paths::system_file();
  auto bytes = manager::read_file(path);
  if (!bytes) return lwk::unexpected(failed(bytes.error()));
  return manager::Current{path, std::move(*bytes), {}};
}

lwk::Result<manager::Current, int> current_sets() {
  auto current = current_file();
  if (!current) return current;
  auto sets = manager::read_sets(current->bytes);
  if (!sets) {
    say(current->path + ": " + sets.error().sentence + "; nothing was changed");
    return lwk::unexpected(kRefused);
  }
  current->sets = std::move(*sets);
  return current;
}

int refuse_change(const std::string& why) {
  say(why + "; nothing was sent");
  return kUsage;
}

int send_change(const manager::Current& current, manager::Sets changed, const Arguments& args) {
  if (auto ok = manager::sendable(changed); !ok) return refuse_change(ok.error().sentence);
  for (const std::string& note : manager::keep_repeats_off(changed)) say(note);
  if (!args.diff) {
    return request_and_report(hosts_ipc::ApplySets{manager::to_wire(changed)}, args.json, &changed);
  }
  auto content = manager::preview(changed, current.bytes);
  if (!content) {
    show_refused(content.error(), args.json, &changed);
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
  if (!current) return current.error();
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const manager::Set& set : current->sets) {
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
  if (!current) return current.error();
  auto at = manager::find(current->sets, args.positional[0]);
  if (!at) return failed(at.error());
  const manager::Set& set = current->sets[*at];
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

namespace {

// enable and disable.
int run_switch(const Arguments& args, bool enabled) {
  const std::string command = enabled ? "enable" : "disable";
  if (args.positional.empty()) return usage_error(command, command + " takes a set's name");
  const std::vector<std::string> words(args.positional.begin() + 1, args.positional.end());
  auto numbers = line_numbers(command, words);
  if (!numbers) return kUsage;
  auto current = current_sets();
  if (!current) return current.error();
  manager::Sets changed = current->sets;
  if (auto ok = manager::switch_lines(changed, args.positional[0], *numbers, enabled); !ok) {
    return refuse_change(ok.error().sentence);
  }
  return send_change(*current, std::move(changed), args);
}

// The text of the hosts-format input `source` ("-": standard input), read
// within the bound of a file the client reads; "SOURCE: WHY" when it cannot be.
lwk::Result<std::string, std::string> import_text(const std::string& source) {
  if (source != "-") {
    auto file = manager::read_file(source);
    if (!file) return lwk::unexpected(std::move(file).error().sentence);
    return std::move(*file);
  }
  const std::size_t limit = manager::FILE_LIMIT;
  auto in = input_file::read_at_most(STDIN_FILENO, limit + 1);
  if (!in) return lwk::unexpected("standard input: " + in.error().message);
  if (in->size() > limit) {
    return lwk::unexpected("standard input holds " +
                           input_file::beyond_bound("more than " + std::to_string(limit), limit));
  }
  return std::move(*in);
}

}  // namespace

int run_enable(const Arguments& args) { return run_switch(args, true); }
int run_disable(const Arguments& args) { return run_switch(args, false); }

int run_add(const Arguments& args) {
  if (args.positional.size() < 2) return usage_error("add", "add takes a set's name and lines");
  auto current = current_sets();
  if (!current) return current.error();
  manager::Sets changed = current->sets;
  const std::vector<std::string> texts(args.positional.begin() + 1, args.positional.end());
  manager::add_lines(changed, args.positional[0], texts, !args.off);
  return send_change(*current, std::move(changed), args);
}

int run_remove(const Arguments& args) {
  if (args.positional.empty()) return usage_error("remove", "remove takes a set's name");
  const std::vector<std::string> words(args.positional.begin() + 1, args.positional.end());
  auto numbers = line_numbers("remove", words);
  if (!numbers) return kUsage;
  auto current = current_sets();
  if (!current) return current.error();
  manager::Sets changed = current->sets;
  if (auto ok = manager::remove(changed, args.positional[0], *numbers); !ok) {
    return refuse_change(ok.error().sentence);
  }
  return send_change(*current, std::move(changed), args);
}

int run_rename(const Arguments& args) {
  if (args.positional.size() != 2) return usage_error("rename", "rename takes two names");
  auto current = current_sets();
  if (!current) return current.error();
  manager::Sets changed = current->sets;
  if (auto ok = manager::rename(changed, args.positional[0], args.positional[1]); !ok) {
    return refuse_change(ok.error().sentence);
  }
  return send_change(*current, std::move(changed), args);
}

int run_import(const Arguments& args) {
  if (args.positional.empty() || args.positional.size() > 2) {
    return usage_error("import", "import takes a set's name and at most one file");
  }
  const std::string source = args.positional.size() == 2 ? args.positional[1] : "-";
  auto text = import_text(source);
  if (!text) return refuse_change(text.error());
  auto imported = manager::import(args.positional[0], *text);
  if (!imported) return refuse_change(source + ": " + imported.error().sentence);
  if (!imported->refused.empty()) {
    if (!args.skip_refused) {
      for (const hosts_ipc::Issue& issue : imported->refused) {
        std::cerr << source << ", line " << issue.line << ": " << issue.message << "\n";
      }
      say("the helper would refuse these lines; nothing was sent (--skip-refused leaves them out)");
      return kRefused;
    }
    const std::size_t lines = imported->set.lines.size();
    const std::size_t left_out = manager::leave_out_refused(*imported);
    say("left out the lines the helper would refuse: " + std::to_string(left_out) + " of " +
        std::to_string(lines));
  }
  auto current = current_sets();
  if (!current) return current.error();
  manager::Sets changed = current->sets;
  manager::put_set(changed, std::move(imported->set));
  return send_change(*current, std::move(changed), args);
}

int run_export(const Arguments& args) {
  if (!args.positional.empty()) return usage_error("export", "export takes no arguments");
  auto current = current_sets();
  if (!current) return current.error();
  return write_out(manager::to_sets_file(current->sets)) ? kSuccess : kRefused;
}

}  // namespace lantern_wharf::command
