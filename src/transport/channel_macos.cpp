#include <cstring>

#include "base/result.h"
#include "transport/xpc_macos.h"

namespace hosts_transport_macos::channel {

bool is_error(xpc_object_t object) {
  return object == nullptr || xpc_get_type(object) == XPC_TYPE_ERROR;
}

std::optional<std::string> payload_of(xpc_object_t message) {
  std::size_t length = 0;
  const void* bytes = xpc_dictionary_get_data(message, PAYLOAD_KEY, &length);
  if (bytes == nullptr) return std::nullopt;
  return std::string(static_cast<const char*>(bytes), length);
}

std::string key(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) lwk::fatal("no interior null in a key of ours");
  return std::string(text);
}

}  // namespace hosts_transport_macos::channel
