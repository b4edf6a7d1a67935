// What the helper's check will say of the sets, said before they are sent;
// the lines of an imported text that it would refuse; and the entries that
// the file outside the block answers otherwise.
#include <map>
#include <unordered_set>
#include <utility>

#include "base/utf8.h"
#include "check/check.h"
#include "client/failures.h"
#include "client/manager.h"
#include "hosts_core/block.h"
#include "hosts_core/entry_key.h"
#include "hosts_core/line.h"
#include "hosts_core/scanner.h"

namespace lantern_wharf::manager {
namespace {

using hosts_helper_core::check::Limits;

// Refuses a name or a line that is not UTF-8: the check takes only UTF-8,
// and the wire carries nothing else.
lwk::Result<void, Failure> all_utf8(const Sets& sets) {
  for (const Set& set : sets) {
    if (!lwk::utf8::is_valid(set.name)) return bad_input("a set's name is not valid UTF-8");
    for (std::size_t i = 0; i < set.lines.size(); ++i) {
      if (!lwk::utf8::is_valid(set.lines[i].text)) {
        return bad_input("set " + in_quotes(set.name) + ", line " + std::to_string(i + 1) +
                         " is not valid UTF-8");
      }
    }
  }
  return lwk::success();
}

// What no request may carry, whatever the check would say of it: text that
// is not UTF-8, more than a message carries, and sets that only their
// names tell apart, when a name is empty or given twice (the block would
// hold them, but a person could name only the first).
lwk::Result<void, Failure> unsendable(const Sets& sets) {
  if (auto utf8 = all_utf8(sets); !utf8) return utf8;
  std::unordered_set<std::string_view> names;
  std::uint64_t lines = 0;
  std::uint64_t octets = 0;
  for (std::size_t i = 0; i < sets.size(); ++i) {
    const Set& set = sets[i];
    if (set.name.empty()) {
      return bad_input("set " + std::to_string(i) + " has no name (sets count from 0)");
    }
    if (!names.insert(set.name).second) {
      return bad_input("there are two sets named " + in_quotes(set.name));
    }
    lines += set.lines.size();
    octets += set.name.size();
    for (const Line& line : set.lines) octets += line.text.size();
  }
  return fits_in_a_message(sets.size(), lines, octets);
}

// The first control character the helper's check would refuse, said with
// the set and line it stands in.
lwk::Result<void, Failure> no_control_characters(const Sets& sets) {
  using hosts_helper_core::check::control_character;
  for (const Set& set : sets) {
    if (auto sentence = control_character(set.name, "the set's name")) {
      return bad_input("set " + in_quotes(set.name) + ": " + *sentence);
    }
    for (std::size_t i = 0; i < set.lines.size(); ++i) {
      if (auto sentence = control_character(set.lines[i].text, "the line")) {
        return bad_input("set " + in_quotes(set.name) + ", line " + std::to_string(i + 1) + ": " +
                         *sentence);
      }
    }
  }
  return lwk::success();
}

// The lines before the block that lookups find first: for each host name
// (lowercased) and address family, the address of its first line and that
// line's number.
using Mapped = std::map<std::pair<std::string, hosts_core::address::Family>,
                        std::pair<hosts_core::address::Address, std::uint64_t>>;

Mapped mapped_before(std::string_view head) {
  Mapped mapped;
  hosts_core::scanner::LineCursor cursor(head);
  hosts_core::scanner::ScannedLine line;
  hosts_core::line::EntryView entry;
  for (std::uint64_t n = 1; cursor.next(&line); ++n) {
    if (hosts_core::line::inspect(line.text, hosts_core::line::MAX_LINE_OCTETS,
                                  hosts_core::line::MAX_NAMES, &entry,
                                  nullptr) != hosts_core::line::LineKind::Entry) {
      continue;
    }
    for (const std::string_view name : entry.names) {
      mapped.emplace(std::pair(hosts_core::entry_key::ascii_lower(name), entry.address.family()),
                     std::pair(entry.address, n));
    }
  }
  return mapped;
}

}  // namespace

lwk::Result<void, Failure> sendable(const Sets& sets) {
  if (auto ok = unsendable(sets); !ok) return ok;
  if (auto ok = no_control_characters(sets); !ok) return ok;
  const std::uint64_t octets = hosts_helper_core::check::request_octets(to_wire(sets));
  const std::uint64_t limit = Limits::service().max_request_octets;
  if (octets > limit) {
    return bad_input("the sets would hold " + std::to_string(octets) +
                     " octets of names and lines, and the helper takes at most " +
                     std::to_string(limit));
  }
  return lwk::success();
}

lwk::Result<std::vector<hosts_ipc::Issue>, Failure> check(const Sets& sets) {
  if (auto ok = unsendable(sets); !ok) return lwk::unexpected(std::move(ok).error());
  auto checked = hosts_helper_core::check::check(to_wire(sets), Limits::service());
  if (checked) return std::vector<hosts_ipc::Issue>{};
  return std::move(checked).error();
}

lwk::Result<Import, Failure> import(std::string_view name, std::string_view text) {
  auto lines = lines_of(text);
  if (!lines) return lwk::unexpected(std::move(lines).error());
  Sets alone{{std::string(name), {}}};
  alone[0].lines.reserve(lines->size());
  for (std::string& line : *lines) alone[0].lines.push_back({std::move(line), true});
  // The lines are judged as a set of their own, as the helper would judge them.
  auto checked = [&]() -> lwk::Result<std::vector<hosts_ipc::Issue>, Failure> {
    const std::vector<hosts_ipc::WireSet> wire = to_wire(alone);
    const std::uint64_t octets = hosts_helper_core::check::request_octets(wire);
    const std::uint64_t limit = Limits::service().max_request_octets;
    if (octets > limit) {
      return bad_input("the set would hold " + std::to_string(octets) +
                       " octets of name and lines, and the helper takes at most " +
                       std::to_string(limit) + " in all");
    }
    auto issues = hosts_helper_core::check::check(wire, Limits::service());
    if (issues) return std::vector<hosts_ipc::Issue>{};
    return std::move(issues).error();
  }();
  if (!checked) return lwk::unexpected(std::move(checked).error());
  Import out{std::move(alone[0]), true, {}};
  for (const Line& line : out.set.lines) {
    out.empty = out.empty && line.text.find_first_not_of(" \t") == std::string::npos;
  }
  for (hosts_ipc::Issue& issue : *checked) {
    if (issue.line == 0) return bad_input(std::move(issue.message));
    out.refused.push_back(std::move(issue));
  }
  return out;
}

std::size_t leave_out_refused(Import& import) {
  std::vector<bool> refused(import.set.lines.size(), false);
  for (const hosts_ipc::Issue& issue : import.refused) refused[issue.line - 1] = true;
  std::vector<Line> kept;
  for (std::size_t i = 0; i < import.set.lines.size(); ++i) {
    if (!refused[i]) kept.push_back(std::move(import.set.lines[i]));
  }
  const std::size_t left_out = import.set.lines.size() - kept.size();
  import.set.lines = std::move(kept);
  import.refused.clear();
  return left_out;
}

std::vector<hosts_ipc::Issue> shadowed(const Sets& sets, std::string_view file,
                                       std::string_view path) {
  auto cut = hosts_core::block::ManagedFile::read(file);
  if (!cut) return {};
  const Mapped before = mapped_before(cut->head);
  std::vector<hosts_ipc::Issue> notes;
  hosts_core::line::EntryView entry;
  for (std::size_t s = 0; s < sets.size(); ++s) {
    for (std::size_t l = 0; l < sets[s].lines.size(); ++l) {
      const Line& line = sets[s].lines[l];
      if (!line.enabled ||
          hosts_core::line::inspect(line.text, hosts_core::line::MAX_LINE_OCTETS,
                                    hosts_core::line::MAX_NAMES, &entry,
                                    nullptr) != hosts_core::line::LineKind::Entry) {
        continue;
      }
      for (const std::string_view name : entry.names) {
        const auto first = before.find(
            std::pair(hosts_core::entry_key::ascii_lower(name), entry.address.family()));
        if (first == before.end() || first->second.first == entry.address) continue;
        notes.push_back({std::string(name) + " is mapped by line " +
                             std::to_string(first->second.second) + " of " + std::string(path) +
                             ", outside the block; that line wins",
                         s, l + 1});
      }
    }
  }
  return notes;
}

}  // namespace lantern_wharf::manager
