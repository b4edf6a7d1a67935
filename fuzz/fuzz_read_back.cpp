// Read the sets back from a fuzzed file and hold reading back to its promise:
// rendering what was read gives a file whose sets read back to exactly what
// was rendered, and renders again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "hosts_core/block.h"

namespace {

using hosts_core::block::BlockSet;
using hosts_core::block::ManagedFile;
using hosts_core::block::ReadSet;

std::vector<BlockSet> as_block_sets(const std::vector<ReadSet>& sets) {
  std::vector<BlockSet> out;
  for (const ReadSet& set : sets) out.push_back({set.name, set.lines});
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  auto file = ManagedFile::read(bytes);
  if (!file) return 0;
  auto sets = file->read_sets();
  if (!sets) return 0;
  const std::string once = file->render(as_block_sets(*sets));
  auto again = ManagedFile::read(once);
  if (!again) lwk::fatal("a block read back and rendered does not read again");
  auto back = again->read_sets();
  if (!back) lwk::fatal("the sets of a rendered block do not read back");
  if (again->render(as_block_sets(*back)) != once) {
    lwk::fatal("the sets read back from a rendering render differently");
  }
  // Only repeated entries are left out: names and switched-off lines all stay.
  if (back->size() != sets->size()) lwk::fatal("reading back lost a set");
  for (std::size_t i = 0; i < back->size(); ++i) {
    if ((*back)[i].name != (*sets)[i].name) lwk::fatal("reading back changed a set's name");
  }
  return 0;
}
