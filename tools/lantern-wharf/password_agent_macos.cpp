#include "password_agent.h"

namespace lantern_wharf {

// The helper on macOS checks the caller's signature and asks nobody.
struct PasswordAgent::Running {};

PasswordAgent PasswordAgent::before_asking() { return PasswordAgent(nullptr); }

PasswordAgent::PasswordAgent(std::unique_ptr<Running> running) : running_(std::move(running)) {}
PasswordAgent::PasswordAgent(PasswordAgent&&) noexcept = default;
PasswordAgent::~PasswordAgent() = default;

}  // namespace lantern_wharf
