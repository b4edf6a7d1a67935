#include <grp.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "identity/build_constants.h"
#include "password_agent.h"
#include "text_agent_linux.h"

namespace lantern_wharf {
namespace {

// Whether the helper serves this process with no question asked: it runs
// as root, or in the helper's group (its own group or a supplementary one).
bool served_unasked() {
  if (::geteuid() == 0) return true;
  const std::string name(identity::HELPER_GROUP);
  const group* helpers = ::getgrnam(name.c_str());
  if (helpers == nullptr) return false;
  if (::getegid() == helpers->gr_gid) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int got = ::getgroups(count, groups.data());
  return got > 0 &&
         std::find(groups.begin(), groups.begin() + got, helpers->gr_gid) != groups.begin() + got;
}

}  // namespace

struct PasswordAgent::Running {
  TextAgent agent;
};

PasswordAgent PasswordAgent::before_asking() {
  // Anyone but root and the helper's group is served only when polkit
  // allows it, and polkit may want a password.
  if (served_unasked()) return PasswordAgent(nullptr);
  return PasswordAgent(
      std::make_unique<Running>(Running{TextAgent::start(std::chrono::seconds(2))}));
}

PasswordAgent::PasswordAgent(std::unique_ptr<Running> running) : running_(std::move(running)) {}
PasswordAgent::PasswordAgent(PasswordAgent&&) noexcept = default;
PasswordAgent::~PasswordAgent() = default;

}  // namespace lantern_wharf
