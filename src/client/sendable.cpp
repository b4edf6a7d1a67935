// What the helper's check will say of the sets, said before they are sent;
// and the lines of an imported text that it would refuse.
#include <utility>

#include "base/utf8.h"
#include "check/check.h"
#include "client/failures.h"
#include "client/manager.h"

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

}  // namespace

lwk::Result<void, Failure> sendable(const Sets& sets) {
  if (auto utf8 = all_utf8(sets); !utf8) return utf8;
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
  if (auto utf8 = all_utf8(sets); !utf8) return lwk::unexpected(std::move(utf8).error());
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
  Import out{std::move(alone[0]), {}};
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

}  // namespace lantern_wharf::manager
