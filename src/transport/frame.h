// The frames that carry messages between the client and the helper over a
// Unix stream socket on Linux, where XPC is not at hand.
//
// A message is one kind octet, a 32-bit big-endian length, and that many
// payload octets. The kind's low bits say what the message holds under
// "payload" (0 no such value, 1 a data value, the octets, 2 a value that is
// not data); the bit 0x80 says that the sender wants no reply. A reply is a
// 32-bit big-endian length and the octets; a length of zero is the helper's
// refusal to serve the caller, and the length NOT_NOW, with no octets, says
// that the helper could not decide now whether to serve it: ask again in a
// moment.
#ifndef LWK_TRANSPORT_FRAME_H_
#define LWK_TRANSPORT_FRAME_H_

#include <sys/un.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace hosts_transport::frame {

// The longest payload a message may announce: any request within the check's
// size limit fits, short of millions of empty lines (which count no octets).
inline constexpr std::uint32_t MAX_PAYLOAD = 16u << 20;
inline constexpr std::size_t HEADER_OCTETS = 5;
inline constexpr std::size_t REPLY_HEADER_OCTETS = 4;

enum class Holds : std::uint8_t { Nothing = 0, Data = 1, OtherValue = 2 };
inline constexpr std::uint8_t NO_REPLY = 0x80;
// No reply is this long: the largest, to a request of MAX_PAYLOAD octets
// whose every line has an issue, is a few hundred MB.
inline constexpr std::uint32_t NOT_NOW = 0xFFFFFFFF;

struct Header {
  Holds holds;
  bool wants_reply;
  std::uint32_t length;
};

// The header in the first HEADER_OCTETS of `bytes`, or nothing for a kind
// octet of no meaning or a length over MAX_PAYLOAD: the connection must then
// end. REQUIRES: bytes.size() >= HEADER_OCTETS.
std::optional<Header> parse_header(std::string_view bytes);

// Where the helper listens: "/run/" + the service name + ".sock".
std::string socket_path();

// The address of the Unix socket at `path`, for the helper's bind and the
// client's connect alike: the path with its terminating NUL in sun_path. A
// path that does not fit, NUL included, is refused with PATH + ": the path is
// too long for a socket" rather than cut to a different path.
lwk::Result<sockaddr_un, std::string> socket_address(const std::string& path);

// A message holding `payload` as its data value.
std::string message_frame(std::string_view payload, bool wants_reply);

// A reply carrying `body`. REQUIRES: body.size() < NOT_NOW.
std::string reply_frame(std::string_view body);

// The reply that says: not decided now, ask again in a moment.
std::string not_now_frame();

// The length a reply header announces. REQUIRES: bytes.size() >= REPLY_HEADER_OCTETS.
std::uint32_t reply_length(std::string_view bytes);

}  // namespace hosts_transport::frame

#endif  // LWK_TRANSPORT_FRAME_H_
