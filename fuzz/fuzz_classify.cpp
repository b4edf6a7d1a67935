// classify on any bytes: a value every time, and a LineError always carries a
// sentence, with no more fields than sentences. inspect() agrees with it, under
// the hosts file's limits and under small ones that the input reaches.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/result.h"
#include "hosts_core/line.h"
#include "support/differential.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto result = hosts_core::line::classify(text);
  if (!result) {
    const auto& error = result.error();
    if (error.message.empty()) lwk::fatal("a LineError without a sentence");
    if (error.fields.size() > hosts_core::line::MAX_NAMES + 1) lwk::fatal("too many fields");
  } else if (const auto* entry = std::get_if<hosts_core::line::Entry>(&result.value())) {
    if (entry->names.empty() || entry->names.size() > hosts_core::line::MAX_NAMES) {
      lwk::fatal("an entry with a name count out of bounds");
    }
  }
  for (const auto& [octets, names] :
       {std::pair{hosts_core::line::MAX_LINE_OCTETS, hosts_core::line::MAX_NAMES},
        std::pair{size / 2, size % 4}}) {
    if (auto differ = lwk_test::inspect_disagrees(text, octets, names)) lwk::fatal(differ->c_str());
  }
  return 0;
}
