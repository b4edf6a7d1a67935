#include "hosts_core/hostname.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
