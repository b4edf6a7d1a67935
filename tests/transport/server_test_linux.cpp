// The Linux listener on its own, with an echoing handler and small limits:
// frames are answered in order, and connections that hold the buffer budget
// without finishing their frames cannot keep others out.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "support/temp_dir.h"
#include "transport/frame.h"
#include "transport/server_linux.h"

namespace {

namespace frame = hosts_transport::frame;

class Echo : public ::testing::Test {
 protected:
  void start(hosts_transport::ServerLimits limits) {
    auto listening = hosts_transport::listen_at(path_, ::getegid());
    ASSERT_TRUE(listening.has_value()) << listening.error();
    server_ = std::make_unique<hosts_transport::Server>(
        *listening,
        [](hosts_transport::Message& m) {
          if (m.wants_reply()) m.send_reply(m.payload().value_or("(none)"));
        },
        limits);
    thread_ = std::thread([this] { server_->run(); });
  }
  ~Echo() override {
    if (server_) {
      hosts_transport::Server::request_stop();
      thread_.join();
    }
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
  // The next reply's body, or nothing when the connection ended or stayed silent.
  static std::optional<std::string> reply(int fd) {
    const auto header = read_exactly(fd, frame::REPLY_HEADER_OCTETS);
    if (!header) return std::nullopt;
    return read_exactly(fd, frame::reply_length(*header));
  }

  lwk_test::TempDir dir_;
  std::string path_ = dir_ / "helper.sock";
  std::unique_ptr<hosts_transport::Server> server_;
  std::thread thread_;
};

TEST(ListenAt, APathTooLongForASocketIsRefused) {
  const std::string path = "/tmp/" + std::string(200, 'p') + ".sock";
  auto listening = hosts_transport::listen_at(path, ::getegid());
  ASSERT_FALSE(listening.has_value());
  EXPECT_EQ(listening.error(), path + ": the path is too long for a socket");
}

TEST_F(Echo, FramesAreAnsweredInOrder) {
  start({});
  const int fd = connect_to();
  send_all(fd, frame::message_frame("one", true) + frame::message_frame("", false) +
                   frame::message_frame("three", true));
  EXPECT_EQ(reply(fd), "one");
  EXPECT_EQ(reply(fd), "three");  // the second wanted no reply
  ::close(fd);
}

TEST_F(Echo, HoldersOfTheBudgetCannotKeepOthersOut) {
  hosts_transport::ServerLimits limits;
  limits.allowance = 100;
  limits.buffer_budget = 1000;
  limits.frame_time = std::chrono::milliseconds(300);
  start(limits);
  // Two connections announce large frames, send past their allowance, and stop.
  const int first = connect_to();
  const int second = connect_to();
  for (const int fd : {first, second}) {
    send_all(fd, frame::message_frame(std::string(5000, 'x'), true).substr(0, 700));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  // A third frame, over its allowance as well, still gets through once the
  // holders, overdue first, are ended.
  const int third = connect_to();
  const std::string payload(600, 'y');
  const std::string whole = frame::message_frame(payload, true);
  send_all(third, whole.substr(0, 300));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // read apart: throttled
  send_all(third, whole.substr(300));
  EXPECT_EQ(reply(third), payload);
  EXPECT_EQ(reply(first), std::nullopt);  // ended
  for (const int fd : {first, second, third}) ::close(fd);
}

}  // namespace
