#include "hosts_core/quoted.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "base/utf8.h"

namespace hosts_core::quoted {
namespace {

struct CodePointRange {
  char32_t first;
  char32_t last;
};

#include "hosts_core/unicode_tables.inc"

void append_hex(std::string* out, const char* opening, std::uint32_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  char buffer[8];
  int n = 0;
  do {
    buffer[n++] = kDigits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  *out += opening;
  while (n > 0) *out += buffer[--n];
  *out += '}';
}

// Appends the escape that the quoted form writes for the control character
// `c` (below U+0080).
void append_control(std::string* out, char c) {
  switch (c) {
    case '\t': *out += "\\t"; return;
    case '\r': *out += "\\r"; return;
    case '\n': *out += "\\n"; return;
    case '\0': *out += "\\0"; return;
    default: append_hex(out, "\\u{", static_cast<unsigned char>(c)); return;
  }
}

// Appends the character that begins at text[i], as \u{X} when `escaped`
// holds for its code point, else as it stands; an octet that begins no
// UTF-8 character as \x{X}. Gives the octets it took.
template <class Escaped>
std::size_t append_character(std::string* out, std::string_view text, std::size_t i,
                             Escaped escaped) {
  char32_t code_point;
  const std::size_t len = lwk::utf8::decode(text, i, &code_point);
  if (len == 0) {
    append_hex(out, "\\x{", static_cast<unsigned char>(text[i]));
    return 1;
  }
  if (escaped(code_point)) {
    append_hex(out, "\\u{", code_point);
  } else {
    out->append(text.substr(i, len));
  }
  return len;
}

}  // namespace

std::string controls_escaped(std::string_view text, std::string_view kept) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    const auto octet = static_cast<unsigned char>(c);
    if (octet < 0x80) {
      const bool control = octet < 0x20 || octet == 0x7F;
      if (control && kept.find(c) == std::string_view::npos) {
        append_control(&out, c);
      } else {
        out += c;
      }
      ++i;
      continue;
    }
    i += append_character(&out, text, i, [](char32_t c) { return c <= 0x9F; });  // C1 controls
  }
  return out;
}

bool needs_escape(char32_t code_point) {
  const auto* end = std::end(kEscapedRanges);
  const auto* it =
      std::upper_bound(std::begin(kEscapedRanges), end, code_point,
                       [](char32_t c, const CodePointRange& r) { return c < r.first; });
  if (it == std::begin(kEscapedRanges)) return false;
  --it;
  return code_point <= it->last;
}

std::string quoted_form(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    switch (c) {
      case '"':
        out += "\\\"";
        ++i;
        continue;
      case '\\':
        out += "\\\\";
        ++i;
        continue;
      case '\t':
      case '\r':
      case '\n':
      case '\0':
        append_control(&out, c);
        ++i;
        continue;
      default: break;
    }
    const auto octet = static_cast<unsigned char>(c);
    if (octet >= 0x20 && octet < 0x7F) {
      out += c;
      ++i;
      continue;
    }
    i += append_character(&out, text, i, needs_escape);
  }
  out += '"';
  return out;
}

}  // namespace hosts_core::quoted
