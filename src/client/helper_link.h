// How the client reaches the helper: one request out, one reply back. On
// Linux over the helper's Unix socket (helper_link_linux.cpp), on macOS over
// XPC (helper_link_macos.cpp).
#ifndef LWK_CLIENT_HELPER_LINK_H_
#define LWK_CLIENT_HELPER_LINK_H_

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

// What the helper answered: a response, or one of the two answers that
// carry none.
struct Reply {
  enum class Kind {
    Response,   // `response` holds its bytes
    NotServed,  // the helper refused to serve this program
    NotNow,     // it could not decide now whether to serve it: ask again in a moment
  };
  Kind kind = Kind::Response;
  std::string response;

  friend bool operator==(const Reply&, const Reply&) = default;
};

// Sends `request` and returns the helper's reply, or a sentence saying why
// the helper could not be reached or did not answer, naming where it was
// looked for. Over the Unix socket it returns within ANSWER_LIMIT.
// REQUIRES: request.size() <= request_limit().
lwk::Result<Reply, std::string> exchange(std::string_view request);

// What the client says when the helper refused to serve it (an empty
// reply, which tells nothing more): "the helper refused to serve this
// program", with whom the helper serves and what to do about it.
std::string not_served();

// What the client says when the helper could not decide now whether to
// serve it: a passing state, not a refusal.
inline std::string not_now() {
  return "the helper could not decide now whether to serve this program (it may be deciding an "
         "earlier request of yours, or stopping); ask again in a moment";
}

}  // namespace lantern_wharf

#endif  // LWK_CLIENT_HELPER_LINK_H_
