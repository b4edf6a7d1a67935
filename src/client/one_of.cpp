// Sets marked as alternatives of a group, of which one at a time is on.
#include <algorithm>
#include <string>

#include "client/failures.h"
#include "client/manager.h"

namespace lantern_wharf::manager {
namespace {

// Whether `group` may name a group: it must read back from the mark as it
// was written, and look like no other group.
bool names_a_group(std::string_view group) {
  if (group.empty() || group.front() == ' ' || group.back() == ' ') return false;
  return std::none_of(group.begin(), group.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
  });
}

}  // namespace

std::string_view group_of(const Set& set) {
  if (set.lines.empty()) return {};
  const std::string_view first = set.lines.front().text;
  if (!first.starts_with(ONE_OF_PREFIX)) return {};
  const std::string_view group = first.substr(ONE_OF_PREFIX.size());
  return names_a_group(group) ? group : std::string_view();
}

lwk::Result<void, Failure> mark_one_of(Sets& sets, std::string_view name, std::string_view group) {
  if (!names_a_group(group)) {
    return bad_input(in_quotes(group) +
                     " cannot name a group: a group's name is not empty, holds no control "
                     "character, and neither begins nor ends with a space");
  }
  auto at = find(sets, name);
  if (!at) return lwk::unexpected(std::move(at).error());
  Set& set = sets[*at];
  Line mark{std::string(ONE_OF_PREFIX).append(group), true};
  if (group_of(set).empty()) {
    set.lines.insert(set.lines.begin(), std::move(mark));
  } else {
    set.lines.front() = std::move(mark);
  }
  return lwk::success();
}

lwk::Result<void, Failure> unmark_one_of(Sets& sets, std::string_view name) {
  auto at = find(sets, name);
  if (!at) return lwk::unexpected(std::move(at).error());
  Set& set = sets[*at];
  if (group_of(set).empty()) return bad_input("the set " + in_quotes(name) + " is one of no group");
  set.lines.erase(set.lines.begin());
  return lwk::success();
}

std::vector<std::string> switch_off_others(Sets& sets, std::string_view name) {
  const auto at = find(sets, name);
  return at ? switch_off_others_at(sets, *at) : std::vector<std::string>{};
}

std::vector<std::string> switch_off_others_at(Sets& sets, std::size_t set) {
  std::vector<std::string> notes;
  const std::string group(group_of(sets[set]));
  if (group.empty()) return notes;
  for (std::size_t s = 0; s < sets.size(); ++s) {
    Set& other = sets[s];
    if (s == set || group_of(other) != group) continue;
    // The mark, line 1, stays as it is: it is a comment either way.
    const auto lines = other.lines.begin() + 1;
    if (std::none_of(lines, other.lines.end(), [](const Line& l) { return l.enabled; })) continue;
    std::for_each(lines, other.lines.end(), [](Line& l) { l.enabled = false; });
    notes.push_back("switched off " + in_quotes(other.name) + ": only one of " + in_quotes(group) +
                    " is on at a time");
  }
  return notes;
}

LineCounts count_lines(const Set& set) {
  const auto from = set.lines.begin() + (group_of(set).empty() ? 0 : 1);
  const auto on = static_cast<std::size_t>(
      std::count_if(from, set.lines.end(), [](const Line& line) { return line.enabled; }));
  return {on, static_cast<std::size_t>(set.lines.end() - from) - on};
}

std::string summed_up(const Set& set) {
  const LineCounts counts = count_lines(set);
  std::string out = std::to_string(counts.on) + " on, " + std::to_string(counts.off) + " off";
  const std::string_view group = group_of(set);
  if (!group.empty()) out += ", one of " + in_quotes(group);
  return out;
}

lwk::Result<std::vector<std::string>, Failure> switch_set(Sets& sets, std::string_view name,
                                                          bool on) {
  auto at = find(sets, name);
  if (!at) return lwk::unexpected(std::move(at).error());
  return switch_set_at(sets, *at, on);
}

std::vector<std::string> switch_set_at(Sets& sets, std::size_t set, bool on) {
  Set& chosen = sets[set];
  const auto from = chosen.lines.begin() + (group_of(chosen).empty() ? 0 : 1);
  std::for_each(from, chosen.lines.end(), [on](Line& line) { line.enabled = on; });
  if (!on) return {};
  return switch_off_others_at(sets, set);
}

}  // namespace lantern_wharf::manager
