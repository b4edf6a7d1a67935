// The macOS signature check, run against the doubles of Core Foundation and
// the Security framework: each verdict with the status that refused, what
// every call is given, and every object made released on every path.
#include "identity/signature.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "doubles.h"
#include "identity/identity.h"

namespace {

using Names = std::vector<std::string>;
using signature::SignatureVerdict;

TEST(SignatureMacos, EveryVerdictAndEveryObjectReleased) {
  const identity::AuditToken token{501, 501, 20, 501, 20, 4242, 100004, 7};
  const std::string token_bytes(reinterpret_cast<const char*>(token.data()), sizeof token);
  const std::string requirement = identity::ClientRequirement::make().text();
  const Names lookup{"CFDataCreate", "CFDictionaryCreate", "SecCodeCopyGuestWithAttributes"};
  const Names compile{"CFStringCreateWithBytes", "SecRequirementCreateWithString"};
  auto then = [](Names a, const Names& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  struct Case {
    const char* what;
    doubles::SecurityScript script;
    SignatureVerdict verdict;
    const char* text;
    Names calls;  // before the releases
    int made;     // objects made, each released once
  };
  const Case cases[] = {
      {"satisfied",
       {},
       SignatureVerdict::satisfied(),
       "Satisfied",
       then(then(lookup, compile), {"SecCodeCheckValidity"}),
       5},
      {"no code for the token",
       {.guest_status = -67065, .guest_gives_code = false},
       SignatureVerdict::no_such_code(-67065),
       "NoSuchCode(-67065)",
       lookup,
       2},
      {"a lookup that succeeds with no code",
       {.guest_gives_code = false},
       SignatureVerdict::no_such_code(0),
       "NoSuchCode(0)",
       lookup,
       2},
      {"a failed lookup that gives a code all the same",
       {.guest_status = -1},
       SignatureVerdict::no_such_code(-1),
       "NoSuchCode(-1)",
       lookup,
       3},
      {"an unreadable requirement",
       {.requirement_status = -67052, .requirement_gives_object = false},
       SignatureVerdict::requirement_unreadable(-67052),
       "RequirementUnreadable(-67052)",
       then(lookup, compile),
       4},
      {"a requirement that compiles to nothing",
       {.requirement_gives_object = false},
       SignatureVerdict::requirement_unreadable(0),
       "RequirementUnreadable(0)",
       then(lookup, compile),
       4},
      {"another team or identifier",
       {.validity_status = -67050},
       SignatureVerdict::not_our_program(-67050),
       "NotOurProgram(-67050)",
       then(then(lookup, compile), {"SecCodeCheckValidity"}),
       5},
      {"a broken signature",
       {.validity_status = -67061},
       SignatureVerdict::not_our_program(-67061),
       "NotOurProgram(-67061)",
       then(then(lookup, compile), {"SecCodeCheckValidity"}),
       5},
  };
  for (const Case& c : cases) {
    doubles::reset();
    doubles::security() = c.script;
    const SignatureVerdict verdict = signature::check(token, requirement);
    EXPECT_EQ(verdict, c.verdict) << c.what;
    EXPECT_EQ(signature::text_of(verdict), c.text) << c.what;
    Names expected = c.calls;
    expected.insert(expected.end(), static_cast<std::size_t>(c.made), "CFRelease");
    EXPECT_EQ(doubles::call_names(), expected) << c.what;
    EXPECT_EQ(doubles::live_objects(), 0) << c.what;
    EXPECT_EQ(doubles::faults(), Names{}) << c.what;
    // What each call was given.
    EXPECT_EQ(doubles::calls_of("CFDataCreate")[0].args, (Names{"null", "32"})) << c.what;
    EXPECT_EQ(doubles::calls_of("CFDictionaryCreate")[0].args,
              (Names{"null", "audit", "1", "type keys", "type values"}))
        << c.what;
    EXPECT_EQ(doubles::calls_of("SecCodeCopyGuestWithAttributes")[0].args,
              (Names{"null", "0", token_bytes}))
        << c.what;
    if (!doubles::calls_of("CFStringCreateWithBytes").empty()) {
      EXPECT_EQ(doubles::calls_of("CFStringCreateWithBytes")[0].args,
                (Names{"null", "134217984", "0"}))
          << c.what;
      EXPECT_EQ(doubles::calls_of("SecRequirementCreateWithString")[0].args,
                (Names{requirement, "0"}))
          << c.what;
    }
    for (const auto& validity : doubles::calls_of("SecCodeCheckValidity")) {
      EXPECT_EQ(validity.args[1], "0") << c.what;
    }
  }
  doubles::reset();
}

}  // namespace
