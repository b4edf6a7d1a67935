// The caller check on macOS: the code signature of the process behind the
// caller's audit token, checked against the client's requirement by
// signature::check.
#ifndef LWK_IDENTITY_CALLER_CHECK_MACOS_H_
#define LWK_IDENTITY_CALLER_CHECK_MACOS_H_

#include "identity/caller.h"
#include "identity/caller_macos.h"
#include "identity/identity.h"

namespace identity {

// Served when signature::check finds the requirement satisfied; otherwise
// refused with the verdict's text, such as "NotOurProgram(-67050)". Keeps
// nothing between calls; safe on several threads at once.
Verdict check_caller(const Caller& caller, const ClientRequirement& requirement);

}  // namespace identity

#endif  // LWK_IDENTITY_CALLER_CHECK_MACOS_H_
