// The commands that manage the sets in the managed block of /etc/hosts. Each
// change reads the sets back from the file, changes them, and asks the
// helper to apply them all, as apply does; --diff shows the change instead.
#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "client/diff.h"
#include "client/input_file.h"
#include "client/statuses.h"
#include "commands.h"
#include "hosts_core/quoted.h"
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

lwk::Result<manager::Current, int> current_block() {
  auto current = current_file();
  if (!current) return current;
  auto sets = manager::read_block(current->bytes);
  if (!sets) {
    say(current->path + ": " + sets.error().sentence);
    return lwk::unexpected(status_of(sets.error().kind));
  }
  current->sets = std::move(*sets);
  return current;
}

int refuse_change(const std::string& why) {
  say(why + "; nothing was sent");
  return kUsage;
}

void note_all(const std::vector<hosts_ipc::Issue>& notes, NamedSets named) {
  for (const hosts_ipc::Issue& n : notes) note(issue_line(n, named));
}

int send_change(const manager::Current& current, manager::Sets changed, const Arguments& args) {
  if (auto ok = manager::sendable(changed); !ok) return refuse_change(ok.error().sentence);
  for (const std::string& kept_off : manager::keep_repeats_off(changed)) note(kept_off);
  if (!args.diff) return apply_and_report(changed);
  auto content = manager::preview(changed, current.bytes);
  if (!content) {
    show_refused(content.error(), &changed);
    return kRefused;
  }
  write_diff(
      unified_diff(current.bytes, *content, current.path, current.path + " (after the change)"));
  return kSuccess;
}

int run_list(const Arguments& args) {
  if (!args.positional.empty()) return usage_error("list", "list takes no arguments");
  auto current = current_block();
  if (!current) return current.error();
  if (current->sets.empty()) {
    note("there are no sets in " + current->path + " yet: add makes one, import makes a list one");
  }
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const manager::Set& set : current->sets) {
    const manager::LineCounts counts = manager::count_lines(set);
    if (args.json) {
      list.push_back({{"name", set.name}, {"on", counts.on}, {"off", counts.off}});
      const std::string_view group = manager::group_of(set);
      if (!group.empty()) list.back()["one_of"] = group;
    } else {
      print_fields({set.name, manager::summed_up(set)});
    }
  }
  if (args.json) print_json({{"sets", list}});
  return kSuccess;
}

int run_show(const Arguments& args) {
  if (args.positional.size() != 1) return usage_error("show", "show takes one set's name");
  auto current = current_block();
  if (!current) return current.error();
  auto at = manager::find(current->sets, args.positional[0]);
  if (!at) return failed(at.error());
  const manager::Set& set = current->sets[*at];
  for (const hosts_ipc::Issue& n :
       manager::shadowed(current->sets, current->bytes, current->path)) {
    if (n.set == *at) note(issue_line(n, &current->sets));
  }
  nlohmann::ordered_json lines = nlohmann::ordered_json::array();
  for (std::size_t i = 0; i < set.lines.size(); ++i) {
    const manager::Line& line = set.lines[i];
    if (args.json) {
      lines.push_back({{"line", i + 1}, {"text", line.text}, {"enabled", line.enabled}});
    } else {
      print_fields({std::to_string(i + 1), line.enabled ? "on" : "off", line.text});
    }
  }
  if (args.json) print_json({{"name", set.name}, {"lines", lines}});
  return kSuccess;
}

int run_find(const Arguments& args) {
  if (args.positional.size() != 1) return usage_error("find", "find takes one host name");
  auto current = current_block();
  if (!current) return current.error();
  const std::vector<manager::Found> found = manager::find_host(current->sets, args.positional[0]);
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const manager::Found& f : found) {
    const manager::Set& set = current->sets[f.set];
    const manager::Line& line = set.lines[f.line - 1];
    if (args.json) {
      list.push_back(
          {{"set", set.name}, {"line", f.line}, {"text", line.text}, {"enabled", line.enabled}});
    } else {
      print_fields({set.name, std::to_string(f.line), line.enabled ? "on" : "off", line.text});
    }
  }
  if (found.empty()) say("no line of the sets maps " + args.positional[0]);
  if (args.json) print_json({{"found", list}});
  return found.empty() ? kRefused : kSuccess;
}

namespace {

// enable and disable.
int run_switch(const Arguments& args, bool enabled) {
  const std::string command = enabled ? "enable" : "disable";
  if (args.positional.empty()) return usage_error(command, command + " takes a set's name");
  auto current = current_sets();
  if (!current) return current.error();
  const std::string& name = args.positional[0];
  const std::vector<std::string> words(args.positional.begin() + 1, args.positional.end());
  auto lines = manager::lines_picked(current->sets, name, words);
  if (!lines) return refuse_change(lines.error().sentence);
  manager::Sets changed = current->sets;
  if (auto ok = manager::switch_lines(changed, name, *lines, enabled); !ok) {
    return refuse_change(ok.error().sentence);
  }
  if (enabled) {
    for (const std::string& note : manager::switch_off_others(changed, name)) {
      say(note);
    }
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

// Shows the lines of `source` the helper would refuse, by their numbers in
// it: a person finds them there, not in the set.
void show_refused_lines(const std::string& source, const std::vector<hosts_ipc::Issue>& refused,
                        bool json) {
  if (json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const hosts_ipc::Issue& issue : refused) {
      list.push_back({{"file", source}, {"line", issue.line}, {"message", issue.message}});
    }
    print_json({{"issues", list}});
  } else {
    for (const hosts_ipc::Issue& issue : refused) {
      std::cerr << hosts_core::quoted::controls_escaped(
                       source + ", line " + std::to_string(issue.line) + ": " + issue.message)
                << "\n";
    }
  }
  say("the helper would refuse these lines, numbered as lines of " + source +
      "; nothing was sent (--skip-refused leaves them out)");
}

}  // namespace

int run_enable(const Arguments& args) { return run_switch(args, true); }
int run_disable(const Arguments& args) { return run_switch(args, false); }

int run_add(const Arguments& args) {
  if (args.positional.size() < (args.one_of ? 1u : 2u)) {
    return usage_error("add", "add takes a set's name and lines");
  }
  auto current = current_sets();
  if (!current) return current.error();
  manager::Sets changed = current->sets;
  const std::string& name = args.positional[0];
  const std::vector<std::string> texts(args.positional.begin() + 1, args.positional.end());
  manager::add_lines(changed, name, texts, !args.off);
  if (args.one_of) {
    if (auto ok = manager::mark_one_of(changed, name, *args.one_of); !ok) {
      return refuse_change(ok.error().sentence);
    }
  }
  // What the file outside the block answers otherwise, of the lines added.
  const std::size_t at = *manager::find(changed, name);
  const std::size_t first_added = changed[at].lines.size() - texts.size() + 1;
  for (const hosts_ipc::Issue& n : manager::shadowed(changed, current->bytes, current->path)) {
    if (n.set == at && n.line >= first_added) note(issue_line(n, &changed));
  }
  return send_change(*current, std::move(changed), args);
}

int run_remove(const Arguments& args) {
  if (args.positional.empty()) return usage_error("remove", "remove takes a set's name");
  auto current = current_sets();
  if (!current) return current.error();
  const std::string& name = args.positional[0];
  const std::vector<std::string> words(args.positional.begin() + 1, args.positional.end());
  std::vector<std::uint64_t> lines;
  if (!words.empty()) {
    auto picked = manager::lines_picked(current->sets, name, words);
    if (!picked) return refuse_change(picked.error().sentence);
    lines = std::move(*picked);
  }
  manager::Sets changed = current->sets;
  if (auto ok = manager::remove(changed, name, lines); !ok) {
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
  const std::string& name = args.positional[0];
  const std::string source = args.positional.size() == 2 ? args.positional[1] : "-";
  auto text = import_text(source);
  if (!text) return refuse_change(text.error());
  auto imported = manager::import(name, *text);
  if (!imported) return refuse_change(source + ": " + imported.error().sentence);
  if (imported->empty && !args.allow_empty) {
    return refuse_change(source + " holds nothing but white space, and importing it would empty " +
                         "the set \"" + name + "\" (--allow-empty imports it all the same)");
  }
  if (!imported->refused.empty()) {
    if (!args.skip_refused) {
      show_refused_lines(source, imported->refused, args.json);
      return kRefused;
    }
    const std::size_t lines = imported->set.lines.size();
    const std::size_t left_out = manager::leave_out_refused(*imported);
    note("left out the lines the helper would refuse: " + std::to_string(left_out) + " of " +
         std::to_string(lines) + "; the set's lines are numbered anew (show " + name + ")");
  }
  auto current = current_sets();
  if (!current) return current.error();
  if (auto before = manager::find(current->sets, name)) {
    const std::size_t kept = manager::keep_switched_off(imported->set, current->sets[*before]);
    if (kept > 0) {
      note("kept " + std::to_string(kept) + (kept == 1 ? " line" : " lines") +
           " switched off, as in the set before");
    }
  }
  manager::Sets changed = current->sets;
  manager::put_set(changed, std::move(imported->set));
  return send_change(*current, std::move(changed), args);
}

int run_export(const Arguments& args) {
  if (!args.positional.empty()) return usage_error("export", "export takes no arguments");
  auto current = current_sets();
  if (!current) return current.error();
  auto file = manager::to_sets_file(current->sets);
  if (!file) return failed(file.error());
  write_octets(*file);
  return kSuccess;
}

}  // namespace lantern_wharf::command
