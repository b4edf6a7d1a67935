#include "identity/caller_check_linux.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>

#include "base/io_error.h"
#include "identity/process_linux.h"
#include "os/files.h"

namespace identity {
namespace {

// Whether the process behind `pidfd` has ended: a pidfd reads as ready then.
bool has_ended(int pidfd) {
  pollfd p{pidfd, POLLIN, 0};
  return ::poll(&p, 1, 0) != 0;
}

Verdict ended(const Caller& caller) {
  return Verdict::refuse("pid " + std::to_string(caller.pid) + " has ended since it connected");
}

// For a caller the helper could not look at (no descriptor or no memory to
// look with): that says nothing of the caller, so it is not told it has
// ended.
Verdict not_checked(const Caller& caller) {
  return Verdict::not_now("pid " + std::to_string(caller.pid) + " could not be checked now");
}

// The refusal of a caller that is not still the process that connected, or
// cannot be seen to be now; nothing when it is.
std::optional<Verdict> unless_still_there(const Caller& caller) {
  if (caller.pid <= 0) return ended(caller);
  const auto started = start_time_of(caller.pid);
  if (!started) {
    return started.error() == Unknown::Gone ? ended(caller) : not_checked(caller);
  }
  // The pidfd is looked at after the start time was read: if the process
  // that connected is alive now, the start time read was its own.
  if (*started != caller.start_time || (caller.pidfd >= 0 && has_ended(caller.pidfd))) {
    return ended(caller);
  }
  return std::nullopt;
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

// The trusted program whose file `running` describes (the same device and
// inode), or nothing.
const std::string* trusted_program(const struct statx& running, const ClientRules& rules) {
  if ((running.stx_mask & STATX_INO) == 0) return nullptr;
  for (const std::string& client : rules.clients) {
    struct stat st;
    if (::stat(client.c_str(), &st) == 0 &&
        st.st_dev == ::makedev(running.stx_dev_major, running.stx_dev_minor) &&
        st.st_ino == running.stx_ino) {
      return &client;
    }
  }
  return nullptr;
}

// "the client A", or "the client A nor B" for several.
std::string the_clients(const ClientRules& rules) {
  std::string named = "the client";
  for (std::size_t i = 0; i < rules.clients.size(); ++i) {
    named += (i == 0 ? " " : " nor ") + rules.clients[i];
  }
  return named;
}

// The refusal of a caller whose program is not a client, or of a client
// that someone other than root could have replaced; nothing when it is a
// client, whose path `program` then gets.
std::optional<Verdict> unless_a_client(const Caller& caller, const ClientRules& rules,
                                       std::string& program) {
  // The caller's executable may lie on a file system that answers slowly or
  // never (a hung network mount, a user's FUSE mount): only the attributes
  // the kernel holds already are asked for, so that no request goes out and
  // one caller cannot stall the others. The device comes with every answer.
  const std::string exe = "/proc/" + std::to_string(caller.pid) + "/exe";
  struct statx running;
  if (::statx(AT_FDCWD, exe.c_str(), AT_STATX_DONT_SYNC, STATX_INO, &running) != 0) {
    const int code = errno;
    if (code == ENOENT || code == ESRCH) return ended(caller);
    if (short_of_resources(code)) return not_checked(caller);
    // Not allowed to look (a service without CAP_SYS_PTRACE, say): that
    // stays so, and is a refusal.
    return Verdict::refuse("the program of pid " + std::to_string(caller.pid) +
                           " could not be examined: " + lwk::IoError::from_errno(code).message);
  }
  const std::string* client = trusted_program(running, rules);
  if (client == nullptr) {
    return Verdict::refuse("pid " + std::to_string(caller.pid) + " runs " +
                           executable_of(caller.pid) + ", not " + the_clients(rules));
  }
  if (!only_root_can_replace(*client)) {
    return Verdict::refuse("the client " + *client +
                           " could be replaced by someone other than root");
  }
  program = *client;
  return std::nullopt;
}

// The verdict of check_caller, whoever the caller is.
Verdict verdict_on(const Caller& caller, const ClientRules& rules, bool outsider) {
  if (auto refusal = unless_still_there(caller)) return *std::move(refusal);
  if (outsider && !rules.ask_polkit) {
    return Verdict::refuse("uid " + std::to_string(caller.uid) +
                           " is neither root nor a member of the group " + rules.group_name);
  }
  // The program is examined before polkit is asked: only a client can open
  // a decision, or a prompt that someone must answer.
  std::string program;
  if (auto refusal = unless_a_client(caller, rules, program)) return *std::move(refusal);
  if (outsider) {
    Verdict allowed = rules.ask_polkit(caller);
    if (!allowed.served) {
      // Which of the clients it was, for the journal.
      allowed.refusal += " (pid " + std::to_string(caller.pid) + " runs " + program + ")";
      return allowed;
    }
  }
  // The executable was examined for the pid; if that pid now names another
  // process, what was examined may have been that one's.
  if (auto refusal = unless_still_there(caller)) return *std::move(refusal);
  return Verdict::serve();
}

}  // namespace

bool is_root_or_member(const Caller& caller, gid_t group) {
  return caller.uid == 0 || caller.gid == group ||
         std::find(caller.groups.begin(), caller.groups.end(), group) != caller.groups.end();
}

Verdict check_caller(const Caller& caller, const ClientRules& rules) {
  const bool outsider = !is_root_or_member(caller, rules.group);
  return verdict_on(caller, rules, outsider).of_outsider(outsider);
}

}  // namespace identity
