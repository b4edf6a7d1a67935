#include "identity/identity.h"

#include "identity/build_constants.h"

namespace identity {

bool is_empty(const AuditToken& token) {
  for (const std::uint32_t word : token) {
    if (word != 0) return false;
  }
  return true;
}

ClientRequirement ClientRequirement::make() { return for_client(CLIENT_ID); }

ClientRequirement ClientRequirement::for_client(std::string_view client_id) {
  constexpr std::string_view kMinimumVersion = "0.1";
  std::string text = "identifier \"";
  text += client_id;
  text += "\" and anchor apple generic and certificate leaf[subject.OU] = \"";
  text += TEAM_ID;
  text += "\" and info [CFBundleShortVersionString] >= \"";
  text += kMinimumVersion;
  text += "\"";
  return ClientRequirement(std::move(text));
}

std::string service_name() { return std::string(CLIENT_ID) + ".helper"; }

}  // namespace identity
