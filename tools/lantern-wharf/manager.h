// The sets as a person manages them: read back from the managed block of the
// hosts file, which is their only home (the client keeps no state of its
// own), changed one step at a time, and sent whole to the helper, whose check
// guards every change.
#ifndef LWK_TOOLS_LANTERN_WHARF_MANAGER_H_
#define LWK_TOOLS_LANTERN_WHARF_MANAGER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "ipc/wire.h"

namespace lantern_wharf::manager {

struct Line {
  std::string text;
  bool enabled = true;
  friend bool operator==(const Line&, const Line&) = default;
};

struct Set {
  std::string name;
  std::vector<Line> lines;
  friend bool operator==(const Set&, const Set&) = default;
};

// The sets of the managed block of the hosts file whose bytes are `file`,
// in order; none when it has no block. Fails with a sentence naming the line
// of the file when the block cannot be read back, or holds a line or a name
// the helper's check would refuse (an edit by hand, say): nothing can then be
// changed without losing it.
lwk::Result<std::vector<Set>, std::string> read_sets(std::string_view file);

// The sets as a request carries them; the views point into `sets`.
std::vector<hosts_ipc::WireSet> to_wire(const std::vector<Set>& sets);

// The sets a request carries, as sets of their own.
std::vector<Set> from_wire(const std::vector<hosts_ipc::WireSet>& sets);

// The sets file that `apply` takes, holding `sets`.
std::string to_sets_file(const std::vector<Set>& sets);

// A change a person asked for that cannot be made: the sentence says why.
using Refusal = std::string;

// The index of the set named `name`, or "there is no set named NAME".
lwk::Result<std::size_t, Refusal> find(const std::vector<Set>& sets, std::string_view name);

// Switches lines of the set `name` on or off: the lines numbered in
// `numbers` (from 1, as the check numbers them), or every line of the set
// when `numbers` is empty.
lwk::Result<void, Refusal> set_enabled(std::vector<Set>& sets, std::string_view name,
                                       const std::vector<std::uint64_t>& numbers, bool enabled);

// Adds `texts` as lines at the end of the set `name`, made when it is new.
void add_lines(std::vector<Set>& sets, std::string_view name, const std::vector<std::string>& texts,
               bool enabled);

// Removes the lines numbered in `numbers` from the set `name`, or the whole
// set when `numbers` is empty.
lwk::Result<void, Refusal> remove(std::vector<Set>& sets, std::string_view name,
                                  const std::vector<std::uint64_t>& numbers);

// Gives the set `from` the name `to`, which no other set may have.
lwk::Result<void, Refusal> rename(std::vector<Set>& sets, std::string_view from,
                                  std::string_view to);

// The lines of a hosts-format text, each kept as written, switched on. Its
// line endings (LF or CRLF) are not part of the lines. Fails for text that is
// not UTF-8, naming the line.
lwk::Result<std::vector<std::string>, Refusal> lines_of(std::string_view text);

// Switches off every switched-on entry line that rendering would leave out
// because an earlier line writes the same entry: left on, such a line would
// not be written, and so would be gone from its set when the sets are next
// read back. Switched off, it stays in its set, and can be switched on once
// the earlier line is off. One sentence for each: "set S, line N is kept
// switched off: set T, line M already writes that entry".
std::vector<std::string> keep_repeats_off(std::vector<Set>& sets);

// One backup the helper keeps: the file as it was before one of its changes.
struct Backup {
  std::string path;
  std::uint64_t nanoseconds;  // when it was made, since 1970
  std::uint64_t counter;
};

// The backups in the directory `backups`, newest first; entries not named as
// the helper names backups are passed over, and a directory that does not
// exist holds none.
lwk::Result<std::vector<Backup>, std::string> backups_in(const std::string& backups);

// What changed from the sets `before` to the sets `after`: a phrase for each
// set added or changed, in the order of `after` ("added \"work\"", "changed
// \"work\""), then for each removed ("removed \"work\""), then "reordered the
// sets" when the sets both hold stand in another order. Empty when nothing did.
std::vector<std::string> changes(const std::vector<Set>& before, const std::vector<Set>& after);

}  // namespace lantern_wharf::manager

#endif  // LWK_TOOLS_LANTERN_WHARF_MANAGER_H_
