#include "client/helper_link_linux.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "base/io_error.h"
#include "client/helper_link.h"
#include "identity/build_constants.h"
#include "transport/frame.h"

namespace lantern_wharf {
namespace {

using Clock = std::chrono::steady_clock;
namespace frame = hosts_transport::frame;

// How long a connection refused for a full queue waits before it is tried
// again: a non-blocking connect to a Unix stream socket fails at once
// (EAGAIN) while the helper's queue is full, and nothing signals room.
constexpr std::chrono::milliseconds kConnectRetry{10};

// Closes a descriptor when it goes out of scope.
struct Socket {
  int fd;
  ~Socket() {
    if (fd >= 0) ::close(fd);
  }
};

// A limit as a sentence says it: "60 s", or "200 ms" when it is no whole
// number of seconds.
std::string spoken(std::chrono::milliseconds limit) {
  if (limit.count() % 1000 == 0) return std::to_string(limit.count() / 1000) + " s";
  return std::to_string(limit.count()) + " ms";
}

// The milliseconds left until `deadline`, rounded up, for poll; 0 once it
// has passed.
int left_until(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

// One exchange under way: where, until when, and its sentences, each of
// which names the socket.
class Exchange {
 public:
  Exchange(const std::string& path, Deadlines limits)
      : path_(path),
        connect_limit_(std::min(limits.connect, limits.answer)),
        answer_limit_(limits.answer),
        connect_by_(Clock::now() + connect_limit_),
        answer_by_(Clock::now() + answer_limit_) {}

  lwk::Result<Reply, std::string> run(std::string_view request);

 private:
  lwk::Unexpected<std::string> unreachable(const lwk::IoError& error) const {
    return lwk::unexpected("cannot reach the helper at " + path_ + ": " + error.message);
  }
  lwk::Unexpected<std::string> not_accepted() const {
    return lwk::unexpected("the helper at " + path_ + " did not accept the connection within " +
                           spoken(connect_limit_));
  }
  lwk::Unexpected<std::string> no_answer() const {
    return lwk::unexpected("the helper at " + path_ + " did not answer within " +
                           spoken(answer_limit_));
  }

  lwk::Result<void, std::string> connect(int fd, const sockaddr_un& address) const;
  lwk::Result<void, std::string> send_all(int fd, std::string_view bytes) const;
  lwk::Result<void, std::string> read_exactly(int fd, std::size_t n, std::string* out) const;

  const std::string& path_;
  std::chrono::milliseconds connect_limit_;
  std::chrono::milliseconds answer_limit_;
  Clock::time_point connect_by_;
  Clock::time_point answer_by_;
};

// Connects the non-blocking `fd`, trying again while the helper's queue of
// connections is full (EAGAIN) until the connect deadline.
lwk::Result<void, std::string> Exchange::connect(int fd, const sockaddr_un& address) const {
  for (;;) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      return lwk::success();
    }
    if (errno == EINTR) continue;
    if (errno == EISCONN) return lwk::success();  // an interrupted attempt went through
    if (errno == EINPROGRESS || errno == EALREADY) {
      // Not what a Unix socket does today; waited for all the same.
      for (pollfd out{fd, POLLOUT, 0};;) {
        const int ready = ::poll(&out, 1, left_until(connect_by_));
        if (ready > 0) break;
        if (ready == 0) return not_accepted();
        if (errno != EINTR) return unreachable(lwk::IoError::last());
      }
      int error = 0;
      socklen_t size = sizeof error;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
        return unreachable(lwk::IoError::last());
      }
      if (error == 0) return lwk::success();
      return unreachable(lwk::IoError::from_errno(error));
    }
    if (errno != EAGAIN) return unreachable(lwk::IoError::last());
    const int left = left_until(connect_by_);
    if (left == 0) return not_accepted();
    (void)::poll(nullptr, 0, std::min(left, static_cast<int>(kConnectRetry.count())));
  }
}

// Sends all of `bytes` on the non-blocking `fd` before the answer deadline:
// a helper that reads nothing cannot hold the client beyond it.
lwk::Result<void, std::string> Exchange::send_all(int fd, std::string_view bytes) const {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
      return unreachable(n == 0 ? lwk::IoError::from_errno(EPIPE) : lwk::IoError::last());
    }
    const int left = left_until(answer_by_);
    if (left == 0) return no_answer();
    pollfd out{fd, POLLOUT, 0};
    if (::poll(&out, 1, left) < 0 && errno != EINTR) return unreachable(lwk::IoError::last());
  }
  return lwk::success();
}

// Reads exactly `n` octets from the non-blocking `fd` before the answer
// deadline, appending them to *out.
lwk::Result<void, std::string> Exchange::read_exactly(int fd, std::size_t n,
                                                      std::string* out) const {
  const std::size_t goal = out->size() + n;
  while (out->size() < goal) {
    char buffer[65536];
    const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, goal - out->size()));
    if (got > 0) {
      out->append(buffer, static_cast<std::size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
      return lwk::unexpected("the helper at " + path_ + " ended the connection without an answer" +
                             (got < 0 ? ": " + lwk::IoError::last().message : ""));
    }
    const int left = left_until(answer_by_);
    if (left == 0) return no_answer();
    pollfd in{fd, POLLIN, 0};
    if (::poll(&in, 1, left) < 0 && errno != EINTR) return unreachable(lwk::IoError::last());
  }
  return lwk::success();
}

lwk::Result<Reply, std::string> Exchange::run(std::string_view request) {
  auto address = frame::socket_address(path_);
  if (!address) return lwk::unexpected(address.error());
  Socket socket{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)};
  if (socket.fd < 0) return unreachable(lwk::IoError::last());
  if (auto connected = connect(socket.fd, *address); !connected) {
    return lwk::unexpected(connected.error());
  }
  if (auto sent = send_all(socket.fd, frame::message_frame(request, /*wants_reply=*/true)); !sent) {
    return lwk::unexpected(sent.error());
  }
  std::string header;
  if (auto read = read_exactly(socket.fd, frame::REPLY_HEADER_OCTETS, &header); !read) {
    return lwk::unexpected(read.error());
  }
  const std::uint32_t length = frame::reply_length(header);
  if (length == frame::NOT_NOW) return Reply{Reply::Kind::NotNow, {}};
  if (length == 0) return Reply{Reply::Kind::NotServed, {}};
  std::string body;
  if (auto read = read_exactly(socket.fd, length, &body); !read) {
    return lwk::unexpected(read.error());
  }
  return Reply{Reply::Kind::Response, std::move(body)};
}

}  // namespace

lwk::Result<Reply, std::string> exchange_with(const std::string& path, std::string_view request,
                                              Deadlines limits) {
  return Exchange(path, limits).run(request);
}

std::size_t request_limit() { return frame::MAX_PAYLOAD; }

std::string not_served() {
  const std::string group(identity::HELPER_GROUP);
  return "the helper refused to serve this program: it serves root, the members of the "
         "group " +
         group +
         ", and whom polkit allows (an administrator's password, asked for "
         "in the terminal or by the desktop), and only when they run " +
         std::string(identity::CLIENT_PATH) + " or " + std::string(identity::DESKTOP_PATH) +
         "; to be served without a password, ask an "
         "administrator to run: usermod -aG " +
         group + " YOUR-NAME (then log in again)";
}

lwk::Result<Reply, std::string> exchange(std::string_view request) {
  return exchange_with(frame::socket_path(), request, {CONNECT_LIMIT, ANSWER_LIMIT});
}

}  // namespace lantern_wharf
