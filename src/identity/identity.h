// Who the helper serves: the code requirement that its one client satisfies,
// and the service name that the client reaches it by. Both come from the
// client's identifier, a constant of the build.
#ifndef LWK_IDENTITY_IDENTITY_H_
#define LWK_IDENTITY_IDENTITY_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace identity {

// The caller's audit token: eight 32-bit words describing the process at the
// other end of a connection. All zero counts as no token.
using AuditToken = std::array<std::uint32_t, 8>;

bool is_empty(const AuditToken& token);

// The requirement a caller must satisfy, in the platform's code-requirement
// language. Read-only once built.
class ClientRequirement {
 public:
  // identifier "ID" and anchor apple generic and certificate leaf[subject.OU] =
  // "TEAM" and info [CFBundleShortVersionString] >= "0.1", with this build's
  // client identifier for ID and its team identifier ("K4T9QZ2W7B" unless
  // the build says otherwise) for TEAM.
  static ClientRequirement make();
  // The same for the identifier `client_id`.
  static ClientRequirement for_client(std::string_view client_id);

  const std::string& text() const { return text_; }

 private:
  explicit ClientRequirement(std::string text) : text_(std::move(text)) {}
  std::string text_;
};

// The client's identifier followed by ".helper".
std::string service_name();

}  // namespace identity

#endif  // LWK_IDENTITY_IDENTITY_H_
