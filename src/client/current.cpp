// The file as it is now, and the sets read back from its block.
#include <algorithm>
#include <utility>

#include "check/check.h"
#include "check/pipeline.h"
#include "client/failures.h"
#include "client/input_file.h"
#include "client/manager.h"
#include "hosts_core/block.h"

namespace lantern_wharf::manager {
namespace {

using hosts_core::block::ManagedFile;

// The line of the file `bytes` that holds line `line` (0: the heading) of
// the set `set` of its block, which reads.
std::uint64_t file_line(std::string_view bytes, const Sets& sets, std::uint64_t set,
                        std::uint64_t line) {
  const std::string_view head = ManagedFile::read(bytes)->head;
  std::uint64_t n = 2 + static_cast<std::uint64_t>(std::count(head.begin(), head.end(), '\n'));
  for (std::uint64_t s = 0; s < set && s < sets.size(); ++s) n += 1 + sets[s].lines.size();
  return n + line;
}

}  // namespace

lwk::Result<std::string, Failure> read_file(const std::string& path) {
  auto bytes = input_file::read(path, FILE_LIMIT);
  if (!bytes) {
    return fails(bytes.error().refused ? Failure::Kind::BadInput : Failure::Kind::Refused,
                 path + ": " + bytes.error().message);
  }
  return std::move(*bytes);
}

lwk::Result<Sets, Failure> read_block(std::string_view bytes) {
  auto file = ManagedFile::read(bytes);
  if (!file) return refused(hosts_helper_core::pipeline::broken_markup(file.error()));
  // Each line of the block, a heading or a set's line, takes at least a
  // line's share of a request; the helper never writes more than one carries.
  const auto lines = file->body ? std::count(file->body->begin(), file->body->end(), '\n') : 0;
  if (!fits_in_a_message(0, static_cast<std::uint64_t>(lines), 0)) {
    return refused("the managed block holds " + std::to_string(lines) +
                   " lines, more than a message to the helper carries");
  }
  auto read = file->read_sets();
  if (!read) {
    return refused("the managed block cannot be read back at line " +
                   std::to_string(read.error().line) + ": " + read.error().message);
  }
  Sets sets;
  sets.reserve(read->size());
  for (const auto& r : *read) {
    Set set{r.name, {}};
    set.lines.reserve(r.lines.size());
    for (const auto& line : r.lines) set.lines.push_back({std::string(line.text), line.enabled});
    sets.push_back(std::move(set));
  }
  return sets;
}

lwk::Result<Sets, Failure> read_sets(std::string_view bytes) {
  auto sets = read_block(bytes);
  if (!sets) return sets;
  auto checked =
      hosts_helper_core::check::check(to_wire(*sets), hosts_helper_core::check::Limits::service());
  if (!checked) {
    const hosts_ipc::Issue& first = checked.error().front();
    return refused("the managed block holds what the helper would refuse, at line " +
                   std::to_string(file_line(bytes, *sets, first.set, first.line)) + ": " +
                   first.message);
  }
  return sets;
}

Reading read_reading(const std::string& path) {
  auto bytes = read_file(path);
  auto sets = [&]() -> lwk::Result<Sets, Failure> {
    if (!bytes) return lwk::unexpected(bytes.error());
    auto read = read_sets(*bytes);
    if (read) return read;
    return refused(path + ": " + read.error().sentence);
  }();
  return Reading{std::move(bytes), std::move(sets)};
}

lwk::Result<Current, Failure> read_current(const std::string& path) {
  Reading read = read_reading(path);
  if (!read.bytes) return lwk::unexpected(std::move(read.bytes).error());
  if (!read.sets) return lwk::unexpected(std::move(read.sets).error());
  return Current{path, std::move(*read.bytes), std::move(*read.sets)};
}

}  // namespace lantern_wharf::manager
