// One message of a client connection, as the request handler sees it,
// whatever carried it: an XPC message on macOS, a frame on a Unix socket on
// Linux. The handler is written against this alone.
#ifndef LWK_TRANSPORT_MESSAGE_H_
#define LWK_TRANSPORT_MESSAGE_H_

#include <optional>
#include <string>
#include <string_view>

#include "identity/caller.h"

namespace hosts_transport {

class Message {
 public:
  virtual ~Message() = default;

  // True for an error event of the connection (its end, for one), which is
  // no message at all.
  virtual bool is_error() const = 0;
  // The process at the other end of the message's connection, as this
  // platform knows it (identity/caller_linux.h, identity/caller_macos.h), or
  // null when it cannot be had. Valid as long as the message.
  virtual const identity::Caller* caller() const = 0;
  // A copy of the data value under "payload": nothing when the message holds
  // no such value or one that is not data.
  virtual std::optional<std::string> payload() const = 0;
  // Whether the sender asked for a reply.
  virtual bool wants_reply() const = 0;
  // Sends `body` as the reply's "payload"; an empty body is the refusal.
  // REQUIRES: wants_reply().
  virtual void send_reply(std::string_view body) = 0;
  // Sends the reply that carries no response and says that whether the
  // caller is served could not be decided now: it may ask again in a moment.
  // REQUIRES: wants_reply().
  virtual void send_not_now() = 0;
};

}  // namespace hosts_transport

#endif  // LWK_TRANSPORT_MESSAGE_H_
