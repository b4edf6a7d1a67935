// What the command shows: results on standard output, messages on standard
// error, or, with --json, one JSON object on standard output; and the exit
// status each outcome calls for.
#ifndef LWK_TOOLS_LANTERN_WHARF_OUTPUT_H_
#define LWK_TOOLS_LANTERN_WHARF_OUTPUT_H_

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "client/lantern_wharf.h"
#include "client/manager.h"
#include "ipc/wire.h"

namespace lantern_wharf::command {

// The exit statuses the command gives itself; the others come from
// status_of() (client/statuses.h), as the C interface's do.
inline constexpr int kSuccess = LW_OK;
inline constexpr int kRefused = LW_ISSUES;
inline constexpr int kUsage = LW_BAD_INPUT;

// "lantern-wharf: SENTENCE" on a line of standard error.
void say(std::string_view sentence);

// Says the failure's sentence and gives the exit status of its kind.
int failed(const manager::Failure& failure);

// The sets the issues are about, by their names, when a command changed the
// sets in the file (whose positions a person never sees); null for a sets
// file, whose sets are named by position, from 0.
using NamedSets = const manager::Sets*;

// Shows issues: "set S, line L: MESSAGE" on standard error, one a line (with
// `named`, "set "NAME", line L: MESSAGE", "set "NAME": MESSAGE" for the set
// as a whole, and the message alone for the request as a whole); or, with
// `json`, {"issues": [...]} on standard output.
void show_issues(const std::vector<hosts_ipc::Issue>& issues, bool json, NamedSets named = nullptr);

// Shows why the file or the check refused: the check's issues, or the
// sentence alone on standard error (with `json`, as the one issue of the
// request as a whole, as the helper answers it).
void show_refused(const manager::Failure& failure, bool json, NamedSets named = nullptr);

// Shows a response: done, unchanged or not understood on standard output,
// the issues on `issues_to` as show_issues() shows them; or all of it as one
// JSON object. Gives the exit status it calls for.
int report(const hosts_ipc::Response& response, bool json, std::ostream& issues_to,
           NamedSets named = nullptr);

// Prints `object` on a line of its own; text that is not UTF-8 is replaced,
// not refused.
void print_json(const nlohmann::ordered_json& object);

// Writes `bytes` to standard output as they are; false when they could not
// all be written.
bool write_out(std::string_view bytes);

}  // namespace lantern_wharf::command

#endif  // LWK_TOOLS_LANTERN_WHARF_OUTPUT_H_
