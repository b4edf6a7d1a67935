#include "ipc/wire.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "support/allocation_counter.h"

namespace {

using namespace hosts_ipc;

std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

// Every refusal, with the field it names and the reason, as describe() gives
// them to whoever debugs a client.
TEST(DecodeRequest, Refusals) {
  const std::string short_ = ": the bytes end too soon or go on too long";
  const std::string large = ": a count or length above 67108864";
  const std::string utf8 = ": a text that is not UTF-8";
  struct Case {
    std::string bytes;
    DecodeError::Code code;
    std::string described;
  };
  using C = DecodeError::Code;
  const Case cases[] = {
      {"", C::BadLength, "version" + short_},
      {bytes({0}), C::BadLength, "version" + short_},
      {bytes({0, 2}), C::UnsupportedVersion, "version: unsupported version 2"},
      {bytes({0, 2, 1, 0, 0}), C::UnsupportedVersion, "version: unsupported version 2"},
      {bytes({1, 0, 1}), C::UnsupportedVersion, "version: unsupported version 256"},
      {bytes({0, 1}), C::BadLength, "kind" + short_},
      {bytes({0, 1, 7}), C::UnknownKind, "kind: unknown kind 7"},
      {bytes({0, 1, 0}), C::UnknownKind, "kind: unknown kind 0"},
      {bytes({0, 1, 0xFF, 1, 2, 3}), C::UnknownKind, "kind: unknown kind 255"},
      {bytes({0, 1, 2, 0}), C::BadLength, "what follows the kind" + short_},
      {bytes({0, 1, 3, 3}), C::BadLength, "what follows the kind" + short_},
      {bytes({0, 1, 1}), C::BadLength, "set count" + short_},
      {bytes({0, 1, 1, 0, 0, 0}), C::BadLength, "set count" + short_},
      {bytes({0, 1, 1, 0, 0, 0, 0, 0}), C::BadLength, "what follows the last set" + short_},
      {bytes({0, 1, 1, 4, 0, 0, 1}), C::TooLarge, "set count" + large},
      {bytes({0, 1, 1, 4, 0, 0, 1, 9, 9, 9}), C::TooLarge, "set count" + large},
      // Exactly the largest count, and no set follows.
      {bytes({0, 1, 1, 4, 0, 0, 0}), C::BadLength, "set name length" + short_},
      {bytes({0, 1, 1, 0, 0, 0, 1}), C::BadLength, "set name length" + short_},
      {bytes({0, 1, 1, 0, 0, 0, 1, 0, 0, 0}), C::BadLength, "set name length" + short_},
      {bytes({0, 1, 1, 0, 0, 0, 1, 4, 0, 0, 1}), C::TooLarge, "set name" + large},
      {bytes({0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 5, 'a'}), C::BadLength, "set name" + short_},
      {bytes({0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 2, 0xC3, 0x28}), C::NotUtf8, "set name" + utf8},
      {bytes({0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0}), C::BadLength, "line count" + short_},
      {bytes({0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0, 4, 0, 0, 1}), C::TooLarge, "line count" + large},
      {bytes({0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0}), C::BadLength,
       "line flag and text length" + short_},
      {bytes({0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 4, 0, 0, 1}), C::TooLarge,
       "line text" + large},
      {bytes({0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 2, 'x'}), C::BadLength,
       "line text" + short_},
      {bytes({0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1, 0xFF}), C::NotUtf8,
       "line text" + utf8},
  };
  for (const Case& c : cases) {
    auto r = decode_request(c.bytes);
    ASSERT_FALSE(r.has_value()) << testing::PrintToString(c.bytes);
    EXPECT_EQ(r.error().code, c.code) << testing::PrintToString(c.bytes);
    EXPECT_EQ(describe(r.error()), c.described) << testing::PrintToString(c.bytes);
  }
}

TEST(DecodeRequest, WorkedExamples) {
  EXPECT_EQ(decode_request(bytes({0, 1, 2})).value(), Request{FlushNameCache{}});
  EXPECT_EQ(decode_request(bytes({0, 1, 3})).value(), Request{RemoveEverything{}});
  EXPECT_EQ(decode_request(bytes({0, 1, 1, 0, 0, 0, 0})).value(), Request{ApplySets{}});
  const std::string one =
      bytes({0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 1, 'a', 0, 0, 0, 1, 1, 0, 0, 0, 1, 'x'});
  EXPECT_EQ(decode_request(one).value(), (Request{ApplySets{{{"a", {{"x", true}}}}}}));
  EXPECT_EQ(encode_request(Request{ApplySets{{{"a", {{"x", true}}}}}}), one);
  // Any flag other than 0 is on; two sets of one name stay two sets.
  const std::string two = bytes({0, 1, 1, 0, 0, 0, 2, 0, 0, 0, 1, 'a', 0,   0, 0, 2, 0x7F, 0,
                                 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1,   'a', 0, 0, 0, 0});
  EXPECT_EQ(decode_request(two).value(),
            (Request{ApplySets{{{"a", {{"", true}, {"", false}}}, {"a", {}}}}}));
}

TEST(EncodeResponse, WorkedExamples) {
  EXPECT_EQ(encode_response(Done{}), bytes({0, 1, 1}));
  EXPECT_EQ(encode_response(Unchanged{}), bytes({0, 1, 2}));
  EXPECT_EQ(encode_response(NotUnderstood{}), bytes({0, 1, 4}));
  EXPECT_EQ(encode_response(Issues{{{"abc", 0, 2}}}),
            bytes({0, 1, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 3, 'a', 'b', 'c'}));
  Issues many;
  for (int i = 0; i < 300; ++i) many.issues.push_back({"m", 1, static_cast<std::uint64_t>(i)});
  const std::string encoded = encode_response(many);
  EXPECT_EQ(encoded.substr(3, 4), bytes({0, 0, 1, 0x2C}));
  EXPECT_EQ(encoded.size(), 7u + 300u * 13u);
  // Set and line are written as their low 32 bits.
  EXPECT_EQ(encode_response(Issues{{{"", 0x100000002ULL, 0x1FFFFFFFFULL}}}).substr(7, 8),
            bytes({0, 0, 0, 2, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(DecodeResponse, RoundTripsAndRefusals) {
  const Response responses[] = {Done{}, Unchanged{}, NotUnderstood{}, Issues{},
                                Issues{{{"a \xE2\x80\x94 b", 3, 4}, {"", 0, 0}}}};
  for (const Response& r : responses) EXPECT_EQ(decode_response(encode_response(r)).value(), r);
  const std::string short_ = ": the bytes end too soon or go on too long";
  const std::string cases[][2] = {
      {"", "version" + short_},
      {bytes({0, 9, 1}), "version: unsupported version 9"},
      {bytes({0, 1}), "kind" + short_},
      {bytes({0, 1, 5}), "kind: unknown kind 5"},
      {bytes({0, 1, 1, 0}), "what follows the kind" + short_},
      {bytes({0, 1, 3, 0, 0, 0}), "issue count" + short_},
      {bytes({0, 1, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
       "issue set, line and message length" + short_},
      {bytes({0, 1, 3, 4, 0, 0, 1}), "issue count: a count or length above 67108864"},
      {bytes({0, 1, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x80}),
       "issue message: a text that is not UTF-8"},
      {bytes({0, 1, 3, 0, 0, 0, 0, 0}), "what follows the last issue" + short_},
  };
  for (const auto& [input, described] : cases) {
    auto r = decode_response(input);
    ASSERT_FALSE(r.has_value()) << testing::PrintToString(input);
    EXPECT_EQ(describe(r.error()), described) << testing::PrintToString(input);
  }
}

TEST(DecodeRequest, EncodeDecodeRoundTrip) {
  const Request requests[] = {
      FlushNameCache{},
      RemoveEverything{},
      ApplySets{},
      ApplySets{{{"", {}},
                 {"work", {{"10.0.0.5 intranet.test", true}, {"# off", false}}},
                 {"caf\xC3\xA9\n", {{std::string_view("\0\r\n", 3), true}}}}},
  };
  for (const Request& r : requests) {
    const std::string encoded = encode_request(r);  // what the decoded request views
    EXPECT_EQ(decode_request(encoded).value(), r);
    // A sender's count of the octets, from the counts alone, agrees.
    if (const auto* apply = std::get_if<ApplySets>(&r)) {
      std::uint64_t lines = 0;
      std::uint64_t octets = 0;
      for (const auto& set : apply->sets) {
        lines += set.lines.size();
        octets += set.name.size();
        for (const auto& line : set.lines) octets += line.text.size();
      }
      EXPECT_EQ(encoded.size(), hosts_ipc::apply_request_octets(apply->sets.size(), lines, octets));
    }
  }
}

// One default value of every kind of `Variant`, in the variant's order.
template <class Variant, std::size_t... I>
std::vector<Variant> every_kind(std::index_sequence<I...>) {
  return {Variant(std::in_place_index<I>)...};
}
template <class Variant>
std::vector<Variant> every_kind() {
  return every_kind<Variant>(std::make_index_sequence<std::variant_size_v<Variant>>());
}

// A kind added to Request or Response fails here until it has a kind byte of
// its own and both directions know it.
TEST(Wire, EveryKindHasItsOwnByteAndRoundTrips) {
  std::set<char> request_kinds;
  for (const Request& r : every_kind<Request>()) {
    const std::string encoded = encode_request(r);
    ASSERT_GE(encoded.size(), 3u) << r.index();
    EXPECT_TRUE(request_kinds.insert(encoded[2]).second) << r.index();
    EXPECT_EQ(decode_request(encoded).value(), r) << r.index();
  }
  std::set<char> response_kinds;
  for (const Response& r : every_kind<Response>()) {
    const std::string encoded = encode_response(r);
    ASSERT_GE(encoded.size(), 3u) << r.index();
    EXPECT_TRUE(response_kinds.insert(encoded[2]).second) << r.index();
    EXPECT_EQ(decode_response(encoded).value(), r) << r.index();
  }
}

TEST(DecodeRequest, HostileCountsCostAFewKilobytes) {
  // 16 bytes announcing 67,108,864 sets, the first with 67,108,864 lines.
  const std::string hostile = bytes({0, 1, 1, 4, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 1});
  ASSERT_EQ(hostile.size(), 16u);
  lwk_test::reset_peak();
  auto r = decode_request(hostile);
  const std::size_t peak = lwk_test::peak_since_reset();
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().code, DecodeError::Code::BadLength);
  EXPECT_LT(peak, 128u * 1024u) << peak << " bytes";
  EXPECT_GT(peak, 0u);  // the counter is really counting
}

}  // namespace
