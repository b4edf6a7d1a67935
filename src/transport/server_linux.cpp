#include "transport/server_linux.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "base/io_error.h"
#include "identity/identity.h"
#include "transport/caller_linux.h"
#include "transport/frame.h"

namespace hosts_transport {
namespace {

using Clock = std::chrono::steady_clock;

// The write end of the running server's wake pipe, for request_stop().
std::atomic<int> wake_for_stop{-1};

constexpr char kReturned = 'r';  // a worker gave a connection back
constexpr char kStop = 's';

void set_nonblocking(int fd) { (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// The socket address of `path`. REQUIRES: fits(path).
sockaddr_un address_of(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

bool fits(const std::string& path) { return path.size() < sizeof(sockaddr_un::sun_path); }

// Whether something answers on the socket at `path`.
bool someone_listens(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const sockaddr_un address = address_of(path);
  const bool answered =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return answered;
}

// Writes all of `bytes` to the non-blocking `fd` within `timeout`.
bool write_within(int fd, std::string_view bytes, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd out{fd, POLLOUT, 0};
    (void)::poll(&out, 1, static_cast<int>(left.count()));
  }
  return true;
}

// A complete message read from a connection.
struct Job {
  int fd;
  frame::Header header;
  std::string payload;
};

// A message of a Unix-socket connection, for the handler.
class FrameMessage final : public Message {
 public:
  FrameMessage(Job& job, std::chrono::milliseconds reply_timeout)
      : job_(job), reply_timeout_(reply_timeout) {}

  bool is_error() const override { return false; }  // errors end the connection unseen
  std::optional<identity::AuditToken> caller_token() const override {
    return caller::audit_token_of(job_.fd);
  }
  std::optional<std::string> payload() const override {
    if (job_.header.holds != frame::Holds::Data) return std::nullopt;
    return job_.payload;
  }
  bool wants_reply() const override { return job_.header.wants_reply; }
  void send_reply(std::string_view body) override {
    sent_ = write_within(job_.fd, frame::reply_frame(body), reply_timeout_);
  }
  bool failed() const { return !sent_; }

 private:
  Job& job_;
  std::chrono::milliseconds reply_timeout_;
  bool sent_ = true;
};

// What the poll loop knows of one connection.
struct Connection {
  std::string header;  // the octets of the header read so far
  std::optional<frame::Header> frame;
  std::string payload;
  bool busy = false;          // a message of it is with the workers
  Clock::time_point started;  // when the frame's first octet came
};

}  // namespace

struct Server::State {
  int listening;
  int wake_read;
  int wake_write;
  Handler handler;
  ServerLimits limits;

  std::map<int, Connection> connections;
  std::size_t buffered = 0;  // payload octets beyond the allowances, over all connections

  std::mutex mutex;  // guards the three below
  std::condition_variable work;
  std::deque<Job> jobs;
  std::vector<std::pair<int, bool>> returned;  // connection, and whether it is to end
  bool stopping = false;

  std::vector<std::thread> workers;

  std::size_t over_allowance(const Connection& c) const {
    return c.payload.size() > limits.allowance ? c.payload.size() - limits.allowance : 0;
  }

  void close_connection(int fd) {
    buffered -= over_allowance(connections[fd]);
    connections.erase(fd);
    ::close(fd);
  }

  void work_loop() {
    for (;;) {
      std::unique_lock lock(mutex);
      work.wait(lock, [&] { return stopping || !jobs.empty(); });
      if (jobs.empty()) return;  // stopping, and nothing left to answer
      Job job = std::move(jobs.front());
      jobs.pop_front();
      lock.unlock();
      FrameMessage message(job, limits.reply_timeout);
      handler(message);
      lock.lock();
      returned.emplace_back(job.fd, message.failed());
      lock.unlock();
      (void)!::write(wake_write, &kReturned, 1);
    }
  }

  void accept_all() {
    for (;;) {
      const int fd = ::accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      if (connections.size() >= limits.max_connections) {
        ::close(fd);
        continue;
      }
      connections[fd] = Connection{};
    }
  }

  // Reads what `fd` has; ends it on a fault of the frame or of the socket.
  void read_from(int fd) {
    Connection& c = connections[fd];
    char buffer[65536];
    std::size_t want = sizeof buffer;
    if (!c.frame) {
      want = frame::HEADER_OCTETS - c.header.size();
    } else {
      want = std::min<std::size_t>(want, c.frame->length - c.payload.size());
    }
    const ssize_t n = ::recv(fd, buffer, want, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) return close_connection(fd);
    if (c.header.empty()) c.started = Clock::now();
    if (!c.frame) {
      c.header.append(buffer, static_cast<std::size_t>(n));
      if (c.header.size() < frame::HEADER_OCTETS) return;
      c.frame = frame::parse_header(c.header);
      if (!c.frame) return close_connection(fd);  // no frame of ours
    } else {
      const std::size_t before = over_allowance(c);
      c.payload.append(buffer, static_cast<std::size_t>(n));
      buffered += over_allowance(c) - before;
    }
    if (c.payload.size() < c.frame->length) return;
    buffered -= over_allowance(c);
    Job job{fd, *c.frame, std::move(c.payload)};
    c = Connection{};
    c.busy = true;
    {
      std::lock_guard lock(mutex);
      jobs.push_back(std::move(job));
    }
    work.notify_one();
  }

  // Takes back the connections the workers are done with.
  bool take_returned() {
    char drained[64];
    bool stop = false;
    for (ssize_t n; (n = ::read(wake_read, drained, sizeof drained)) > 0;) {
      for (ssize_t i = 0; i < n; ++i) stop = stop || drained[i] == kStop;
    }
    std::vector<std::pair<int, bool>> back;
    {
      std::lock_guard lock(mutex);
      back.swap(returned);
    }
    for (const auto& [fd, end] : back) {
      if (end) {
        close_connection(fd);
      } else {
        connections[fd].busy = false;
      }
    }
    return stop;
  }

  // Ends the connections whose frames are overdue; returns how long until
  // the next one is due, at most a second.
  std::chrono::milliseconds end_overdue() {
    const auto now = Clock::now();
    auto next = std::chrono::milliseconds(1000);
    std::vector<int> overdue;
    for (const auto& [fd, c] : connections) {
      if (c.busy || c.header.empty()) continue;  // no frame under way
      const auto due = c.started + limits.frame_time;
      if (due <= now) {
        overdue.push_back(fd);
      } else {
        next = std::min(next, std::chrono::ceil<std::chrono::milliseconds>(due - now));
      }
    }
    for (const int fd : overdue) close_connection(fd);
    return next;
  }

  void serve() {
    bool stop = false;
    auto wait = std::chrono::milliseconds(1000);
    while (!stop) {
      std::vector<pollfd> polled = {{wake_read, POLLIN, 0}};
      if (connections.size() < limits.max_connections) polled.push_back({listening, POLLIN, 0});
      const bool spent = buffered >= limits.buffer_budget;
      for (auto& [fd, c] : connections) {
        if (c.busy) continue;
        // Over its allowance while the budget is spent: not read for now.
        if (spent && c.frame && c.payload.size() >= limits.allowance) continue;
        polled.push_back({fd, POLLIN, 0});
      }
      const int ready = ::poll(polled.data(), polled.size(), static_cast<int>(wait.count()));
      if (ready < 0 && errno != EINTR) break;
      for (const pollfd& p : polled) {
        if (p.revents == 0) continue;
        if (p.fd == wake_read) {
          stop = take_returned() || stop;
        } else if (p.fd == listening) {
          accept_all();
        } else if (connections.count(p.fd) != 0) {
          read_from(p.fd);
        }
      }
      wait = end_overdue();
    }
    // Stop: nothing new is read; what was read is handled and answered.
    {
      std::lock_guard lock(mutex);
      stopping = true;
    }
    work.notify_all();
    for (std::thread& worker : workers) worker.join();
    workers.clear();
  }
};

lwk::Result<int, std::string> listen_at(const std::string& path, gid_t group) {
  if (!fits(path)) return lwk::unexpected(path + ": the path is too long for a socket");
  const sockaddr_un address = address_of(path);
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      return lwk::unexpected(path + " exists and is not a socket; it was left as it is");
    }
    if (someone_listens(path)) {
      return lwk::unexpected("another helper is already serving on " + path);
    }
    if (::unlink(path.c_str()) != 0) {
      return lwk::unexpected(path + ": " + lwk::IoError::last().message);
    }
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return lwk::unexpected("socket: " + lwk::IoError::last().message);
  auto fail = [&](const char* what) {
    const std::string message = path + ": " + what + ": " + lwk::IoError::last().message;
    ::close(fd);
    return lwk::unexpected(message);
  };
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return fail("bind");
  }
  // Owner, group and mode before listen(): until then nobody can connect.
  if (::lchown(path.c_str(), 0, group) != 0) return fail("chown");
  if (::chmod(path.c_str(), 0660) != 0) return fail("chmod");
  if (::listen(fd, 128) != 0) return fail("listen");
  return fd;
}

Server::Server(int listening, Handler handler, ServerLimits limits)
    : state_(std::make_unique<State>()) {
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) lwk::fatal("no pipe for the server's wake-ups");
  state_->listening = listening;
  state_->wake_read = wake[0];
  state_->wake_write = wake[1];
  state_->handler = std::move(handler);
  state_->limits = limits;
  set_nonblocking(listening);
}

Server::~Server() {
  for (auto& [fd, c] : state_->connections) ::close(fd);
  ::close(state_->listening);
  wake_for_stop = -1;
  ::close(state_->wake_read);
  ::close(state_->wake_write);
}

void Server::run() {
  wake_for_stop = state_->wake_write;
  for (std::size_t i = 0; i < state_->limits.workers; ++i) {
    state_->workers.emplace_back([this] { state_->work_loop(); });
  }
  state_->serve();
}

void Server::request_stop() {
  const int fd = wake_for_stop.load();
  if (fd >= 0) (void)!::write(fd, &kStop, 1);
}

}  // namespace hosts_transport
