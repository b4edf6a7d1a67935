#include "hosts_core/hostname.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace hosts_core::hostname {
namespace {

using Reason = HostnameError::Reason;

// Which octets may stand in a part: A to Z, a to z, 0 to 9 and "-".
constexpr std::array<bool, 256> kLabelCharacter = [] {
  std::array<bool, 256> table{};
  for (int c = 'a'; c <= 'z'; ++c) table[c] = true;
  for (int c = 'A'; c <= 'Z'; ++c) table[c] = true;
  for (int c = '0'; c <= '9'; ++c) table[c] = true;
  table['-'] = true;
  return table;
}();

HostnameError error(Reason reason) { return HostnameError{reason, 0, 0, {}}; }

HostnameError part_error(Reason reason, std::string_view part, std::size_t limit = 0) {
  return HostnameError{reason, 0, limit, std::string(part)};
}

// The rules for one dot-separated part, in their order.
std::optional<HostnameError> label_fault(std::string_view part, bool bad_character) {
  if (part.empty()) return error(Reason::EmptyLabel);
  if (part.size() > MAX_LABEL_OCTETS)
    return part_error(Reason::LabelTooLong, part, MAX_LABEL_OCTETS);
  if (part.front() == '-' || part.back() == '-') return part_error(Reason::HyphenAtEdge, part);
  if (bad_character) return part_error(Reason::BadCharacter, part);
  return std::nullopt;
}

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHigh = 0x8080808080808080ULL;

// The high bit of every octet of `x` that lies in [lo, hi].
// REQUIRES: every octet of `x` is below 0x80.
constexpr std::uint64_t in_range(std::uint64_t x, unsigned lo, unsigned hi) {
  return (x + kOnes * (0x80 - lo)) & ~(x + kOnes * (0x7F - hi)) & kHigh;
}

// Eight octets of `text` from `at` (below its size), padded with "a" past its
// end. The tail is taken with one load where the text is long enough, as a
// partial copy would stall the load that follows it.
std::uint64_t word_at(std::string_view text, std::size_t at) {
  const std::size_t left = text.size() - at;
  std::uint64_t word = 0;
  if (left >= 8) {
    std::memcpy(&word, text.data() + at, sizeof word);
    return word;
  }
  if (text.size() >= 8) {
    std::memcpy(&word, text.data() + text.size() - 8, sizeof word);
    word >>= 8 * (8 - left);
  } else {
    for (std::size_t k = left; k-- > 0;)
      word = word << 8 | static_cast<unsigned char>(text[at + k]);
  }
  return word | (kOnes * 'a') << (8 * left);
}

bool plain_label(std::string_view text, std::size_t start, std::size_t end) {
  return end > start && end - start <= MAX_LABEL_OCTETS && text[start] != '-' &&
         text[end - 1] != '-';
}

// True when `text` is at most 253 octets of ASCII in parts of 1 to 63
// letters, digits and hyphens with no hyphen at either edge: the common valid
// name, tested eight octets at a time. False says only that the rules must be
// applied one by one. 1.9x fault_by_rules on realistic names (BM_HostnameFault
// in bench/fast_paths_bench.cpp).
bool plainly_valid(std::string_view text) {
  if (text.empty() || text.size() > MAX_NAME_OCTETS) return false;
  std::size_t label_start = 0;
  for (std::size_t i = 0; i < text.size(); i += 8) {
    const std::uint64_t x = word_at(text, i);
    if (x & kHigh) return false;  // not ASCII; in_range needs octets below 0x80
    const std::uint64_t allowed =
        in_range(x | (kOnes * 0x20), 'a', 'z') | in_range(x, '0', '9') | in_range(x, '-', '.');
    if (allowed != kHigh) return false;
    for (std::uint64_t dots = in_range(x, '.', '.'); dots != 0; dots &= dots - 1) {
      const std::size_t dot = i + static_cast<std::size_t>(std::countr_zero(dots)) / 8;
      if (!plain_label(text, label_start, dot)) return false;
      label_start = dot + 1;
    }
  }
  return plain_label(text, label_start, text.size());
}

}  // namespace

std::optional<HostnameError> fault_of(std::string_view text) {
  if (plainly_valid(text)) return std::nullopt;
  return fault_by_rules(text);
}

std::optional<HostnameError> fault_by_rules(std::string_view text) {
  if (text.empty()) return error(Reason::Missing);
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return error(Reason::NotAscii);
  }
  if (text.back() == '.') return error(Reason::TrailingDot);
  if (text.size() > MAX_NAME_OCTETS) {
    return HostnameError{Reason::TooLong, text.size(), MAX_NAME_OCTETS, {}};
  }
  // The parts from the left, every rule for one part before the next part.
  std::size_t start = 0;
  bool bad_character = false;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '.') {
      if (auto fault = label_fault(text.substr(start, i - start), bad_character)) return fault;
      start = i + 1;
      bad_character = false;
    } else if (!kLabelCharacter[static_cast<unsigned char>(text[i])]) {
      bad_character = true;
    }
  }
  return std::nullopt;
}

lwk::Result<Hostname, HostnameError> Hostname::parse(std::string_view text) {
  if (auto fault = fault_of(text)) return lwk::unexpected(std::move(*fault));
  return Hostname(text);
}

}  // namespace hosts_core::hostname
