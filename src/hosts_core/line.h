// The grammar of one hosts line: blank, comment, or an entry mapping one
// address to one or more host names. A line that is none of these in a valid
// way gives a LineError whose message is shown to the user unchanged.
#ifndef LWK_HOSTS_CORE_LINE_H_
#define LWK_HOSTS_CORE_LINE_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/result.h"
#include "hosts_core/address.h"
#include "hosts_core/hostname.h"

namespace hosts_core::line {

inline constexpr std::size_t MAX_LINE_OCTETS = 4096;
inline constexpr std::size_t MAX_NAMES = 32;

struct Blank {
  friend bool operator==(const Blank&, const Blank&) = default;
};
struct Comment {
  friend bool operator==(const Comment&, const Comment&) = default;
};
// An address and its host names in line order, case and repetition as written.
// Neither a trailing comment nor the line's spacing is kept.
struct Entry {
  address::Address address;
  std::vector<hostname::Hostname> names;
  friend bool operator==(const Entry&, const Entry&) = default;
};
using Line = std::variant<Blank, Comment, Entry>;

// One token of an entry line that was at fault.
struct Field {
  enum class Token { Address, Name };
  Token token;
  std::size_t index = 0;  // position among the host names, for Token::Name

  static Field address() { return {Token::Address, 0}; }
  static Field name(std::size_t index) { return {Token::Name, index}; }
  friend bool operator==(const Field&, const Field&) = default;
};

// `message` holds one sentence per fault, joined by "; "; `fields` names the
// faulty tokens in the same order, and is empty for a fault of the whole line.
struct LineError {
  std::string message;
  std::vector<Field> fields;
  friend bool operator==(const LineError&, const LineError&) = default;
};

// What a line is, as inspect() tells it.
enum class LineKind { Blank, Comment, Entry, Fault };

// An entry whose names are views into the text it was classified from.
struct EntryView {
  address::Address address = address::Address::v4({0, 0, 0, 0});
  std::vector<std::string_view> names;
};

// Classifies `text` exactly as classify_with() does, without building the
// result: the fast path that rendering, detection and the request check take,
// 3.9x classify_with on realistic lines (BM_Inspect in bench/fast_paths_bench.cpp).
// For an entry, *entry receives the address and the names as views into
// `text`; its vector is reused, so that a caller inspecting many lines
// allocates once. For a fault, *error receives the LineError when `error` is
// not null; with a null `error` the first fault of the tokens ends the work.
LineKind inspect(std::string_view text, std::size_t max_octets, std::size_t max_names,
                 EntryView* entry, LineError* error);

// Classifies one line (without its line ending) under the limits of the hosts
// file: classify_with(text, MAX_LINE_OCTETS, MAX_NAMES). Total: any text gives
// a Line or a LineError.
lwk::Result<Line, LineError> classify(std::string_view text);

// Classifies one line under the given limits, inclusive maxima in octets of
// the whole line and in host-name tokens. Written plainly, step by step as
// the grammar reads, one character at a time: inspect() is checked against it.
lwk::Result<Line, LineError> classify_with(std::string_view text, std::size_t max_octets,
                                           std::size_t max_names);

// The sentence for an address token that Address::parse refused.
std::string describe_address(std::string_view token, address::AddressError error);

// The sentence for a host-name token that Hostname::parse refused.
std::string describe_hostname(std::string_view token, const hostname::HostnameError& error);

}  // namespace hosts_core::line

#endif  // LWK_HOSTS_CORE_LINE_H_
