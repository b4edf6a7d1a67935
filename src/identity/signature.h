// Whether the process behind an audit token is the helper's own client, on
// macOS: its code signature against the client's requirement, through the
// Security framework (signature_macos.cpp). The answer is one of four
// verdicts, with the status of the call that refused.
#ifndef LWK_IDENTITY_SIGNATURE_H_
#define LWK_IDENTITY_SIGNATURE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "identity/identity.h"

namespace signature {

// The statuses of the Security framework's code-signing errors.
inline constexpr std::int32_t errSecCSReqFailed = -67050;
inline constexpr std::int32_t errSecCSReqInvalid = -67052;
inline constexpr std::int32_t errSecCSSignatureFailed = -67061;
inline constexpr std::int32_t errSecCSNoSuchCode = -67065;

struct SignatureVerdict {
  enum class Variant { Satisfied, NoSuchCode, RequirementUnreadable, NotOurProgram };
  Variant variant;
  std::int32_t status = 0;  // of the refusing call; 0 for Satisfied

  static SignatureVerdict satisfied() { return {Variant::Satisfied, 0}; }
  static SignatureVerdict no_such_code(std::int32_t s) { return {Variant::NoSuchCode, s}; }
  static SignatureVerdict requirement_unreadable(std::int32_t s) {
    return {Variant::RequirementUnreadable, s};
  }
  static SignatureVerdict not_our_program(std::int32_t s) { return {Variant::NotOurProgram, s}; }

  bool is_satisfied() const { return variant == Variant::Satisfied; }
  friend bool operator==(const SignatureVerdict&, const SignatureVerdict&) = default;
};

// "Satisfied", or the variant's name and the status in parentheses, e.g.
// "NotOurProgram(-67050)".
std::string text_of(const SignatureVerdict& verdict);

// Checks the caller behind `token` against `requirement`. Keeps nothing
// between calls; safe on several threads at once.
SignatureVerdict check(const identity::AuditToken& token, std::string_view requirement);

}  // namespace signature

#endif  // LWK_IDENTITY_SIGNATURE_H_
