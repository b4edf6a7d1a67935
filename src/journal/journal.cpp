#include "journal/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

int open_log(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
}

void to_standard_error(const std::string& line) {
  // A closed standard error counts as written; nothing else is to be done
  // when it fails.
  (void)lwk::os::write_all(STDERR_FILENO, line);
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
  if (!lwk::os::make_directories(parent)) return;
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

}  // namespace hosts_journal
