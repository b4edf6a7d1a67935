// Where the managed block stands in the whole file, for a view of it.
#include <algorithm>

#include "client/manager.h"
#include "hosts_core/block.h"

namespace lantern_wharf::manager {

LineSpan block_span(std::string_view bytes) {
  const auto file = hosts_core::block::ManagedFile::read(bytes);
  if (!file || !file->body) return {};
  // The body is whole lines, each ended by its terminator, for the closing
  // marker's line follows it.
  const auto lines = [](std::string_view text) -> std::uint64_t {
    return static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
  };
  const std::uint64_t first = 1 + lines(file->head);
  return {first, first + lines(*file->body) + 1};
}

}  // namespace lantern_wharf::manager
