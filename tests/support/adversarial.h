// Texts made of the pieces where a fast path is most likely to part from its
// plain twin: word boundaries, every kind of white space, letters on either
// side of the ranges the bit tricks test, octets that are not UTF-8, and the
// markup's own texts.
#ifndef LWK_TESTS_SUPPORT_ADVERSARIAL_H_
#define LWK_TESTS_SUPPORT_ADVERSARIAL_H_

#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace lwk_test {

inline const std::vector<std::string>& adversarial_pieces() {
  static const std::vector<std::string> pieces = {
      // Name characters, and their neighbours in the octet order.
      "a", "z", "A", "Z", "0", "9", "-", ".", "host", "Example", "xn--bcher-kva", "/", ",", "@",
      "[", "`", "{", "_", ":", "\x7f", "*",
      // Addresses and pieces of them.
      "10.0.0.1", "255", "256", "01", "00", "1.2.3", "::", "::1", "fe80", "%en0", "ffff",
      // White space of every kind, and near misses.
      " ", "\t", "\v", "\f", "\r", "\n", "\xC2\xA0", "\xC2\x85", "\xE1\x9A\x80", "\xE2\x80\x80",
      "\xE2\x80\x8A", "\xE2\x80\x8B", "\xE2\x80\xA8", "\xE2\x80\xAF", "\xE2\x81\x9F",
      "\xE3\x80\x80", "\xE3\x80\x81",
      // Not ASCII, and not UTF-8.
      "\xC3\xA9", "\xE2\x80\x94", "\xF0\x9F\x98\x80", "\x80", "\xC3", "\xE2\x80", "\xFF",
      "\xF0\xE2\x80\x80",
      // Comments and the markup.
      "#", "# note", "# <<< lantern-wharf <<<",
      "# lantern-wharf off: ", "# >>> lantern-wharf node: ",
      // Long runs, past the eight-octet words and the length limits.
      std::string(7, 'a'), std::string(8, 'b'), std::string(9, 'c'), std::string(63, 'd'),
      std::string(64, 'e'), std::string(120, 'f')};
  return pieces;
}

// Up to `max_pieces` pieces, chosen at random.
inline std::string adversarial_text(std::mt19937& rng, std::size_t max_pieces) {
  const auto& pieces = adversarial_pieces();
  std::string out;
  for (std::size_t i = 0, n = rng() % (max_pieces + 1); i < n; ++i) {
    out += pieces[rng() % pieces.size()];
  }
  return out;
}

// Random octets, every value equally likely.
inline std::string random_octets(std::mt19937& rng, std::size_t max_length) {
  std::string out(rng() % (max_length + 1), '\0');
  for (char& c : out) c = static_cast<char>(rng() & 0xFF);
  return out;
}

}  // namespace lwk_test

#endif  // LWK_TESTS_SUPPORT_ADVERSARIAL_H_
