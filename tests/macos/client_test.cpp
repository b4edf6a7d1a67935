// The client's way to the helper on macOS, run against the doubles of XPC:
// what it sends, and what it makes of each kind of reply.
#include <gtest/gtest.h>

#include <string>

#include "client/helper_link.h"
#include "doubles.h"

namespace {

using Names = std::vector<std::string>;

TEST(HelperLinkMacos, SendsThePayloadAndReadsTheReply) {
  const std::string request("\x00\x01\x02", 3);
  struct Case {
    const char* what;
    std::function<xpc_object_t(xpc_object_t)> answer;
    std::optional<lantern_wharf::Reply> reply;  // nothing: an error
    const char* error;
  };
  auto reply_with = [](std::optional<std::string> payload) {
    return [payload](xpc_object_t) {
      xpc_object_t reply = doubles::make_dictionary();
      if (payload) xpc_dictionary_set_data(reply, "payload", payload->data(), payload->size());
      return reply;
    };
  };
  using Kind = lantern_wharf::Reply::Kind;
  const auto not_now = [](xpc_object_t) {
    xpc_object_t reply = doubles::make_dictionary();
    xpc_dictionary_set_data(reply, "payload", "", 0);
    xpc_dictionary_set_bool(reply, "not-now", true);
    return reply;
  };
  const Case cases[] = {
      {"a response", reply_with(std::string("\x00\x01\x01", 3)),
       lantern_wharf::Reply{Kind::Response, std::string("\x00\x01\x01", 3)}, nullptr},
      {"the refusal", reply_with(std::string()), lantern_wharf::Reply{Kind::NotServed, ""},
       nullptr},
      {"no payload", reply_with(std::nullopt), lantern_wharf::Reply{Kind::NotServed, ""}, nullptr},
      {"not now", not_now, lantern_wharf::Reply{Kind::NotNow, ""}, nullptr},
      {"an error", [](xpc_object_t) { return doubles::make_error("Connection invalid"); },
       std::nullopt, "cannot reach the helper at org.lanternwharf.kit.helper: Connection invalid"},
      {"an error without a description", [](xpc_object_t) { return doubles::make_error(); },
       std::nullopt, "cannot reach the helper at org.lanternwharf.kit.helper: no answer"},
  };
  for (const Case& c : cases) {
    doubles::reset();
    doubles::answer_sends_with(c.answer);
    const auto got = lantern_wharf::exchange(request);
    if (c.reply) {
      ASSERT_TRUE(got.has_value()) << c.what << ": " << got.error();
      EXPECT_EQ(*got, *c.reply) << c.what;
    } else {
      ASSERT_FALSE(got.has_value()) << c.what;
      EXPECT_EQ(got.error(), c.error) << c.what;
    }
    const auto made = doubles::calls_of("xpc_connection_create_mach_service");
    ASSERT_EQ(made.size(), 1u) << c.what;
    EXPECT_EQ(made[0].args, (Names{"org.lanternwharf.kit.helper", "null", "2"})) << c.what;
    ASSERT_EQ(doubles::sent().size(), 1u) << c.what;
    EXPECT_EQ(doubles::sent()[0].payload, request) << c.what;
    EXPECT_EQ(doubles::calls_of("xpc_connection_send_message_with_reply_sync").size(), 1u);
    EXPECT_EQ(doubles::calls_of("xpc_connection_cancel").size(), 1u) << c.what;
    // The connection, the message and the reply, all released.
    EXPECT_EQ(doubles::live_objects(), 0) << c.what;
    EXPECT_EQ(doubles::faults(), Names{}) << c.what;
  }
  doubles::reset();
}

}  // namespace
