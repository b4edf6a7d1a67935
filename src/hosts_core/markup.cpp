#include "hosts_core/markup.h"

#include "base/text.h"

namespace hosts_core::markup {

bool impersonates_markup(std::string_view text) {
  // Every marker text begins with "#": a line without one needs no search.
  if (text.find('#') == std::string_view::npos) return false;
  return text.starts_with(NODE_PREFIX) || text.starts_with(OFF_PREFIX) ||
         lwk::contains(text, CLOSING_MARKER) || lwk::contains(text, OPENING_MARKER);
}

}  // namespace hosts_core::markup
