// UTF-8 validation (RFC 3629: no overlong forms, no surrogates, nothing above
// U+10FFFF).
#ifndef LWK_BASE_UTF8_H_
#define LWK_BASE_UTF8_H_

#include <cstddef>
#include <string_view>

namespace lwk::utf8 {

// Returns the length in octets of the longest prefix of `bytes` that is valid
// UTF-8. The whole input is valid exactly when the result equals its size.
std::size_t valid_prefix(std::string_view bytes);

// The same answer, one code point at a time with decode(): the plain version
// that valid_prefix's fast path is checked against.
std::size_t valid_prefix_plain(std::string_view bytes);

inline bool is_valid(std::string_view bytes) { return valid_prefix(bytes) == bytes.size(); }

// Decodes one code point at `at`, which must be below text.size(). On success
// stores the code point in *code_point and returns its length in octets (1 to
// 4); on a byte that does not begin a valid sequence returns 0.
std::size_t decode(std::string_view text, std::size_t at, char32_t* code_point);

}  // namespace lwk::utf8

#endif  // LWK_BASE_UTF8_H_
