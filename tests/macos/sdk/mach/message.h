// The audit token's type (see ../README.md).
#ifndef LWK_TEST_SDK_MACH_MESSAGE_H_
#define LWK_TEST_SDK_MACH_MESSAGE_H_

typedef struct {
  unsigned int val[8];
} audit_token_t;

#endif  // LWK_TEST_SDK_MACH_MESSAGE_H_
