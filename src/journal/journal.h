// One time-stamped line per event, on standard error and, with note(),
// appended to the log file. Write-only; a failure to write never reaches the
// caller.
#ifndef LWK_JOURNAL_JOURNAL_H_
#define LWK_JOURNAL_JOURNAL_H_

#include <chrono>
#include <string>
#include <string_view>

namespace hosts_journal {

// The current UTC time to the second, e.g. "2026-12-07 03:11:14Z". A clock
// before 1970 gives "1970-01-01 00:00:00Z".
std::string stamp();

// The stamp for the moment `when`: the whole second at or before it, and
// 1970-01-01 00:00:00Z for any moment before 1970.
std::string stamp_at(std::chrono::system_clock::time_point when);

// Writes "STAMP MESSAGE\n" to standard error.
void say(std::string_view message);

// Writes "STAMP MESSAGE\n" to standard error, then appends the same line to
// the file at `log_path`, creating it and its missing parent directories.
void note(const std::string& log_path, std::string_view message);

}  // namespace hosts_journal

#endif  // LWK_JOURNAL_JOURNAL_H_
