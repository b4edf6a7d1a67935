// The way to the helper on macOS: an XPC message on the helper's Mach
// service, which launchd registered for it as a privileged (system) service,
// with the request under "payload", answered by a reply with the response
// under "payload".
#include <xpc/xpc.h>

#include "client/helper_link.h"
#include "identity/identity.h"
#include "transport/frame.h"

namespace lantern_wharf {
namespace {

constexpr char kPayload[] = "payload";
constexpr char kNotNow[] = "not-now";

}  // namespace

// As on Linux, so that a request is refused for its size alike everywhere.
std::size_t request_limit() { return hosts_transport::frame::MAX_PAYLOAD; }

std::string not_served() {
  return "the helper refused to serve this program: it serves only the lantern-wharf client "
         "signed by its developer";
}

lwk::Result<Reply, std::string> exchange(std::string_view request) {
  const std::string name = identity::service_name();
  xpc_connection_t connection = xpc_connection_create_mach_service(
      name.c_str(), nullptr, XPC_CONNECTION_MACH_SERVICE_PRIVILEGED);
  if (connection == nullptr) {
    return lwk::unexpected("cannot reach the helper at " + name + ": no connection");
  }
  // Events outside the one reply (the connection's end, for one) need
  // nothing here, but a connection must have a handler before it resumes.
  xpc_connection_set_event_handler(connection, ^(xpc_object_t){
                                   });
  xpc_connection_resume(connection);

  xpc_object_t message = xpc_dictionary_create(nullptr, nullptr, 0);
  xpc_dictionary_set_data(message, kPayload, request.empty() ? "" : request.data(), request.size());
  xpc_object_t reply = xpc_connection_send_message_with_reply_sync(connection, message);
  xpc_release(message);

  lwk::Result<Reply, std::string> result = Reply{Reply::Kind::NotServed, {}};
  if (reply == nullptr || xpc_get_type(reply) == XPC_TYPE_ERROR) {
    const char* why =
        reply == nullptr ? nullptr : xpc_dictionary_get_string(reply, XPC_ERROR_KEY_DESCRIPTION);
    result = lwk::unexpected("cannot reach the helper at " + name + ": " +
                             (why != nullptr ? why : "no answer"));
  } else if (xpc_dictionary_get_bool(reply, kNotNow)) {
    result = Reply{Reply::Kind::NotNow, {}};
  } else {
    // No data under "payload" reads as an empty reply, which is a refusal.
    std::size_t length = 0;
    const void* bytes = xpc_dictionary_get_data(reply, kPayload, &length);
    if (bytes != nullptr && length > 0) {
      result = Reply{Reply::Kind::Response, std::string(static_cast<const char*>(bytes), length)};
    }
  }
  if (reply != nullptr) xpc_release(reply);
  xpc_connection_cancel(connection);
  xpc_release(connection);
  return result;
}

}  // namespace lantern_wharf
