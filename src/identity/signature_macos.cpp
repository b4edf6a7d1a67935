// The caller check on macOS: the code behind the audit token, looked up and
// checked against the requirement by the Security framework.
#include <CoreFoundation/CoreFoundation.h>
#include <Security/Security.h>

#include "base/result.h"
#include "identity/signature.h"

namespace signature {
namespace {

// Releases a Core Foundation object, if there is one, at the end of its
// scope, so that every object made for a check is released on every path.
template <class Ref>
class Owned {
 public:
  explicit Owned(Ref ref = nullptr) : ref_(ref) {}
  ~Owned() {
    if (ref_ != nullptr) CFRelease(ref_);
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  Ref get() const { return ref_; }
  Ref* out() { return &ref_; }

 private:
  Ref ref_;
};

}  // namespace

SignatureVerdict check(const identity::AuditToken& token, std::string_view requirement) {
  // Declared in the order made, so released in the reverse: the requirement,
  // the string, the code, the attributes, the token's data.
  const Owned<CFDataRef> data(
      CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(token.data()), sizeof token));
  if (data.get() == nullptr) lwk::fatal("no memory for the caller's audit token");
  const void* keys[] = {kSecGuestAttributeAudit};
  const void* values[] = {data.get()};
  const Owned<CFDictionaryRef> attributes(CFDictionaryCreate(
      nullptr, keys, values, 1, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
  if (attributes.get() == nullptr) lwk::fatal("no memory for the guest attributes");

  Owned<SecCodeRef> code;
  const OSStatus found =
      SecCodeCopyGuestWithAttributes(nullptr, attributes.get(), kSecCSDefaultFlags, code.out());
  if (found != 0 || code.get() == nullptr) return SignatureVerdict::no_such_code(found);

  const Owned<CFStringRef> text(CFStringCreateWithBytes(
      nullptr, reinterpret_cast<const UInt8*>(requirement.data()),
      static_cast<CFIndex>(requirement.size()), kCFStringEncodingUTF8, false));
  if (text.get() == nullptr) return SignatureVerdict::requirement_unreadable(errSecCSReqInvalid);
  Owned<SecRequirementRef> compiled;
  const OSStatus read =
      SecRequirementCreateWithString(text.get(), kSecCSDefaultFlags, compiled.out());
  if (read != 0 || compiled.get() == nullptr) return SignatureVerdict::requirement_unreadable(read);

  const OSStatus valid = SecCodeCheckValidity(code.get(), kSecCSDefaultFlags, compiled.get());
  if (valid != 0) return SignatureVerdict::not_our_program(valid);
  return SignatureVerdict::satisfied();
}

}  // namespace signature
