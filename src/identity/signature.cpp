#include "identity/signature.h"

namespace signature {

std::string text_of(const SignatureVerdict& verdict) {
  std::string name;
  switch (verdict.variant) {
    case SignatureVerdict::Variant::Satisfied: return "Satisfied";
    case SignatureVerdict::Variant::NoSuchCode: name = "NoSuchCode"; break;
    case SignatureVerdict::Variant::RequirementUnreadable: name = "RequirementUnreadable"; break;
    case SignatureVerdict::Variant::NotOurProgram: name = "NotOurProgram"; break;
  }
  return name + "(" + std::to_string(verdict.status) + ")";
}

}  // namespace signature
