#include "check/check.h"

#include <charconv>
#include <cstdio>
#include <string>

#include "base/text.h"
#include "hosts_core/conflict.h"
#include "hosts_core/line.h"
#include "hosts_core/markup.h"

namespace hosts_helper_core::check {
namespace {

using hosts_core::block::BlockLine;
using hosts_core::block::BlockSet;
using hosts_ipc::Issue;
using hosts_ipc::WireSet;

// Classifies one line as classify() does, noting an entry with `detector`
// and giving the fault's message, if any, to *issues.
void classify_line(const hosts_ipc::WireLine& line, std::uint32_t i, std::uint64_t j,
                   hosts_core::conflict::Detector* detector, hosts_core::line::EntryView* entry,
                   std::vector<Issue>* issues) {
  using hosts_core::line::LineKind;
  hosts_core::line::LineError error;
  const LineKind kind = hosts_core::line::inspect(line.text, hosts_core::line::MAX_LINE_OCTETS,
                                                  hosts_core::line::MAX_NAMES, entry,
                                                  issues == nullptr ? nullptr : &error);
  if (kind == LineKind::Entry) detector->add(i, j, *entry);
  if (kind == LineKind::Fault && issues != nullptr)
    issues->push_back({std::move(error.message), i, j});
}

// The problems of one set: its name, then its lines in order. Every
// switched-on entry line, whatever its other problems, goes to `detector`,
// which judges the lines as the conflict detection of the whole request does.
void check_set(const WireSet& set, std::uint32_t i, const Limits& limits,
               hosts_core::conflict::Detector* detector, std::vector<Issue>* issues) {
  if (set.name.size() > limits.max_name_octets) {
    issues->push_back({"the set's name is " + std::to_string(set.name.size()) +
                           " octets and the limit is " + std::to_string(limits.max_name_octets),
                       i, 0});
  }
  // The name goes onto the set's heading line; a marker's text there would
  // make the next reading of the file fail.
  if (lwk::contains(set.name, hosts_core::markup::OPENING_MARKER) ||
      lwk::contains(set.name, hosts_core::markup::CLOSING_MARKER)) {
    issues->push_back({"the set's name repeats the managed block's own markup", i, 0});
  }
  if (auto control = control_character(set.name, "the set's name")) {
    issues->push_back({std::move(*control), i, 0});
  }
  hosts_core::line::EntryView entry;  // reused for every line
  std::uint64_t j = 0;
  for (const auto& line : set.lines) {
    ++j;
    // Written as it stands, such a text would become several lines of the
    // file, and the pieces after the first would escape every check.
    if (line.text.find('\n') != std::string::npos || line.text.find('\r') != std::string::npos) {
      issues->push_back(
          {"the line holds a line break, which would split it into several lines of the file", i,
           j});
      if (line.enabled) classify_line(line, i, j, detector, &entry, nullptr);
      continue;
    }
    // Other programs read the hosts file too: a NUL makes it binary to them,
    // an escape sequence reaches the terminal of whoever shows it. Like a
    // broken line, the line still maps its names for conflict detection.
    if (auto control = control_character(line.text, "the line")) {
      issues->push_back({std::move(*control), i, j});
      if (line.enabled) classify_line(line, i, j, detector, &entry, nullptr);
      continue;
    }
    if (hosts_core::markup::impersonates_markup(line.text)) {
      // Such a line never classifies as an entry: nothing for the detector.
      issues->push_back({"the line repeats the managed block's own markup", i, j});
      continue;
    }
    if (line.enabled) classify_line(line, i, j, detector, &entry, issues);
  }
}

std::uint64_t set_of_label(const std::string& label) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(label.data(), label.data() + label.size(), value);
  if (error != std::errc() || end != label.data() + label.size()) return 0;
  return value;
}

void add_conflicts(const hosts_core::conflict::Detector& detector, std::size_t set_count,
                   std::vector<Issue>* issues) {
  // Sets are labelled by their position in decimal, read back for each party.
  std::vector<std::string> labels;
  labels.reserve(set_count);
  for (std::size_t i = 0; i < set_count; ++i) labels.push_back(std::to_string(i));
  for (const auto& conflict : detector.conflicts(labels)) {
    for (const auto& party : conflict.parties) {
      issues->push_back(
          {conflict.name + " is mapped to more than one address by the sets being applied",
           set_of_label(party.set), party.line});
    }
  }
}

}  // namespace

std::optional<std::string> control_character(std::string_view text, std::string_view what) {
  for (const char c : text) {
    const auto octet = static_cast<unsigned char>(c);
    const bool control = octet < 0x20 || octet == 0x7F;
    if (!control || c == '\t' || c == '\n' || c == '\r') continue;
    char code[8];
    (void)std::snprintf(code, sizeof code, "U+%04X", octet);
    return std::string(what) + " holds the control character " + code +
           ", which the hosts file must not carry";
  }
  return std::nullopt;
}

std::uint64_t request_octets(const std::vector<WireSet>& sets) {
  std::uint64_t total = 0;
  for (const WireSet& set : sets) {
    total += set.name.size();
    for (const auto& line : set.lines) total += line.text.size();
  }
  return total;
}

lwk::Result<std::vector<BlockSet>, std::vector<Issue>> check(const std::vector<WireSet>& sets,
                                                             const Limits& limits) {
  std::vector<Issue> issues;
  if (!sets.empty()) {
    const std::uint64_t total = request_octets(sets);
    if (total > limits.max_request_octets) {
      return lwk::unexpected(std::vector<Issue>{hosts_ipc::request_issue(
          "the request is " + std::to_string(total) + " octets and the limit is " +
          std::to_string(limits.max_request_octets))});
    }
    if (sets.size() > limits.max_sets) {
      return lwk::unexpected(std::vector<Issue>{
          hosts_ipc::request_issue("the request carries " + std::to_string(sets.size()) +
                                   " sets and the limit is " + std::to_string(limits.max_sets))});
    }
  }
  // One pass classifies every line once, for its own issues and for the
  // conflicts, which are reported after all other issues.
  std::size_t lines = 0;
  for (const WireSet& set : sets) lines += set.lines.size();
  hosts_core::conflict::Detector detector(lines);
  for (std::size_t i = 0; i < sets.size(); ++i) {
    check_set(sets[i], static_cast<std::uint32_t>(i), limits, &detector, &issues);
  }
  add_conflicts(detector, sets.size(), &issues);
  if (!issues.empty()) return lwk::unexpected(std::move(issues));

  std::vector<BlockSet> out;
  out.reserve(sets.size());
  for (const WireSet& set : sets) {
    BlockSet block{set.name, {}};
    block.lines.reserve(set.lines.size());
    for (const auto& line : set.lines) block.lines.push_back(BlockLine{line.text, line.enabled});
    out.push_back(std::move(block));
  }
  return out;
}

}  // namespace hosts_helper_core::check
