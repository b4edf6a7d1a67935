// One time-stamped line per event, on standard error and, with note(),
// appended to the log file. Write-only; a failure to write never reaches the
// caller.
//
// Standard error never makes the journal wait: it may be a pipe that nobody
// reads, and lines are written while the service lock is held. A line goes
// there only when it can go at once and whole (a pipe takes up to PIPE_BUF
// octets in one piece); otherwise it is dropped from standard error, never
// from the log file, and counted. The next line that goes is preceded by
// "STAMP N journal lines were dropped: standard error was full" (or "1
// journal line was dropped: ..."), on standard error only. A line longer than
// PIPE_BUF octets goes to standard error cut to its first PIPE_BUF - 1
// octets, less any incomplete UTF-8 sequence, and a line feed; the log file
// has it whole.
//
// The log file is written with the system's calls, not through the Files of
// the write path: lines are noted on threads that do not hold the service
// lock (refusals) and at start-up, while those files are used only under the
// lock; and the log is never read back nor flushed, so a power cut costs at
// most its last lines, never the hosts file, the snapshot or a backup. What
// it shares with them, making the store directory, goes through
// lwk::os::make_directories, which flushes each directory it makes.
#ifndef LWK_JOURNAL_JOURNAL_H_
#define LWK_JOURNAL_JOURNAL_H_

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace hosts_journal {

// The current UTC time to the second, e.g. "2026-12-07 03:11:14Z". A clock
// before 1970 gives "1970-01-01 00:00:00Z".
std::string stamp();

// The stamp for the moment `when`: the whole second at or before it, and
// 1970-01-01 00:00:00Z for any moment before 1970.
std::string stamp_at(std::chrono::system_clock::time_point when);

// Writes "STAMP MESSAGE\n" to standard error, as far as it takes it at once.
void say(std::string_view message);

// The most octets the log file grows to. A line that would take it further
// first moves it to LOG_PATH.1, replacing an older one, and starts it afresh,
// so that no caller, refused or not, can fill the disk through the journal.
inline constexpr std::uint64_t LOG_LIMIT = 1u << 20;

// Writes "STAMP MESSAGE\n" to standard error, then appends the same line to
// the file at `log_path`, creating it and its missing parent directories,
// unless the store that holds them has been removed (WritesHeld::
// store_removed) and not made again since: then the line is on standard error
// only. A symbolic link at `log_path` is never followed: the line is not
// written to the file. Lines of several threads are written one at a time,
// whole, and rotation happens between them, so that none is lost.
void note(const std::string& log_path, std::string_view message);

// While one lives, every note() on another thread waits, line and all: the
// removal of the store holds one, so that no line makes the log's directory
// anew half-way through. REQUIRES: the thread that holds it does not note().
class WritesHeld {
 public:
  WritesHeld();
  ~WritesHeld();
  WritesHeld(const WritesHeld&) = delete;
  WritesHeld& operator=(const WritesHeld&) = delete;

  // Records that the store directory `store` has been removed: from now on no
  // line makes it, or a directory inside it, anew; lines whose log file lies
  // there go to standard error only, until the directory exists again (the
  // next change of the hosts file makes it). Marked while the writes are
  // held, so that no line waiting for them slips in first.
  void store_removed(const std::string& store);
};

}  // namespace hosts_journal

#endif  // LWK_JOURNAL_JOURNAL_H_
