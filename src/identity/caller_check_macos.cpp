#include "identity/caller_check_macos.h"

#include "identity/signature.h"

namespace identity {

Verdict check_caller(const Caller& caller, const ClientRequirement& requirement) {
  const signature::SignatureVerdict verdict = signature::check(caller.token, requirement.text());
  if (verdict.is_satisfied()) return Verdict::serve();
  // Only the signed client is served, and it is never refused: whoever is,
  // is an outsider, whose refusals are journaled apart.
  return Verdict::refuse(signature::text_of(verdict)).of_outsider(true);
}

}  // namespace identity
