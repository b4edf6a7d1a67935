#include "identity/process_linux.h"

#include <charconv>
#include <string>
#include <string_view>

#include "os/files.h"

namespace identity {

std::optional<std::uint64_t> start_time_of(pid_t pid) {
  auto stat = lwk::os::read_file("/proc/" + std::to_string(pid) + "/stat", /*follow_link=*/false);
  if (!stat) return std::nullopt;
  // "PID (COMM) STATE PPID ...": COMM may hold spaces and parentheses, so the
  // fields are counted from the last ")". STATE is field 3; the start time is
  // field 22.
  const std::string_view text = *stat;
  const std::size_t close = text.rfind(')');
  if (close == std::string_view::npos) return std::nullopt;
  std::size_t at = close + 1;
  for (int field = 3; field <= 22; ++field) {
    while (at < text.size() && text[at] == ' ') ++at;
    const std::size_t end = text.find(' ', at);
    if (field == 22) {
      std::uint64_t start = 0;
      const std::string_view digits = text.substr(at, end - at);
      const auto [ptr, error] =
          std::from_chars(digits.data(), digits.data() + digits.size(), start);
      if (error != std::errc() || ptr != digits.data() + digits.size()) return std::nullopt;
      return start;
    }
    if (end == std::string_view::npos) return std::nullopt;
    at = end;
  }
  return std::nullopt;
}

}  // namespace identity
