// The helper's transport on macOS: XPC, on the Mach service that launchd
// registers for it. The listener takes each client connection the system
// delivers and runs the request handler on every event of it; the handler
// sees each event through XpcMessage, as it sees a frame on Linux.
#ifndef LWK_TRANSPORT_XPC_MACOS_H_
#define LWK_TRANSPORT_XPC_MACOS_H_

#include <xpc/xpc.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "identity/caller_macos.h"
#include "identity/identity.h"
#include "transport/message.h"

namespace hosts_transport_macos {

namespace channel {

// The key of a message's request and of a reply's response.
inline constexpr char PAYLOAD_KEY[] = "payload";
// The key of a reply that carries no response and says: not decided now,
// ask again in a moment (a boolean, true).
inline constexpr char NOT_NOW_KEY[] = "not-now";

// True for a null object and for an XPC error.
bool is_error(xpc_object_t object);

// A copy of the data under "payload" in `message` (empty for zero-length
// data), or nothing when there is no such key or its value is not data.
std::optional<std::string> payload_of(xpc_object_t message);

// `text` as a NUL-terminated key or service name. A NUL inside `text` is a
// programming fault: the process stops with "no interior null in a key of
// ours". Only the program's own fixed texts are passed.
std::string key(std::string_view text);

}  // namespace channel

namespace caller {

// The audit token of the process at the other end of `connection`: nothing
// for a null connection (without asking the system), and nothing when the
// token the system gives is all zero.
std::optional<identity::AuditToken> audit_token_of(xpc_connection_t connection);

}  // namespace caller

// One event of a client connection. The reply is created when the handler
// asks whether one is wanted, after its operation: XPC gives a reply object
// only for a message whose sender waits for one.
class XpcMessage final : public hosts_transport::Message {
 public:
  explicit XpcMessage(xpc_object_t event) : event_(event) {}
  ~XpcMessage() override;
  XpcMessage(const XpcMessage&) = delete;
  XpcMessage& operator=(const XpcMessage&) = delete;

  bool is_error() const override;
  // The audit token of the connection the message came on, taken once.
  const identity::Caller* caller() const override;
  std::optional<std::string> payload() const override;
  bool wants_reply() const override;
  void send_reply(std::string_view body) override;
  void send_not_now() override;

 private:
  xpc_object_t event_;
  mutable xpc_object_t reply_ = nullptr;            // created by wants_reply()
  mutable std::optional<identity::Caller> caller_;  // taken by caller()
  mutable bool caller_taken_ = false;
};

// The listening connection for the service name, for the life of the
// process.
class NamedListener {
 public:
  using Handler = std::function<void(hosts_transport::Message&)>;

  // Listens on `service_name` and runs `handler` on every event of every
  // client connection. Each connection's handler block holds a copy of
  // `handler`, and so one share of whatever state it holds, from the
  // connection's arrival until the system discards the block.
  NamedListener(std::string_view service_name, Handler handler);
  NamedListener(const NamedListener&) = delete;
  NamedListener& operator=(const NamedListener&) = delete;

  // Hands the main thread to dispatch for good.
  [[noreturn]] void run_forever();

 private:
  xpc_connection_t listener_;
};

}  // namespace hosts_transport_macos

#endif  // LWK_TRANSPORT_XPC_MACOS_H_
