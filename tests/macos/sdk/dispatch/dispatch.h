// Dispatch, as far as the macOS sources use it (see ../README.md).
#ifndef LWK_TEST_SDK_DISPATCH_H_
#define LWK_TEST_SDK_DISPATCH_H_

#ifdef __cplusplus
extern "C" {
#endif

typedef struct dispatch_queue_s* dispatch_queue_t;

// Serves the main queue and never returns.
__attribute__((noreturn)) void dispatch_main(void);

#ifdef __cplusplus
}
#endif

#endif  // LWK_TEST_SDK_DISPATCH_H_
