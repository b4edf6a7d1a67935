// Address::parse on any bytes; an accepted IPv4 address prints back to the
// text it came from, since dotted decimal without leading zeros is canonical.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"
#include "hosts_core/address.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto result = hosts_core::address::Address::parse(text);
  if (result && result->family() == hosts_core::address::Family::V4) {
    const auto& o = result->octets();
    const std::string back = std::to_string(o[0]) + "." + std::to_string(o[1]) + "." +
                             std::to_string(o[2]) + "." + std::to_string(o[3]);
    if (back != text) lwk::fatal("an IPv4 address that does not print back");
  }
  return 0;
}
