#include "hosts_core/line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hosts_core/markup.h"

namespace {

using hosts_core::address::Address;
using hosts_core::line::Blank;
using hosts_core::line::classify;
using hosts_core::line::classify_with;
using hosts_core::line::Comment;
using hosts_core::line::describe_address;
using hosts_core::line::Entry;
using hosts_core::line::Field;
using hosts_core::line::LineError;
using namespace hosts_core::markup;

const std::string kMarkupSentence =
    "the line repeats the managed block's markup, which would make the file unreadable to the "
    "product that wrote it";

std::vector<std::string> names_of(const Entry& e) {
  std::vector<std::string> out;
  for (const auto& n : e.names) out.push_back(n.text());
  return out;
}

Entry entry_of(const std::string& text) {
  auto r = classify(text);
  EXPECT_TRUE(r.has_value()) << text << ": " << (r ? "" : r.error().message);
  if (!r) return Entry{Address::v4({0, 0, 0, 0}), {}};
  const auto* e = std::get_if<Entry>(&r.value());
  EXPECT_NE(e, nullptr) << text;
  return e ? *e : Entry{Address::v4({0, 0, 0, 0}), {}};
}

LineError error_of(const std::string& text) {
  auto r = classify(text);
  EXPECT_FALSE(r.has_value()) << text;
  return r ? LineError{} : r.error();
}

TEST(Classify, BlankAndComment) {
  struct Case {
    std::string text;
    bool blank;
  };
  const Case cases[] = {
      {"", true},
      {" \t ", true},
      {"\f", true},  // white space other than space and tab
      {"\v\r", true},
      {"\xC2\xA0 \xE3\x80\x80", true},  // no-break and ideographic spaces
      {"#", false},
      {"   # note", false},
      {"\t#", false},
      {" \xC2\xA0# a comment", false},  // no-break space, then a comment
      {"\f#x", false},
      {"  # >>> lantern-wharf node: x", false},  // prefixes count only at the first byte
  };
  for (const Case& c : cases) {
    auto r = classify(c.text);
    ASSERT_TRUE(r.has_value()) << c.text;
    if (c.blank) {
      EXPECT_TRUE(std::holds_alternative<Blank>(*r)) << c.text;
    } else {
      EXPECT_TRUE(std::holds_alternative<Comment>(*r)) << c.text;
    }
  }
}

TEST(Classify, WholeLineErrorsComeAloneInOrder) {
  const std::string long_with_marker = std::string(CLOSING_MARKER) + std::string(4074, 'x');
  ASSERT_EQ(long_with_marker.size(), 4097u);
  std::string names33 = "bad.address";
  for (int i = 0; i < 33; ++i) names33 += " n" + std::to_string(i);
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {long_with_marker, "the line is 4097 octets long, and the limit is 4096"},
      {"127.0.0.1 a " + std::string(CLOSING_MARKER), kMarkupSentence},
      {"x " + std::string(OPENING_MARKER), kMarkupSentence},
      {std::string(NODE_PREFIX) + "x", kMarkupSentence},
      {std::string(OFF_PREFIX) + "10.0.0.1 a", kMarkupSentence},
      {"127.0.0.1", "the entry has no host name, so it maps nothing"},
      {"localhost", "the entry has no host name, so it maps nothing"},
      {"not-an-address  # comment", "the entry has no host name, so it maps nothing"},
      {names33, "the line carries 33 names, and the limit is 32"},
  };
  for (const Case& c : cases) {
    LineError e = error_of(c.text);
    EXPECT_EQ(e.message, c.message) << c.text;
    EXPECT_TRUE(e.fields.empty()) << c.text;
  }
}

TEST(Classify, LimitsAreInclusive) {
  std::string line = "127.0.0.1 ";
  line += std::string(4096 - line.size(), 'a');
  // A single 4086-octet name is too long, but the line length itself passes.
  EXPECT_EQ(error_of(line).message.find("octets long, and the limit is 253") != std::string::npos,
            true);
  std::string names32 = "10.0.0.1";
  for (int i = 0; i < 32; ++i) names32 += " n" + std::to_string(i);
  EXPECT_EQ(entry_of(names32).names.size(), 32u);
  auto custom = classify_with("1.2.3.4 a b c", 13, 2);
  ASSERT_FALSE(custom.has_value());
  EXPECT_EQ(custom.error().message, "the line carries 3 names, and the limit is 2");
  EXPECT_FALSE(classify_with("1.2.3.4 a b", 10, 2).has_value());
}

TEST(Classify, TokenFaultsAreReportedTogether) {
  struct Case {
    std::string text;
    std::string message;
    std::vector<Field> fields;
  };
  const Case cases[] = {
      {"10.0.0.01 my_host ok -bad",
       "\"10.0.0.01\" has a leading zero in an octet, and some tools read that as an octal "
       "number \xE2\x80\x94 write it without; the part \"my_host\" holds something other than "
       "letters, digits and hyphens; the part \"-bad\" begins or ends with a hyphen",
       {Field::address(), Field::name(0), Field::name(2)}},
      {"bad.address ok bad_name",
       "\"bad.address\" is not a valid IPv4 or IPv6 address; the part \"bad_name\" holds "
       "something other than letters, digits and hyphens",
       {Field::address(), Field::name(1)}},
      {"1.2.3.4%en0 a",
       "\"1.2.3.4%en0\" carries an interface identifier, which only IPv6 addresses may have",
       {Field::address()}},
      {"::1 host.example. b\xC3\xBC"
       "cher a..b",
       "\"host.example.\" ends with a dot \xE2\x80\x94 remove it; \"b\xC3\xBC"
       "cher\" is not "
       "ASCII \xE2\x80\x94 enter it in its encoded xn-- form, which is what the name system "
       "carries; \"a..b\" has an empty part between two dots",
       {Field::name(0), Field::name(1), Field::name(2)}},
      {"::1 " + std::string(254, 'a'),
       "\"" + std::string(254, 'a') + "\" is 254 octets long, and the limit is 253",
       {Field::name(0)}},
      {"::1 x." + std::string(64, 'q'),
       "the part \"" + std::string(64, 'q') + "\" is longer than the limit of 63 octets",
       {Field::name(0)}},
      {"::1 \"q\"",
       "the part \"\\\"q\\\"\" holds something other than letters, digits and hyphens",
       {Field::name(0)}},
  };
  for (const Case& c : cases) {
    LineError e = error_of(c.text);
    EXPECT_EQ(e.message, c.message) << c.text;
    EXPECT_EQ(e.fields, c.fields) << c.text;
  }
}

TEST(Classify, Entries) {
  struct Case {
    std::string text;
    Address address;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"127.0.0.1 localhost # note", Address::v4({127, 0, 0, 1}), {"localhost"}},
      {"::1 LocalHost LocalHost localhost",
       Address::v6({0, 0, 0, 0, 0, 0, 0, 1}),
       {"LocalHost", "LocalHost", "localhost"}},
      {"127.0.0.1\xC2\xA0"
       "foo",
       Address::v4({127, 0, 0, 1}),
       {"foo"}},
      {"127.0.0.1 a\n127.0.0.1 b", Address::v4({127, 0, 0, 1}), {"a", "127.0.0.1", "b"}},
      {"127.0.0.1 local#host", Address::v4({127, 0, 0, 1}), {"local"}},
      {"\t 10.0.0.5\tintranet.test\xE2\x80\x83wiki  ",
       Address::v4({10, 0, 0, 5}),
       {"intranet.test", "wiki"}},
      {"\f10.0.0.5 a", Address::v4({10, 0, 0, 5}), {"a"}},
  };
  for (const Case& c : cases) {
    Entry e = entry_of(c.text);
    EXPECT_EQ(e.address, c.address) << c.text;
    EXPECT_EQ(names_of(e), c.names) << c.text;
  }
}

TEST(DescribeAddress, MissingHasItsOwnSentence) {
  EXPECT_EQ(describe_address("", hosts_core::address::AddressError::Missing),
            "the address is missing");
}

}  // namespace
