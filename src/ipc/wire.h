// The bytes exchanged with the client: one request and one response per
// message. Binary, big-endian, length-prefixed, no padding; both directions
// begin with the two-byte version.
#ifndef LWK_IPC_WIRE_H_
#define LWK_IPC_WIRE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/result.h"

namespace hosts_ipc {

inline constexpr std::uint16_t WIRE_VERSION = 1;
// The largest set count, line count, name length and text length decoded.
inline constexpr std::uint32_t MAX_WIRE_COUNT = 67'108'864;
// The most entries a list reserves ahead of decoding them, whatever its count says.
inline constexpr std::uint32_t PREALLOCATION_CAP = 1024;

struct WireLine {
  std::string text;
  bool enabled = true;
  friend bool operator==(const WireLine&, const WireLine&) = default;
};

struct WireSet {
  std::string name;
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

// Why bytes do not decode. `value` carries the version read
// (UnsupportedVersion) or the kind byte read (UnknownKind), else 0.
struct DecodeError {
  enum class Kind : std::uint8_t {
    BadLength = 0,
    UnsupportedVersion = 1,
    UnknownKind = 2,
    NotUtf8 = 3,
    TooLarge = 4,
  };
  Kind kind;
  std::uint32_t value = 0;

  static DecodeError bad_length() { return {Kind::BadLength, 0}; }
  static DecodeError unsupported_version(std::uint16_t v) { return {Kind::UnsupportedVersion, v}; }
  static DecodeError unknown_kind(std::uint8_t k) { return {Kind::UnknownKind, k}; }
  static DecodeError not_utf8() { return {Kind::NotUtf8, 0}; }
  static DecodeError too_large() { return {Kind::TooLarge, 0}; }
  friend bool operator==(const DecodeError&, const DecodeError&) = default;
};

// A short description of a decoding error, e.g. "unsupported version 2".
std::string describe(const DecodeError& error);

// Decodes request bytes. Copies every name and text; never reads past the end
// of `bytes`, and reserves at most PREALLOCATION_CAP entries per list ahead.
lwk::Result<Request, DecodeError> decode_request(std::string_view bytes);

// The bytes of a response. Counts, sets and lines are written as the low 32
// bits of their values.
std::string encode_response(const Response& response);

// The bytes of a request, as the client sends them.
// REQUIRES: every count and length fits in 32 bits.
std::string encode_request(const Request& request);

// Decodes response bytes, refusing a wrong version, an unknown kind, short or
// trailing bytes, a count or length above MAX_WIRE_COUNT, and messages that
// are not UTF-8. Zero bytes (a refused caller's reply) are BadLength.
lwk::Result<Response, DecodeError> decode_response(std::string_view bytes);

}  // namespace hosts_ipc

#endif  // LWK_IPC_WIRE_H_
