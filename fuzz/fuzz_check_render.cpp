// Sets that pass the check, rendered into a file that reads, give a file that
// reads again and renders the same a second time.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/result.h"
#include "base/utf8.h"
#include "check/check.h"
#include "hosts_core/block.h"
#include "support/render_exception.h"
#include "support/text_store.h"

namespace {

std::string utf8_text(FuzzedDataProvider& in, std::size_t max) {
  std::string text = in.ConsumeRandomLengthString(max);
  text.resize(lwk::utf8::valid_prefix(text));
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  lwk_test::TextStore texts;  // what the sets view
  std::vector<hosts_ipc::WireSet> sets;
  for (std::size_t i = 0, n = in.ConsumeIntegralInRange<std::size_t>(0, 4); i < n; ++i) {
    hosts_ipc::WireSet set{texts.keep(utf8_text(in, 80)), {}};
    for (std::size_t j = 0, m = in.ConsumeIntegralInRange<std::size_t>(0, 6); j < m; ++j) {
      set.lines.push_back({texts.keep(utf8_text(in, 120)), in.ConsumeBool()});
    }
    sets.push_back(std::move(set));
  }
  const std::string file = in.ConsumeRemainingBytesAsString();
  auto checked = hosts_helper_core::check::check(sets, hosts_helper_core::check::Limits::service());
  if (!checked) return 0;
  auto read = hosts_core::block::ManagedFile::read(file);
  if (!read) return 0;
  const std::string once = read->render(*checked);
  auto again = hosts_core::block::ManagedFile::read(once);
  if (!again) lwk::fatal("sets that passed the check broke the file");
  if (!lwk_test::renders_differently_twice(file) && again->render(*checked) != once) {
    lwk::fatal("a second rendering differs");
  }
  return 0;
}
