// Two small text helpers that several libraries need.
#ifndef LWK_BASE_TEXT_H_
#define LWK_BASE_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lwk {

// Whether `needle` stands anywhere in `text` (std::string_view::contains
// arrives only with C++23).
inline bool contains(std::string_view text, std::string_view needle) {
  return text.find(needle) != std::string_view::npos;
}

// `value` in decimal, with leading zeros up to `width` digits; longer numbers
// keep all their digits.
inline std::string zero_padded(std::uint64_t value, std::size_t width) {
  std::string digits = std::to_string(value);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

}  // namespace lwk

#endif  // LWK_BASE_TEXT_H_
