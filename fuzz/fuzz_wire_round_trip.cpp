// Requests and responses built from fuzzed values: encoding then decoding
// gives back exactly what was encoded.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>

#include "base/result.h"
#include "base/utf8.h"
#include "ipc/wire.h"
#include "support/text_store.h"

namespace {

// Texts travel as UTF-8; other bytes are refused by design, not a fault.
std::string utf8_text(FuzzedDataProvider& in) {
  std::string text = in.ConsumeRandomLengthString(64);
  text.resize(lwk::utf8::valid_prefix(text));
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  if (in.ConsumeBool()) {
    hosts_ipc::Issues issues;
    for (std::size_t i = 0, n = in.ConsumeIntegralInRange<std::size_t>(0, 8); i < n; ++i) {
      issues.issues.push_back({utf8_text(in), in.ConsumeIntegral<std::uint32_t>(),
                               in.ConsumeIntegral<std::uint32_t>()});
    }
    const hosts_ipc::Response responses[] = {hosts_ipc::Done{}, hosts_ipc::Unchanged{},
                                             hosts_ipc::NotUnderstood{}, issues};
    for (const auto& r : responses) {
      auto back = hosts_ipc::decode_response(hosts_ipc::encode_response(r));
      if (!back || !(*back == r)) lwk::fatal("a response that does not round-trip");
    }
    return 0;
  }
  lwk_test::TextStore texts;  // what the sets view
  hosts_ipc::ApplySets apply;
  for (std::size_t i = 0, n = in.ConsumeIntegralInRange<std::size_t>(0, 6); i < n; ++i) {
    hosts_ipc::WireSet set{texts.keep(utf8_text(in)), {}};
    for (std::size_t j = 0, m = in.ConsumeIntegralInRange<std::size_t>(0, 6); j < m; ++j) {
      set.lines.push_back({texts.keep(utf8_text(in)), in.ConsumeBool()});
    }
    apply.sets.push_back(std::move(set));
  }
  const hosts_ipc::Request requests[] = {apply, hosts_ipc::FlushNameCache{},
                                         hosts_ipc::RemoveEverything{}};
  for (const auto& r : requests) {
    const std::string bytes = hosts_ipc::encode_request(r);  // what the decoded request views
    auto back = hosts_ipc::decode_request(bytes);
    if (!back || !(*back == r)) lwk::fatal("a request that does not round-trip");
  }
  return 0;
}
