// Whether the helper serves the caller of a message: one question, asked the
// same way on every platform, each platform answering it in its own terms.
// The caller is what the platform knows of the process at the other end of a
// connection; its definition is the platform's own (caller_linux.h: the
// process as the kernel vouched for it when it connected; caller_macos.h:
// the audit token), and the handler only hands it on.
#ifndef LWK_IDENTITY_CALLER_H_
#define LWK_IDENTITY_CALLER_H_

#include <string>
#include <utility>

namespace identity {

struct Caller;

// The answer: served, or refused with the words the journal gives after
// "refused to serve: ", or not decided now.
struct Verdict {
  bool served = false;
  std::string refusal;
  // Not decided: the helper could not look at the caller now, for a trouble
  // of its own (no descriptor or no memory to look with), which says nothing
  // of the caller. The message is left unanswered and its connection ended,
  // so that the caller is told the helper could not be reached and may ask
  // again, never that it is not served.
  bool undecided = false;

  static Verdict serve() { return {true, {}, false}; }
  static Verdict refuse(std::string why) { return {false, std::move(why), false}; }
  static Verdict not_now(std::string why) { return {false, std::move(why), true}; }
  friend bool operator==(const Verdict&, const Verdict&) = default;
};

}  // namespace identity

#endif  // LWK_IDENTITY_CALLER_H_
