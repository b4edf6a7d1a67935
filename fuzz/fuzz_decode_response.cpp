// decode_response on any bytes; a decoded response encodes to the same bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/result.h"
#include "ipc/wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto response = hosts_ipc::decode_response(bytes);
  if (!response) return 0;
  if (hosts_ipc::encode_response(*response) != bytes) lwk::fatal("a response does not encode back");
  return 0;
}
