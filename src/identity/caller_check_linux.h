// The caller check on Linux, in Linux's terms: who may ask (root, a member
// of the helper's group, or anyone polkit allows), and whether the program
// asking is one of its clients, the command or the desktop application, as
// far as Linux can tell (the executable, compared as a file with the
// trusted programs' paths).
//
// How far that is: the kernel vouches for the peer's pid, uid and groups,
// and the executable of that pid is the client's file when the message is
// checked. So a process that is not running the client then is refused. But
// a member's own programs can still be served by becoming the client (a
// program may send its request and then exec the client before the message
// is checked) or by driving it (with any input, a debugger, a crafted
// environment), which a member may do anyway. The executable check does not
// tell people apart: who may ask is what really decides.
#ifndef LWK_IDENTITY_CALLER_CHECK_LINUX_H_
#define LWK_IDENTITY_CALLER_CHECK_LINUX_H_

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "identity/caller.h"
#include "identity/caller_linux.h"

namespace identity {

// polkit's decision whether a caller outside the group may take the
// helper's action: served, or refused with the journal's sentence.
using AskPolkit = std::function<Verdict(const Caller&)>;

// What the check goes by.
struct ClientRules {
  // The trusted programs' paths: CLIENT_PROGRAMS for the service (the
  // command and the desktop application).
  std::vector<std::string> clients;
  gid_t group = 0;         // the helper's group, whose members may ask
  std::string group_name;  // its name, for the journal
  // Asked about callers that are neither root nor members; none (empty):
  // they are refused unasked.
  AskPolkit ask_polkit;
};

// Whether `caller` is root or a member of `group`: its own group, or one of
// the supplementary groups the kernel recorded when it connected.
bool is_root_or_member(const Caller& caller, gid_t group);

// The verdict, decided in this order; each refusal in the words given:
// - the process must still be the one that connected: its start time still
//   matches, and its pidfd, where there is one, shows it alive ("pid P has
//   ended since it connected");
// - it must be root or a member of the group, or else one polkit is asked
//   about ("uid U is neither root nor a member of the group G" when polkit
//   is not asked);
// - its executable must be the file at one of `rules.clients`, the same
//   device and inode, not the same path text ("pid P runs EXE, not the
//   client A nor B"), and the helper must be allowed to examine it ("the
//   program of pid P could not be examined: REASON");
// - that file and every directory above it must be only root's to change,
//   a root-owned sticky directory such as /tmp passing, so that no one else
//   could have put another program there ("the client CLIENT could be
//   replaced by someone other than root");
// - a caller outside the group must then be allowed by polkit (its verdict,
//   a refusal followed by " (pid P runs CLIENT)"): asked only now, so that
//   no program but a client can open a decision, or a prompt that someone
//   must answer;
// - its start time, read again after the executable was examined and polkit
//   answered, must still match, or the pid was reused meanwhile and what was
//   examined may have been another process ("pid P has ended since it
//   connected").
// Every verdict says whether the caller is an outsider: neither root nor a
// member of the group.
// Where the helper cannot look at the process now (no descriptor or no
// memory to look with), which says nothing of the caller, the verdict is
// not decided, in the words "pid P could not be checked now". The executable is examined only
// through the attributes the kernel holds already, so that a caller's file
// system cannot hold the check. Keeps nothing between calls; safe on
// several threads at once.
Verdict check_caller(const Caller& caller, const ClientRules& rules);

}  // namespace identity

#endif  // LWK_IDENTITY_CALLER_CHECK_LINUX_H_
