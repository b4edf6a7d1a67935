#include "identity/caller_check_macos.h"

#include "identity/signature.h"

namespace identity {

Verdict check_caller(const Caller& caller, const ClientRequirement& requirement) {
  const signature::SignatureVerdict verdict = signature::check(caller.token, requirement.text());
  if (verdict.is_satisfied()) return Verdict::serve();
  return Verdict::refuse(signature::text_of(verdict));
}

}  // namespace identity
