#include "manager.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <tuple>
#include <utility>

#include "base/utf8.h"
#include "check/check.h"
#include "check/pipeline.h"
#include "helper_core/write.h"
#include "hosts_core/block.h"
#include "hosts_core/entry_key.h"
#include "hosts_core/line.h"
#include "hosts_core/scanner.h"

namespace lantern_wharf::manager {
namespace {

using hosts_core::block::ManagedFile;

// The line of the file that holds line `line` (0: the heading) of the set
// `set`, for a block whose first line inside follows `head`.
std::uint64_t file_line(const ManagedFile& file, const std::vector<Set>& sets, std::uint64_t set,
                        std::uint64_t line) {
  std::uint64_t n =
      2 + static_cast<std::uint64_t>(std::count(file.head.begin(), file.head.end(), '\n'));
  for (std::uint64_t s = 0; s < set && s < sets.size(); ++s) n += 1 + sets[s].lines.size();
  return n + line;
}

std::string in_quotes(std::string_view name) {
  std::string out(1, '"');
  out.append(name).push_back('"');
  return out;
}

// Checks the 1-based `numbers` against a set of `count` lines.
lwk::Result<void, Refusal> in_range(const Set& set, const std::vector<std::uint64_t>& numbers) {
  for (const std::uint64_t n : numbers) {
    if (n == 0 || n > set.lines.size()) {
      return lwk::unexpected("the set " + in_quotes(set.name) + " has no line " +
                             std::to_string(n) + " (it has " + std::to_string(set.lines.size()) +
                             ")");
    }
  }
  return lwk::success();
}

}  // namespace

lwk::Result<std::vector<Set>, std::string> read_sets(std::string_view bytes) {
  auto file = ManagedFile::read(bytes);
  if (!file) {
    return lwk::unexpected(hosts_helper_core::pipeline::broken_markup(file.error()));
  }
  auto read = file->read_sets();
  if (!read) {
    return lwk::unexpected("the managed block cannot be read back at line " +
                           std::to_string(read.error().line) + ": " + read.error().message);
  }
  std::vector<Set> sets;
  for (const auto& r : *read) {
    Set set{r.name, {}};
    for (const auto& line : r.lines) set.lines.push_back({std::string(line.text), line.enabled});
    sets.push_back(std::move(set));
  }
  auto checked =
      hosts_helper_core::check::check(to_wire(sets), hosts_helper_core::check::Limits::service());
  if (!checked) {
    const hosts_ipc::Issue& first = checked.error().front();
    return lwk::unexpected("the managed block holds what the helper would refuse, at line " +
                           std::to_string(file_line(*file, sets, first.set, first.line)) + ": " +
                           first.message);
  }
  return sets;
}

std::vector<hosts_ipc::WireSet> to_wire(const std::vector<Set>& sets) {
  std::vector<hosts_ipc::WireSet> out;
  out.reserve(sets.size());
  for (const Set& set : sets) {
    hosts_ipc::WireSet wire{set.name, {}};
    wire.lines.reserve(set.lines.size());
    for (const Line& line : set.lines) wire.lines.push_back({line.text, line.enabled});
    out.push_back(std::move(wire));
  }
  return out;
}

std::vector<Set> from_wire(const std::vector<hosts_ipc::WireSet>& sets) {
  std::vector<Set> out;
  out.reserve(sets.size());
  for (const hosts_ipc::WireSet& wire : sets) {
    Set set{std::string(wire.name), {}};
    set.lines.reserve(wire.lines.size());
    for (const hosts_ipc::WireLine& line : wire.lines) {
      set.lines.push_back({std::string(line.text), line.enabled});
    }
    out.push_back(std::move(set));
  }
  return out;
}

std::string to_sets_file(const std::vector<Set>& sets) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const Set& set : sets) {
    nlohmann::ordered_json lines = nlohmann::ordered_json::array();
    for (const Line& line : set.lines) {
      lines.push_back({{"text", line.text}, {"enabled", line.enabled}});
    }
    list.push_back({{"name", set.name}, {"lines", lines}});
  }
  return nlohmann::ordered_json{{"sets", list}}.dump(2) + "\n";
}

lwk::Result<std::size_t, Refusal> find(const std::vector<Set>& sets, std::string_view name) {
  for (std::size_t i = 0; i < sets.size(); ++i) {
    if (sets[i].name == name) return i;
  }
  return lwk::unexpected("there is no set named " + in_quotes(name));
}

lwk::Result<void, Refusal> set_enabled(std::vector<Set>& sets, std::string_view name,
                                       const std::vector<std::uint64_t>& numbers, bool enabled) {
  auto at = find(sets, name);
  if (!at) return lwk::unexpected(at.error());
  Set& set = sets[*at];
  if (auto ok = in_range(set, numbers); !ok) return ok;
  if (numbers.empty()) {
    for (Line& line : set.lines) line.enabled = enabled;
  } else {
    for (const std::uint64_t n : numbers) set.lines[n - 1].enabled = enabled;
  }
  return lwk::success();
}

void add_lines(std::vector<Set>& sets, std::string_view name, const std::vector<std::string>& texts,
               bool enabled) {
  auto at = find(sets, name);
  if (!at) {
    sets.push_back({std::string(name), {}});
    at = sets.size() - 1;
  }
  for (const std::string& text : texts) sets[*at].lines.push_back({text, enabled});
}

lwk::Result<void, Refusal> remove(std::vector<Set>& sets, std::string_view name,
                                  const std::vector<std::uint64_t>& numbers) {
  auto at = find(sets, name);
  if (!at) return lwk::unexpected(at.error());
  if (numbers.empty()) {
    sets.erase(sets.begin() + static_cast<std::ptrdiff_t>(*at));
    return lwk::success();
  }
  Set& set = sets[*at];
  if (auto ok = in_range(set, numbers); !ok) return ok;
  std::vector<bool> gone(set.lines.size(), false);
  for (const std::uint64_t n : numbers) gone[n - 1] = true;
  std::vector<Line> kept;
  for (std::size_t i = 0; i < set.lines.size(); ++i) {
    if (!gone[i]) kept.push_back(std::move(set.lines[i]));
  }
  set.lines = std::move(kept);
  return lwk::success();
}

lwk::Result<void, Refusal> rename(std::vector<Set>& sets, std::string_view from,
                                  std::string_view to) {
  auto at = find(sets, from);
  if (!at) return lwk::unexpected(at.error());
  if (from != to && find(sets, to)) {
    return lwk::unexpected("there is a set named " + in_quotes(to) + " already");
  }
  sets[*at].name = std::string(to);
  return lwk::success();
}

lwk::Result<std::vector<std::string>, Refusal> lines_of(std::string_view text) {
  const std::size_t valid = lwk::utf8::valid_prefix(text);
  if (valid != text.size()) {
    const auto line = 1 + std::count(text.begin(), text.begin() + valid, '\n');
    return lwk::unexpected("line " + std::to_string(line) + " is not valid UTF-8");
  }
  std::vector<std::string> lines;
  for (const auto& line : hosts_core::scanner::scan(text)) lines.emplace_back(line.text);
  return lines;
}

std::vector<std::string> keep_repeats_off(std::vector<Set>& sets) {
  // The switched-on lines in the order rendering offers them, and where each stands.
  hosts_core::entry_key::WrittenEntries written;
  std::vector<std::pair<std::size_t, std::size_t>> offered;
  std::vector<std::string> notes;
  for (std::size_t s = 0; s < sets.size(); ++s) {
    for (std::size_t l = 0; l < sets[s].lines.size(); ++l) {
      Line& line = sets[s].lines[l];
      if (!line.enabled) continue;
      offered.emplace_back(s, l);
      const auto earlier = written.repeat_of(line.text);
      if (!earlier) continue;
      line.enabled = false;
      const auto [first_set, first_line] = offered[*earlier];
      notes.push_back("set " + in_quotes(sets[s].name) + ", line " + std::to_string(l + 1) +
                      " is kept switched off: set " + in_quotes(sets[first_set].name) + ", line " +
                      std::to_string(first_line + 1) + " already writes that entry");
    }
  }
  return notes;
}

lwk::Result<std::vector<Backup>, std::string> backups_in(const std::string& backups) {
  std::vector<Backup> found;
  DIR* directory = ::opendir(backups.c_str());
  if (directory == nullptr) {
    if (errno == ENOENT) return found;
    return lwk::unexpected(backups + ": " + std::strerror(errno));
  }
  while (const dirent* entry = ::readdir(directory)) {
    const auto name = hosts_helper_core::write::parse_backup_name(entry->d_name);
    if (!name) continue;
    found.push_back({backups + "/" + entry->d_name, name->nanoseconds, name->counter});
  }
  (void)::closedir(directory);
  // The names order them as the helper does: by time, then by counter.
  std::sort(found.begin(), found.end(), [](const Backup& a, const Backup& b) {
    return std::tie(a.nanoseconds, a.counter) > std::tie(b.nanoseconds, b.counter);
  });
  return found;
}

std::vector<std::string> changes(const std::vector<Set>& before, const std::vector<Set>& after) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < after.size(); ++i) {
    const auto was = find(before, after[i].name);
    if (!was) {
      out.push_back("added " + in_quotes(after[i].name));
    } else if (before[*was].lines != after[i].lines) {
      out.push_back("changed " + in_quotes(after[i].name));
    }
  }
  for (const Set& set : before) {
    if (!find(after, set.name)) out.push_back("removed " + in_quotes(set.name));
  }
  // The sets both hold, in the order of each.
  std::vector<std::string_view> kept_before;
  std::vector<std::string_view> kept_after;
  for (const Set& set : before) {
    if (find(after, set.name)) kept_before.push_back(set.name);
  }
  for (const Set& set : after) {
    if (find(before, set.name)) kept_after.push_back(set.name);
  }
  if (kept_before != kept_after) out.push_back("reordered the sets");
  return out;
}

}  // namespace lantern_wharf::manager
