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

// The common IPv4 token in one pass: four parts of one to three digits, no
// leading zero, at most 255, three dots and nothing else. False for any other
// text, a faulty one included: the rules then judge it. 1.3x inet_pton on
// realistic addresses, where the rules alone are slower than it (BM_AddressParse
// in bench/hosts_core_bench.cpp); checked against parse_v4.
bool common_v4(std::string_view text, std::uint32_t* packed) {
  const char* p = text.data();
  const char* const end = p + text.size();
  auto digit_at = [&](const char* q) {
    return q != end ? static_cast<unsigned>(static_cast<unsigned char>(*q) - '0') : 10u;
  };
  std::uint32_t out = 0;
  for (int part = 0; part < 4; ++part) {
    unsigned value = digit_at(p);
    if (value > 9) return false;
    ++p;
    if (const unsigned d = digit_at(p); d <= 9) {
      if (value == 0) return false;  // a leading zero
      value = value * 10 + d;
      ++p;
      if (const unsigned e = digit_at(p); e <= 9) {
        value = value * 10 + e;
        ++p;
        if (value > 255) return false;
      }
    }
    out = out << 8 | value;
    if (part < 3) {
      if (p == end || *p != '.') return false;
      ++p;
    }
  }
  if (p != end) return false;
  *packed = out;
  return true;
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
      auto octets = parse_v4(text.substr(part_start));
      if (!octets) return octets.error();
      append(static_cast<unsigned>((*octets)[0] << 8 | (*octets)[1]));
      append(static_cast<unsigned>((*octets)[2] << 8 | (*octets)[3]));
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
  std::string_view parts[4];
  std::size_t count = 0;
  for (std::size_t start = 0;; ++count) {
    const std::size_t dot = text.find('.', start);
    if (count < 4) parts[count] = text.substr(start, dot - start);
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (count + 1 != 4) return unexpected(AddressError::Invalid);
  Octets out{};
  for (std::size_t i = 0; i < 4; ++i) {
    const std::string_view part = parts[i];
    if (part.empty() || part.size() > 3) return unexpected(AddressError::Invalid);
    unsigned value = 0;
    for (const char c : part) {
      if (c < '0' || c > '9') return unexpected(AddressError::Invalid);
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (part.size() > 1 && part[0] == '0') return unexpected(AddressError::LeadingZero);
    if (value > 255) return unexpected(AddressError::Invalid);
    out[i] = static_cast<std::uint8_t>(value);
  }
  return out;
}

lwk::Result<GroupList, AddressError> groups_of(std::string_view text) {
  GroupList list;
  if (auto fault = fill_groups(text, &list)) return unexpected(*fault);
  return list;
}

lwk::Result<Address, AddressError> Address::parse(std::string_view text) {
  if (text.empty()) return unexpected(AddressError::Missing);
  if (std::uint32_t packed = 0; common_v4(text, &packed)) {
    return Address(Family::V4, {static_cast<std::uint16_t>(packed >> 16),
                                static_cast<std::uint16_t>(packed & 0xFFFF)});
  }
  const std::size_t percent = text.find('%');
  const std::string_view before = text.substr(0, percent);
  const bool colon = before.find(':') != std::string_view::npos;
  if (percent != std::string_view::npos) {
    if (!colon) return unexpected(AddressError::InterfaceIdentifier);
    if (percent + 1 == text.size()) return unexpected(AddressError::Invalid);
    return parse_v6(before);
  }
  if (colon) return parse_v6(text);
  auto octets = parse_v4(text);
  if (!octets) return unexpected(octets.error());
  return Address::v4(*octets);
}

}  // namespace hosts_core::address
