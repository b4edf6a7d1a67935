// What the command shows: results on standard output, messages on standard
// error, or, with --json, one JSON object on standard output whatever the
// outcome; and the exit status each outcome calls for. Text a person reads
// has its control characters escaped, so that nothing in the file reaches
// the terminal as a command to it; colour, where a terminal shows it, is
// --color's to decide.
#ifndef LWK_TOOLS_LANTERN_WHARF_OUTPUT_H_
#define LWK_TOOLS_LANTERN_WHARF_OUTPUT_H_

#include <nlohmann/json.hpp>
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

// When to colour diffs and issues: on a terminal unless NO_COLOR is set
// (auto), always, or never.
enum class Color { Auto, Always, Never };

// Begins a command's output. With `json`, finish() prints one JSON object
// when the command printed none.
void begin(bool json);

// Colours what goes to a stream as `color` and the stream decide.
void use_color(Color color);

// "lantern-wharf: SENTENCE" on a line of standard error: why something was
// not done. Under --json it is also the "error" of the object finish()
// prints when the command printed none.
void say(std::string_view sentence);

// Something a person should know, though nothing was refused: said as
// say() says, or, under --json, one of the "notes" of the object printed.
void note(std::string_view sentence);

// Says the failure's sentence and gives the exit status of its kind.
int failed(const manager::Failure& failure);

// The sets the issues are about, by their names, when a command changed the
// sets in the file (whose positions a person never sees); null for a sets
// file, whose sets are named by position, from 0.
using NamedSets = const manager::Sets*;

// "set S, line L: MESSAGE", or, with `named`, "set "NAME", line L:
// MESSAGE", "set "NAME": MESSAGE" for the set as a whole, and the message
// alone for the request as a whole.
std::string issue_line(const hosts_ipc::Issue& issue, NamedSets named = nullptr);

// Shows issues: one a line on standard error, as issue_line() tells them;
// or, under --json, {"issues": [...]} as the command's object.
void show_issues(const std::vector<hosts_ipc::Issue>& issues, NamedSets named = nullptr);

// Shows why the file or the check refused: the check's issues, or the
// sentence alone on standard error (under --json, as the one issue of the
// request as a whole, as the helper answers it).
void show_refused(const manager::Failure& failure, NamedSets named = nullptr);

// Shows a response: done, unchanged or not understood on standard output,
// the issues on standard error as show_issues() shows them; or all of it as
// the command's JSON object. Gives the exit status it calls for.
int report(const hosts_ipc::Response& response, NamedSets named = nullptr);

// Prints `object`, with the notes, as the command's one JSON object.
void print_json(nlohmann::ordered_json object);

// Prints the fields of one line of a listing for a person, separated by
// tabs, each with its control characters escaped.
void print_fields(const std::vector<std::string>& fields);

// Writes `bytes` to standard output as they are; on a terminal, with their
// control characters (but tabs and line feeds) escaped. A unified diff is
// coloured as --color says.
void write_data(std::string_view bytes);
void write_diff(std::string_view diff);

// Writes `bytes` to standard output as they are, wherever it goes.
void write_octets(std::string_view bytes);

// Ends the command that gave `status`: under --json, the object with the
// last sentence said when none was printed; then standard output written.
// When it cannot be, says "writing standard output: REASON" and gives 1.
int finish(int status);

}  // namespace lantern_wharf::command

#endif  // LWK_TOOLS_LANTERN_WHARF_OUTPUT_H_
