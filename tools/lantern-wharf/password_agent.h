// Where polkit asks for a password when the helper wants one for this
// command's request: in the terminal where the command was typed, as
// systemctl asks it. A desktop application has the session's own agent and
// needs none of this, which is why it lives with the command and not in the
// library.
#ifndef LWK_TOOLS_LANTERN_WHARF_PASSWORD_AGENT_H_
#define LWK_TOOLS_LANTERN_WHARF_PASSWORD_AGENT_H_

#include <memory>

namespace lantern_wharf {

// While a value lives, a password polkit wants for this process is asked for
// in its terminal. On Linux a text agent runs for a process the helper does
// not serve unasked (neither root nor in the helper's group) whose standard
// input is a terminal; it ends with the value, or with the process however
// that ends. On macOS the helper asks nobody, and nothing runs.
class PasswordAgent {
 public:
  // Starts what this process needs before it asks the helper; waits at
  // most two seconds for an agent to be ready, and asks the helper all the
  // same when none is.
  static PasswordAgent before_asking();

  PasswordAgent(PasswordAgent&&) noexcept;
  PasswordAgent& operator=(PasswordAgent&&) = delete;
  ~PasswordAgent();

 private:
  struct Running;
  explicit PasswordAgent(std::unique_ptr<Running> running);
  std::unique_ptr<Running> running_;
};

}  // namespace lantern_wharf

#endif  // LWK_TOOLS_LANTERN_WHARF_PASSWORD_AGENT_H_
