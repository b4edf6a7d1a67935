// One host-name token of an entry line: ASCII letters, digits and hyphens in
// dot-separated parts, at most 253 octets in all and 63 per part, no trailing
// dot. A Hostname keeps the name exactly as written, letter case included.
#ifndef LWK_HOSTS_CORE_HOSTNAME_H_
#define LWK_HOSTS_CORE_HOSTNAME_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace hosts_core::hostname {

inline constexpr std::size_t MAX_NAME_OCTETS = 253;
inline constexpr std::size_t MAX_LABEL_OCTETS = 63;

// Why a token is not a host name. `part` is a copy of the offending
// dot-separated part; `length` and `limit` are in octets.
struct HostnameError {
  enum class Reason {
    Missing,
    TrailingDot,
    NotAscii,
    TooLong,
    LabelTooLong,
    EmptyLabel,
    HyphenAtEdge,
    BadCharacter,
  };
  Reason reason;
  std::size_t length = 0;  // TooLong
  std::size_t limit = 0;   // TooLong, LabelTooLong
  std::string part;        // LabelTooLong, HyphenAtEdge, BadCharacter

  friend bool operator==(const HostnameError&, const HostnameError&) = default;
};

// The first rule that `text` breaks as a host name, or nothing when it is one.
// Allocates only to report a fault. A fast test passes the common valid name;
// every other text is judged by fault_by_rules, whose answer this always is.
std::optional<HostnameError> fault_of(std::string_view text);

// The same answer as fault_of, by the rules alone, one octet at a time: the
// plain statement of the grammar, against which the fast test is checked.
std::optional<HostnameError> fault_by_rules(std::string_view text);

class Hostname {
 public:
  // Accepts `text` as a host name, or gives the first rule it breaks.
  static lwk::Result<Hostname, HostnameError> parse(std::string_view text);

  const std::string& text() const { return text_; }

  friend bool operator==(const Hostname&, const Hostname&) = default;

 private:
  explicit Hostname(std::string_view text) : text_(text) {}
  std::string text_;
};

}  // namespace hosts_core::hostname

#endif  // LWK_HOSTS_CORE_HOSTNAME_H_
