#include "hosts_core/quoted.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using hosts_core::quoted::needs_escape;
using hosts_core::quoted::quoted_form;

TEST(Quoted, Escapes) {
  struct Case {
    std::string text;
    std::string quoted;
  };
  const Case cases[] = {
      {"", "\"\""},
      {"plain ~text~ 'single'", "\"plain ~text~ 'single'\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"back\\slash", "\"back\\\\slash\""},
      {"\t\r\n", "\"\\t\\r\\n\""},
      {std::string("a\0b", 3), "\"a\\0b\""},
      {"\x01\x1F\x7F", "\"\\u{1}\\u{1f}\\u{7f}\""},
      {"e\xCC\x81", "\"e\\u{301}\""},                            // combining acute accent
      {"\xE0\xA4\x95\xE0\xA5\x8D", "\"\xE0\xA4\x95\\u{94d}\""},  // Devanagari virama
      {"\xE2\x80\x8D", "\"\\u{200d}\""},  // zero width joiner, Grapheme_Extend
      {"a\xC2\xA0"
       "b",
       "\"a\\u{a0}b\""},                       // no-break space
      {"\xE2\x80\x8B", "\"\\u{200b}\""},       // zero width space, Cf
      {"\xEF\xBB\xBF", "\"\\u{feff}\""},       // byte-order mark
      {"\xCD\xB8", "\"\\u{378}\""},            // unassigned
      {"\xF3\xA0\x80\x81", "\"\\u{e0001}\""},  // language tag, Cf
      {"\xEE\x80\x80", "\"\\u{e000}\""},       // private use
      {"\xE2\x80\xA8", "\"\\u{2028}\""},       // line separator
      {"\xE3\x80\x80", "\"\\u{3000}\""},       // ideographic space
      {"b\xC3\xBC"
       "cher \xD0\x96 \xE6\x97\xA5 \xF0\x9F\x98\x80",
       "\"b\xC3\xBC"
       "cher \xD0\x96 \xE6\x97\xA5 \xF0\x9F\x98\x80\""},  // printable letters stay
      {"\xFF", "\"\\x{ff}\""},                            // not UTF-8: shown, not dropped
  };
  for (const Case& c : cases) EXPECT_EQ(quoted_form(c.text), c.quoted) << c.text;
}

// Only what a terminal would take as a command is escaped, as the quoted
// form writes it; quotation marks, backslashes and the rest stand.
TEST(Quoted, ControlsEscaped) {
  using hosts_core::quoted::controls_escaped;
  EXPECT_EQ(controls_escaped(std::string("\x1b]0;\"t\\\x07\t\0\n", 11)),
            "\\u{1b}]0;\"t\\\\u{7}\\t\\0\\n");
  EXPECT_EQ(controls_escaped("a\tb\r\n\xC2\x9B\xC2\xA0\xFF", "\t\n"),
            "a\tb\\r\n\\u{9b}\xC2\xA0\\x{ff}");  // CSI in C1; a no-break space stands
}

TEST(Quoted, TableBoundaries) {
  EXPECT_FALSE(needs_escape(U' '));
  EXPECT_FALSE(needs_escape(U'~'));
  EXPECT_TRUE(needs_escape(U'\u007F'));
  EXPECT_TRUE(needs_escape(U'\u0085'));
  EXPECT_TRUE(needs_escape(U'\u00AD'));  // soft hyphen, Cf
  EXPECT_FALSE(needs_escape(U'\u00A1'));
  EXPECT_TRUE(needs_escape(U'\u0300'));
  EXPECT_TRUE(needs_escape(U'\u036F'));
  EXPECT_FALSE(needs_escape(U'\u0370'));
  EXPECT_TRUE(needs_escape(char32_t{0xD800}));  // surrogate
  EXPECT_TRUE(needs_escape(U'\U0010FFFF'));
  EXPECT_FALSE(needs_escape(U'\U0001F600'));
}

}  // namespace
