#include "doubles.h"

#include <Block.h>
#include <dispatch/dispatch.h>
#include <mach/message.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>

// The objects whose addresses Apple's headers name.
const struct _xpc_type_s {
  const char* name;
} _xpc_type_error{"error"}, _xpc_type_dictionary{"dictionary"}, _xpc_type_connection{"connection"};
const char* const _xpc_error_key_description = "XPCErrorDescription";
struct CFDictionaryKeyCallBacks {
  int unused;
};
struct CFDictionaryValueCallBacks {
  int unused;
};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks{0};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks{0};

namespace doubles {
namespace {

enum class Kind {
  Connection,
  Dictionary,
  Error,
  CFData,
  CFDictionary,
  CFString,
  Code,
  Requirement
};

struct Object {
  Kind kind;
  int references = 1;
  // Dictionaries: data and string values by key.
  std::map<std::string, std::string> data;
  std::map<std::string, std::string> strings;
  std::map<std::string, bool> bools;
  // Messages: the connection they came on, and whether a reply is awaited.
  Object* connection = nullptr;
  bool wants_reply = false;
  // Connections: the peer's token, the handler block, whether resumed.
  std::array<std::uint32_t, 8> token{};
  xpc_handler_t handler = nullptr;
  bool resumed = false;
  // Core Foundation: the bytes of data and strings; a dictionary's value.
  std::string bytes;
  const void* value = nullptr;
};

struct World {
  std::deque<std::unique_ptr<Object>> objects;
  std::vector<Call> calls;
  std::vector<std::string> faults;
  std::vector<Sent> sent;
  SecurityScript security;
  std::function<xpc_object_t(xpc_object_t)> answer;
  Object* last_service = nullptr;
};

World& world() {
  static World w;
  return w;
}

Object* make(Kind kind) {
  world().objects.push_back(std::make_unique<Object>());
  world().objects.back()->kind = kind;
  return world().objects.back().get();
}

std::string pointer(const void* p) {
  if (p == nullptr) return "null";
  char text[32];
  (void)std::snprintf(text, sizeof text, "%p", p);
  return text;
}

void record(std::string name, std::vector<std::string> args = {}) {
  world().calls.push_back({std::move(name), std::move(args)});
}

// The live object behind `p`, or null with a fault recorded.
Object* live(const void* p, const char* call) {
  for (const auto& o : world().objects) {
    if (o.get() == p) {
      if (o->references > 0) return o.get();
      world().faults.push_back(std::string(call) + " on a released object");
      return nullptr;
    }
  }
  if (p != nullptr) world().faults.push_back(std::string(call) + " on an object never made");
  return nullptr;
}

void release(const void* p, const char* call) {
  Object* o = live(p, call);
  if (o == nullptr) return;
  if (--o->references == 0 && o->handler != nullptr) {
    Block_release(o->handler);
    o->handler = nullptr;
  }
}

}  // namespace

void reset() {
  for (auto& o : world().objects) {
    if (o->handler != nullptr) Block_release(o->handler);
  }
  world() = World{};
}

const std::vector<Call>& calls() { return world().calls; }

std::vector<std::string> call_names() {
  std::vector<std::string> names;
  for (const Call& c : world().calls) names.push_back(c.name);
  return names;
}

std::vector<Call> calls_of(const std::string& name) {
  std::vector<Call> found;
  for (const Call& c : world().calls) {
    if (c.name == name) found.push_back(c);
  }
  return found;
}

int live_objects() {
  int n = 0;
  for (const auto& o : world().objects) n += o->references > 0 ? 1 : 0;
  return n;
}

const std::vector<std::string>& faults() { return world().faults; }

SecurityScript& security() { return world().security; }

void answer_sends_with(std::function<xpc_object_t(xpc_object_t)> answer) {
  world().answer = std::move(answer);
}

xpc_connection_t make_connection(const std::array<std::uint32_t, 8>& token) {
  Object* o = make(Kind::Connection);
  o->token = token;
  return reinterpret_cast<xpc_connection_t>(o);
}

xpc_object_t make_message(xpc_connection_t connection, std::optional<std::string> payload,
                          bool wants_reply, bool as_string) {
  Object* o = make(Kind::Dictionary);
  o->connection = reinterpret_cast<Object*>(connection);
  o->wants_reply = wants_reply;
  if (payload) (as_string ? o->strings : o->data)["payload"] = *payload;
  return o;
}

xpc_object_t make_error(const std::string& description) {
  Object* o = make(Kind::Error);
  if (!description.empty()) o->strings[_xpc_error_key_description] = description;
  return o;
}

xpc_object_t make_dictionary() { return make(Kind::Dictionary); }

xpc_connection_t last_service() { return reinterpret_cast<xpc_connection_t>(world().last_service); }

void deliver(xpc_connection_t connection, xpc_object_t event) {
  Object* o = live(connection, "deliver");
  if (o == nullptr || o->handler == nullptr) {
    world().faults.push_back("an event for a connection with no handler");
    return;
  }
  o->handler(event);
}

void discard_handler(xpc_connection_t connection) {
  Object* o = live(connection, "discard_handler");
  if (o != nullptr && o->handler != nullptr) {
    Block_release(o->handler);
    o->handler = nullptr;
  }
}

bool has_handler(xpc_connection_t connection) {
  Object* o = live(connection, "has_handler");
  return o != nullptr && o->handler != nullptr;
}

bool resumed(xpc_connection_t connection) {
  Object* o = live(connection, "resumed");
  return o != nullptr && o->resumed;
}

const std::vector<Sent>& sent() { return world().sent; }

std::optional<std::string> data_of(xpc_object_t dictionary, const char* key) {
  Object* o = live(dictionary, "data_of");
  if (o == nullptr) return std::nullopt;
  auto found = o->data.find(key);
  if (found == o->data.end()) return std::nullopt;
  return found->second;
}

}  // namespace doubles

using doubles::Kind;
using doubles::live;
using doubles::make;
using doubles::Object;
using doubles::pointer;
using doubles::record;

extern "C" {

// --- XPC -----------------------------------------------------------------------

xpc_connection_t xpc_connection_create_mach_service(const char* name, dispatch_queue_t targetq,
                                                    uint64_t flags) {
  record("xpc_connection_create_mach_service", {name, pointer(targetq), std::to_string(flags)});
  doubles::world().last_service = make(Kind::Connection);
  return reinterpret_cast<xpc_connection_t>(doubles::world().last_service);
}

void xpc_connection_set_event_handler(xpc_connection_t connection, xpc_handler_t handler) {
  record("xpc_connection_set_event_handler", {pointer(connection)});
  Object* o = live(connection, "xpc_connection_set_event_handler");
  if (o == nullptr) return;
  if (o->handler != nullptr) Block_release(o->handler);
  o->handler = Block_copy(handler);
}

void xpc_connection_resume(xpc_connection_t connection) {
  record("xpc_connection_resume", {pointer(connection)});
  if (Object* o = live(connection, "xpc_connection_resume")) o->resumed = true;
}

void xpc_connection_cancel(xpc_connection_t connection) {
  record("xpc_connection_cancel", {pointer(connection)});
  (void)live(connection, "xpc_connection_cancel");
}

void xpc_connection_send_message(xpc_connection_t connection, xpc_object_t message) {
  record("xpc_connection_send_message", {pointer(connection), pointer(message)});
  if (live(connection, "xpc_connection_send_message") == nullptr) return;
  if (live(message, "xpc_connection_send_message") == nullptr) return;
  doubles::world().sent.push_back({connection, doubles::data_of(message, "payload")});
}

xpc_object_t xpc_connection_send_message_with_reply_sync(xpc_connection_t connection,
                                                         xpc_object_t message) {
  record("xpc_connection_send_message_with_reply_sync", {pointer(connection), pointer(message)});
  if (live(connection, "xpc_connection_send_message_with_reply_sync") == nullptr) return nullptr;
  if (live(message, "xpc_connection_send_message_with_reply_sync") == nullptr) return nullptr;
  doubles::world().sent.push_back({connection, doubles::data_of(message, "payload")});
  return doubles::world().answer ? doubles::world().answer(message) : nullptr;
}

void xpc_connection_get_audit_token(xpc_connection_t connection, audit_token_t* token) {
  record("xpc_connection_get_audit_token", {pointer(connection)});
  Object* o = live(connection, "xpc_connection_get_audit_token");
  if (o == nullptr) return;
  std::memcpy(token->val, o->token.data(), sizeof token->val);
}

xpc_type_t xpc_get_type(xpc_object_t object) {
  record("xpc_get_type", {pointer(object)});
  Object* o = live(object, "xpc_get_type");
  if (o == nullptr) return nullptr;
  switch (o->kind) {
    case Kind::Error: return XPC_TYPE_ERROR;
    case Kind::Connection: return &_xpc_type_connection;
    default: return XPC_TYPE_DICTIONARY;
  }
}

void xpc_release(xpc_object_t object) {
  record("xpc_release", {pointer(object)});
  doubles::release(object, "xpc_release");
}

xpc_object_t xpc_dictionary_create(const char* const* /*keys*/, const xpc_object_t* /*values*/,
                                   size_t count) {
  record("xpc_dictionary_create", {std::to_string(count)});
  return make(Kind::Dictionary);
}

xpc_object_t xpc_dictionary_create_reply(xpc_object_t original) {
  record("xpc_dictionary_create_reply", {pointer(original)});
  Object* o = live(original, "xpc_dictionary_create_reply");
  if (o == nullptr || !o->wants_reply) return nullptr;
  Object* reply = make(Kind::Dictionary);
  reply->connection = o->connection;
  return reply;
}

xpc_connection_t xpc_dictionary_get_remote_connection(xpc_object_t xdict) {
  record("xpc_dictionary_get_remote_connection", {pointer(xdict)});
  Object* o = live(xdict, "xpc_dictionary_get_remote_connection");
  return o == nullptr ? nullptr : reinterpret_cast<xpc_connection_t>(o->connection);
}

const void* xpc_dictionary_get_data(xpc_object_t xdict, const char* key, size_t* length) {
  record("xpc_dictionary_get_data", {pointer(xdict), key});
  Object* o = live(xdict, "xpc_dictionary_get_data");
  if (o == nullptr) return nullptr;
  auto found = o->data.find(key);
  if (found == o->data.end()) return nullptr;
  *length = found->second.size();
  return found->second.data();
}

void xpc_dictionary_set_data(xpc_object_t xdict, const char* key, const void* bytes,
                             size_t length) {
  record("xpc_dictionary_set_data",
         {pointer(xdict), key, bytes == nullptr ? "null" : "bytes", std::to_string(length)});
  Object* o = live(xdict, "xpc_dictionary_set_data");
  if (o == nullptr || bytes == nullptr) return;
  o->data[key] = std::string(static_cast<const char*>(bytes), length);
}

void xpc_dictionary_set_bool(xpc_object_t xdict, const char* key, bool value) {
  record("xpc_dictionary_set_bool", {pointer(xdict), key, value ? "true" : "false"});
  if (Object* o = live(xdict, "xpc_dictionary_set_bool")) o->bools[key] = value;
}

bool xpc_dictionary_get_bool(xpc_object_t xdict, const char* key) {
  record("xpc_dictionary_get_bool", {pointer(xdict), key});
  Object* o = live(xdict, "xpc_dictionary_get_bool");
  if (o == nullptr) return false;
  auto found = o->bools.find(key);
  return found != o->bools.end() && found->second;
}

const char* xpc_dictionary_get_string(xpc_object_t xdict, const char* key) {
  record("xpc_dictionary_get_string", {pointer(xdict), key});
  Object* o = live(xdict, "xpc_dictionary_get_string");
  if (o == nullptr) return nullptr;
  auto found = o->strings.find(key);
  return found == o->strings.end() ? nullptr : found->second.c_str();
}

// --- Dispatch --------------------------------------------------------------------

// The process's end stands for serving forever, so that a test can see that
// dispatch was given the main thread.
void dispatch_main(void) {
  (void)std::fputs("dispatch_main\n", stderr);
  ::_exit(0);
}

// --- Core Foundation and Security --------------------------------------------------

CFDataRef CFDataCreate(CFAllocatorRef allocator, const UInt8* bytes, CFIndex length) {
  record("CFDataCreate", {pointer(allocator), std::to_string(length)});
  Object* o = make(Kind::CFData);
  o->bytes.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
  return reinterpret_cast<CFDataRef>(o);
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef allocator, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks) {
  record("CFDictionaryCreate",
         {pointer(allocator), keys[0] == kSecGuestAttributeAudit ? "audit" : "other key",
          std::to_string(numValues),
          keyCallBacks == &kCFTypeDictionaryKeyCallBacks ? "type keys" : "other keys",
          valueCallBacks == &kCFTypeDictionaryValueCallBacks ? "type values" : "other values"});
  Object* o = make(Kind::CFDictionary);
  o->value = values[0];
  return reinterpret_cast<CFDictionaryRef>(o);
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation) {
  record("CFStringCreateWithBytes",
         {pointer(alloc), std::to_string(encoding), std::to_string(isExternalRepresentation)});
  Object* o = make(Kind::CFString);
  o->bytes.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(numBytes));
  return reinterpret_cast<CFStringRef>(o);
}

void CFRelease(CFTypeRef cf) {
  record("CFRelease", {pointer(cf)});
  doubles::release(cf, "CFRelease");
}

// A string object of its own, never released.
const CFStringRef kSecGuestAttributeAudit = reinterpret_cast<CFStringRef>(&_xpc_type_connection);

OSStatus SecCodeCopyGuestWithAttributes(SecCodeRef host, CFDictionaryRef attributes,
                                        SecCSFlags flags, SecCodeRef* guest) {
  // The token, as the attributes hold it, is the call's telling argument.
  std::string token = "no token";
  if (Object* a = live(attributes, "SecCodeCopyGuestWithAttributes")) {
    if (Object* data = live(a->value, "SecCodeCopyGuestWithAttributes")) token = data->bytes;
  }
  record("SecCodeCopyGuestWithAttributes", {pointer(host), std::to_string(flags), token});
  *guest = doubles::security().guest_gives_code ? reinterpret_cast<SecCodeRef>(make(Kind::Code))
                                                : nullptr;
  return doubles::security().guest_status;
}

OSStatus SecRequirementCreateWithString(CFStringRef text, SecCSFlags flags,
                                        SecRequirementRef* requirement) {
  Object* o = live(text, "SecRequirementCreateWithString");
  record("SecRequirementCreateWithString", {o ? o->bytes : "no string", std::to_string(flags)});
  *requirement = doubles::security().requirement_gives_object
                     ? reinterpret_cast<SecRequirementRef>(make(Kind::Requirement))
                     : nullptr;
  return doubles::security().requirement_status;
}

OSStatus SecCodeCheckValidity(SecCodeRef staticCode, SecCSFlags flags,
                              SecRequirementRef requirement) {
  record("SecCodeCheckValidity",
         {pointer(staticCode), std::to_string(flags), pointer(requirement)});
  (void)live(staticCode, "SecCodeCheckValidity");
  (void)live(requirement, "SecCodeCheckValidity");
  return doubles::security().validity_status;
}

}  // extern "C"
