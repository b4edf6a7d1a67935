// The bytes exchanged with the client: one request and one response per
// message. Binary, big-endian, length-prefixed, no padding; both directions
// begin with the two-byte version.
#ifndef LWK_IPC_WIRE_H_
#define LWK_IPC_WIRE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "base/result.h"

namespace hosts_ipc {

inline constexpr std::uint16_t WIRE_VERSION = 1;
// The largest set count, line count, name length and text length decoded.
inline constexpr std::uint32_t MAX_WIRE_COUNT = 67'108'864;
// The most entries a list reserves ahead of decoding them, whatever its count says.
inline constexpr std::uint32_t PREALLOCATION_CAP = 1024;

// A line and a set as the client sends them. The texts are views: into the
// request bytes when decoded, into the caller's storage when built to be
// encoded. Whoever holds a WireSet keeps those bytes alive.
struct WireLine {
  std::string_view text;
  bool enabled = true;
  friend bool operator==(const WireLine&, const WireLine&) = default;
};

struct WireSet {
  std::string_view name;
  std::vector<WireLine> lines;
  friend bool operator==(const WireSet&, const WireSet&) = default;
};

struct ApplySets {
  std::vector<WireSet> sets;
  friend bool operator==(const ApplySets&, const ApplySets&) = default;
};
struct FlushNameCache {
  friend bool operator==(const FlushNameCache&, const FlushNameCache&) = default;
};
struct RemoveEverything {
  friend bool operator==(const RemoveEverything&, const RemoveEverything&) = default;
};
using Request = std::variant<ApplySets, FlushNameCache, RemoveEverything>;

// One problem reported to the user: a sentence, the 0-based set it concerns
// (0 for the request as a whole) and the 1-based line within it (0 when it is
// not about one line).
struct Issue {
  std::string message;
  std::uint64_t set = 0;
  std::uint64_t line = 0;
  friend bool operator==(const Issue&, const Issue&) = default;
};

// An issue of the request as a whole (set 0, line 0): the one place such an
// issue is made, whoever finds the problem.
inline Issue request_issue(std::string message) { return Issue{std::move(message), 0, 0}; }

struct Done {
  friend bool operator==(const Done&, const Done&) = default;
};
struct Unchanged {
  friend bool operator==(const Unchanged&, const Unchanged&) = default;
};
struct Issues {
  std::vector<Issue> issues;
  friend bool operator==(const Issues&, const Issues&) = default;
};
struct NotUnderstood {
  friend bool operator==(const NotUnderstood&, const NotUnderstood&) = default;
};
using Response = std::variant<Done, Unchanged, Issues, NotUnderstood>;

// One callable per kind, for std::visit over a Request or a Response. Every
// dispatch over them goes through std::visit with such a set, never through a
// chain of tests with a last case that takes the rest: then a kind that no
// callable takes does not compile, and the compiler names each place a new
// kind must be handled. A catch-all callable (`const auto&`) would undo that.
template <class... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};
template <class... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

// Why bytes do not decode. `value` carries the version read
// (UnsupportedVersion) or the kind byte read (UnknownKind), else 0. `field`
// names what was being read, e.g. "set count" or "line text", for whoever
// debugs a client.
struct DecodeError {
  enum class Code : std::uint8_t {
    BadLength = 0,
    UnsupportedVersion = 1,
    UnknownKind = 2,
    NotUtf8 = 3,
    TooLarge = 4,
  };
  Code code;
  std::uint32_t value = 0;
  std::string_view field;  // a fixed text of the decoder's

  friend bool operator==(const DecodeError&, const DecodeError&) = default;
};

// The field and what was wrong with it, e.g. "set count: a count or length
// above 67108864" or "version: unsupported version 2".
std::string describe(const DecodeError& error);

// Decodes request bytes. The names and texts of the result are views into
// `bytes`, which must outlive it; every one has been checked to be UTF-8.
// Never reads past the end of `bytes`, and reserves at most PREALLOCATION_CAP
// entries per list ahead.
lwk::Result<Request, DecodeError> decode_request(std::string_view bytes);

// The bytes of a response. Counts, sets and lines are written as the low 32
// bits of their values.
std::string encode_response(const Response& response);

// The octets of the ApplySets request that encode_request() makes of `sets`
// sets holding `lines` lines in all, whose names and line texts hold
// `octets` octets: its header and counts, each set's two lengths, each
// line's flag and length, and the texts. A sender tells from counts alone,
// before building anything, whether a request fits in a message.
constexpr std::uint64_t apply_request_octets(std::uint64_t sets, std::uint64_t lines,
                                             std::uint64_t octets) {
  return 3 + 4 + 8 * sets + 5 * lines + octets;
}

// The bytes of a request, as the client sends them.
// REQUIRES: every count and length fits in 32 bits.
std::string encode_request(const Request& request);

// Decodes response bytes, refusing a wrong version, an unknown kind, short or
// trailing bytes, a count or length above MAX_WIRE_COUNT, and messages that
// are not UTF-8. Zero bytes (a refused caller's reply) are BadLength. The
// messages are copied: a response outlives the reply it came in.
lwk::Result<Response, DecodeError> decode_response(std::string_view bytes);

}  // namespace hosts_ipc

#endif  // LWK_IPC_WIRE_H_
