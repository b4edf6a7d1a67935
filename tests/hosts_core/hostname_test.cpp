#include "hosts_core/hostname.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hosts_core/line.h"

namespace {

using hosts_core::hostname::Hostname;
using hosts_core::hostname::HostnameError;
using Reason = HostnameError::Reason;

std::string labels_of_length(std::size_t total) {
  // Parts of 63 octets joined by dots, the last one cut to fit `total`.
  std::string out;
  while (out.size() < total) {
    if (!out.empty()) out += '.';
    const std::size_t room = total - out.size();
    out += std::string(room < 63 ? room : 63, 'a');
  }
  return out;
}

TEST(HostnameParse, Accepts) {
  const std::string names[] = {
      "localhost", "LocalHost", "xn--bcher-kva.example", "a--b.c",
      "123",       "1.2.3.4",   std::string(63, 'x'),    labels_of_length(253)};
  for (const auto& name : names) {
    auto r = Hostname::parse(name);
    ASSERT_TRUE(r.has_value()) << name;
    EXPECT_EQ(r->text(), name);
  }
  EXPECT_EQ(labels_of_length(253).size(), 253u);
}

HostnameError err(Reason reason, std::size_t length = 0, std::size_t limit = 0,
                  std::string part = {}) {
  return HostnameError{reason, length, limit, std::move(part)};
}

TEST(HostnameParse, Refusals) {
  struct Case {
    std::string text;
    HostnameError error;
  };
  const std::string part64(64, 'b');
  const Case cases[] = {
      {"", err(Reason::Missing)},
      {"b\xC3\xBC"
       "cher",
       err(Reason::NotAscii)},
      {"b\xC3\xBC"
       "cher.",
       err(Reason::NotAscii)},
      {"host.example.", err(Reason::TrailingDot)},
      {".", err(Reason::TrailingDot)},
      {labels_of_length(254), err(Reason::TooLong, 254, 253)},
      {std::string(254, 'a'), err(Reason::TooLong, 254, 253)},
      {"a." + part64, err(Reason::LabelTooLong, 0, 63, part64)},
      {".example", err(Reason::EmptyLabel)},
      {"a..b", err(Reason::EmptyLabel)},
      {"-a.b", err(Reason::HyphenAtEdge, 0, 0, "-a")},
      {"a-.b", err(Reason::HyphenAtEdge, 0, 0, "a-")},
      {"-", err(Reason::HyphenAtEdge, 0, 0, "-")},
      {"my_host", err(Reason::BadCharacter, 0, 0, "my_host")},
      {"*.example", err(Reason::BadCharacter, 0, 0, "*")},
      {"a.-b.c_d", err(Reason::HyphenAtEdge, 0, 0, "-b")},
  };
  for (const Case& c : cases) {
    auto r = Hostname::parse(c.text);
    ASSERT_FALSE(r.has_value()) << c.text;
    EXPECT_EQ(r.error(), c.error) << c.text;
  }
}

// A name that breaks several rules gets the sentence of the first rule in
// the order: not ASCII, trailing dot, too long, then the parts from the left,
// each part's rules (empty, too long, hyphen at an edge, bad character) before
// the next part. Any other order reports another rule for one of these.
TEST(HostnameParse, TheFirstRuleBrokenIsTheOneReported) {
  struct Case {
    std::string text;
    HostnameError error;
    std::string message;  // as an entry line reports the name
  };
  auto quoted = [](const std::string& text) { return "\"" + text + "\""; };
  const std::string dash = "\xE2\x80\x94";
  const std::string long_part = std::string(64, '_');  // also bad characters
  const std::string not_ascii = std::string("\xC3\xA9_..").append(260, 'a').append(".");
  const std::string trailing = std::string("-a_b..").append(250, 'c').append(".");
  const std::string too_long = std::string("_-.a..").append(300, 'b');
  const std::string just_too_long = long_part + "." + std::string(189, 'a');  // 254
  const std::string at_limit = long_part + "." + std::string(188, 'a');       // 253
  const std::string hyphen_long_bad = std::string("-").append(63, '_');
  const Case cases[] = {
      {not_ascii, err(Reason::NotAscii),
       quoted(not_ascii) + " is not ASCII " + dash +
           " enter it in its encoded xn-- form, which is what the name system carries"},
      {trailing, err(Reason::TrailingDot),
       quoted(trailing) + " ends with a dot " + dash + " remove it"},
      {too_long, err(Reason::TooLong, 306, 253),
       quoted(too_long) + " is 306 octets long, and the limit is 253"},
      {just_too_long, err(Reason::TooLong, 254, 253),
       quoted(just_too_long) + " is 254 octets long, and the limit is 253"},
      {at_limit, err(Reason::LabelTooLong, 0, 63, long_part),
       "the part " + quoted(long_part) + " is longer than the limit of 63 octets"},
      {".-a_." + std::string(64, 'x') + ".y", err(Reason::EmptyLabel),
       quoted(".-a_." + std::string(64, 'x') + ".y") + " has an empty part between two dots"},
      {hyphen_long_bad + ".a", err(Reason::LabelTooLong, 0, 63, hyphen_long_bad),
       "the part " + quoted(hyphen_long_bad) + " is longer than the limit of 63 octets"},
      {"ok.a_-.b", err(Reason::HyphenAtEdge, 0, 0, "a_-"),
       "the part \"a_-\" begins or ends with a hyphen"},
      {"a_b.-c", err(Reason::BadCharacter, 0, 0, "a_b"),
       "the part \"a_b\" holds something other than letters, digits and hyphens"},
      {"a_b..c", err(Reason::BadCharacter, 0, 0, "a_b"),
       "the part \"a_b\" holds something other than letters, digits and hyphens"},
      {"x.a*b." + std::string(64, 'c'), err(Reason::BadCharacter, 0, 0, "a*b"),
       "the part \"a*b\" holds something other than letters, digits and hyphens"},
  };
  EXPECT_EQ(just_too_long.size(), 254u);
  EXPECT_EQ(at_limit.size(), 253u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(hosts_core::hostname::fault_by_rules(c.text), c.error);
    EXPECT_EQ(hosts_core::hostname::fault_of(c.text), c.error);
    auto line = hosts_core::line::classify("10.0.0.1 " + c.text);
    ASSERT_FALSE(line.has_value());
    EXPECT_EQ(line.error().message, c.message);
    EXPECT_EQ(line.error().fields,
              std::vector<hosts_core::line::Field>{hosts_core::line::Field::name(0)});
  }
}

}  // namespace
