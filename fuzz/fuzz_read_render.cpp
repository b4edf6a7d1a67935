// Read a fuzzed file, render fuzzed sets into it, and hold the rendering to
// its promises: for sets of UTF-8 whose lines cannot split or imitate the markup, the
// result reads again, keeps head and tail, and renders the same a second time.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "base/text.h"
#include "base/utf8.h"
#include "hosts_core/block.h"
#include "hosts_core/markup.h"
#include "support/render_exception.h"
#include "support/text_store.h"

namespace {

using hosts_core::block::BlockSet;
using hosts_core::block::ManagedFile;

// Names and texts arrive as UTF-8 (the wire decoder refuses anything else).
bool safe(std::string_view text) {
  return lwk::utf8::is_valid(text) && text.find_first_of("\r\n") == std::string_view::npos &&
         !hosts_core::markup::impersonates_markup(text);
}

bool safe_name(std::string_view name) {
  return lwk::utf8::is_valid(name) && !lwk::contains(name, hosts_core::markup::OPENING_MARKER) &&
         !lwk::contains(name, hosts_core::markup::CLOSING_MARKER);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  lwk_test::TextStore texts;  // what the sets view
  std::vector<BlockSet> sets;
  bool guarded = true;
  const std::size_t set_count = in.ConsumeIntegralInRange<std::size_t>(0, 4);
  for (std::size_t i = 0; i < set_count; ++i) {
    BlockSet set{texts.keep(in.ConsumeRandomLengthString(64)), {}};
    guarded = guarded && safe_name(set.name);
    const std::size_t line_count = in.ConsumeIntegralInRange<std::size_t>(0, 6);
    for (std::size_t j = 0; j < line_count; ++j) {
      const bool enabled = in.ConsumeBool();
      const std::string_view text = texts.keep(in.ConsumeRandomLengthString(128));
      guarded = guarded && safe(text);
      set.lines.push_back({text, enabled});
    }
    sets.push_back(std::move(set));
  }
  const std::string bytes = in.ConsumeRemainingBytesAsString();
  auto file = ManagedFile::read(bytes);
  if (!file) return 0;
  const std::string once = file->render(sets);
  if (!once.starts_with(file->head)) lwk::fatal("rendering lost the head");
  if (file->body && !once.ends_with(file->tail)) lwk::fatal("rendering lost the tail");
  if (!guarded) return 0;

  auto again = ManagedFile::read(once);
  if (!again) lwk::fatal("a rendered file does not read again");
  if (!lwk_test::renders_differently_twice(bytes) && again->render(sets) != once) {
    lwk::fatal("a second rendering differs");
  }
  return 0;
}
