#include "identity/process_linux.h"

#include <cerrno>
#include <charconv>
#include <string>
#include <string_view>

#include "os/files.h"

namespace identity {

lwk::Result<std::uint64_t, Unknown> start_time_of(pid_t pid) {
  auto stat = lwk::os::read_file("/proc/" + std::to_string(pid) + "/stat", /*follow_link=*/false);
  if (!stat) {
    // The helper's own want of descriptors or memory must not pass for the
    // caller's end. Anything else (no entry, a process that went while it
    // was read, an entry the helper may not read) leaves no process to
    // name.
    return lwk::unexpected(short_of_resources(stat.error().code) ? Unknown::NotLooked
                                                                 : Unknown::Gone);
  }
  // "PID (COMM) STATE PPID ...": COMM may hold spaces and parentheses, so the
  // fields are counted from the last ")". STATE is field 3; the start time is
  // field 22.
  const auto unreadable = lwk::unexpected(Unknown::Gone);
  const std::string_view text = *stat;
  const std::size_t close = text.rfind(')');
  if (close == std::string_view::npos) return unreadable;
  std::size_t at = close + 1;
  for (int field = 3; field <= 22; ++field) {
    while (at < text.size() && text[at] == ' ') ++at;
    const std::size_t end = text.find(' ', at);
    if (field == 22) {
      std::uint64_t start = 0;
      const std::string_view digits = text.substr(at, end - at);
      const auto [ptr, error] =
          std::from_chars(digits.data(), digits.data() + digits.size(), start);
      if (error != std::errc() || ptr != digits.data() + digits.size()) return unreadable;
      return start;
    }
    if (end == std::string_view::npos) return unreadable;
    at = end;
  }
  return unreadable;
}

bool short_of_resources(int error) { return error == EMFILE || error == ENFILE || error == ENOMEM; }

NoPeerPidfd why_no_peer_pidfd(int error) {
  if (short_of_resources(error)) return NoPeerPidfd::NotLooked;
  if (error == ENOPROTOOPT) return NoPeerPidfd::NotOffered;
  // EINVAL or ESRCH for a peer reaped before it was asked about, ENODATA for
  // a socket with no peer: in no case may whatever holds the pid now be
  // taken for the peer.
  return NoPeerPidfd::Gone;
}

}  // namespace identity
