// The Linux form of the caller check, with the trusted client path as a
// parameter so that tests can name a file of their own; signature::check
// passes this build's path.
#ifndef LWK_IDENTITY_SIGNATURE_LINUX_H_
#define LWK_IDENTITY_SIGNATURE_LINUX_H_

#include <string>
#include <string_view>

#include "identity/signature.h"

namespace signature {

// The verdicts, decided in this order:
// - RequirementUnreadable(errSecCSReqInvalid) when `requirement` is not
//   exactly the text that ClientRequirement::make() gives; no caller is
//   looked at then;
// - NoSuchCode(errSecCSNoSuchCode) when the process has gone, its start time
//   no longer matches the token's, or its executable cannot be examined;
// - NotOurProgram(errSecCSReqFailed) when its executable is not the file at
//   `trusted` (the same device and inode, not the same path text);
// - NotOurProgram(errSecCSSignatureFailed) when that file, or a directory
//   above it, is not owned by root or may be written by group or others (a
//   root-owned sticky directory such as /tmp passes), so that someone else
//   could have put another program there;
// - NoSuchCode when the start time, read again after the executable was
//   examined, no longer matches: the pid was reused meanwhile;
// - Satisfied otherwise.
SignatureVerdict check_executable(const identity::AuditToken& token, std::string_view requirement,
                                  const std::string& trusted);

}  // namespace signature

#endif  // LWK_IDENTITY_SIGNATURE_LINUX_H_
