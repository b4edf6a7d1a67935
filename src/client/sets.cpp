// The changes made to the sets in memory, and what tells them apart.
#include <algorithm>
#include <utility>

#include "base/utf8.h"
#include "client/failures.h"
#include "client/manager.h"
#include "hosts_core/entry_key.h"
#include "hosts_core/scanner.h"

namespace lantern_wharf::manager {
namespace {

// Checks the 1-based `numbers` against the lines of `set`.
lwk::Result<void, Failure> in_range(const Set& set, const std::vector<std::uint64_t>& numbers) {
  for (const std::uint64_t n : numbers) {
    if (n == 0 || n > set.lines.size()) {
      return bad_input("the set " + in_quotes(set.name) + " has no line " + std::to_string(n) +
                       " (it has " + std::to_string(set.lines.size()) + ")");
    }
  }
  return lwk::success();
}

// Whether a set of that name is among `sets`.
bool holds(const Sets& sets, std::string_view name) {
  return std::any_of(sets.begin(), sets.end(), [&](const Set& set) { return set.name == name; });
}

}  // namespace

lwk::Result<std::size_t, Failure> find(const Sets& sets, std::string_view name) {
  for (std::size_t i = 0; i < sets.size(); ++i) {
    if (sets[i].name == name) return i;
  }
  return bad_input("there is no set named " + in_quotes(name));
}

lwk::Result<void, Failure> switch_lines(Sets& sets, std::string_view name,
                                        const std::vector<std::uint64_t>& numbers, bool enabled) {
  auto at = find(sets, name);
  if (!at) return lwk::unexpected(std::move(at).error());
  Set& set = sets[*at];
  if (auto ok = in_range(set, numbers); !ok) return ok;
  if (numbers.empty()) {
    for (Line& line : set.lines) line.enabled = enabled;
  } else {
    for (const std::uint64_t n : numbers) set.lines[n - 1].enabled = enabled;
  }
  return lwk::success();
}

void add_lines(Sets& sets, std::string_view name, const std::vector<std::string>& texts,
               bool enabled) {
  auto at = find(sets, name);
  if (!at) {
    sets.push_back({std::string(name), {}});
    at = sets.size() - 1;
  }
  for (const std::string& text : texts) sets[*at].lines.push_back({text, enabled});
}

lwk::Result<void, Failure> remove(Sets& sets, std::string_view name,
                                  const std::vector<std::uint64_t>& numbers) {
  auto at = find(sets, name);
  if (!at) return lwk::unexpected(std::move(at).error());
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

lwk::Result<void, Failure> rename(Sets& sets, std::string_view from, std::string_view to) {
  auto at = find(sets, from);
  if (!at) return lwk::unexpected(std::move(at).error());
  if (from != to && holds(sets, to)) {
    return bad_input("there is a set named " + in_quotes(to) + " already");
  }
  sets[*at].name = std::string(to);
  return lwk::success();
}

lwk::Result<void, Failure> move_set(Sets& sets, std::string_view name, std::size_t to) {
  auto at = find(sets, name);
  if (!at) return lwk::unexpected(std::move(at).error());
  if (to >= sets.size()) {
    return bad_input("there is no position " + std::to_string(to) + " for a set (there are " +
                     std::to_string(sets.size()) + " sets)");
  }
  const auto from = sets.begin() + static_cast<std::ptrdiff_t>(*at);
  const auto there = sets.begin() + static_cast<std::ptrdiff_t>(to);
  if (there < from) {
    std::rotate(there, from, from + 1);
  } else {
    std::rotate(from, from + 1, there + 1);
  }
  return lwk::success();
}

void put_set(Sets& sets, Set set) {
  if (auto at = find(sets, set.name)) {
    sets[*at] = std::move(set);
  } else {
    sets.push_back(std::move(set));
  }
}

lwk::Result<std::vector<std::string>, Failure> lines_of(std::string_view text) {
  const std::size_t valid = lwk::utf8::valid_prefix(text);
  if (valid != text.size()) {
    const auto line = 1 + std::count(text.begin(), text.begin() + valid, '\n');
    return bad_input("line " + std::to_string(line) + " is not valid UTF-8");
  }
  std::vector<std::string> lines;
  for (const auto& line : hosts_core::scanner::scan(text)) lines.emplace_back(line.text);
  return lines;
}

std::vector<std::string> keep_repeats_off(Sets& sets) {
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

std::vector<std::string> changes(const Sets& before, const Sets& after) {
  std::vector<std::string> out;
  for (const Set& set : after) {
    const auto was = find(before, set.name);
    if (!was) {
      out.push_back("added " + in_quotes(set.name));
    } else if (before[*was].lines != set.lines) {
      out.push_back("changed " + in_quotes(set.name));
    }
  }
  for (const Set& set : before) {
    if (!holds(after, set.name)) out.push_back("removed " + in_quotes(set.name));
  }
  // The sets both hold, in the order of each.
  std::vector<std::string_view> kept_before;
  std::vector<std::string_view> kept_after;
  for (const Set& set : before) {
    if (holds(after, set.name)) kept_before.push_back(set.name);
  }
  for (const Set& set : after) {
    if (holds(before, set.name)) kept_after.push_back(set.name);
  }
  if (kept_before != kept_after) out.push_back("reordered the sets");
  return out;
}

std::vector<hosts_ipc::WireSet> to_wire(const Sets& sets) {
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

}  // namespace lantern_wharf::manager
