// The first token of a hosts entry: an IPv4 address in dotted-decimal form or
// an IPv6 address in colon-hexadecimal form (with optional "::" compression,
// dotted-decimal tail and interface identifier).
#ifndef LWK_HOSTS_CORE_ADDRESS_H_
#define LWK_HOSTS_CORE_ADDRESS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/result.h"

namespace hosts_core::address {

enum class AddressError {
  Missing,              // the text is empty
  LeadingZero,          // an octet of two or three digits begins with 0
  InterfaceIdentifier,  // "%" on something that is not IPv6
  Invalid,              // anything else that is not an address
};

enum class Family : std::uint8_t { V4, V6 };

using Octets = std::array<std::uint8_t, 4>;
using Groups = std::array<std::uint16_t, 8>;

// An address holds no text: two addresses are equal, and hash alike, when they
// are of the same family and hold the same numbers.
class Address {
 public:
  static Address v4(const Octets& o) {
    return Address(Family::V4, {static_cast<std::uint16_t>(o[0] << 8 | o[1]),
                                static_cast<std::uint16_t>(o[2] << 8 | o[3])});
  }
  static Address v6(const Groups& groups) { return Address(Family::V6, groups); }

  // Parses an address token. Never fails in any way but an AddressError.
  static lwk::Result<Address, AddressError> parse(std::string_view text);

  Family family() const { return family_; }
  // REQUIRES: family() == Family::V4.
  Octets octets() const {
    return {static_cast<std::uint8_t>(words_[0] >> 8), static_cast<std::uint8_t>(words_[0]),
            static_cast<std::uint8_t>(words_[1] >> 8), static_cast<std::uint8_t>(words_[1])};
  }
  // REQUIRES: family() == Family::V6.
  const Groups& groups() const { return words_; }

  std::size_t hash() const;
  friend bool operator==(const Address&, const Address&) = default;

 private:
  Address(Family family, const Groups& words) : family_(family), words_(words) {}
  Family family_;
  Groups words_;  // V4: the octets in pairs in words_[0] and words_[1], the rest zero
};

// The 16-bit groups of one side of an IPv6 address. `count` is the number of
// groups the text held; only the first eight are stored, which is all a valid
// address can use.
struct GroupList {
  Groups values{};
  std::size_t count = 0;
};

// Parses dotted-decimal IPv4. Errors: LeadingZero or Invalid only. Written
// plainly, part by part as the rules read: Address::parse's one-pass path for
// the common address is checked against it.
lwk::Result<Octets, AddressError> parse_v4(std::string_view text);

// Parses colon-separated hexadecimal groups, the last of which may be a
// dotted-decimal tail (two groups). An empty text gives no groups. Errors:
// LeadingZero or Invalid only.
lwk::Result<GroupList, AddressError> groups_of(std::string_view text);

}  // namespace hosts_core::address

template <>
struct std::hash<hosts_core::address::Address> {
  std::size_t operator()(const hosts_core::address::Address& a) const { return a.hash(); }
};

#endif  // LWK_HOSTS_CORE_ADDRESS_H_
