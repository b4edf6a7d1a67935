// Hostname::parse on any bytes; an accepted name is kept exactly as written
// and obeys the length limits, and the fast test agrees with the plain rules.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/result.h"
#include "hosts_core/hostname.h"
#include "support/differential.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto result = hosts_core::hostname::Hostname::parse(text);
  if (result) {
    if (result->text() != text) lwk::fatal("a host name that was changed");
    if (text.size() > hosts_core::hostname::MAX_NAME_OCTETS) lwk::fatal("a name over the limit");
  }
  if (auto differ = lwk_test::hostname_disagrees(text)) lwk::fatal(differ->c_str());
  return 0;
}
