// Test doubles of the XPC, Dispatch, Core Foundation and Security calls that
// the macOS sources make, so that those sources run on Linux. The doubles
// record every call with its arguments, answer as a test scripts them, and
// count every object made against every object released; a call on an
// object already released is recorded as a fault.
#ifndef LWK_TESTS_MACOS_DOUBLES_H_
#define LWK_TESTS_MACOS_DOUBLES_H_

#include <CoreFoundation/CoreFoundation.h>
#include <Security/Security.h>
#include <xpc/xpc.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace doubles {

// One call: its name and its arguments, each written as text.
struct Call {
  std::string name;
  std::vector<std::string> args;
};

// How the Security calls answer.
struct SecurityScript {
  OSStatus guest_status = 0;
  bool guest_gives_code = true;
  OSStatus requirement_status = 0;
  bool requirement_gives_object = true;
  OSStatus validity_status = 0;
};

// Forgets every call, object and script.
void reset();

const std::vector<Call>& calls();
// The names of the calls made, in order.
std::vector<std::string> call_names();
// The calls named `name`.
std::vector<Call> calls_of(const std::string& name);

// Objects made by the code under test (or by the helpers below) that are
// not yet released, and the faults seen (a released object used again, or
// released once too often).
int live_objects();
const std::vector<std::string>& faults();

SecurityScript& security();

// What the client's sending call answers with: the reply it makes from the
// message, which it owns (made with the helpers below), or null.
void answer_sends_with(std::function<xpc_object_t(xpc_object_t message)> answer);

// The system's side: objects as the system would deliver them. Each is made
// with one reference, for the test to release with xpc_release.
xpc_connection_t make_connection(const std::array<std::uint32_t, 8>& token);
// A message on `connection`, whose sender waits for a reply when
// `wants_reply`; "payload" holds `payload` as data, unless `as_string`, when
// it holds it as a string; no "payload" when `payload` is nothing.
xpc_object_t make_message(xpc_connection_t connection, std::optional<std::string> payload,
                          bool wants_reply = true, bool as_string = false);
// An error event, with its description under XPC_ERROR_KEY_DESCRIPTION.
xpc_object_t make_error(const std::string& description = "");
xpc_object_t make_dictionary();

// The connection the last xpc_connection_create_mach_service made.
xpc_connection_t last_service();

// Delivers `event` to the handler block set on `connection`, as the system
// does on the connection's queue.
void deliver(xpc_connection_t connection, xpc_object_t event);
// The system discards the handler block of `connection`, releasing it.
void discard_handler(xpc_connection_t connection);
// Whether the connection has a handler, and whether it was resumed.
bool has_handler(xpc_connection_t connection);
bool resumed(xpc_connection_t connection);

// Messages sent with xpc_connection_send_message: the connection and the
// data under "payload" at the time of sending (nothing when there was none).
struct Sent {
  xpc_connection_t connection;
  std::optional<std::string> payload;
};
const std::vector<Sent>& sent();

// The data under `key` of a dictionary the doubles made, or nothing.
std::optional<std::string> data_of(xpc_object_t dictionary, const char* key);

}  // namespace doubles

#endif  // LWK_TESTS_MACOS_DOUBLES_H_
