#include <dispatch/dispatch.h>

#include "base/result.h"
#include "transport/xpc_macos.h"

namespace hosts_transport_macos {

XpcMessage::~XpcMessage() {
  if (reply_ != nullptr) xpc_release(reply_);
}

bool XpcMessage::is_error() const { return channel::is_error(event_); }

const identity::Caller* XpcMessage::caller() const {
  if (!caller_taken_) {
    caller_taken_ = true;
    if (auto token = caller::audit_token_of(xpc_dictionary_get_remote_connection(event_))) {
      caller_ = identity::Caller{*token};
    }
  }
  return caller_ ? &*caller_ : nullptr;
}

std::optional<std::string> XpcMessage::payload() const { return channel::payload_of(event_); }

bool XpcMessage::wants_reply() const {
  if (reply_ == nullptr) reply_ = xpc_dictionary_create_reply(event_);
  return reply_ != nullptr;
}

void XpcMessage::send_reply(std::string_view body) {
  if (!wants_reply()) lwk::fatal("send_reply() for a message that wants no reply");
  // An empty body goes as zero-length data, never as a missing key: that is
  // how the client tells a refusal.
  xpc_dictionary_set_data(reply_, channel::PAYLOAD_KEY, body.empty() ? "" : body.data(),
                          body.size());
  if (xpc_connection_t remote = xpc_dictionary_get_remote_connection(event_)) {
    xpc_connection_send_message(remote, reply_);
  }
  xpc_release(reply_);
  reply_ = nullptr;
}

void XpcMessage::send_not_now() {
  if (!wants_reply()) lwk::fatal("send_not_now() for a message that wants no reply");
  xpc_dictionary_set_bool(reply_, channel::NOT_NOW_KEY, true);
  send_reply({});
}

NamedListener::NamedListener(std::string_view service_name, Handler handler) {
  const std::string name = channel::key(service_name);
  // No target queue: the system delivers each connection's events on a
  // serial queue of its own.
  listener_ = xpc_connection_create_mach_service(name.c_str(), nullptr,
                                                 XPC_CONNECTION_MACH_SERVICE_LISTENER);
  if (listener_ == nullptr) lwk::fatal("no listener for the service name");
  // A block captures a C++ object by copying it, and its copies on the heap
  // copy it again and destroy it when they are released. So the listener's
  // block holds one copy of `handler`, and each connection's block one more,
  // given back when the system discards that block.
  xpc_connection_set_event_handler(listener_, ^(xpc_object_t event) {
    if (channel::is_error(event)) return;  // the listener's own errors: nothing to do
    auto connection = static_cast<xpc_connection_t>(event);
    xpc_connection_set_event_handler(connection, ^(xpc_object_t message) {
      XpcMessage m(message);
      handler(m);
    });
    xpc_connection_resume(connection);
  });
  xpc_connection_resume(listener_);
}

void NamedListener::run_forever() { dispatch_main(); }

}  // namespace hosts_transport_macos
