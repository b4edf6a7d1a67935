// Linux bounds what the cache commands leave behind with a subreaper and a
// sweep of the helper's children in /proc, not with a cgroup of their own:
// the service's cgroup tree is read-only to it (ProtectControlGroups), and a
// subreaper needs nothing but prctl(2). Whatever a command starts, even a
// process that left its group and session with setsid(), stays a descendant
// of the helper; when its parent ends it becomes the helper's child, where
// the sweep finds it.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "privsep/command_bounds.h"

namespace hosts_privsep::platform {
namespace {

// How many generations end_leftovers() follows at most: each round ends the
// helper's children of the moment, and their orphans are the next round's.
constexpr int ROUNDS = 64;

// The parent's pid in the text of /proc/PID/stat, "PID (COMM) STATE PPID ...",
// whose COMM may hold any octet but ends at the last ')'; -1 when the text
// has no such field.
pid_t parent_in(std::string_view stat) {
  const std::size_t close = stat.rfind(')');
  if (close == std::string_view::npos || stat.size() < close + 5) return -1;
  std::string_view rest = stat.substr(close + 4);  // past ") S "
  pid_t parent = 0;
  std::size_t digits = 0;
  for (; digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9'; ++digits) {
    parent = parent * 10 + (rest[digits] - '0');
  }
  return digits == 0 ? -1 : parent;
}

// The start of the file at `path`: enough of /proc/PID/stat for its parent.
std::string head_of(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string text(512, '\0');
  ssize_t n = 0;
  do {
    n = ::read(fd, text.data(), text.size());
  } while (n < 0 && errno == EINTR);
  (void)::close(fd);
  text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return text;
}

// The children of `parent`, running or ended and not yet reaped.
std::vector<pid_t> children_of(pid_t parent) {
  std::vector<pid_t> children;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return children;
  while (const dirent* entry = ::readdir(proc)) {
    const std::string_view name = entry->d_name;
    if (name.empty() || name.find_first_not_of("0123456789") != std::string_view::npos) continue;
    if (parent_in(head_of("/proc/" + std::string(name) + "/stat")) != parent) continue;
    children.push_back(static_cast<pid_t>(std::stol(std::string(name))));
  }
  (void)::closedir(proc);
  return children;
}

// Reaps every child that has ended, without waiting for any.
void reap_ended() {
  for (;;) {
    const pid_t reaped = ::waitpid(-1, nullptr, WNOHANG);
    if (reaped > 0 || (reaped < 0 && errno == EINTR)) continue;
    return;
  }
}

// Reaps `child`, waiting at most until `deadline`. Returns whether it is gone.
bool reap_by(pid_t child, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const pid_t reaped = ::waitpid(child, nullptr, WNOHANG);
    if (reaped > 0 || (reaped < 0 && errno != EINTR)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace

int keep_standard_descriptors_only(posix_spawn_file_actions_t& actions, short& /*spawn_flags*/) {
  return ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
}

void adopt_orphans() {
  // Fails only on a kernel without subreapers (before 3.4); orphans then go
  // to init, as they would without it.
  (void)::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
}

void end_leftovers(std::chrono::steady_clock::time_point deadline) {
  const pid_t self = ::getpid();
  for (int round = 0; round < ROUNDS; ++round) {
    reap_ended();
    const std::vector<pid_t> children = children_of(self);
    if (children.empty()) return;
    // Each stays this process's child until it is reaped here, so its pid
    // names no other process meanwhile.
    for (const pid_t child : children) (void)::kill(child, SIGKILL);
    for (const pid_t child : children) {
      if (!reap_by(child, deadline)) return;
    }
  }
}

}  // namespace hosts_privsep::platform
