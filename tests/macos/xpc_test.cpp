// The macOS transport, run against the doubles of XPC: the channel's small
// functions, the caller's token, and the listener with the request handler
// behind it, end to end into a real write.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "doubles.h"
#include "helper/handler.h"
#include "hosts_core/block.h"
#include "identity/caller_check_macos.h"
#include "identity/identity.h"
#include "ipc/wire.h"
#include "privsep/mac_platform_macos.h"
#include "support/temp_dir.h"
#include "transport/xpc_macos.h"

namespace {

namespace channel = hosts_transport_macos::channel;
namespace caller = hosts_transport_macos::caller;
using hosts_transport_macos::NamedListener;
using Names = std::vector<std::string>;

constexpr std::array<std::uint32_t, 8> kToken{501, 501, 20, 501, 20, 4242, 100004, 7};

class Xpc : public ::testing::Test {
 protected:
  void SetUp() override { doubles::reset(); }
  void TearDown() override {
    EXPECT_EQ(doubles::faults(), Names{});
    doubles::reset();
  }
};

TEST_F(Xpc, IsErrorAndPayloadOf) {
  EXPECT_TRUE(channel::is_error(nullptr));
  EXPECT_EQ(doubles::calls().size(), 0u);  // null is an error without asking
  xpc_object_t error = doubles::make_error();
  xpc_connection_t connection = doubles::make_connection(kToken);
  struct Case {
    const char* what;
    xpc_object_t message;
    std::optional<std::string> payload;
  };
  const Case cases[] = {
      {"data", doubles::make_message(connection, std::string("\x00\x01\x02", 3)),
       std::string("\x00\x01\x02", 3)},
      {"zero-length data", doubles::make_message(connection, ""), std::string()},
      {"a string", doubles::make_message(connection, "text", true, /*as_string=*/true),
       std::nullopt},
      {"no payload", doubles::make_message(connection, std::nullopt), std::nullopt},
  };
  EXPECT_TRUE(channel::is_error(error));
  for (const Case& c : cases) {
    EXPECT_FALSE(channel::is_error(c.message)) << c.what;
    EXPECT_EQ(channel::payload_of(c.message), c.payload) << c.what;
    EXPECT_EQ(doubles::calls().back().args, (Names{doubles::calls().back().args[0], "payload"}))
        << c.what;
    xpc_release(c.message);
  }
  xpc_release(error);
  xpc_release(connection);
  EXPECT_EQ(doubles::live_objects(), 0);
}

TEST_F(Xpc, KeysHaveNoInteriorNull) {
  EXPECT_EQ(channel::key("org.lanternwharf.kit.helper"), "org.lanternwharf.kit.helper");
  EXPECT_EQ(channel::key("org.lanternwharf.kit.helper").c_str()[27], '\0');
  EXPECT_DEATH((void)channel::key(std::string_view("org.\0helper", 11)),
               "no interior null in a key of ours");
}

TEST_F(Xpc, AuditTokenOf) {
  EXPECT_EQ(caller::audit_token_of(nullptr), std::nullopt);
  EXPECT_EQ(doubles::calls().size(), 0u);  // no platform call for no connection
  xpc_connection_t zero = doubles::make_connection({});
  xpc_connection_t someone = doubles::make_connection(kToken);
  EXPECT_EQ(caller::audit_token_of(zero), std::nullopt);
  EXPECT_EQ(caller::audit_token_of(someone), kToken);
  EXPECT_EQ(doubles::call_names(), (Names{2, "xpc_connection_get_audit_token"}));
  xpc_release(zero);
  xpc_release(someone);
}

// The request handler of the service, on a state of its own: the file and
// the store in a scratch directory, the macOS signature check (answered by
// the doubles).
class Served : public Xpc {
 protected:
  void SetUp() override {
    Xpc::SetUp();
    lwk_test::spit(dir_ / "hosts", "127.0.0.1\tlocalhost\n");
    state_ = std::make_shared<hosts_helper::ServiceState>(
        hosts_helper_core::write::Paths{dir_ / "hosts", dir_ / "store"}, dir_ / "helper.log",
        std::make_unique<hosts_privsep_macos::platform::MacPlatform>(false),
        [requirement = identity::ClientRequirement::make()](const identity::Caller& caller) {
          return identity::check_caller(caller, requirement);
        });
  }

  // The listener, made as start-up makes it.
  std::unique_ptr<NamedListener> listen() {
    auto listener = std::make_unique<NamedListener>(
        identity::service_name(),
        [state = state_](hosts_transport::Message& m) { hosts_helper::handle(m, *state); });
    listener_ = doubles::last_service();
    return listener;
  }

  // The helper's log, or the log of refused callers.
  std::string journal(const char* log = "helper.log") const {
    return lwk_test::exists(dir_ / log) ? lwk_test::slurp(dir_ / log) : "";
  }

  lwk_test::TempDir dir_;
  std::shared_ptr<hosts_helper::ServiceState> state_;
  xpc_connection_t listener_ = nullptr;
};

TEST_F(Served, StartUpListensOnTheServiceName) {
  auto listener = listen();
  ASSERT_EQ(doubles::call_names(),
            (Names{"xpc_connection_create_mach_service", "xpc_connection_set_event_handler",
                   "xpc_connection_resume"}));
  EXPECT_EQ(doubles::calls()[0].args, (Names{"org.lanternwharf.kit.helper", "null", "1"}));
  EXPECT_EXIT(listener->run_forever(), ::testing::ExitedWithCode(0), "dispatch_main");
}

TEST_F(Served, ErrorsAndSilentConnectionsCostNothing) {
  auto listener = listen();
  const long shares = state_.use_count();
  // An error on the listener: nothing.
  xpc_object_t invalidated = doubles::make_error("Connection invalid");
  doubles::deliver(listener_, invalidated);
  EXPECT_EQ(state_.use_count(), shares);
  // A connection: one share, a handler, resumed.
  xpc_connection_t connection = doubles::make_connection(kToken);
  doubles::deliver(listener_, connection);
  EXPECT_TRUE(doubles::has_handler(connection));
  EXPECT_TRUE(doubles::resumed(connection));
  EXPECT_EQ(state_.use_count(), shares + 1);
  // Its end is an error event: nothing journaled, nothing sent.
  doubles::deliver(connection, invalidated);
  EXPECT_EQ(journal(), "");
  EXPECT_TRUE(doubles::sent().empty());
  EXPECT_TRUE(doubles::calls_of("xpc_dictionary_create_reply").empty());
  // The system discards its handler, and with it the share.
  doubles::discard_handler(connection);
  EXPECT_EQ(state_.use_count(), shares);
  xpc_release(invalidated);
  xpc_release(connection);
}

TEST_F(Served, MessagesAreHandledAndAnswered) {
  auto listener = listen();
  xpc_connection_t client = doubles::make_connection(kToken);
  doubles::deliver(listener_, client);
  hosts_ipc::ApplySets apply;
  apply.sets.push_back({"work", {{"10.0.0.5 intranet.test", true}}});
  const std::string request = hosts_ipc::encode_request(apply);
  const std::string expected_file = hosts_core::block::ManagedFile::read("127.0.0.1\tlocalhost\n")
                                        ->render({{"work", {{"10.0.0.5 intranet.test", true}}}});
  struct Case {
    const char* what;
    xpc_connection_t on;
    std::optional<std::string> payload;
    bool as_string;
    bool wants_reply;
    std::optional<std::string> reply;  // nothing: none sent
    const char* journal_line;          // nullptr: none
    OSStatus validity = 0;
  };
  xpc_connection_t nobody = doubles::make_connection({});
  doubles::deliver(listener_, nobody);
  const Case cases[] = {
      {"an apply", client, request, false, true, hosts_ipc::encode_response(hosts_ipc::Done{}),
       nullptr},
      {"the same, once more", client, request, false, true,
       hosts_ipc::encode_response(hosts_ipc::Unchanged{}), nullptr},
      {"another program", client, request, false, true, std::string(),
       "refused to serve: NotOurProgram(-67050)", -67050},
      {"no token", nobody, request, false, true, std::string(),
       "refused to serve: the caller could not be identified"},
      {"a string payload", client, std::string("\x00\x01\x02", 3), true, true,
       hosts_ipc::encode_response(hosts_ipc::NotUnderstood{}),
       "refused to serve: the message was not understood"},
      // Last: it removes the store, the journal with it.
      {"no reply wanted", client, hosts_ipc::encode_request(hosts_ipc::RemoveEverything{}), false,
       false, std::nullopt, nullptr},
  };
  for (const Case& c : cases) {
    doubles::security().validity_status = c.validity;
    const std::size_t sent_before = doubles::sent().size();
    const std::string journal_before = journal();
    const std::string others_before = journal("others.log");
    xpc_object_t message = doubles::make_message(c.on, c.payload, c.wants_reply, c.as_string);
    doubles::deliver(c.on, message);
    xpc_release(message);
    if (c.reply) {
      ASSERT_EQ(doubles::sent().size(), sent_before + 1) << c.what;
      EXPECT_EQ(doubles::sent().back().connection, c.on) << c.what;
      EXPECT_EQ(doubles::sent().back().payload, c.reply) << c.what;
    } else {
      EXPECT_EQ(doubles::sent().size(), sent_before) << c.what;
    }
    if (!lwk_test::exists(dir_ / "store")) continue;
    // What a refused caller did goes to the log of its own, never to the
    // record of what the helper did for its client.
    const std::string added = journal().substr(journal_before.size()) +
                              journal("others.log").substr(others_before.size());
    if (c.reply == std::string()) EXPECT_EQ(journal(), journal_before) << c.what;
    if (c.journal_line) {
      EXPECT_NE(added.find(c.journal_line), std::string::npos) << c.what << ": " << added;
    } else {
      EXPECT_EQ(added, "") << c.what;
    }
    if (std::string(c.what) == "an apply") {
      EXPECT_EQ(lwk_test::slurp(dir_ / "hosts"), expected_file);
    }
  }
  // The removal without a reply was done all the same.
  EXPECT_EQ(lwk_test::slurp(dir_ / "hosts"), "127.0.0.1\tlocalhost\n");
  EXPECT_FALSE(lwk_test::exists(dir_ / "store"));
  doubles::discard_handler(client);
  doubles::discard_handler(nobody);
  xpc_release(client);
  xpc_release(nobody);
  EXPECT_EQ(doubles::live_objects(), 1);  // the listener, for the life of the process
}

}  // namespace
