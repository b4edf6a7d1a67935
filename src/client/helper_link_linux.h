// The exchange with the helper over a Unix stream socket, with the socket's
// path and the time limits as parameters: exchange() runs it on the helper's
// socket with CONNECT_LIMIT and ANSWER_LIMIT, tests on sockets of their own
// with short limits.
#ifndef LWK_CLIENT_HELPER_LINK_LINUX_H_
#define LWK_CLIENT_HELPER_LINK_LINUX_H_

#include <chrono>
#include <string>
#include <string_view>

#include "base/result.h"
#include "client/helper_link.h"

namespace lantern_wharf {

// How long one exchange may take, each counted from its start.
struct Deadlines {
  // Until the helper has accepted the connection. Capped at `answer`.
  std::chrono::milliseconds connect;
  // Until the whole answer is in: connecting, sending the request and
  // reading the reply.
  std::chrono::milliseconds answer;
};

// Connects to the socket at `path`, sends `request` in one message frame and
// returns the helper's reply.
// Otherwise one sentence naming `path`: it cannot be reached (with the
// system's reason), it did not accept the connection within
// `limits.connect`, it did not answer within `limits.answer`, or it ended
// the connection without an answer. Never waits past `limits.answer`.
// REQUIRES: request.size() <= hosts_transport::frame::MAX_PAYLOAD.
lwk::Result<Reply, std::string> exchange_with(const std::string& path, std::string_view request,
                                              Deadlines limits);

}  // namespace lantern_wharf

#endif  // LWK_CLIENT_HELPER_LINK_LINUX_H_
