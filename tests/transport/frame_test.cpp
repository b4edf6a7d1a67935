#include "transport/frame.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "support/temp_dir.h"

namespace {

namespace frame = hosts_transport::frame;

std::string header(int kind, std::uint32_t length) {
  std::string out(1, static_cast<char>(kind));
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(length >> shift));
  return out;
}

TEST(Frame, Headers) {
  struct Case {
    int kind;
    std::uint32_t length;
    bool valid;
    frame::Holds holds;
    bool wants_reply;
  };
  const Case cases[] = {
      {0x00, 0, true, frame::Holds::Nothing, true},
      {0x01, 3, true, frame::Holds::Data, true},
      {0x02, 0, true, frame::Holds::OtherValue, true},
      {0x80, 0, true, frame::Holds::Nothing, false},
      {0x81, frame::MAX_PAYLOAD, true, frame::Holds::Data, false},
      {0x82, 7, true, frame::Holds::OtherValue, false},
      {0x01, frame::MAX_PAYLOAD + 1, false, {}, {}},
      {0x03, 0, false, {}, {}},
      {0x7F, 0, false, {}, {}},
      {0x83, 0, false, {}, {}},
      {0xFF, 0, false, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << " length " << c.length);
    const auto parsed = frame::parse_header(header(c.kind, c.length));
    ASSERT_EQ(parsed.has_value(), c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(parsed->holds, c.holds);
    EXPECT_EQ(parsed->wants_reply, c.wants_reply);
    EXPECT_EQ(parsed->length, c.length);
  }
}

TEST(Frame, MessagesAndReplies) {
  EXPECT_EQ(frame::message_frame("abc", true), header(0x01, 3) + "abc");
  EXPECT_EQ(frame::message_frame("", false), header(0x81, 0));
  const std::string reply = frame::reply_frame("xyz");
  EXPECT_EQ(reply, std::string("\0\0\0\3xyz", 7));
  EXPECT_EQ(frame::reply_length(reply), 3u);
  EXPECT_EQ(frame::reply_frame(""), std::string(4, '\0'));  // the refusal
  EXPECT_EQ(frame::socket_path(), "/run/org.lanternwharf.kit.helper.sock");
}

TEST(Frame, SocketAddressesFitWithTheirNulOrAreRefused) {
  constexpr std::size_t room = sizeof(sockaddr_un::sun_path);
  struct Case {
    std::size_t length;
    bool fits;
  };
  const Case cases[] = {{1, true},     {room - 2, true},  {room - 1, true},
                        {room, false}, {room + 1, false}, {4 * room, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "length " << c.length);
    const std::string path = std::string("/").append(c.length - 1, 'p');
    const auto address = frame::socket_address(path);
    ASSERT_EQ(address.has_value(), c.fits);
    if (!c.fits) {
      EXPECT_EQ(address.error(), path + ": the path is too long for a socket");
      continue;
    }
    EXPECT_EQ(address->sun_family, AF_UNIX);
    EXPECT_EQ(std::string(address->sun_path, c.length), path);
    EXPECT_EQ(address->sun_path[c.length], '\0');
  }
}

TEST(Frame, ASocketBoundAtTheAddressIsThePathItself) {
  lwk_test::TempDir dir;
  // Padded to the last octet sun_path has room for, short of the NUL.
  std::string path = dir / "s";
  path += std::string(sizeof(sockaddr_un::sun_path) - 1 - path.size(), 'x');
  const auto address = frame::socket_address(path);
  ASSERT_TRUE(address.has_value());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address), 0)
      << std::strerror(errno);
  ::close(fd);
  struct stat st;
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
}

}  // namespace
