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
  // Not decided now, for a passing reason that says nothing against the
  // caller: the helper could not look at it (no descriptor or no memory to
  // look with), or the one who decides (polkit) is busy with an earlier
  // request of the same user, did not answer in time, or the helper is
  // stopping. The caller is told to ask again in a moment, never that it is
  // not served; `refusal` says why, for the journal.
  bool undecided = false;
  // The caller is not one the helper serves unasked (on Linux: neither root
  // nor a member of the helper's group). Anyone may be such a caller, so its
  // refusals are journaled apart from the record of those the helper serves,
  // which no flood of them can then rotate away.
  bool outsider = false;

  static Verdict serve() { return {true, {}, false, false}; }
  static Verdict refuse(std::string why) { return {false, std::move(why), false, false}; }
  static Verdict not_now(std::string why) { return {false, std::move(why), true, false}; }
  // This verdict, of a caller that is (or is not) an outsider.
  Verdict of_outsider(bool is) && {
    outsider = is;
    return std::move(*this);
  }
  friend bool operator==(const Verdict&, const Verdict&) = default;
};

}  // namespace identity

#endif  // LWK_IDENTITY_CALLER_H_
