// Decides whether the sets of an apply request may be written into the
// managed block: the request-wide limits first and alone, then every problem
// of every set at once, then the host names the sets map to more than one
// address.
#ifndef LWK_CHECK_CHECK_H_
#define LWK_CHECK_CHECK_H_

#include <cstdint>
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

// Returns the sets converted for rendering, or the non-empty list of issues in
// the order found. REQUIRES: names and texts are UTF-8, as decode_request
// guarantees. The sets returned view the same bytes as `sets` do. When it
// returns sets, rendering them into any file that reads gives a file that
// reads again.
lwk::Result<std::vector<hosts_core::block::BlockSet>, std::vector<hosts_ipc::Issue>> check(
    const std::vector<hosts_ipc::WireSet>& sets, const Limits& limits);

}  // namespace hosts_helper_core::check

#endif  // LWK_CHECK_CHECK_H_
