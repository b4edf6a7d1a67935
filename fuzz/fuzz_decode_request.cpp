// decode_request on any bytes, under a small memory limit: whatever counts the
// bytes announce, decoding reserves little and never reads past the end. What
// decodes encodes to bytes that decode to the same request.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"
#include "ipc/wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto request = hosts_ipc::decode_request(bytes);
  if (!request) return 0;
  const std::string encoded = hosts_ipc::encode_request(*request);  // what `again` views
  auto again = hosts_ipc::decode_request(encoded);
  if (!again || !(*again == *request)) lwk::fatal("a decoded request does not encode back");
  return 0;
}
