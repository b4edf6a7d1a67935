// A fuzzed sets file, read by the client's event reader and held against
// nlohmann's own parser: what the reader takes is JSON, what is not JSON it
// refuses, and what it takes it writes out and reads back the same.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string_view>

#include "base/result.h"
#include "client/manager.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace manager = lantern_wharf::manager;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto sets = manager::parse_sets_file(text);
  if (!nlohmann::json::accept(text)) {
    if (sets) lwk::fatal("the reader took what is not JSON");
    return 0;
  }
  if (!sets) return 0;
  auto written = manager::to_sets_file(*sets);
  if (!written) return 0;  // too big to write back: refused, not written
  auto again = manager::parse_sets_file(*written);
  if (!again || *again != *sets) lwk::fatal("a sets file written does not read back as its sets");
  return 0;
}
