// A unified diff of two texts, cut into lines at line feeds.
#ifndef LWK_TOOLS_LANTERN_WHARF_DIFF_H_
#define LWK_TOOLS_LANTERN_WHARF_DIFF_H_

#include <string>
#include <string_view>

namespace lantern_wharf {

// Returns a unified diff from `before` to `after` with three lines of context,
// or an empty text when they are equal. The lines that both texts share at
// their start and at their end are kept as context, and everything between
// them forms one hunk: exact for any pair of texts, and the smallest hunk for
// a change confined to one region, as a new managed block is.
std::string unified_diff(std::string_view before, std::string_view after,
                         std::string_view before_label, std::string_view after_label);

}  // namespace lantern_wharf

#endif  // LWK_TOOLS_LANTERN_WHARF_DIFF_H_
