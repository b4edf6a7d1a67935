// A text authentication agent for the client's own process, so that when
// polkit wants a password for a request the prompt appears in the terminal
// where the user typed the command. It is registered for this process alone,
// so polkit asks it, not a desktop session's agent, about this process's
// requests. Not as a fallback (pkttyagent's --fallback): polkit 122 never
// asks an agent registered that way for a process, in a session or not, and
// the request is refused for want of an agent (seen under tests/system).
#ifndef LWK_TOOLS_LANTERN_WHARF_TEXT_AGENT_LINUX_H_
#define LWK_TOOLS_LANTERN_WHARF_TEXT_AGENT_LINUX_H_

#include <sys/types.h>

#include <chrono>

namespace lantern_wharf {

inline constexpr const char* PKTTYAGENT = "/usr/bin/pkttyagent";

class TextAgent {
 public:
  // Starts pkttyagent for this process when standard input is a terminal
  // and PKTTYAGENT can be run, and waits until it has registered with polkit,
  // at most `limit`. Otherwise, or when it ends or does not register in
  // time, nothing runs; the request goes ahead all the same, and polkit
  // refuses what it would have asked about.
  static TextAgent start(std::chrono::milliseconds limit);

  TextAgent(TextAgent&& other) noexcept : pid_(other.pid_) { other.pid_ = -1; }
  TextAgent& operator=(TextAgent&&) = delete;
  TextAgent(const TextAgent&) = delete;
  TextAgent& operator=(const TextAgent&) = delete;
  // Stops the agent, if one runs.
  ~TextAgent() { stop(); }

  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // Ends the agent and reaps it: SIGTERM, and SIGKILL when it has not ended
  // within a second. Repeating it does nothing.
  void stop();

 private:
  explicit TextAgent(pid_t pid) : pid_(pid) {}
  pid_t pid_ = -1;
};

}  // namespace lantern_wharf

#endif  // LWK_TOOLS_LANTERN_WHARF_TEXT_AGENT_LINUX_H_
