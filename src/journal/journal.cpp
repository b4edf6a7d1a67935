#include "journal/journal.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <mutex>

#include "base/text.h"
#include "os/files.h"

namespace hosts_journal {
namespace {

std::string line_of(std::string_view message) {
  std::string line = stamp();
  line += ' ';
  line += message;
  line += '\n';
  return line;
}

// Serialises the writes of note(), and keeps them out while a WritesHeld lives.
std::mutex& writes() {
  static std::mutex mutex;
  return mutex;
}

// The store directory removed last and not made again since; empty when
// there is none. Guarded by writes().
std::string& removed_store() {
  static std::string path;
  return path;
}

// Whether note() may make `directory`: not while it is, or lies inside, a
// removed store that has not been made again. REQUIRES: writes() is held.
bool may_make(const std::string& directory) {
  std::string& removed = removed_store();
  if (removed.empty()) return true;
  const bool inside = directory.starts_with(removed) &&
                      (directory.size() == removed.size() || directory[removed.size()] == '/');
  if (!inside) return true;
  struct stat st;
  if (::lstat(removed.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  removed.clear();  // made again: the journal may make what lies inside
  return true;
}

int open_log(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
}

// What standard error still owes: how many lines it could not take, and
// whether the last one went only in part.
struct StandardError {
  std::mutex mutex;
  std::uint64_t dropped = 0;
  bool torn = false;
};

StandardError& standard_error() {
  static StandardError state;
  return state;
}

// Writes `bytes` to standard error as far as it takes them without waiting:
// each write follows a poll that says it can go now. The helper is the only
// writer of its standard error and writes one line at a time, so the room a
// poll saw is still there for the write; a pipe with room takes up to
// PIPE_BUF octets whole. Returns whether all of `bytes` went; a closed
// standard error, or a pipe whose reader has gone, counts as written.
bool offer(StandardError& err, std::string bytes) {
  if (err.torn) bytes.insert(0, 1, '\n');  // the torn line ends before this one
  std::size_t done = 0;
  while (done < bytes.size()) {
    pollfd out{STDERR_FILENO, POLLOUT, 0};
    const int ready = ::poll(&out, 1, 0);
    if (ready < 0 && errno == EINTR) continue;
    if (ready > 0 && (out.revents & (POLLNVAL | POLLERR | POLLHUP)) != 0) return true;
    if (ready <= 0 || (out.revents & POLLOUT) == 0) break;
    const ssize_t n = ::write(STDERR_FILENO, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
      break;
    } else if (errno != EINTR) {
      return true;  // failing for good: nothing else is to be done
    }
  }
  if (done == bytes.size()) {
    err.torn = false;
    return true;
  }
  if (done > 0) err.torn = true;
  return false;
}

// `line` as standard error takes it: whole up to PIPE_BUF octets, else its
// first PIPE_BUF - 1 octets short of a split UTF-8 sequence, and a line feed.
std::string fitting(const std::string& line) {
  if (line.size() <= PIPE_BUF) return line;
  std::size_t end = PIPE_BUF - 1;
  auto continuation = [&line](std::size_t i) {
    return (static_cast<unsigned char>(line[i]) & 0xC0) == 0x80;
  };
  if (continuation(end)) {
    while (end > 0 && continuation(end - 1)) --end;
    if (end > 0) --end;  // the lead octet of the sequence that would be split
  }
  return line.substr(0, end) + '\n';
}

std::string dropped_notice(std::uint64_t dropped) {
  return dropped == 1
             ? "1 journal line was dropped: standard error was full"
             : std::to_string(dropped) + " journal lines were dropped: standard error was full";
}

void to_standard_error(const std::string& line) {
  StandardError& err = standard_error();
  const std::lock_guard lock(err.mutex);
  if (err.dropped > 0) {
    if (!offer(err, line_of(dropped_notice(err.dropped)))) {
      ++err.dropped;
      return;
    }
    err.dropped = 0;
  }
  if (!offer(err, fitting(line))) ++err.dropped;
}

}  // namespace

std::string stamp_at(std::chrono::system_clock::time_point when) {
  const auto since_epoch =
      std::chrono::floor<std::chrono::seconds>(when.time_since_epoch()).count();
  const std::uint64_t seconds = since_epoch < 0 ? 0 : static_cast<std::uint64_t>(since_epoch);
  // Howard Hinnant's civil-from-days, on a calendar whose years begin on 1 March.
  const std::uint64_t days = seconds / 86400;
  const std::uint64_t of_day = seconds % 86400;
  const std::uint64_t shifted = days + 719468;
  const std::uint64_t era = shifted / 146097;
  const std::uint64_t day_of_era = shifted % 146097;
  const std::uint64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::uint64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::uint64_t month_index = (5 * day_of_year + 2) / 153;
  const std::uint64_t day = day_of_year - (153 * month_index + 2) / 5 + 1;
  const std::uint64_t month = month_index < 10 ? month_index + 3 : month_index - 9;
  const std::uint64_t year = year_of_era + 400 * era + (month <= 2 ? 1 : 0);

  using lwk::zero_padded;
  return zero_padded(year, 4) + "-" + zero_padded(month, 2) + "-" + zero_padded(day, 2) + " " +
         zero_padded(of_day / 3600, 2) + ":" + zero_padded(of_day % 3600 / 60, 2) + ":" +
         zero_padded(of_day % 60, 2) + "Z";
}

std::string stamp() { return stamp_at(std::chrono::system_clock::now()); }

void say(std::string_view message) { to_standard_error(line_of(message)); }

void note(const std::string& log_path, std::string_view message) {
  const std::string line = line_of(message);
  const std::lock_guard lock(writes());
  to_standard_error(line);
  const std::string parent = lwk::os::parent_of(log_path);
  if (!may_make(parent) || !lwk::os::make_directories(parent, /*flush_existing=*/false)) return;
  int fd = open_log(log_path);
  if (fd < 0) return;
  struct stat st;
  if (::fstat(fd, &st) == 0 && st.st_size > 0 &&
      static_cast<std::uint64_t>(st.st_size) + line.size() > LOG_LIMIT) {
    (void)::close(fd);
    if (::rename(log_path.c_str(), (log_path + ".1").c_str()) != 0) return;
    fd = open_log(log_path);
    if (fd < 0) return;
  }
  (void)lwk::os::write_all(fd, line);
  (void)::close(fd);
}

WritesHeld::WritesHeld() { writes().lock(); }

WritesHeld::~WritesHeld() { writes().unlock(); }

void WritesHeld::store_removed(const std::string& store) {
  std::string& removed = removed_store();
  removed = store;
  while (removed.size() > 1 && removed.back() == '/') removed.pop_back();
}

}  // namespace hosts_journal
