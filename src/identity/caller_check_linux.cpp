#include "identity/caller_check_linux.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "identity/process_linux.h"
#include "os/files.h"

namespace identity {
namespace {

// Whether the process behind `pidfd` has ended: a pidfd reads as ready then.
bool has_ended(int pidfd) {
  pollfd p{pidfd, POLLIN, 0};
  return ::poll(&p, 1, 0) != 0;
}

// Whether `caller` is still the process that connected.
bool still_there(const Caller& caller) {
  if (caller.pidfd >= 0 && has_ended(caller.pidfd)) return false;
  return start_time_of(caller.pid) == caller.start_time;
}

// Whether only root can change what `st` describes: owned by root, and
// writable by nobody else, unless it is a sticky directory, in which only an
// entry's owner may replace that entry.
bool only_root_can_change(const struct stat& st) {
  if (st.st_uid != 0) return false;
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) == 0) return true;
  return S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0;
}

// Whether `path` (a file, resolved through any links) and every directory
// above it up to "/" are only root's to change.
bool only_root_can_replace(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return false;
  std::string at = resolved;
  struct stat st;
  if (::lstat(at.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != 0 ||
      (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return false;
  }
  while (at != "/") {
    at = lwk::os::parent_of(at);
    if (::lstat(at.c_str(), &st) != 0 || !only_root_can_change(st)) return false;
  }
  return true;
}

// The executable of `pid` as its link reads, for the journal. The caller
// chose that path: a control character in it (a line feed that would start
// a line of its own) is shown as "?".
std::string executable_of(pid_t pid) {
  char target[PATH_MAX];
  const ssize_t n =
      ::readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), target, sizeof target);
  if (n <= 0) return "a program that cannot be named";
  std::string path(target, static_cast<std::size_t>(n));
  std::replace_if(
      path.begin(), path.end(),
      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, '?');
  return path;
}

Verdict ended(const Caller& caller) {
  return Verdict::refuse("pid " + std::to_string(caller.pid) + " has ended since it connected");
}

}  // namespace

bool is_root_or_member(const Caller& caller, gid_t group) {
  return caller.uid == 0 || caller.gid == group ||
         std::find(caller.groups.begin(), caller.groups.end(), group) != caller.groups.end();
}

Verdict check_caller(const Caller& caller, const ClientRules& rules) {
  if (caller.pid <= 0 || !still_there(caller)) return ended(caller);
  if (!is_root_or_member(caller, rules.group)) {
    if (!rules.ask_polkit) {
      return Verdict::refuse("uid " + std::to_string(caller.uid) +
                             " is neither root nor a member of the group " + rules.group_name);
    }
    Verdict allowed = rules.ask_polkit(caller);
    if (!allowed.served) return allowed;
  }
  struct stat running;
  if (::stat(("/proc/" + std::to_string(caller.pid) + "/exe").c_str(), &running) != 0) {
    return ended(caller);
  }
  struct stat client;
  if (::stat(rules.client.c_str(), &client) != 0 || client.st_dev != running.st_dev ||
      client.st_ino != running.st_ino) {
    return Verdict::refuse("pid " + std::to_string(caller.pid) + " runs " +
                           executable_of(caller.pid) + ", not the client " + rules.client);
  }
  if (!only_root_can_replace(rules.client)) {
    return Verdict::refuse("the client " + rules.client +
                           " could be replaced by someone other than root");
  }
  // The executable was examined for the pid; if that pid now names another
  // process, what was examined may have been that one's.
  if (!still_there(caller)) return ended(caller);
  return Verdict::serve();
}

}  // namespace identity
