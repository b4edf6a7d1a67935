// The quoted form in which messages show text that the user wrote.
#ifndef LWK_HOSTS_CORE_QUOTED_H_
#define LWK_HOSTS_CORE_QUOTED_H_

#include <string>
#include <string_view>

namespace hosts_core::quoted {

// Returns `text` between two double quotation marks. Inside, a double quotation
// mark becomes \", a backslash \\, a tab \t, a carriage return \r, a line feed
// \n, a NUL \0; any other character that is not printable, or that has the
// Grapheme_Extend property, becomes \u{X} with X its code point in lower-case
// hexadecimal; every other character stands as itself. An octet that is not
// part of valid UTF-8 (which callers never pass) becomes \x{X} with X its value.
std::string quoted_form(std::string_view text);

// `text` as it stands but for its control characters (U+0000 to U+001F and
// U+007F to U+009F), each written as quoted_form() writes it (\t, \r, \n,
// \0, \u{X}), and any octet that is not part of valid UTF-8, written \x{X};
// the control characters in `kept` (a tab, a line feed) stay as they are.
// No quotation marks are added and none are escaped: text that is safe to
// put on a terminal, for a person to read.
std::string controls_escaped(std::string_view text, std::string_view kept = {});

// True when the quoted form writes `code_point` as \u{X}: it is not printable
// (general category Cc, Cf, Cs, Co, Cn, Zl, Zp, or Zs other than U+0020) or it
// has the Grapheme_Extend property.
bool needs_escape(char32_t code_point);

}  // namespace hosts_core::quoted

#endif  // LWK_HOSTS_CORE_QUOTED_H_
