#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf8, ValidPrefixLength) {
  struct Case {
    std::string bytes;
    std::size_t prefix;
  };
  const Case cases[] = {
      {"", 0},
      {"plain ascii text that is longer than eight octets", 49},
      {"caf\xC3\xA9", 5},
      {"\xE2\x80\x94 dash", 8},
      {"\xF0\x9F\x98\x80", 4},  // U+1F600
      {"ab\xFF"
       "cd",
       2},                          // never valid
      {"ab\xC0\x80", 2},            // overlong NUL
      {"\xE0\x80\xAF", 0},          // overlong three-octet form
      {"x\xED\xA0\x80", 1},         // surrogate U+D800
      {"\xF4\x90\x80\x80", 0},      // above U+10FFFF
      {"abc\xE2\x80", 3},           // cut short at the end
      {"12345678\xC3(", 8},         // bad continuation after a fast-path word
      {std::string("a\0b", 3), 3},  // NUL is valid UTF-8
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lwk::utf8::valid_prefix(c.bytes), c.prefix) << c.bytes;
  }
}

TEST(Utf8, DecodesCodePoints) {
  char32_t cp = 0;
  EXPECT_EQ(lwk::utf8::decode("\xC2\xA0", 0, &cp), 2u);
  EXPECT_EQ(cp, U'\u00A0');
  EXPECT_EQ(lwk::utf8::decode("\xEF\xBB\xBF", 0, &cp), 3u);
  EXPECT_EQ(cp, U'\uFEFF');
  EXPECT_EQ(lwk::utf8::decode("\xF0\x9F\x98\x80", 0, &cp), 4u);
  EXPECT_EQ(cp, U'\U0001F600');
  EXPECT_EQ(lwk::utf8::decode("\x80", 0, &cp), 0u);
}

}  // namespace
