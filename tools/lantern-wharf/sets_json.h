// Reads a sets file: {"sets": [{"name": "...", "lines": [LINE, ...]}, ...]},
// where a LINE is {"text": "...", "enabled": true|false} (enabled defaults to
// true) or a plain string (a switched-on line). "lines" may be left out.
#ifndef LWK_TOOLS_LANTERN_WHARF_SETS_JSON_H_
#define LWK_TOOLS_LANTERN_WHARF_SETS_JSON_H_

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "ipc/wire.h"

namespace lantern_wharf {

// The sets of a sets file, and the texts their names and lines view. It moves
// but does not copy: a copy's sets would view the original's texts.
struct SetsFile {
  SetsFile() = default;
  SetsFile(SetsFile&&) = default;
  SetsFile& operator=(SetsFile&&) = default;
  SetsFile(const SetsFile&) = delete;
  SetsFile& operator=(const SetsFile&) = delete;

  std::deque<std::string> texts;  // a deque: its elements never move
  std::vector<hosts_ipc::WireSet> sets;
};

// Parses the text of a sets file. Refuses invalid JSON, unknown keys, missing
// names and wrong types with a message that names where the fault is, e.g.
// "sets[0].lines[1].enabled: expected true or false".
lwk::Result<SetsFile, std::string> parse_sets(std::string_view json);

}  // namespace lantern_wharf

#endif  // LWK_TOOLS_LANTERN_WHARF_SETS_JSON_H_
