#include "hosts_core/address.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using hosts_core::address::Address;
using hosts_core::address::AddressError;
using hosts_core::address::Family;
using hosts_core::address::Groups;

TEST(AddressParse, Refusals) {
  struct Case {
    const char* text;
    AddressError error;
  };
  const Case cases[] = {
      {"", AddressError::Missing},
      {"256.1.1.1", AddressError::Invalid},
      {"1.2.3", AddressError::Invalid},
      {"1.2.3.4.5", AddressError::Invalid},
      {"1.2.3.4.", AddressError::Invalid},
      {"1..2.3", AddressError::Invalid},
      {"1.2.3.1234", AddressError::Invalid},
      {"1.2.3.-4", AddressError::Invalid},
      {"01.2.3.4", AddressError::LeadingZero},
      {"1.2.3.00", AddressError::LeadingZero},
      {"01.300.1.1", AddressError::LeadingZero},  // the first failing part decides
      {"300.01.1.1", AddressError::Invalid},
      {"01.2.3", AddressError::Invalid},  // the count of parts comes first
      {"1.2.3.4%en0", AddressError::InterfaceIdentifier},
      {"%en0", AddressError::InterfaceIdentifier},
      {"1.2.3.4%", AddressError::InterfaceIdentifier},
      {"fe80::1%", AddressError::Invalid},
      {"1:2:3:4:5:6:7", AddressError::Invalid},
      {"1:2:3:4:5:6:7::8", AddressError::Invalid},
      {"1:2:3:4:5:6:7:8::", AddressError::Invalid},
      {"1::2::3", AddressError::Invalid},
      {":::", AddressError::Invalid},
      {"1:2:3:4:5:6:7:", AddressError::Invalid},
      {":1:2:3:4:5:6:7", AddressError::Invalid},
      {"1:2:3:4:5:6:7:8:9", AddressError::Invalid},
      {"::ffff:01.2.3.4", AddressError::LeadingZero},
      {"1:2:3:4:5:6:7:8:9:01.2.3.4", AddressError::LeadingZero},
      {"1.2.3.4:1::", AddressError::Invalid},
      {"12345::", AddressError::Invalid},
      {"::g", AddressError::Invalid},
      {"+1::", AddressError::Invalid},
      {"[::1]", AddressError::Invalid},
      {"localhost", AddressError::Invalid},
      {"1:2:3:4:5:6:1.2.3.4:5", AddressError::Invalid},
  };
  for (const Case& c : cases) {
    auto r = Address::parse(c.text);
    ASSERT_FALSE(r.has_value()) << c.text;
    EXPECT_EQ(r.error(), c.error) << c.text;
  }
}

TEST(AddressParse, Version4) {
  auto zero = Address::parse("0.0.0.0");
  ASSERT_TRUE(zero.has_value());
  EXPECT_EQ(zero->family(), Family::V4);
  EXPECT_EQ(*zero, Address::v4({0, 0, 0, 0}));
  EXPECT_EQ(Address::parse("255.255.255.255").value(), Address::v4({255, 255, 255, 255}));
  EXPECT_EQ(Address::parse("1.2.3.4").value(), Address::v4({1, 2, 3, 4}));
  EXPECT_EQ(Address::parse("10.0.0.5").value(), Address::v4({10, 0, 0, 5}));
}

TEST(AddressParse, Version6) {
  struct Case {
    const char* text;
    Groups groups;
  };
  const Case cases[] = {
      {"::", {0, 0, 0, 0, 0, 0, 0, 0}},
      {"::1", {0, 0, 0, 0, 0, 0, 0, 1}},
      {"1::", {1, 0, 0, 0, 0, 0, 0, 0}},
      {"1:2:3:4:5:6:7:8", {1, 2, 3, 4, 5, 6, 7, 8}},
      {"fe80::1%en0", {0xfe80, 0, 0, 0, 0, 0, 0, 1}},
      {"FE80::1", {0xfe80, 0, 0, 0, 0, 0, 0, 1}},
      {"::ffff:1.2.3.4", {0, 0, 0, 0, 0, 0xffff, 0x0102, 0x0304}},
      {"1:2:3:4:5:6:1.2.3.4", {1, 2, 3, 4, 5, 6, 0x0102, 0x0304}},
      {"1.2.3.4::", {0x0102, 0x0304, 0, 0, 0, 0, 0, 0}},
      {"1:2:3::6:7:8", {1, 2, 3, 0, 0, 6, 7, 8}},
      {"1:2:3:4:5:6:7::", {1, 2, 3, 4, 5, 6, 7, 0}},
      {"::2:3:4:5:6:7:8", {0, 2, 3, 4, 5, 6, 7, 8}},
      {"abcd:EF01::%x%y", {0xabcd, 0xef01, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    auto r = Address::parse(c.text);
    ASSERT_TRUE(r.has_value()) << c.text;
    EXPECT_EQ(r->family(), Family::V6) << c.text;
    EXPECT_EQ(r->groups(), c.groups) << c.text;
  }
}

TEST(AddressParse, EqualityIsByFamilyAndNumbers) {
  EXPECT_EQ(Address::parse("::1").value(), Address::parse("0:0:0:0:0:0:0:1").value());
  EXPECT_EQ(Address::parse("::1").value().hash(), Address::parse("0:0:0:0:0:0:0:1").value().hash());
  EXPECT_EQ(Address::parse("FE80::1").value(), Address::parse("fe80::1").value());
  EXPECT_FALSE(Address::parse("1.2.3.4").value() == Address::parse("::ffff:1.2.3.4").value());
  // Same numbers in both families are still different addresses.
  EXPECT_FALSE(Address::v4({0, 0, 0, 0}) == Address::v6({0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(GroupsOf, EmptyAndCounts) {
  auto none = hosts_core::address::groups_of("");
  ASSERT_TRUE(none.has_value());
  EXPECT_EQ(none->count, 0u);
  auto many = hosts_core::address::groups_of("1:2:3:4:5:6:7:8:9:a");
  ASSERT_TRUE(many.has_value());
  EXPECT_EQ(many->count, 10u);
  auto tail = hosts_core::address::groups_of("ffff:1.2.3.4");
  ASSERT_TRUE(tail.has_value());
  EXPECT_EQ(tail->count, 3u);
}

}  // namespace
