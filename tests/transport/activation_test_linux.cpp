// The hand-over of a listening socket by the service manager: which values
// of LISTEN_PID and LISTEN_FDS mean a hand-off to this process, and which
// descriptors the helper accepts to serve on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "support/temp_dir.h"
#include "transport/activation_linux.h"

namespace {

namespace activation = hosts_transport::activation;
using std::nullopt;

TEST(PassedCount, ReadsOnlyAHandOffMeantForThisProcess) {
  constexpr pid_t self = 4242;
  struct Case {
    std::optional<std::string_view> pid;
    std::optional<std::string_view> fds;
    int count;  // -1: an error
  };
  const Case cases[] = {
      {nullopt, nullopt, 0},       // started by hand
      {nullopt, "1", 0},           // only LISTEN_FDS: not a hand-off
      {"4242", "1", 1},            // the usual
      {"4242", "0", 0},            //
      {"4242", "2", 2},            // counted here, refused by the caller
      {"4243", "1", 0},            // meant for another process
      {"1", "1", 0},               //
      {"4242", nullopt, -1},       // ours, with no count
      {"4242", "", -1},            //
      {"4242", "-1", -1},          //
      {"4242", "+1", -1},          //
      {"4242", " 1", -1},          //
      {"4242", "1 ", -1},          //
      {"4242", "01", -1},          //
      {"4242", "0x1", -1},         //
      {"4242", "2147483647", -1},  // no room for that many descriptors
      {"", "1", -1},               // LISTEN_PID is not a pid at all
      {"42x", "1", -1},            //
      {"004242", "1", -1},         //
      {"99999999999999999999", "1", -1},
  };
  for (const Case& c : cases) {
    const auto got = activation::passed_count(c.pid, c.fds, self);
    const std::string label =
        std::string(c.pid.value_or("(unset)")) + " / " + std::string(c.fds.value_or("(unset)"));
    if (c.count < 0) {
      EXPECT_FALSE(got.has_value()) << label;
    } else {
      ASSERT_TRUE(got.has_value()) << label << ": " << got.error();
      EXPECT_EQ(*got, c.count) << label;
    }
  }
}

// A Unix socket of `type` bound at `path`, listening if asked.
int unix_socket(int type, const std::string& path, bool listening) {
  const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return -1;
  if (listening && ::listen(fd, 4) != 0) return -1;
  return fd;
}

TEST(CheckListener, TakesOnlyAListeningUnixStreamSocketAtThePath) {
  lwk_test::TempDir dir;
  const std::string path = dir.path() + "/helper.sock";
  struct Case {
    const char* what;
    int fd;
    const char* says;  // nullptr: accepted
  };
  const int file = ::open((dir.path() + "/plain").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
  const int inet = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(::listen(inet, 1), 0);
  const Case cases[] = {
      {"a closed descriptor", 1000, "Bad file descriptor"},
      {"a file", file, "is not a socket"},
      {"an Internet socket", inet, "is not a Unix socket"},
      {"a datagram socket", unix_socket(SOCK_DGRAM, dir.path() + "/d.sock", false),
       "is not a stream socket"},
      {"not listening", unix_socket(SOCK_STREAM, dir.path() + "/n.sock", false),
       "is not listening"},
      {"elsewhere", unix_socket(SOCK_STREAM, dir.path() + "/other.sock", true),
       "other.sock\", not at "},
      {"an abstract name",
       [] {
         const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         std::memcpy(address.sun_path, "\0lwk-test", 9);
         const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 9);
         const bool ok = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), size) == 0 &&
                         ::listen(fd, 1) == 0;
         return ok ? fd : -1;
       }(),
       "bound at \"\", not at "},
      {"the helper's", unix_socket(SOCK_STREAM, path, true), nullptr},
  };
  for (const Case& c : cases) {
    ASSERT_NE(c.fd, -1) << c.what;
    const auto got = activation::check_listener(c.fd, path);
    if (c.says == nullptr) {
      EXPECT_TRUE(got.has_value()) << c.what << ": " << got.error();
    } else {
      ASSERT_FALSE(got.has_value()) << c.what;
      EXPECT_NE(got.error().find(c.says), std::string::npos) << c.what << ": " << got.error();
    }
    if (c.fd != 1000) ::close(c.fd);
  }
}

// A count other than one is refused at once, whatever its size, and no
// descriptor in the range it names is touched: 200000000 of them would take
// tens of seconds to mark close-on-exec one by one.
TEST(InheritedListener, AnyCountButOneIsRefusedBeforeADescriptorIsTouched) {
  const int open_fd = ::fcntl(STDIN_FILENO, F_DUPFD, activation::FIRST_PASSED_FD);  // no CLOEXEC
  ASSERT_GE(open_fd, activation::FIRST_PASSED_FD);
  for (const char* count : {"2", "200000000"}) {
    ASSERT_EQ(::setenv("LISTEN_PID", std::to_string(::getpid()).c_str(), 1), 0);
    ASSERT_EQ(::setenv("LISTEN_FDS", count, 1), 0);
    const auto got = activation::inherited_listener("/unused/helper.sock");
    ASSERT_FALSE(got.has_value()) << count;
    EXPECT_EQ(got.error(), std::string("the service manager handed over ") + count +
                               " descriptors; the helper serves on exactly one socket");
    EXPECT_EQ(std::getenv("LISTEN_PID"), nullptr);
    EXPECT_EQ(std::getenv("LISTEN_FDS"), nullptr);
    if (open_fd < activation::FIRST_PASSED_FD + std::atoi(count)) {
      EXPECT_EQ(::fcntl(open_fd, F_GETFD) & FD_CLOEXEC, 0) << count;
    }
  }
  ::close(open_fd);
}

}  // namespace
