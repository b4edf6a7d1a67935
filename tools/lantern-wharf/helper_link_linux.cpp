#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/io_error.h"
#include "helper_link.h"
#include "transport/frame.h"

namespace lantern_wharf {
namespace {

using Clock = std::chrono::steady_clock;
namespace frame = hosts_transport::frame;

// Closes a descriptor when it goes out of scope.
struct Socket {
  int fd;
  ~Socket() {
    if (fd >= 0) ::close(fd);
  }
};

// Reads exactly `n` octets before `deadline`; false on the end of the
// connection, an error or the deadline, with *why set.
bool read_exactly(int fd, std::size_t n, Clock::time_point deadline, std::string* out,
                  std::string* why) {
  const std::string where = frame::socket_path();
  while (out->size() < n) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      *why = "the helper at " + where + " did not answer within " +
             std::to_string(ANSWER_LIMIT.count()) + " s";
      return false;
    }
    pollfd in{fd, POLLIN, 0};
    if (::poll(&in, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[65536];
    const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, n - out->size()));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      *why = "the helper at " + where + " ended the connection without an answer" +
             (got < 0 ? ": " + lwk::IoError::last().message : "");
      return false;
    }
    out->append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

}  // namespace

std::size_t request_limit() { return frame::MAX_PAYLOAD; }

lwk::Result<std::string, std::string> exchange(std::string_view request) {
  const std::string where = frame::socket_path();
  auto unreachable = [&where]() {
    return lwk::unexpected("cannot reach the helper at " + where + ": " +
                           lwk::IoError::last().message);
  };
  Socket socket{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  if (socket.fd < 0) return unreachable();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, where.c_str(), std::min(where.size() + 1, sizeof address.sun_path));
  if (::connect(socket.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return unreachable();
  }
  const std::string out = frame::message_frame(request, /*wants_reply=*/true);
  for (std::string_view left = out; !left.empty();) {
    const ssize_t n = ::send(socket.fd, left.data(), left.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return unreachable();
    left.remove_prefix(static_cast<std::size_t>(n));
  }
  const auto deadline = Clock::now() + ANSWER_LIMIT;
  std::string header;
  std::string why;
  if (!read_exactly(socket.fd, frame::REPLY_HEADER_OCTETS, deadline, &header, &why)) {
    return lwk::unexpected(why);
  }
  std::string body;
  if (!read_exactly(socket.fd, frame::reply_length(header), deadline, &body, &why)) {
    return lwk::unexpected(why);
  }
  return body;
}

}  // namespace lantern_wharf
