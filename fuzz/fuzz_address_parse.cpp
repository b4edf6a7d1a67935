// Address::parse on any bytes. An accepted IPv4 address prints back to the
// text it came from, since dotted decimal without leading zeros is canonical;
// and on dotted decimal the parser agrees with the C library's inet_pton,
// which also refuses leading zeros, and with parse_v4, the plain rules that its
// fast path for the common address is checked against.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/result.h"
#include "hosts_core/address.h"
#include "support/differential.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto result = hosts_core::address::Address::parse(text);
  const bool v4 = result && result->family() == hosts_core::address::Family::V4;
  if (v4) {
    const auto o = result->octets();
    const std::string back = std::to_string(o[0]) + "." + std::to_string(o[1]) + "." +
                             std::to_string(o[2]) + "." + std::to_string(o[3]);
    if (back != text) lwk::fatal("an IPv4 address that does not print back");
  }
  if (text.find_first_of(std::string_view(":%\0", 3)) == std::string_view::npos) {
    const std::string terminated(text);
    unsigned char octets[4];
    const bool libc = inet_pton(AF_INET, terminated.c_str(), octets) == 1;
    if (libc != v4) lwk::fatal("Address::parse and inet_pton disagree on dotted decimal");
    if (v4 && std::memcmp(octets, result->octets().data(), 4) != 0) {
      lwk::fatal("Address::parse and inet_pton read other octets");
    }
  }
  if (auto differ = lwk_test::address_disagrees(text)) lwk::fatal(differ->c_str());
  return 0;
}
