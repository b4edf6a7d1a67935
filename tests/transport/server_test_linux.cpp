// The Linux listener on its own, with small limits and a handler that
// echoes, answers with a reply of a chosen size ("big:N"), or waits until
// the test lets it go ("hold"): frames are answered in order; the bounds on
// connections, idleness, the budget and replies hold; a full descriptor
// table pauses the listener; and a stop answers what was read.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <future>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/temp_dir.h"
#include "transport/frame.h"
#include "transport/server_linux.h"

namespace {

namespace frame = hosts_transport::frame;
using std::chrono::milliseconds;

// What reply() gives for the reply that says to ask again in a moment.
constexpr const char* kNotNow = "(not now)";

class Listener : public ::testing::Test {
 protected:
  void start(hosts_transport::ServerLimits limits) {
    auto listening = hosts_transport::listen_at(path_, ::getegid());
    ASSERT_TRUE(listening.has_value()) << listening.error();
    server_ = std::make_unique<hosts_transport::Server>(
        *listening, [this](hosts_transport::Message& m) { handle(m); },
        [this](const identity::Caller&) { return serve_next_.load(); }, limits);
    done_ = std::async(std::launch::async, [this] { server_->run(); });
  }
  ~Listener() override {
    release();
    if (server_) {
      // A server that has stopped already is not asked again: the stop would
      // stay asked for the next test's server.
      if (done_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        hosts_transport::Server::request_stop();
      }
      done_.wait();
    }
  }

  void handle(hosts_transport::Message& m) {
    ++handled_;
    const std::string payload = m.payload().value_or("(none)");
    {
      std::lock_guard lock(mutex_);
      order_.push_back(payload);
    }
    std::string reply = payload;
    if (payload == "hold") {
      std::unique_lock lock(mutex_);
      held_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return released_; });
      reply = "held";
    } else if (payload.starts_with("big:")) {
      reply.assign(std::stoul(payload.substr(4)), 'r');
    } else if (payload == "unanswered") {
      return;  // as the handler leaves a caller it could not check now
    }
    if (m.wants_reply()) m.send_reply(reply);
  }
  void wait_until_held() {
    std::unique_lock lock(mutex_);
    ASSERT_TRUE(changed_.wait_for(lock, std::chrono::seconds(5), [this] { return held_; }));
  }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

  // A connection made as `uid`: by a thread of its own whose effective uid
  // is `uid` while it connects, for the kernel records the credentials of
  // the thread that connects. REQUIRES: root, and a socket `uid` can reach.
  int connect_as(uid_t uid) const {
    int fd = -1;
    std::thread([&] {
      // The system call, not seteuid(), which glibc applies to every thread.
      if (::syscall(SYS_setresuid, -1, uid, -1) != 0) return;
      fd = connect_to();
      if (::syscall(SYS_setresuid, -1, 0, -1) != 0) std::abort();
    }).join();
    return fd;
  }

  int connect_to() const {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
    EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
  }
  static void send_all(int fd, const std::string& bytes) {
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  // Exactly `n` octets, or nothing when the connection ended or stayed silent.
  static std::optional<std::string> read_exactly(int fd, std::size_t n) {
    std::string got(n, '\0');
    for (std::size_t at = 0; at < n;) {
      const ssize_t r = ::recv(fd, got.data() + at, n - at, 0);
      if (r <= 0) return std::nullopt;
      at += static_cast<std::size_t>(r);
    }
    return got;
  }
  // The next reply's body, kNotNow for the reply that says to ask again, or
  // nothing when the connection ended or stayed silent.
  static std::optional<std::string> reply(int fd) {
    const auto header = read_exactly(fd, frame::REPLY_HEADER_OCTETS);
    if (!header) return std::nullopt;
    if (frame::reply_length(*header) == frame::NOT_NOW) return kNotNow;
    return read_exactly(fd, frame::reply_length(*header));
  }
  // Whether the helper ended `fd` (rather than leaving it silent).
  static bool ended(int fd) {
    char octet;
    return ::recv(fd, &octet, 1, 0) == 0;
  }
  // A connection, admitted as served or not: answered, or closed at once.
  // A refused connection may be closed before the frame is even sent.
  std::optional<int> admitted(bool served) {
    serve_next_ = served;
    const int fd = connect_to();
    const std::string ping = frame::message_frame("ping", true);
    if (::send(fd, ping.data(), ping.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(ping.size()) &&
        reply(fd) == "ping")
      return fd;
    ::close(fd);
    return std::nullopt;
  }

  lwk_test::TempDir dir_;
  std::string path_ = dir_ / "helper.sock";
  std::unique_ptr<hosts_transport::Server> server_;
  std::future<void> done_;
  std::atomic<bool> serve_next_{false};
  std::atomic<int> handled_{0};     // messages the handler began
  std::vector<std::string> order_;  // their payloads, in the order begun; guarded by mutex_
  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  bool released_ = false;
};

TEST(ListenAt, APathTooLongForASocketIsRefused) {
  const std::string path = "/tmp/" + std::string(200, 'p') + ".sock";
  auto listening = hosts_transport::listen_at(path, ::getegid());
  ASSERT_FALSE(listening.has_value());
  EXPECT_EQ(listening.error(), path + ": the path is too long for a socket");
}

TEST(ConnectionBound, TwoDescriptorsAConnectionBelowTheOpenFileLimit) {
  const hosts_transport::ServerLimits limits;  // 1024 connections, 64 descriptors kept
  const struct {
    std::size_t open_files, bound;
  } cases[] = {{1u << 20, 1024}, {2112, 1024}, {2111, 1023}, {1024, 480}, {66, 1}, {64, 0}, {0, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(hosts_transport::connection_bound(limits, c.open_files), c.bound) << c.open_files;
  }
}

// In order; and a message that wanted a reply and was given none ends its
// connection, so that its caller learns at once it was not answered.
TEST_F(Listener, FramesAreAnsweredInOrderAndOneLeftUnansweredEndsItsConnection) {
  start({});
  const int fd = connect_to();
  send_all(fd, frame::message_frame("one", true) + frame::message_frame("", false) +
                   frame::message_frame("three", true) + frame::message_frame("unanswered", true));
  EXPECT_EQ(reply(fd), "one");
  EXPECT_EQ(reply(fd), "three");  // the second wanted no reply
  EXPECT_TRUE(ended(fd));
  ::close(fd);
}

TEST_F(Listener, ConnectionsAreBoundedInAllPerUidAndForServedCallers) {
  hosts_transport::ServerLimits limits;
  limits.max_connections = 6;
  limits.served_connections = 2;
  limits.connections_per_uid = 3;
  start(limits);
  // Not served, one uid: three of them, exactly.
  std::vector<int> open;
  for (int i = 0; i < 3; ++i) {
    const auto fd = admitted(false);
    ASSERT_TRUE(fd.has_value()) << i;
    open.push_back(*fd);
  }
  EXPECT_FALSE(admitted(false).has_value());
  // Served callers take the rest, up to the bound in all.
  for (int i = 0; i < 3; ++i) {
    const auto fd = admitted(true);
    ASSERT_TRUE(fd.has_value()) << i;
    open.push_back(*fd);
  }
  EXPECT_FALSE(admitted(true).has_value());
  // One gone: room for one more.
  ::close(open.back());
  open.pop_back();
  std::this_thread::sleep_for(milliseconds(100));
  const auto again = admitted(true);
  EXPECT_TRUE(again.has_value());
  if (again) open.push_back(*again);
  for (const int fd : open) ::close(fd);
}

TEST_F(Listener, OthersNeverTakeTheServedCallersConnections) {
  hosts_transport::ServerLimits limits;
  limits.max_connections = 6;
  limits.served_connections = 2;
  limits.connections_per_uid = 100;
  start(limits);
  std::vector<int> open;
  for (int i = 0; i < 4; ++i) {
    const auto fd = admitted(false);
    ASSERT_TRUE(fd.has_value()) << i;
    open.push_back(*fd);
  }
  EXPECT_FALSE(admitted(false).has_value());
  const auto served = admitted(true);
  EXPECT_TRUE(served.has_value());
  if (served) open.push_back(*served);
  for (const int fd : open) ::close(fd);
}

TEST_F(Listener, IdleConnectionsAreEndedButFramesUnderWayAreNot) {
  hosts_transport::ServerLimits limits;
  limits.idle_time = milliseconds(200);
  limits.frame_time = milliseconds(3000);
  start(limits);
  const int silent = connect_to();
  const int answered = connect_to();
  const int slow = connect_to();
  send_all(answered, frame::message_frame("a", true));
  EXPECT_EQ(reply(answered), "a");
  const std::string whole = frame::message_frame("slow", true);
  send_all(slow, whole.substr(0, 3));
  std::this_thread::sleep_for(milliseconds(500));
  send_all(slow, whole.substr(3));
  EXPECT_EQ(reply(slow), "slow");
  EXPECT_TRUE(ended(silent));
  EXPECT_TRUE(ended(answered));
  for (const int fd : {silent, answered, slow}) ::close(fd);
}

TEST_F(Listener, HoldersOfTheBudgetCannotKeepOthersOut) {
  hosts_transport::ServerLimits limits;
  limits.allowance = 100;
  limits.buffer_budget = 1000;
  limits.served_share = 0;
  limits.frame_time = milliseconds(300);
  start(limits);
  // Two connections announce large frames, send past their allowance, and stop.
  const int first = connect_to();
  const int second = connect_to();
  for (const int fd : {first, second}) {
    send_all(fd, frame::message_frame(std::string(5000, 'x'), true).substr(0, 700));
  }
  std::this_thread::sleep_for(milliseconds(100));
  // A third frame, over its allowance as well, still gets through once the
  // holders, overdue first, are ended.
  const int third = connect_to();
  const std::string payload(600, 'y');
  const std::string whole = frame::message_frame(payload, true);
  send_all(third, whole.substr(0, 300));
  std::this_thread::sleep_for(milliseconds(50));  // read apart: throttled
  send_all(third, whole.substr(300));
  EXPECT_EQ(reply(third), payload);
  EXPECT_EQ(reply(first), std::nullopt);  // ended
  // Long after, the octets of the ended and the answered frames are back in
  // the budget: a frame of the whole budget's size goes through.
  const std::string most(1000, 'z');
  send_all(third, frame::message_frame(most, true));
  EXPECT_EQ(reply(third), most);
  for (const int fd : {first, second, third}) ::close(fd);
}

TEST_F(Listener, FramesWaitingForAWorkerStayInTheBudget) {
  hosts_transport::ServerLimits limits;
  limits.served_workers = 1;
  limits.others_workers = 0;
  limits.allowance = 100;
  limits.buffer_budget = 1000;
  limits.served_share = 0;
  limits.frame_time = milliseconds(300);
  start(limits);
  const int holder = connect_to();
  send_all(holder, frame::message_frame("hold", true));
  wait_until_held();
  // Each frame is 500 octets over its allowance: two fill the budget, and
  // the rest cannot be read past their allowances while those wait.
  std::vector<int> senders;
  for (int i = 0; i < 4; ++i) {
    senders.push_back(connect_to());
    send_all(senders.back(), frame::message_frame(std::string(600, 'a' + i), true));
  }
  std::this_thread::sleep_for(milliseconds(600));  // past their frame time
  release();
  EXPECT_EQ(reply(holder), "held");
  int answered = 0;
  for (const int fd : senders) answered += reply(fd).has_value() ? 1 : 0;
  EXPECT_EQ(answered, 2);
  for (const int fd : senders) ::close(fd);
  ::close(holder);
}

TEST_F(Listener, ARepliesNobodyReadsHoldsNoWorker) {
  hosts_transport::ServerLimits limits;
  limits.served_workers = 1;
  limits.others_workers = 0;
  limits.served_share = 0;
  limits.reply_timeout = milliseconds(2000);
  start(limits);
  const int deaf = connect_to();
  send_all(deaf, frame::message_frame("big:8000000", true));  // never read in time
  std::this_thread::sleep_for(milliseconds(100));
  const int other = connect_to();
  timeval sooner{1, 0};  // well before the deaf one's reply times out
  ::setsockopt(other, SOL_SOCKET, SO_RCVTIMEO, &sooner, sizeof sooner);
  send_all(other, frame::message_frame("ping", true));
  EXPECT_EQ(reply(other), "ping");
  // Not taken within its time: the connection is ended, the reply cut short.
  std::this_thread::sleep_for(milliseconds(2200));
  EXPECT_EQ(reply(deaf), std::nullopt);
  ::close(deaf);
  ::close(other);
}

TEST_F(Listener, ServedCallersAreNotStarvedByOthers) {
  hosts_transport::ServerLimits limits;
  limits.allowance = 100;
  limits.buffer_budget = 2000;
  limits.served_share = 1000;
  limits.frame_time = std::chrono::seconds(30);
  start(limits);
  // Others announce large frames and hold their whole share.
  std::vector<int> holders;
  for (int i = 0; i < 3; ++i) {
    holders.push_back(connect_to());
    send_all(holders.back(), frame::message_frame(std::string(5000, 'x'), true).substr(0, 900));
  }
  std::this_thread::sleep_for(milliseconds(100));
  serve_next_ = true;
  const int served = connect_to();
  const std::string payload(900, 's');
  send_all(served, frame::message_frame(payload, true));
  EXPECT_EQ(reply(served), payload);
  for (const int fd : holders) ::close(fd);
  ::close(served);
}

// A reply counts in its share from the moment its handling ends: two
// messages answered far beyond the share never have their replies held at
// once, so the second is handled only once the first one's reply was taken,
// or ended unread.
struct ReplyCase {
  const char* name;
  std::size_t workers;
  bool served;
  bool first_reads;  // or leaves its reply to time out
};
void PrintTo(const ReplyCase& c, std::ostream* out) { *out << c.name; }

class ReplyListener : public Listener, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyListener, AReplyCountsInItsShareBeforeTheNextMessageBegins) {
  const ReplyCase& c = GetParam();
  constexpr std::size_t kReply = 4000000;  // far more than a socket buffers
  hosts_transport::ServerLimits limits;
  limits.served_workers = 1;
  limits.others_workers = c.workers - 1;
  limits.others_per_second = 0;  // the others' rate would space the two apart
  limits.allowance = 100;
  limits.buffer_budget = 1000;
  limits.served_share = c.served ? 1000 : 0;
  limits.reply_timeout = c.first_reads ? std::chrono::seconds(30) : std::chrono::seconds(3);
  serve_next_ = c.served;
  start(limits);
  // Both messages are read while the worker of their share is held, so that
  // it chooses the second the moment it is done with the first.
  const int holder = connect_to();
  send_all(holder, frame::message_frame("hold", true));
  wait_until_held();
  const int one = connect_to();
  const int two = connect_to();
  for (const int fd : {one, two}) {
    send_all(fd, frame::message_frame("big:" + std::to_string(kReply), true));
    std::this_thread::sleep_for(milliseconds(300));  // read, and queued
  }
  release();
  EXPECT_EQ(reply(holder), "held");
  // Whichever was handled first begins to be answered.
  pollfd ready[] = {{one, POLLIN, 0}, {two, POLLIN, 0}};
  ASSERT_GT(::poll(ready, 2, 10000), 0);
  const int first = (ready[0].revents & POLLIN) != 0 ? one : two;
  const int second = first == one ? two : one;
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_EQ(handled_.load(), 2);  // the holder's and the first: the second waits
  timeval patient{30, 0};
  ::setsockopt(second, SOL_SOCKET, SO_RCVTIMEO, &patient, sizeof patient);
  if (c.first_reads) {
    const auto taken = reply(first);
    ASSERT_TRUE(taken.has_value());
    EXPECT_EQ(taken->size(), kReply);
    const auto next = reply(second);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->size(), kReply);
  } else {
    const auto next = reply(second);  // once the first was ended
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->size(), kReply);
    EXPECT_FALSE(reply(first).has_value());  // cut short
  }
  EXPECT_EQ(handled_.load(), 3);
  for (const int fd : {holder, one, two}) ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(Listener, ReplyListener,
                         ::testing::Values(ReplyCase{"OthersOneWorkerFirstReads", 1, false, true},
                                           ReplyCase{"ServedWorkerFirstTimesOut", 2, true, false}),
                         [](const ::testing::TestParamInfo<ReplyCase>& info) {
                           return std::string(info.param.name);
                         });

// Over many messages over the allowance, answered beyond it, with no reply
// or with an empty one, every charge is given back: after each round, a
// frame of the whole share, from another connection of the same share while
// this one stays open, still goes through.
TEST_F(Listener, TheBudgetComesBackOverALongRun) {
  hosts_transport::ServerLimits limits;
  limits.allowance = 100;
  limits.buffer_budget = 1000;
  limits.served_share = 1000;
  limits.frame_time = std::chrono::seconds(3);
  serve_next_ = true;
  start(limits);
  const int fd = connect_to();
  const int probe = connect_to();
  const std::string pad(200, 'p');
  const struct {
    std::string frame;
    std::optional<std::string> answer;
  } kinds[] = {
      {frame::message_frame("big:600;" + pad, true), std::string(600, 'r')},
      {frame::message_frame(std::string(500, 'n'), false), std::nullopt},
      {frame::message_frame("big:0;" + pad, true), std::string()},
  };
  const std::string whole(1000, 'z');
  for (int round = 0; round < 50; ++round) {
    // Each kind comes last in a third of the rounds, so that the
    // connection sits idle after each.
    std::string frames;
    std::vector<std::string> answers;
    for (int k = 0; k < 3; ++k) {
      const auto& kind = kinds[(round + k) % 3];
      frames += kind.frame;
      if (kind.answer) answers.push_back(*kind.answer);
    }
    send_all(fd, frames);
    for (const std::string& answer : answers) ASSERT_EQ(reply(fd), answer) << round;
    send_all(probe, frame::message_frame(whole, true));
    ASSERT_EQ(reply(probe), whole) << round;
  }
  EXPECT_EQ(handled_.load(), 50 * 4);
  for (const int c : {fd, probe}) ::close(c);
}

// After accept4 found the descriptor table full, the listening socket is
// left alone for a moment rather than polled at once, which would spin; once
// descriptors are free, the waiting caller is served. Meanwhile a message of
// a connection accepted before is handled with the caller taken when it was
// accepted: looked up again now, it could not be had. Run in a child of its
// own, for it fills the child's descriptor table.
TEST_F(Listener, AFullDescriptorTablePausesTheListenerInsteadOfSpinning) {
  enum Outcome { kServed = 0, kNoSetUp = 10, kNotFull, kNoConnect, kSpun, kNotServed, kNoCaller };
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::alarm(60);  // a child that hangs ends
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = std::min<rlim_t>(64, files.rlim_max);
    if (::setrlimit(RLIMIT_NOFILE, &files) != 0) ::_exit(kNoSetUp);
    auto listening = hosts_transport::listen_at(path_, ::getegid());
    if (!listening) ::_exit(kNoSetUp);
    hosts_transport::ServerLimits limits;
    limits.reserved_descriptors = 0;
    limits.max_connections = 4;
    limits.served_workers = 1;
    limits.others_workers = 0;
    limits.idle_time = std::chrono::seconds(60);
    limits.accept_pause = milliseconds(100);
    hosts_transport::Server server(
        *listening,
        [](hosts_transport::Message& m) {
          std::string body = m.payload().value_or("");
          if (body == "who") {
            body = m.caller() != nullptr ? "pid " + std::to_string(m.caller()->pid) : "nobody";
          }
          if (m.wants_reply()) m.send_reply(body);
        },
        [](const identity::Caller&) { return true; }, limits);
    std::thread serving([&server] { server.run(); });
    const auto address = frame::socket_address(path_);
    if (!address) ::_exit(kNoSetUp);
    const auto answered = [](int fd) {
      timeval limit{20, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
      const std::string ping = frame::message_frame("ping", true);
      return ::send(fd, ping.data(), ping.size(), MSG_NOSIGNAL) ==
                 static_cast<ssize_t>(ping.size()) &&
             reply(fd) == "ping";
    };
    // One caller served first, and left open: the server and its worker are
    // under way before the table fills (the sanitizers' checks want
    // descriptors of their own the first time they meet a type).
    const int early = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (early < 0 ||
        ::connect(early, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
        !answered(early)) {
      ::_exit(kNoSetUp);
    }
    const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (client < 0) ::_exit(kNoSetUp);
    std::vector<int> filler;
    for (int fd; (fd = ::dup(client)) >= 0;) filler.push_back(fd);
    if (errno != EMFILE) ::_exit(kNotFull);
    // Connected, it waits in the backlog: the helper has no descriptor for it.
    if (::connect(client, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
      ::_exit(kNoConnect);
    }
    const std::string who = frame::message_frame("who", true);
    if (::send(early, who.data(), who.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(who.size()) ||
        reply(early) != "pid " + std::to_string(::getpid())) {
      ::_exit(kNoCaller);
    }
    const auto cpu = [] {
      timespec t{};
      ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
      return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
    };
    const auto before = cpu();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    // A loop that spins takes most of a core; pausing, it takes next to nothing.
    const bool spun = cpu() - before > milliseconds(250);
    for (const int fd : filler) ::close(fd);
    const bool served = answered(client);
    hosts_transport::Server::request_stop();
    serving.join();
    ::_exit(spun ? kSpun : served ? kServed : kNotServed);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), kServed)
      << "10: no set-up, 11: table not filled, 12: no connect, 13: the loop spun, 14: not served, "
         "15: the caller taken at accept was not the message's";
}

// Callers not served have workers of their own (one of two here): what
// those hold keeps their next message waiting, never a served caller's.
TEST_F(Listener, OthersHaveWorkersOfTheirOwn) {
  hosts_transport::ServerLimits limits;
  limits.served_workers = 1;
  limits.others_workers = 1;
  start(limits);
  const int held = connect_to();
  send_all(held, frame::message_frame("hold", true));
  wait_until_held();
  const int waiting = connect_to();
  send_all(waiting, frame::message_frame("next", true));
  std::this_thread::sleep_for(milliseconds(200));  // taken in, as a caller not served
  serve_next_ = true;
  const int served = connect_to();
  send_all(served, frame::message_frame("served", true));
  EXPECT_EQ(reply(served), "served");
  timeval brief{0, 200000};
  ::setsockopt(waiting, SOL_SOCKET, SO_RCVTIMEO, &brief, sizeof brief);
  EXPECT_EQ(reply(waiting), std::nullopt);  // behind the held one
  release();
  EXPECT_EQ(reply(held), "held");
  timeval patient{5, 0};
  ::setsockopt(waiting, SOL_SOCKET, SO_RCVTIMEO, &patient, sizeof patient);
  EXPECT_EQ(reply(waiting), "next");
  for (const int fd : {held, waiting, served}) ::close(fd);
}

// The callers not served take turns by uid: one uid's flood of messages,
// queued first, keeps another uid's message waiting for one turn at most.
TEST_F(Listener, TheOthersTakeTurnsByUid) {
  if (::geteuid() != 0) GTEST_SKIP() << "connecting as other uids needs root";
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);  // for the other uids to reach the socket
  hosts_transport::ServerLimits limits;
  limits.served_workers = 1;
  limits.others_workers = 1;
  limits.others_per_second = 50;
  start(limits);
  const int held = connect_as(4321);
  send_all(held, frame::message_frame("hold", true));
  wait_until_held();
  std::vector<int> flood;
  for (int i = 0; i < 12; ++i) {
    flood.push_back(connect_as(4321));
    send_all(flood.back(), frame::message_frame("flood", true));
  }
  std::this_thread::sleep_for(milliseconds(200));  // all read and queued
  const int other = connect_as(4322);
  send_all(other, frame::message_frame("other", true));
  std::this_thread::sleep_for(milliseconds(200));
  release();
  EXPECT_EQ(reply(other), "other");
  for (const int fd : flood) EXPECT_EQ(reply(fd), "flood");
  std::lock_guard lock(mutex_);
  const auto at = std::find(order_.begin(), order_.end(), "other") - order_.begin();
  EXPECT_LE(at, 2) << "behind " << at - 1 << " of the flood";
  for (const int fd : flood) ::close(fd);
  for (const int fd : {held, other}) ::close(fd);
}

// The messages of callers not served begin at most `others_per_second` a
// second, however many are ready; a served caller's go at once.
TEST_F(Listener, OthersAreTakenUpAtABoundedRate) {
  hosts_transport::ServerLimits limits;
  limits.others_per_second = 10;
  start(limits);
  std::vector<int> others;
  const auto began = std::chrono::steady_clock::now();
  for (int i = 0; i < 6; ++i) {
    others.push_back(connect_to());
    send_all(others.back(), frame::message_frame("o", true));
  }
  for (const int fd : others) EXPECT_EQ(reply(fd), "o");
  // Six at ten a second: the last begins half a second after the first.
  EXPECT_GE(std::chrono::steady_clock::now() - began, milliseconds(500));
  for (const int fd : others) ::close(fd);
}

// A stop answers every message already read: the one a worker holds, and
// the one queued behind it, which a served caller's worker handles and the
// others' tell to ask again, unhandled (each could otherwise hold the stop
// as long as a polkit prompt may wait).
struct StopCase {
  const char* name;
  std::size_t workers;
  bool served;
  const char* queued_reply;
};
void PrintTo(const StopCase& c, std::ostream* out) { *out << c.name; }

class StopListener : public Listener, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopListener, AStopAnswersWhatWasRead) {
  const StopCase& c = GetParam();
  hosts_transport::ServerLimits limits;
  limits.served_workers = 1;  // and one for the others with two
  limits.others_workers = c.workers - 1;
  serve_next_ = c.served;
  start(limits);
  const int held = connect_to();
  send_all(held, frame::message_frame("hold", true));
  wait_until_held();
  const int queued = connect_to();
  send_all(queued, frame::message_frame("queued", true));
  std::this_thread::sleep_for(milliseconds(500));  // read, and waiting for the held worker
  hosts_transport::Server::request_stop();
  std::this_thread::sleep_for(milliseconds(100));
  release();
  EXPECT_EQ(reply(held), "held");
  EXPECT_EQ(reply(queued), c.queued_reply);
  EXPECT_EQ(done_.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(handled_.load(), c.served ? 2 : 1);
  for (const int fd : {held, queued}) ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(Listener, StopListener,
                         ::testing::Values(StopCase{"OneWorkerServed", 1, true, "queued"},
                                           StopCase{"OneWorkerOthers", 1, false, kNotNow},
                                           StopCase{"ServedWorker", 2, true, "queued"},
                                           StopCase{"OthersWorker", 2, false, kNotNow}),
                         [](const ::testing::TestParamInfo<StopCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(Listener, AStopAskedBeforeTheServerRunsIsNotLost) {
  hosts_transport::Server::request_stop();  // a SIGTERM during start-up
  start({});
  EXPECT_EQ(done_.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

}  // namespace
