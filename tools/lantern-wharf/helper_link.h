// How the client reaches the helper: one request out, one reply back. On
// Linux over the helper's Unix socket (helper_link_linux.cpp), on macOS over
// XPC (helper_link_macos.cpp).
#ifndef LWK_TOOLS_LANTERN_WHARF_HELPER_LINK_H_
#define LWK_TOOLS_LANTERN_WHARF_HELPER_LINK_H_

#include <chrono>
#include <string>
#include <string_view>

#include "base/result.h"

namespace lantern_wharf {

// How long the client waits for the helper's answer over the Unix socket,
// counted from the start of the exchange: connecting, sending the request and reading the reply all
// end within it, with the answer or with exit status 4.
inline constexpr std::chrono::seconds ANSWER_LIMIT{60};

// How long, within ANSWER_LIMIT, the client waits for the helper to accept
// its connection while the helper's queue of connections is full.
inline constexpr std::chrono::seconds CONNECT_LIMIT{10};

// The most octets one request may hold on the way to the helper.
std::size_t request_limit();

// Sends `request` and returns the reply's bytes (empty: the helper refused to
// serve this program), or a sentence saying why the helper could not be
// reached or did not answer, naming where it was looked for. Over the Unix
// socket it returns within ANSWER_LIMIT.
// REQUIRES: request.size() <= request_limit().
lwk::Result<std::string, std::string> exchange(std::string_view request);

// What the client says when the helper refused to serve it (an empty
// reply, which tells nothing more): "the helper refused to serve this
// program", with whom the helper serves and what to do about it.
std::string not_served();

}  // namespace lantern_wharf

#endif  // LWK_TOOLS_LANTERN_WHARF_HELPER_LINK_H_
