// XPC, as far as the macOS sources use it (see ../README.md).
#ifndef LWK_TEST_SDK_XPC_H_
#define LWK_TEST_SDK_XPC_H_

#include <dispatch/dispatch.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void* xpc_object_t;
typedef struct _xpc_connection_s* xpc_connection_t;
typedef const struct _xpc_type_s* xpc_type_t;
typedef void (^xpc_handler_t)(xpc_object_t object);

extern const struct _xpc_type_s _xpc_type_error;
extern const struct _xpc_type_s _xpc_type_dictionary;
#define XPC_TYPE_ERROR (&_xpc_type_error)
#define XPC_TYPE_DICTIONARY (&_xpc_type_dictionary)

extern const char* const _xpc_error_key_description;
#define XPC_ERROR_KEY_DESCRIPTION _xpc_error_key_description

#define XPC_CONNECTION_MACH_SERVICE_LISTENER (1 << 0)
#define XPC_CONNECTION_MACH_SERVICE_PRIVILEGED (1 << 1)

xpc_connection_t xpc_connection_create_mach_service(const char* name, dispatch_queue_t targetq,
                                                    uint64_t flags);
void xpc_connection_set_event_handler(xpc_connection_t connection, xpc_handler_t handler);
void xpc_connection_resume(xpc_connection_t connection);
void xpc_connection_cancel(xpc_connection_t connection);
void xpc_connection_send_message(xpc_connection_t connection, xpc_object_t message);
xpc_object_t xpc_connection_send_message_with_reply_sync(xpc_connection_t connection,
                                                         xpc_object_t message);

xpc_type_t xpc_get_type(xpc_object_t object);
void xpc_release(xpc_object_t object);

xpc_object_t xpc_dictionary_create(const char* const* keys, const xpc_object_t* values,
                                   size_t count);
xpc_object_t xpc_dictionary_create_reply(xpc_object_t original);
xpc_connection_t xpc_dictionary_get_remote_connection(xpc_object_t xdict);
const void* xpc_dictionary_get_data(xpc_object_t xdict, const char* key, size_t* length);
void xpc_dictionary_set_data(xpc_object_t xdict, const char* key, const void* bytes, size_t length);
const char* xpc_dictionary_get_string(xpc_object_t xdict, const char* key);
void xpc_dictionary_set_bool(xpc_object_t xdict, const char* key, bool value);
bool xpc_dictionary_get_bool(xpc_object_t xdict, const char* key);

#ifdef __cplusplus
}
#endif

#endif  // LWK_TEST_SDK_XPC_H_
