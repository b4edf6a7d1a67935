// Reads a sets file: {"sets": [{"name": "...", "lines": [LINE, ...]}, ...]},
// where a LINE is {"text": "...", "enabled": true|false} (enabled defaults to
// true) or a plain string (a switched-on line). "lines" may be left out.
#ifndef LWK_TOOLS_LANTERN_WHARF_SETS_JSON_H_
#define LWK_TOOLS_LANTERN_WHARF_SETS_JSON_H_

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "ipc/wire.h"

namespace lantern_wharf {

// Parses the text of a sets file. Refuses invalid JSON, unknown keys, missing
// names and wrong types with a message that names where the fault is, e.g.
// "sets[0].lines[1].enabled: expected true or false".
lwk::Result<std::vector<hosts_ipc::WireSet>, std::string> parse_sets(std::string_view json);

}  // namespace lantern_wharf

#endif  // LWK_TOOLS_LANTERN_WHARF_SETS_JSON_H_
