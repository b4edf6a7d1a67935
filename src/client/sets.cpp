// The changes made to the sets in memory, and what tells them apart.
#include <algorithm>
#include <charconv>
#include <map>
#include <utility>

#include "base/utf8.h"
#include "client/failures.h"
#include "client/manager.h"
#include "hosts_core/entry_key.h"
#include "hosts_core/line.h"
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

// Whether the entry of the line `text` maps `host` (lowercased in ASCII).
bool maps(std::string_view text, std::string_view host, hosts_core::line::EntryView* entry) {
  using hosts_core::line::LineKind;
  if (hosts_core::line::inspect(text, hosts_core::line::MAX_LINE_OCTETS,
                                hosts_core::line::MAX_NAMES, entry, nullptr) != LineKind::Entry) {
    return false;
  }
  return std::any_of(entry->names.begin(), entry->names.end(), [&](std::string_view name) {
    return hosts_core::entry_key::ascii_lower(name) == host;
  });
}

// The numbers of the lines of `set` that map `host`.
std::vector<std::uint64_t> lines_mapping(const Set& set, std::string_view host) {
  const std::string lower = hosts_core::entry_key::ascii_lower(host);
  hosts_core::line::EntryView entry;
  std::vector<std::uint64_t> out;
  for (std::size_t l = 0; l < set.lines.size(); ++l) {
    if (maps(set.lines[l].text, lower, &entry)) out.push_back(l + 1);
  }
  return out;
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

lwk::Result<std::vector<std::uint64_t>, Failure> lines_picked(
    const Sets& sets, std::string_view name, const std::vector<std::string>& words) {
  auto at = find(sets, name);
  if (!at) return lwk::unexpected(std::move(at).error());
  const Set& set = sets[*at];
  std::vector<std::uint64_t> picked;
  for (const std::string& word : words) {
    std::uint64_t n = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), n);
    if (!word.empty() && error == std::errc() && end == word.data() + word.size()) {
      if (auto ok = in_range(set, {n}); !ok) return lwk::unexpected(std::move(ok).error());
      picked.push_back(n);
      continue;
    }
    const std::vector<std::uint64_t> mapping = lines_mapping(set, word);
    if (mapping.empty())
      return bad_input("no line of the set " + in_quotes(name) + " maps " + word);
    picked.insert(picked.end(), mapping.begin(), mapping.end());
  }
  std::sort(picked.begin(), picked.end());
  picked.erase(std::unique(picked.begin(), picked.end()), picked.end());
  return picked;
}

std::vector<Found> find_host(const Sets& sets, std::string_view host) {
  std::vector<Found> found;
  for (std::size_t s = 0; s < sets.size(); ++s) {
    for (const std::uint64_t line : lines_mapping(sets[s], host)) found.push_back({s, line});
  }
  return found;
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
  return rename_at(sets, *at, to);
}

lwk::Result<void, Failure> rename_at(Sets& sets, std::size_t set, std::string_view to) {
  if (sets[set].name != to && holds(sets, to)) return name_taken(to);
  sets[set].name = std::string(to);
  return lwk::success();
}

lwk::Result<void, Failure> move_set(Sets& sets, std::string_view name, std::size_t to) {
  auto at = find(sets, name);
  if (!at) return lwk::unexpected(std::move(at).error());
  if (to >= sets.size()) {
    return bad_input("there is no position " + std::to_string(to) + " for a set (there are " +
                     std::to_string(sets.size()) + " sets)");
  }
  move_set_at(sets, *at, to);
  return lwk::success();
}

void move_set_at(Sets& sets, std::size_t set, std::size_t to) {
  const auto from = sets.begin() + static_cast<std::ptrdiff_t>(set);
  const auto there = sets.begin() + static_cast<std::ptrdiff_t>(to);
  if (there < from) {
    std::rotate(there, from, from + 1);
  } else {
    std::rotate(from, from + 1, there + 1);
  }
}

void put_set(Sets& sets, Set set) {
  if (auto at = find(sets, set.name)) {
    sets[*at] = std::move(set);
  } else {
    sets.push_back(std::move(set));
  }
}

std::size_t keep_switched_off(Set& set, const Set& before) {
  // For each text, the states of its lines in `before`, in order, and how
  // many of its lines `set` has met so far.
  std::map<std::string_view, std::pair<std::vector<bool>, std::size_t>> was;
  for (const Line& line : before.lines) was[line.text].first.push_back(line.enabled);
  std::size_t switched = 0;
  for (Line& line : set.lines) {
    const auto it = was.find(line.text);
    if (it == was.end()) continue;
    auto& [states, met] = it->second;
    if (met < states.size() && !states[met] && line.enabled) {
      line.enabled = false;
      ++switched;
    }
    ++met;
  }
  return switched;
}

lwk::Result<std::vector<std::string>, Failure> lines_of(std::string_view text) {
  const std::size_t valid = lwk::utf8::valid_prefix(text);
  if (valid != text.size()) {
    const auto line = 1 + std::count(text.begin(), text.begin() + valid, '\n');
    return bad_input("line " + std::to_string(line) + " is not valid UTF-8");
  }
  // Counted first, so that a text of line breaks alone, which holds no
  // octets the check counts, cannot make millions of lines.
  std::uint64_t count = 0;
  std::uint64_t octets = 0;
  hosts_core::scanner::LineCursor counting(text);
  hosts_core::scanner::ScannedLine line;
  while (counting.next(&line)) {
    ++count;
    octets += line.text.size();
  }
  if (auto fits = fits_in_a_message(1, count, octets); !fits) {
    return lwk::unexpected(std::move(fits).error());
  }
  std::vector<std::string> lines;
  lines.reserve(count);
  hosts_core::scanner::LineCursor cursor(text);
  while (cursor.next(&line)) lines.emplace_back(line.text);
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
