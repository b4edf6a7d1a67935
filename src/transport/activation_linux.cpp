#include "transport/activation_linux.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "base/io_error.h"

namespace hosts_transport::activation {
namespace {

// A plain decimal number without sign, spaces or leading zeros, that fits
// in a long; nullopt for anything else.
std::optional<long> decimal(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  if (text.size() > 1 && text[0] == '0') return std::nullopt;
  long value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::optional<std::string_view> variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string_view(value);
}

}  // namespace

lwk::Result<int, std::string> passed_count(std::optional<std::string_view> listen_pid,
                                           std::optional<std::string_view> listen_fds, pid_t self) {
  if (!listen_pid) return 0;
  const std::optional<long> pid = decimal(*listen_pid);
  if (!pid) {
    return lwk::unexpected("LISTEN_PID is not a process id: \"" + std::string(*listen_pid) + "\"");
  }
  if (*pid != static_cast<long>(self)) return 0;
  if (!listen_fds) return lwk::unexpected(std::string("LISTEN_PID is set but LISTEN_FDS is not"));
  const std::optional<long> count = decimal(*listen_fds);
  if (!count || *count > std::numeric_limits<int>::max() - FIRST_PASSED_FD) {
    return lwk::unexpected("LISTEN_FDS is not a count: \"" + std::string(*listen_fds) + "\"");
  }
  return static_cast<int>(*count);
}

lwk::Result<int, std::string> check_listener(int fd, const std::string& path) {
  const std::string which = "the descriptor handed over (" + std::to_string(fd) + ")";
  struct stat st;
  if (::fstat(fd, &st) != 0) return lwk::unexpected(which + ": " + lwk::IoError::last().message);
  if (!S_ISSOCK(st.st_mode)) return lwk::unexpected(which + " is not a socket");
  int domain = 0;
  int type = 0;
  int listening = 0;
  socklen_t size = sizeof(int);
  if (::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &size) != 0 || domain != AF_UNIX) {
    return lwk::unexpected(which + " is not a Unix socket");
  }
  size = sizeof(int);
  if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) != 0 || type != SOCK_STREAM) {
    return lwk::unexpected(which + " is not a stream socket");
  }
  size = sizeof(int);
  if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || listening == 0) {
    return lwk::unexpected(which + " is not listening");
  }
  sockaddr_un bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    return lwk::unexpected(which + ": " + lwk::IoError::last().message);
  }
  const std::size_t offset = offsetof(sockaddr_un, sun_path);
  std::string at;
  if (length > offset) {
    // A path name ends at its NUL; an abstract name starts with one.
    const std::size_t most = length - offset;
    at.assign(bound.sun_path, ::strnlen(bound.sun_path, most));
  }
  if (at != path) {
    return lwk::unexpected(which + " is bound at \"" + at + "\", not at " + path);
  }
  return fd;
}

lwk::Result<std::optional<int>, std::string> inherited_listener(const std::string& path) {
  auto count = passed_count(variable("LISTEN_PID"), variable("LISTEN_FDS"), ::getpid());
  // Whatever they said, the commands the helper runs must not see them.
  (void)::unsetenv("LISTEN_PID");
  (void)::unsetenv("LISTEN_FDS");
  (void)::unsetenv("LISTEN_FDNAMES");
  if (!count) return lwk::unexpected(std::move(count).error());
  if (*count == 0) return std::optional<int>();
  if (*count != 1) {
    // Refused before a descriptor is touched: the count may be anything up
    // to INT_MAX, and the helper ends on this refusal anyway, so what was
    // handed over is left as it is.
    return lwk::unexpected("the service manager handed over " + std::to_string(*count) +
                           " descriptors; the helper serves on exactly one socket");
  }
  (void)::fcntl(FIRST_PASSED_FD, F_SETFD, FD_CLOEXEC);
  auto checked = check_listener(FIRST_PASSED_FD, path);
  if (!checked) return lwk::unexpected(std::move(checked).error());
  return std::optional<int>(*checked);
}

}  // namespace hosts_transport::activation
