#include "transport/server_linux.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <span>
#include <string_view>
#include <thread>
#include <vector>

#include "base/io_error.h"
#include "transport/frame.h"
#include "transport/peer_linux.h"

namespace hosts_transport {
namespace {

using Clock = std::chrono::steady_clock;

// The write end of the running server's wake pipe, for request_stop(), and
// the stop asked for, which a server that starts later sees too.
std::atomic<int> wake_for_stop{-1};
std::atomic<bool> stop_asked{false};
// The stop's watch: a pipe that holds an octet while a stop is asked for.
std::atomic<int> stop_watch_read{-1};
std::atomic<int> stop_watch_write{-1};

constexpr char kReturned = 'r';  // a worker gave a connection back
constexpr char kStop = 's';

// At most this many connections are accepted in one turn of the loop, so
// that a flood of them cannot keep the others from being served.
constexpr int kAcceptsPerTurn = 64;

// The two shares of the budget.
enum Share : std::size_t { kOthers = 0, kServed = 1 };

void set_nonblocking(int fd) { (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Whether something answers on the socket at `address`.
bool someone_listens(const sockaddr_un& address) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool answered =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return answered;
}

// A complete message read from a connection, on its way through a worker.
struct Job {
  int fd;
  Share share;
  uid_t uid;
  bool large;  // its payload is over the allowance
  frame::Header header;
  std::string payload;
  const Peer* peer;  // the connection's, which outlives the job
  std::optional<std::string> reply;
  std::size_t charged;  // its reply's octets beyond the allowance, counted in `replying`
};

// A message of a Unix-socket connection, for the handler. The reply is kept
// in the job, for the polling thread to send.
class FrameMessage final : public Message {
 public:
  explicit FrameMessage(Job& job) : job_(job) {}

  bool is_error() const override { return false; }  // errors end the connection unseen
  const identity::Caller* caller() const override {
    const std::optional<identity::Caller>& caller = job_.peer->caller();
    return caller ? &*caller : nullptr;
  }
  std::optional<std::string> payload() const override {
    if (job_.header.holds != frame::Holds::Data) return std::nullopt;
    return job_.payload;
  }
  bool wants_reply() const override { return job_.header.wants_reply; }
  void send_reply(std::string_view body) override { job_.reply = frame::reply_frame(body); }
  void send_not_now() override { job_.reply = frame::not_now_frame(); }

 private:
  Job& job_;
};

// What the polling thread knows of one connection. At any moment it is
// reading (idle, or a frame under way), busy (its message is with the
// workers), or replying (`out` holds the reply being sent).
struct Connection {
  Connection(Peer peer_, Share share_, Clock::time_point now)
      : peer(std::move(peer_)), share(share_), since(now) {}

  Peer peer;
  Share share;
  std::string header;  // the octets of the header read so far
  std::optional<frame::Header> frame;
  std::string payload;
  bool busy = false;
  std::string out;            // the reply, while it is being sent
  std::size_t sent = 0;       // octets of `out` sent
  Clock::time_point started;  // when the frame's first octet came
  Clock::time_point since;    // when it became idle, or its reply began
  std::size_t charged = 0;    // what it holds beyond the allowance, its
                              // buffers' unused room included
};

}  // namespace

std::size_t connection_bound(const ServerLimits& limits, std::size_t open_files) {
  const std::size_t usable =
      open_files > limits.reserved_descriptors ? open_files - limits.reserved_descriptors : 0;
  return std::min(limits.max_connections, usable / 2);
}

struct Server::State {
  int listening;
  int wake_read;
  int wake_write;
  Handler handler;
  Served served;
  ServerLimits limits;
  std::size_t max_connections;  // the bound, under the open-file limit

  // The polling thread's own.
  std::map<int, Connection> connections;
  std::size_t others = 0;  // connections of callers not served
  std::map<uid_t, std::size_t> others_of;
  std::array<std::size_t, 2> used{};  // charged octets of each share
  Clock::time_point listen_after{};

  std::mutex mutex;  // guards what follows
  std::condition_variable work;
  std::deque<Job> served_jobs;
  // The others' jobs by uid, and the uids with jobs waiting, in the order
  // their turns come.
  std::map<uid_t, std::deque<Job>> others_jobs;
  std::deque<uid_t> others_turns;
  std::array<std::size_t, 2> replying{};  // charged octets of the replies being sent
  std::array<bool, 2> large_in_hand{};
  Clock::time_point others_after{};  // when the next job of others may begin
  std::vector<Job> returned;
  bool stopping = false;

  std::vector<std::thread> workers;

  std::size_t share_of(Share s) const {
    const std::size_t served_share = std::min(limits.served_share, limits.buffer_budget);
    return s == kServed ? served_share : limits.buffer_budget - served_share;
  }

  // How far the buffer of the frame `c` reads may grow now: what is left of
  // its allowance, and of its share.
  std::size_t may_grow(const Connection& c) const {
    const std::size_t held = c.payload.capacity();
    const std::size_t free = held < limits.allowance ? limits.allowance - held : 0;
    const std::size_t room =
        used[c.share] < share_of(c.share) ? share_of(c.share) - used[c.share] : 0;
    return free + room;
  }

  // How many more octets of its frame `c` may be read now: what its buffer
  // has room for, and what the buffer may grow by.
  std::size_t may_take(const Connection& c) const {
    return c.payload.capacity() - c.payload.size() + may_grow(c);
  }

  std::size_t others_bound() const {
    return max_connections > limits.served_connections ? max_connections - limits.served_connections
                                                       : 0;
  }

  std::size_t beyond_allowance(std::size_t held) const {
    return held > limits.allowance ? held - limits.allowance : 0;
  }

  // Charges `c` for holding `held` octets.
  void charge(Connection& c, std::size_t held) { charge_beyond(c, beyond_allowance(held)); }

  // Charges `c` for holding `beyond` octets over its allowance.
  void charge_beyond(Connection& c, std::size_t beyond) {
    used[c.share] = used[c.share] - c.charged + beyond;
    c.charged = beyond;
  }

  // Gives back the budget of the reply `c` was sending.
  void end_reply(Connection& c) {
    if (c.out.empty()) return;
    {
      std::lock_guard lock(mutex);
      replying[c.share] -= c.charged;
    }
    work.notify_all();
    std::string().swap(c.out);
    c.sent = 0;
    charge(c, 0);
  }

  // REQUIRES: `fd` is not busy, for a job views its peer.
  void close_connection(int fd) {
    const auto at = connections.find(fd);
    Connection& c = at->second;
    end_reply(c);
    charge(c, 0);
    if (c.share == kOthers) {
      --others;
      if (--others_of[c.peer.uid()] == 0) others_of.erase(c.peer.uid());
    }
    connections.erase(at);
    ::close(fd);
  }

  // Whether the share `s` may begin a job now, and its first may be large:
  // a share's jobs wait while its replies fill it (one with no reply under
  // way always takes one job, however small), and its large ones go one at
  // a time. REQUIRES: `mutex` is held.
  bool may_begin(Share s, const Job& first) const {
    if (replying[s] != 0 && replying[s] >= share_of(s)) return false;
    return !(first.large && large_in_hand[s]);
  }

  // The next job a worker of `shares` may take, or nothing. Served callers
  // first. REQUIRES: `mutex` is held.
  std::optional<Job> next_job(std::span<const Share> shares) {
    for (const Share s : shares) {
      std::optional<Job> job = s == kServed ? next_served() : next_of_others();
      if (!job) continue;
      if (job->large) large_in_hand[s] = true;
      return job;
    }
    return std::nullopt;
  }

  std::optional<Job> next_served() {
    if (served_jobs.empty() || !may_begin(kServed, served_jobs.front())) return std::nullopt;
    Job job = std::move(served_jobs.front());
    served_jobs.pop_front();
    return job;
  }

  // The first job of the first uid whose turn has come and whose job may
  // begin; a uid with more waiting takes its next turn after the others'.
  // Once a stop is asked, the rate no longer holds: the jobs are then
  // answered unhandled, at once.
  std::optional<Job> next_of_others() {
    for (auto turn = others_turns.begin(); turn != others_turns.end(); ++turn) {
      const uid_t uid = *turn;
      std::deque<Job>& queued = others_jobs.at(uid);
      if (!may_begin(kOthers, queued.front())) continue;
      if (!stop_asked.load() && !others_may_begin()) return std::nullopt;
      Job job = std::move(queued.front());
      queued.pop_front();
      others_turns.erase(turn);
      if (queued.empty()) {
        others_jobs.erase(uid);
      } else {
        others_turns.push_back(uid);
      }
      return job;
    }
    return std::nullopt;
  }

  // Queues a job read from a connection. REQUIRES: `mutex` is held.
  void queue(Job job) {
    if (job.share == kServed) {
      served_jobs.push_back(std::move(job));
      return;
    }
    const uid_t uid = job.uid;
    std::deque<Job>& queued = others_jobs[uid];
    queued.push_back(std::move(job));
    if (queued.size() == 1) others_turns.push_back(uid);
  }

  // Whether a job of the others may begin now, and if so takes its place in
  // the rate. REQUIRES: `mutex` is held.
  bool others_may_begin() {
    if (limits.others_per_second == 0) return true;
    const Clock::time_point now = Clock::now();
    if (now < others_after) return false;
    others_after = std::max(now, others_after) +
                   std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) /
                       limits.others_per_second;
    return true;
  }

  // A worker's loop, taking the jobs of `shares` only.
  void work_loop(std::span<const Share> shares) {
    const bool takes_others = std::find(shares.begin(), shares.end(), kOthers) != shares.end();
    std::unique_lock lock(mutex);
    for (;;) {
      std::optional<Job> job = next_job(shares);
      if (!job) {
        if (stopping) return;  // nothing is busy any more
        if (takes_others && !others_turns.empty() && Clock::now() < others_after) {
          work.wait_until(lock, others_after);  // their rate's next place
        } else {
          work.wait(lock);
        }
        continue;
      }
      lock.unlock();
      {
        FrameMessage message(*job);
        if (job->share == kOthers && stop_asked.load()) {
          // A stop answers what was read, but the callers not served are
          // told to ask again, unhandled: a polkit decision each could hold
          // the stop for as long as a prompt may wait.
          if (message.wants_reply()) message.send_not_now();
        } else {
          handler(message);
        }
      }
      std::string().swap(job->payload);
      job->charged = job->reply ? beyond_allowance(job->reply->capacity()) : 0;
      lock.lock();
      if (job->large) large_in_hand[job->share] = false;
      // The reply counts in its share before this worker chooses its next
      // job: counted only once the polling thread takes it, a second large
      // reply could begin beside it.
      replying[job->share] += job->charged;
      returned.push_back(std::move(*job));
      work.notify_all();
      (void)!::write(wake_write, &kReturned, 1);
    }
  }

  // Takes a new connection in, or closes it when its caller may have no more.
  void admit(int fd) {
    std::optional<Peer> peer = Peer::of(fd);
    if (!peer || connections.size() >= max_connections) {
      ::close(fd);
      return;
    }
    const std::optional<identity::Caller>& caller = peer->caller();
    const Share share = caller && served(*caller) ? kServed : kOthers;
    if (share == kOthers) {
      const auto of = others_of.find(peer->uid());
      if (others >= others_bound() ||
          (of != others_of.end() && of->second >= limits.connections_per_uid)) {
        ::close(fd);
        return;
      }
      ++others;
      ++others_of[peer->uid()];
    }
    connections.try_emplace(fd, std::move(*peer), share, Clock::now());
  }

  void accept_some() {
    for (int i = 0; i < kAcceptsPerTurn; ++i) {
      const int fd = ::accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd >= 0) {
        admit(fd);
        continue;
      }
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        // The descriptor table is full: polled now, the socket would stay
        // ready and the loop would spin.
        listen_after = Clock::now() + limits.accept_pause;
      }
      return;
    }
  }

  // Reads what `fd` has; ends it on a fault of the frame or of the socket.
  void read_from(int fd) {
    Connection& c = connections.at(fd);
    char buffer[65536];
    std::size_t want = sizeof buffer;
    if (!c.frame) {
      want = frame::HEADER_OCTETS - c.header.size();
    } else {
      want = std::min({want, c.frame->length - c.payload.size(), may_take(c)});
      if (want == 0) return;
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
      take_in(c, std::string_view(buffer, static_cast<std::size_t>(n)));
    }
    if (c.payload.size() < c.frame->length) return;
    // Whole: to the workers. It stays charged until its reply has gone.
    Job job{fd,
            c.share,
            c.peer.uid(),
            c.payload.size() > limits.allowance,
            *c.frame,
            std::move(c.payload),
            &c.peer,
            std::nullopt,
            0};
    c.header.clear();
    c.frame.reset();
    c.payload = std::string();
    c.busy = true;
    {
      std::lock_guard lock(mutex);
      queue(std::move(job));
    }
    work.notify_all();  // the workers of its share may be any of them
  }

  // Appends `octets` to the frame `c` reads. REQUIRES: octets.size() <=
  // may_take(c). Its buffer grows by doubling, but never past the frame's
  // length nor past what its allowance and its share allow, and `c` is
  // charged for all the buffer holds: left to the string, the growth could
  // double what was charged.
  void take_in(Connection& c, std::string_view octets) {
    std::string& payload = c.payload;
    if (payload.size() + octets.size() > payload.capacity()) {
      const std::size_t to =
          std::min({std::max(payload.size() + octets.size(), 2 * payload.capacity()),
                    std::size_t{c.frame->length}, payload.capacity() + may_grow(c)});
      // A string reserved from empty takes what it is asked for (a few
      // dozen octets at the least); one that grows takes at least twice what
      // it had.
      std::string grown;
      grown.reserve(to);
      grown.append(payload);
      payload.swap(grown);
      charge(c, payload.capacity());
    }
    payload.append(octets);
  }

  // Sends what the reply of `fd` has left; ends the connection when the
  // peer is gone.
  void send_to(int fd) {
    Connection& c = connections.at(fd);
    while (c.sent < c.out.size()) {
      const ssize_t n =
          ::send(fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        c.sent += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;  // when it can take more
      return close_connection(fd);
    }
    end_reply(c);
    c.since = Clock::now();
  }

  // Takes back the messages the workers are done with; true when a stop
  // was asked for.
  bool take_returned() {
    char drained[64];
    bool stop = false;
    for (ssize_t n; (n = ::read(wake_read, drained, sizeof drained)) > 0;) {
      for (ssize_t i = 0; i < n; ++i) stop = stop || drained[i] == kStop;
    }
    std::vector<Job> back;
    {
      std::lock_guard lock(mutex);
      back.swap(returned);
    }
    const auto now = Clock::now();
    for (Job& job : back) {
      Connection& c = connections.at(job.fd);
      c.busy = false;
      c.since = now;
      if (!job.reply) {
        charge(c, 0);
        // One that wanted a reply and was given none, a caller the helper
        // could not check now, is ended: its caller learns at once that it
        // was not answered, and may ask again.
        if (job.header.wants_reply) close_connection(job.fd);
        continue;
      }
      c.out = std::move(*job.reply);
      // The worker counted this much in `replying`: end_reply gives back
      // exactly that.
      charge_beyond(c, job.charged);
      send_to(job.fd);
    }
    return stop;
  }

  // Ends the connections past their time: a frame overdue, a reply not
  // taken, an idle one. Returns how long until the next is due, at most a
  // second.
  std::chrono::milliseconds end_overdue() {
    const auto now = Clock::now();
    auto next = std::chrono::milliseconds(1000);
    std::vector<int> overdue;
    for (const auto& [fd, c] : connections) {
      if (c.busy) continue;
      const auto due = !c.out.empty()      ? c.since + limits.reply_timeout
                       : !c.header.empty() ? c.started + limits.frame_time
                                           : c.since + limits.idle_time;
      if (due <= now) {
        overdue.push_back(fd);
      } else {
        next = std::min(next, std::chrono::ceil<std::chrono::milliseconds>(due - now));
      }
    }
    for (const int fd : overdue) close_connection(fd);
    return next;
  }

  // Whether any message read is still to be handled or answered.
  bool owes_answers() const {
    for (const auto& [fd, c] : connections) {
      if (c.busy || !c.out.empty()) return true;
    }
    return false;
  }

  void serve() {
    bool stop = stop_asked.load();
    auto wait = std::chrono::milliseconds(1000);
    while (!stop || owes_answers()) {
      std::vector<pollfd> polled = {{wake_read, POLLIN, 0}};
      const auto now = Clock::now();
      if (!stop && now >= listen_after) polled.push_back({listening, POLLIN, 0});
      if (now < listen_after) {
        wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(listen_after - now));
      }
      for (auto& [fd, c] : connections) {
        if (c.busy) continue;
        if (!c.out.empty()) {
          polled.push_back({fd, POLLOUT, 0});
          continue;
        }
        if (stop) continue;  // nothing new is read
        // Over its allowance while its share is spent: not read for now.
        if (c.frame && may_take(c) == 0) continue;
        polled.push_back({fd, POLLIN, 0});
      }
      const int ready = ::poll(polled.data(), polled.size(), static_cast<int>(wait.count()));
      if (ready < 0 && errno != EINTR) break;
      for (const pollfd& p : polled) {
        if (p.revents == 0) continue;
        if (p.fd == wake_read) {
          stop = take_returned() || stop;
        } else if (p.fd == listening) {
          accept_some();
        } else if (const auto at = connections.find(p.fd);
                   at != connections.end() && !at->second.busy) {
          if (!at->second.out.empty()) {
            send_to(p.fd);
          } else {
            read_from(p.fd);
          }
        }
      }
      stop = stop || stop_asked.load();
      wait = end_overdue();
    }
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
  const auto fitted = frame::socket_address(path);
  if (!fitted) return lwk::unexpected(fitted.error());
  const sockaddr_un& address = *fitted;
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      return lwk::unexpected(path + " exists and is not a socket; it was left as it is");
    }
    if (someone_listens(address)) {
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
  // Every local user may connect; the caller check decides whom it serves.
  if (::lchown(path.c_str(), 0, group) != 0) return fail("chown");
  if (::chmod(path.c_str(), 0666) != 0) return fail("chmod");
  if (::listen(fd, 128) != 0) return fail("listen");
  return fd;
}

Server::Server(int listening, Handler handler, Served served, ServerLimits limits)
    : state_(std::make_unique<State>()) {
  (void)stop_watch();  // made before any stop can be asked while this one runs
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) lwk::fatal("no pipe for the server's wake-ups");
  state_->listening = listening;
  state_->wake_read = wake[0];
  state_->wake_write = wake[1];
  state_->handler = std::move(handler);
  state_->served = std::move(served);
  state_->limits = limits;
  rlimit files{};
  const std::size_t open_files = ::getrlimit(RLIMIT_NOFILE, &files) == 0
                                     ? static_cast<std::size_t>(files.rlim_cur)
                                     : std::size_t{1024};
  state_->max_connections = connection_bound(limits, open_files);
  set_nonblocking(listening);
}

Server::~Server() {
  for (auto& [fd, c] : state_->connections) ::close(fd);
  state_->connections.clear();
  ::close(state_->listening);
  wake_for_stop = -1;
  ::close(state_->wake_read);
  ::close(state_->wake_write);
}

void Server::run() {
  wake_for_stop = state_->wake_write;
  // The callers not served have workers of their own: however many requests
  // they send, and however long what they ask takes (a polkit prompt nobody
  // answers), they never hold the served callers'. Theirs keep the
  // service's priority, for a lower one could leave them holding the
  // journal's or the service's lock while busier work runs; their rate
  // bounds what they cost instead.
  static constexpr Share kBoth[] = {kServed, kOthers};
  static constexpr Share kServedOnly[] = {kServed};
  static constexpr Share kOthersOnly[] = {kOthers};
  const ServerLimits& limits = state_->limits;
  const bool others_apart = limits.others_workers > 0;
  for (std::size_t i = 0; i < std::max<std::size_t>(limits.served_workers, 1); ++i) {
    if (others_apart) {
      state_->workers.emplace_back([this] { state_->work_loop(kServedOnly); });
    } else {
      state_->workers.emplace_back([this] { state_->work_loop(kBoth); });
    }
  }
  for (std::size_t i = 0; i < limits.others_workers; ++i) {
    state_->workers.emplace_back([this] { state_->work_loop(kOthersOnly); });
  }
  state_->serve();
  // This stop is done with: neither flag nor watch stays for the next server.
  stop_asked = false;
  char drained[16];
  while (::read(stop_watch_read.load(), drained, sizeof drained) > 0) {
  }
}

void Server::request_stop() {
  stop_asked = true;
  for (const int fd : {wake_for_stop.load(), stop_watch_write.load()}) {
    if (fd >= 0) (void)!::write(fd, &kStop, 1);
  }
}

int Server::stop_watch() {
  static std::once_flag made;
  std::call_once(made, [] {
    int watch[2];
    if (::pipe2(watch, O_CLOEXEC | O_NONBLOCK) != 0) lwk::fatal("no pipe for the stop's watch");
    stop_watch_read = watch[0];
    stop_watch_write = watch[1];
    // A stop asked before the pipe was there is seen through it all the same.
    if (stop_asked.load()) (void)!::write(watch[1], &kStop, 1);
  });
  return stop_watch_read.load();
}

}  // namespace hosts_transport
