// Decides whether the sets of an apply request may be written into the
// managed block: the request-wide limits first and alone, then every problem
// of every set at once, then the host names the sets map to more than one
// address.
#ifndef LWK_CHECK_CHECK_H_
#define LWK_CHECK_CHECK_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "hosts_core/block.h"
#include "ipc/wire.h"

namespace hosts_helper_core::check {

// Inclusive limits: a value equal to the limit passes.
struct Limits {
  std::uint64_t max_request_octets;  // names and line texts together
  std::uint64_t max_sets;
  std::uint64_t max_name_octets;

  // The limits the service applies: 1,048,576 octets, 256 sets, 256 octets of name.
  static Limits service() { return {1u << 20, 256, 256}; }
};

// The octets that `max_request_octets` bounds: those of every set's name and
// every line's text, switched on or off, and nothing else.
std::uint64_t request_octets(const std::vector<hosts_ipc::WireSet>& sets);

// The issue's sentence for a text that holds a control character (U+0000 to
// U+001F, or U+007F) other than the tab, a line feed or a carriage return,
// naming the first by its code: "the line holds the control character
// U+001B, which the hosts file must not carry" (`what` is "the line" or "the
// set's name"). Nothing for a text without one. The line breaks have rules
// of their own: a line's text may hold none, and a name's are escaped.
std::optional<std::string> control_character(std::string_view text, std::string_view what);

// Returns the sets converted for rendering, or the non-empty list of issues in
// the order found. REQUIRES: names and texts are UTF-8, as decode_request
// guarantees. The sets returned view the same bytes as `sets` do. When it
// returns sets, rendering them into any file that reads gives a file that
// reads again.
lwk::Result<std::vector<hosts_core::block::BlockSet>, std::vector<hosts_ipc::Issue>> check(
    const std::vector<hosts_ipc::WireSet>& sets, const Limits& limits);

}  // namespace hosts_helper_core::check

#endif  // LWK_CHECK_CHECK_H_
