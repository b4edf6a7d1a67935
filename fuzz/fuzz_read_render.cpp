// Read a fuzzed file, render fuzzed sets into it, and hold the rendering to
// its promises: for sets of UTF-8 whose lines cannot split or imitate the markup, the
// result reads again, keeps head and tail, and renders the same a second time.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "base/utf8.h"
#include "hosts_core/block.h"
#include "hosts_core/markup.h"

namespace {

using hosts_core::block::BlockSet;
using hosts_core::block::ManagedFile;

// Names and texts arrive as UTF-8 (the wire decoder refuses anything else).
bool safe(const std::string& text) {
  return lwk::utf8::is_valid(text) && text.find_first_of("\r\n") == std::string::npos &&
         !hosts_core::markup::impersonates_markup(text);
}

bool safe_name(const std::string& name) {
  return lwk::utf8::is_valid(name) &&
         name.find(hosts_core::markup::OPENING_MARKER) == std::string::npos &&
         name.find(hosts_core::markup::CLOSING_MARKER) == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  std::vector<BlockSet> sets;
  bool guarded = true;
  const std::size_t set_count = in.ConsumeIntegralInRange<std::size_t>(0, 4);
  for (std::size_t i = 0; i < set_count; ++i) {
    BlockSet set{in.ConsumeRandomLengthString(64), {}};
    guarded = guarded && safe_name(set.name);
    const std::size_t line_count = in.ConsumeIntegralInRange<std::size_t>(0, 6);
    for (std::size_t j = 0; j < line_count; ++j) {
      const bool enabled = in.ConsumeBool();
      std::string text = in.ConsumeRandomLengthString(128);
      guarded = guarded && safe(text);
      set.lines.push_back({std::move(text), enabled});
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
  const bool exception =
      bytes.find('\n') == std::string::npos && !bytes.empty() && bytes.back() == '\r';
  if (!exception && again->render(sets) != once) lwk::fatal("a second rendering differs");
  return 0;
}
