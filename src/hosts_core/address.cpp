#include "hosts_core/address.h"

#include <array>
#include <cstring>
#include <optional>

namespace hosts_core::address {
namespace {

using lwk::unexpected;

// The value of each octet as a hexadecimal digit, or -1.
constexpr std::array<std::int8_t, 256> kHexValue = [] {
  std::array<std::int8_t, 256> table{};
  for (auto& v : table) v = -1;
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<std::int8_t>(c - '0');
  for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<std::int8_t>(c - 'a' + 10);
  for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<std::int8_t>(c - 'A' + 10);
  return table;
}();

inline int hex_value(char c) { return kHexValue[static_cast<unsigned char>(c)]; }

std::optional<AddressError> fill_groups(std::string_view text, GroupList* list);

lwk::Result<Address, AddressError> parse_v6(std::string_view text) {
  const std::size_t gap = text.find("::");
  if (gap == std::string_view::npos) {
    GroupList groups;
    if (auto fault = fill_groups(text, &groups)) return unexpected(*fault);
    if (groups.count != 8) return unexpected(AddressError::Invalid);
    return Address::v6(groups.values);
  }
  const std::string_view head = text.substr(0, gap);
  const std::string_view tail = text.substr(gap + 2);
  if (tail.find("::") != std::string_view::npos) return unexpected(AddressError::Invalid);
  GroupList left;
  if (auto fault = fill_groups(head, &left)) return unexpected(*fault);
  GroupList right;
  if (auto fault = fill_groups(tail, &right)) return unexpected(*fault);
  if (left.count + right.count > 7) return unexpected(AddressError::Invalid);
  Groups out{};
  for (std::size_t i = 0; i < left.count; ++i) out[i] = left.values[i];
  const std::size_t start = 8 - right.count;
  for (std::size_t i = 0; i < right.count; ++i) out[start + i] = right.values[i];
  return Address::v6(out);
}

// What one pass of dotted-decimal parsing found.
enum class V4Scan { Parsed, Faulty, Colon };

// Parses dotted-decimal into four octets packed big-endian into *packed, or
// stores the error in *fault. One pass over the text. A count of parts other
// than four is judged before any part; then the first faulty part decides, by
// the rules in their order: one to three characters, digits only, no leading
// zero, at most 255. When `stop_at_colon` is set, a ":" or "%" ends the scan
// with V4Scan::Colon: the text is then no IPv4 address candidate at all.
V4Scan scan_v4(std::string_view text, bool stop_at_colon, std::uint32_t* packed,
               AddressError* fault) {
  bool faulty = false;
  *fault = AddressError::Invalid;
  std::uint32_t octets = 0;
  std::size_t parts = 1;
  std::size_t length = 0;  // of the current part
  unsigned value = 0;      // wraps for long parts, which are refused by length anyway
  bool non_digit = false;
  // Judges the current part once it is complete, unless an earlier part failed.
  auto judge = [&] {
    if (faulty) return;
    const bool malformed = length == 0 || length > 3 || non_digit;
    if (!malformed && length > 1 && value < (length == 2 ? 10u : 100u)) {  // begins with 0
      faulty = true;
      *fault = AddressError::LeadingZero;
    } else {
      faulty = malformed || value > 255;
    }
  };
  for (const char c : text) {
    const auto digit = static_cast<unsigned>(static_cast<unsigned char>(c) - '0');
    if (digit <= 9) {
      ++length;
      value = value * 10 + digit;
      continue;
    }
    if (c == '.') {
      judge();
      ++parts;
      octets = octets << 8 | (value & 0xFF);
      length = 0;
      value = 0;
      non_digit = false;
      continue;
    }
    if (stop_at_colon && (c == ':' || c == '%')) return V4Scan::Colon;
    ++length;
    non_digit = true;
  }
  judge();
  if (parts != 4) {
    *fault = AddressError::Invalid;
    return V4Scan::Faulty;
  }
  if (faulty) return V4Scan::Faulty;
  *packed = octets << 8 | (value & 0xFF);
  return V4Scan::Parsed;
}

// Appends the groups of `text` to *list, which must be empty; nothing on
// success, else the error.
std::optional<AddressError> fill_groups(std::string_view text, GroupList* list) {
  if (text.empty()) return std::nullopt;
  auto append = [list](unsigned g) {
    if (list->count < list->values.size()) {
      list->values[list->count] = static_cast<std::uint16_t>(g);
    }
    ++list->count;
  };
  // Every fault of a hexadecimal part is Invalid, and parts are judged from
  // the left, so the first bad part ends the pass; only a dotted last part can
  // give another error.
  std::size_t part_start = 0;
  std::size_t length = 0;
  unsigned value = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':') {
      if (length == 0 || length > 4) return AddressError::Invalid;
      append(value);
      part_start = i + 1;
      length = 0;
      value = 0;
      continue;
    }
    if (c == '.') {
      // Only the last part may be dotted decimal.
      if (text.find(':', i) != std::string_view::npos) return AddressError::Invalid;
      std::uint32_t packed = 0;
      AddressError fault;
      if (scan_v4(text.substr(part_start), false, &packed, &fault) != V4Scan::Parsed) return fault;
      append(packed >> 16);
      append(packed & 0xFFFF);
      return std::nullopt;
    }
    const int digit = hex_value(c);
    if (digit < 0) {
      // Not hexadecimal: Invalid, unless the part is a dotted last part,
      // which parse_v4 judges as a whole.
      const std::size_t next = text.find_first_of(":.", i);
      if (next == std::string_view::npos || text[next] == ':') {
        return AddressError::Invalid;
      }
      i = next - 1;
      continue;
    }
    ++length;
    value = (value << 4 | static_cast<unsigned>(digit)) & 0xFFFFF;
  }
  if (length == 0 || length > 4) return AddressError::Invalid;
  append(value);
  return std::nullopt;
}

}  // namespace

std::size_t Address::hash() const {
  // The sixteen octets as two words, mixed with the family.
  std::uint64_t high;
  std::uint64_t low;
  std::memcpy(&high, words_.data(), sizeof high);
  std::memcpy(&low, words_.data() + 4, sizeof low);
  std::uint64_t h = (high ^ (family_ == Family::V4 ? 0x34ULL : 0x36ULL)) * 0x9E3779B97F4A7C15ULL;
  h = (h ^ (h >> 29) ^ low) * 0xBF58476D1CE4E5B9ULL;
  return static_cast<std::size_t>(h ^ (h >> 32));
}

lwk::Result<Octets, AddressError> parse_v4(std::string_view text) {
  std::uint32_t packed = 0;
  AddressError fault;
  if (scan_v4(text, false, &packed, &fault) != V4Scan::Parsed) return unexpected(fault);
  return Octets{static_cast<std::uint8_t>(packed >> 24), static_cast<std::uint8_t>(packed >> 16),
                static_cast<std::uint8_t>(packed >> 8), static_cast<std::uint8_t>(packed)};
}

lwk::Result<GroupList, AddressError> groups_of(std::string_view text) {
  GroupList list;
  if (auto fault = fill_groups(text, &list)) return unexpected(*fault);
  return list;
}

lwk::Result<Address, AddressError> Address::parse(std::string_view text) {
  if (text.empty()) return unexpected(AddressError::Missing);
  // Most tokens are IPv4 addresses: try that first, in one pass that gives up
  // at the first ":" or "%".
  std::uint32_t packed = 0;
  AddressError fault;
  switch (scan_v4(text, true, &packed, &fault)) {
    case V4Scan::Parsed:
      return Address(Family::V4, {static_cast<std::uint16_t>(packed >> 16),
                                  static_cast<std::uint16_t>(packed & 0xFFFF)});
    case V4Scan::Faulty: return unexpected(fault);
    case V4Scan::Colon: break;
  }
  const std::size_t percent = text.find('%');
  const std::string_view before = text.substr(0, percent);
  if (before.find(':') == std::string_view::npos) {
    return unexpected(AddressError::InterfaceIdentifier);
  }
  if (percent == std::string_view::npos) return parse_v6(text);
  if (percent + 1 == text.size()) return unexpected(AddressError::Invalid);
  return parse_v6(before);
}

}  // namespace hosts_core::address
