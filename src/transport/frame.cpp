#include "transport/frame.h"

#include <sys/socket.h>

#include <cstring>

#include "identity/identity.h"

namespace hosts_transport::frame {
namespace {

std::uint32_t u32_at(std::string_view bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<std::uint8_t>(bytes[at + i]);
  return v;
}

void put_u32(std::string* out, std::size_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>(value >> shift));
}

}  // namespace

std::optional<Header> parse_header(std::string_view bytes) {
  const auto kind = static_cast<std::uint8_t>(bytes[0]);
  const auto holds = static_cast<std::uint8_t>(kind & ~NO_REPLY);
  if (holds > static_cast<std::uint8_t>(Holds::OtherValue)) return std::nullopt;
  const std::uint32_t length = u32_at(bytes, 1);
  if (length > MAX_PAYLOAD) return std::nullopt;
  return Header{static_cast<Holds>(holds), (kind & NO_REPLY) == 0, length};
}

std::string socket_path() { return "/run/" + identity::service_name() + ".sock"; }

lwk::Result<sockaddr_un, std::string> socket_address(const std::string& path) {
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) {
    return lwk::unexpected(path + ": the path is too long for a socket");
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

std::string message_frame(std::string_view payload, bool wants_reply) {
  std::string out;
  out.reserve(HEADER_OCTETS + payload.size());
  out.push_back(
      static_cast<char>(static_cast<std::uint8_t>(Holds::Data) | (wants_reply ? 0 : NO_REPLY)));
  put_u32(&out, payload.size());
  out += payload;
  return out;
}

std::string reply_frame(std::string_view body) {
  if (body.size() >= NOT_NOW) lwk::fatal("a reply too long for its frame");
  std::string out;
  out.reserve(REPLY_HEADER_OCTETS + body.size());
  put_u32(&out, body.size());
  out += body;
  return out;
}

std::string not_now_frame() {
  std::string out;
  put_u32(&out, NOT_NOW);
  return out;
}

std::uint32_t reply_length(std::string_view bytes) { return u32_at(bytes, 0); }

}  // namespace hosts_transport::frame
