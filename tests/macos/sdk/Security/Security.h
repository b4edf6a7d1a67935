// The Security framework's code-signing calls, as far as the macOS sources
// use them (see ../README.md).
#ifndef LWK_TEST_SDK_SECURITY_H_
#define LWK_TEST_SDK_SECURITY_H_

#include <CoreFoundation/CoreFoundation.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct __SecCode* SecCodeRef;
typedef struct __SecRequirement* SecRequirementRef;
typedef uint32_t SecCSFlags;

enum { kSecCSDefaultFlags = 0 };

extern const CFStringRef kSecGuestAttributeAudit;

OSStatus SecCodeCopyGuestWithAttributes(SecCodeRef host, CFDictionaryRef attributes,
                                        SecCSFlags flags, SecCodeRef* guest);
OSStatus SecRequirementCreateWithString(CFStringRef text, SecCSFlags flags,
                                        SecRequirementRef* requirement);
OSStatus SecCodeCheckValidity(SecCodeRef staticCode, SecCSFlags flags,
                              SecRequirementRef requirement);

#ifdef __cplusplus
}
#endif

#endif  // LWK_TEST_SDK_SECURITY_H_
