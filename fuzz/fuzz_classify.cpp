// classify on any bytes: a value every time, and a LineError always carries a
// sentence, with no more fields than sentences.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/result.h"
#include "hosts_core/line.h"

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
  return 0;
}
