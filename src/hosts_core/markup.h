// The four fixed texts of the managed block's markup, and the guard that tells
// whether a line of text could be taken for that markup. The texts are compared
// byte for byte: no case folding, no trimming.
#ifndef LWK_HOSTS_CORE_MARKUP_H_
#define LWK_HOSTS_CORE_MARKUP_H_

#include <string_view>

namespace hosts_core::markup {

// The opening marker line; the dash is U+2014 (E2 80 94). 53 octets.
inline constexpr std::string_view OPENING_MARKER =
    "# >>> lantern-wharf managed block \xE2\x80\x94 do not edit >>>";
// The closing marker line. 23 octets.
inline constexpr std::string_view CLOSING_MARKER = "# <<< lantern-wharf <<<";
// Begins the heading line of a set, followed by the set's escaped name. 26 octets.
inline constexpr std::string_view NODE_PREFIX = "# >>> lantern-wharf node: ";
// Begins a switched-off line, followed by the line's text. 21 octets.
inline constexpr std::string_view OFF_PREFIX = "# lantern-wharf off: ";

// True when `text` contains OPENING_MARKER or CLOSING_MARKER anywhere, or
// begins (at its very first byte) with NODE_PREFIX or OFF_PREFIX.
bool impersonates_markup(std::string_view text);

}  // namespace hosts_core::markup

#endif  // LWK_HOSTS_CORE_MARKUP_H_
