// The client's exchange with the helper over a Unix socket, against
// listeners of the test's own in a scratch directory: every way the other end
// can fail ends within the limits given, with a sentence naming the socket.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "client/helper_link_linux.h"
#include "support/temp_dir.h"
#include "transport/frame.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace frame = hosts_transport::frame;

constexpr lantern_wharf::Deadlines kLimits{200ms, 300ms};

// Reads `n` octets from the blocking `fd`, fewer if the connection ends.
std::string read_n(int fd, std::size_t n) {
  std::string out;
  char buffer[65536];
  while (out.size() < n) {
    const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, n - out.size()));
    if (got <= 0) break;
    out.append(buffer, static_cast<std::size_t>(got));
  }
  return out;
}

// Reads one whole message frame, as the helper does before it answers.
void read_request(int fd) {
  const std::string header = read_n(fd, frame::HEADER_OCTETS);
  if (header.size() == frame::HEADER_OCTETS)
    (void)read_n(fd, frame::reply_length(header.substr(1)));
}

void write_n(int fd, const std::string& bytes) {
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

// What the listener does with the one connection it accepts; the connection
// stays open until the exchange is over, unless `serve` closes it (returning
// true).
using Serve = std::function<bool(int connection)>;

// What is at the socket's path.
enum class Where {
  Listening,  // a listener
  FullQueue,  // a listener whose queue of connections is full
  Nothing,    // no socket
  TooLong,    // nothing, at a path too long for a socket
};

struct Case {
  std::string name;
  Where where;
  Serve serve;  // nullptr: never accept
  std::size_t request_octets;
  lantern_wharf::Reply reply;  // what the exchange gives, when `error` is empty
  std::string error;           // the sentence, with PATH for the socket's path
};

std::string with_path(std::string sentence, const std::string& path) {
  const auto at = sentence.find("PATH");
  return at == std::string::npos ? sentence : sentence.replace(at, 4, path);
}

TEST(HelperLink, EveryEndOfTheExchangeIsBoundedAndNamed) {
  const Serve answer_abc = [](int fd) {
    read_request(fd);
    write_n(fd, frame::reply_frame("abc"));
    return false;
  };
  const Serve refuse = [](int fd) {
    read_request(fd);
    write_n(fd, frame::reply_frame(""));
    return false;
  };
  const Serve not_now = [](int fd) {
    read_request(fd);
    write_n(fd, frame::not_now_frame());
    return false;
  };
  const Serve close_at_once = [](int fd) {
    read_request(fd);
    ::close(fd);
    return true;
  };
  const Serve half_a_reply = [](int fd) {
    read_request(fd);
    write_n(fd, frame::reply_frame("abcdef").substr(0, 6));
    ::close(fd);
    return true;
  };
  const Serve silent = [](int fd) {
    read_request(fd);
    return false;
  };
  const Serve reads_nothing = [](int) { return false; };
  const std::string ended = "the helper at PATH ended the connection without an answer";
  const std::string no_answer = "the helper at PATH did not answer within 300 ms";
  using Kind = lantern_wharf::Reply::Kind;
  const lantern_wharf::Reply none;
  const std::vector<Case> cases = {
      {"an answer", Where::Listening, answer_abc, 3, {Kind::Response, "abc"}, ""},
      {"a refusal", Where::Listening, refuse, 3, {Kind::NotServed, ""}, ""},
      {"not now", Where::Listening, not_now, 3, {Kind::NotNow, ""}, ""},
      {"closed without a word", Where::Listening, close_at_once, 3, none, ended},
      {"closed within the reply", Where::Listening, half_a_reply, 3, none, ended},
      {"accepted, never answered", Where::Listening, silent, 3, none, no_answer},
      {"accepted, the request never read", Where::Listening, reads_nothing, frame::MAX_PAYLOAD,
       none, no_answer},
      {"the queue of connections full", Where::FullQueue, nullptr, 3, none,
       "the helper at PATH did not accept the connection within 200 ms"},
      {"no socket", Where::Nothing, nullptr, 3, none,
       "cannot reach the helper at PATH: No such file or directory (os error 2)"},
      {"a path too long", Where::TooLong, nullptr, 3, none,
       "PATH: the path is too long for a socket"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lwk_test::TempDir dir;
    std::string path = dir / "helper.sock";
    if (c.where == Where::TooLong) path += std::string(sizeof(sockaddr_un::sun_path), 'x');
    const bool fill_backlog = c.where == Where::FullQueue;
    std::vector<int> held;  // the listener and the queued connections
    if (c.where == Where::Listening || fill_backlog) {
      const auto address = frame::socket_address(path);
      ASSERT_TRUE(address.has_value());
      const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      ASSERT_GE(listener, 0);
      held.push_back(listener);
      const auto* at = reinterpret_cast<const sockaddr*>(&*address);
      ASSERT_EQ(::bind(listener, at, sizeof *address), 0);
      ASSERT_EQ(::listen(listener, fill_backlog ? 0 : 8), 0);
      while (fill_backlog) {
        const int filler = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ASSERT_GE(filler, 0);
        held.push_back(filler);
        if (::connect(filler, at, sizeof *address) != 0) {
          ASSERT_EQ(errno, EAGAIN);
          break;
        }
        ASSERT_LT(held.size(), 64u) << "the queue never filled";
      }
    }
    std::promise<void> over;
    std::thread listener_side;
    if (c.serve) {
      listener_side = std::thread([&c, listener = held[0], done = over.get_future()] {
        pollfd in{listener, POLLIN, 0};
        if (::poll(&in, 1, 5000) != 1) return;
        const int connection = ::accept(listener, nullptr, nullptr);
        if (connection < 0) return;
        const bool closed = c.serve(connection);
        done.wait();
        if (!closed) ::close(connection);
      });
    }
    const auto start = Clock::now();
    const auto result =
        lantern_wharf::exchange_with(path, std::string(c.request_octets, 'r'), kLimits);
    const auto took = Clock::now() - start;
    over.set_value();
    if (listener_side.joinable()) listener_side.join();
    for (int fd : held) ::close(fd);

    EXPECT_LT(took, kLimits.answer + 500ms);
    if (c.error.empty()) {
      ASSERT_TRUE(result.has_value()) << result.error();
      EXPECT_EQ(*result, c.reply);
    } else {
      ASSERT_FALSE(result.has_value()) << result->response;
      EXPECT_EQ(result.error(), with_path(c.error, path));
    }
    // A limit that was reached was waited for in full.
    if (c.error.find("within 200 ms") != std::string::npos) {
      EXPECT_GE(took, kLimits.connect);
    }
    if (c.error.find("within 300 ms") != std::string::npos) {
      EXPECT_GE(took, kLimits.answer);
    }
  }
}

}  // namespace
