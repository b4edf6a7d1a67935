#include "privsep/system_platform.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "privsep/command_bounds.h"

namespace hosts_privsep::platform {
namespace {

using Clock = std::chrono::steady_clock;
using lwk::IoError;
using lwk::unexpected;

// The whole environment of a command: the system's own directories to search
// and a plain locale. Nothing of whoever started the helper (a library path,
// say) reaches a program run as root.
char* const COMMAND_ENVIRONMENT[] = {
    const_cast<char*>("PATH=/usr/sbin:/usr/bin:/sbin:/bin"),
    const_cast<char*>("LANG=C.UTF-8"),
    nullptr,
};

// How long the processes a command left behind are given to end once killed,
// when the command's own time is up.
constexpr std::chrono::milliseconds LEFTOVER_GRACE{500};

IoResult<void> from_status(int status) {
  if (status != 0) return unexpected(IoError::last());
  return lwk::success();
}

// Closes a descriptor when it goes out of scope.
class ScopedFd {
 public:
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd() { close_now(); }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int get() const { return fd_; }
  // Closes the descriptor now, once: a second close could hit a descriptor
  // that another thread has opened meanwhile under the same number.
  void close_now() {
    if (fd_ >= 0) (void)::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// Starts `command` in a process group of its own, with standard input from
// the null device, its output into `out`, no other descriptor, the command
// environment, and no signal blocked or ignored. Returns its pid, or the
// error number of the failed start.
lwk::Result<pid_t, int> start(const CacheCommand& command, int out) {
  posix_spawn_file_actions_t actions;
  if (int rc = ::posix_spawn_file_actions_init(&actions); rc != 0) return unexpected(rc);
  (void)::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  (void)::posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  (void)::posix_spawn_file_actions_adddup2(&actions, out, STDERR_FILENO);
  short flags = POSIX_SPAWN_SETPGROUP;
  if (int rc = keep_standard_descriptors_only(actions, flags); rc != 0) {
    (void)::posix_spawn_file_actions_destroy(&actions);
    return unexpected(rc);
  }
  posix_spawnattr_t attributes;
  if (int rc = ::posix_spawnattr_init(&attributes); rc != 0) {
    (void)::posix_spawn_file_actions_destroy(&actions);
    return unexpected(rc);
  }
  // Signals as a program expects them: none blocked, and every standard one
  // at its default, for an ignored signal stays ignored across exec (the
  // helper ignores SIGPIPE). The C library keeps its own real-time signals
  // ignored in the child, whatever is asked.
  sigset_t none;
  sigset_t reset;
  (void)::sigemptyset(&none);
  (void)::sigfillset(&reset);
  (void)::posix_spawnattr_setsigmask(&attributes, &none);
  (void)::posix_spawnattr_setsigdefault(&attributes, &reset);
  flags |= POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  (void)::posix_spawnattr_setflags(&attributes, flags);
  (void)::posix_spawnattr_setpgroup(&attributes, 0);  // a group named after the command's pid

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(command.program.c_str()));
  for (const std::string& a : command.arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, command.program.c_str(), &actions, &attributes,
                                    argv.data(), COMMAND_ENVIRONMENT);
  (void)::posix_spawnattr_destroy(&attributes);
  (void)::posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return unexpected(spawned);
  return pid;
}

// Whether `pid` has ended, without reaping it: while it is a zombie, its pid,
// and so its group's id, cannot be given to another process.
lwk::Result<bool, int> has_ended(pid_t pid) {
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    if (errno != EINTR) return unexpected(errno);
  }
  return info.si_pid != 0;
}

// Ends the command's process group, then reaps the command. Returns its status.
lwk::Result<int, int> end_and_reap(pid_t pid) {
  (void)::kill(-pid, SIGKILL);  // ESRCH: nothing of the group is left
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return unexpected(errno);
  }
  return status;
}

// Waits for the started command `pid` until `deadline`, draining its output
// from `output`, then ends its process group and reaps it. Returns whether
// it exited with status 0, or the failure's text.
lwk::Result<bool, std::string> await(const CacheCommand& command, pid_t pid, int output,
                                     Clock::time_point deadline, std::chrono::seconds limit) {
  auto failure = [&command](int code) {
    return unexpected(command.program + ": " + IoError::from_errno(code).message);
  };
  // Drain the output while waiting, so that a full pipe never stops the
  // command; but wait for the command, not for the end of the output, which
  // anything it started may hold open.
  bool draining = true;
  for (;;) {
    auto ended = has_ended(pid);
    if (!ended) {
      (void)end_and_reap(pid);
      return failure(ended.error());
    }
    if (*ended) break;
    const auto now = Clock::now();
    if (now >= deadline) {
      (void)end_and_reap(pid);
      return unexpected(command.program + ": did not finish within " +
                        std::to_string(limit.count()) + " s");
    }
    pollfd out{output, POLLIN, 0};
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    const int wait_ms = static_cast<int>(std::min<std::int64_t>(left.count(), 20));
    if (::poll(&out, draining ? 1 : 0, wait_ms) > 0) {
      char discard[4096];
      const ssize_t n = ::read(output, discard, sizeof discard);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) draining = false;
    }
  }
  auto status = end_and_reap(pid);  // ends whatever the command left in its group
  if (!status) return failure(status.error());
  return WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

// Runs one command and waits for it, at most `limit`. Returns whether it
// exited with status 0; false when the program does not exist; or the
// failure's text. Nothing it started outlives it.
lwk::Result<bool, std::string> run(const CacheCommand& command, std::chrono::seconds limit) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) {
    return unexpected(command.program + ": " + IoError::last().message);
  }
  ScopedFd read_end(pipe_fds[0]);
  ScopedFd write_end(pipe_fds[1]);
  (void)::fcntl(read_end.get(), F_SETFD, FD_CLOEXEC);
  (void)::fcntl(write_end.get(), F_SETFD, FD_CLOEXEC);

  auto pid = start(command, write_end.get());
  if (!pid && pid.error() == ENOENT) return false;
  if (!pid) return unexpected(command.program + ": " + IoError::from_errno(pid.error()).message);
  write_end.close_now();  // only the command's copies remain

  const auto deadline = Clock::now() + limit;
  auto outcome = await(command, *pid, read_end.get(), deadline, limit);
  // What left the command's group (a daemon that called setsid(), say) is
  // ended too, within the command's time or a short grace past it.
  end_leftovers(std::max(deadline, Clock::now() + LEFTOVER_GRACE));
  return outcome;
}

}  // namespace

SystemPlatform::SystemPlatform(bool privileged, std::vector<CacheCommand> cache_commands,
                               std::chrono::seconds command_limit)
    : privileged_(privileged),
      cache_commands_(std::move(cache_commands)),
      command_limit_(command_limit) {}

IoResult<void> SystemPlatform::restore_permissions(const std::string& temporary,
                                                   const std::string& /*target*/) {
  if (::chmod(temporary.c_str(), 0644) != 0) return unexpected(IoError::last());
  if (privileged_) return from_status(::lchown(temporary.c_str(), 0, 0));
  return lwk::success();
}

IoResult<void> SystemPlatform::replace(const std::string& temporary, const std::string& target) {
  return from_status(::rename(temporary.c_str(), target.c_str()));
}

IoResult<void> SystemPlatform::reject_if_redirected(const std::string& /*target*/) {
  return lwk::success();
}

lwk::Result<bool, std::string> SystemPlatform::flush_name_cache() {
  adopt_orphans();
  bool dropped = false;
  for (const CacheCommand& command : cache_commands_) {
    auto ran = run(command, command_limit_);
    if (!ran) return ran;
    dropped = dropped || *ran;
  }
  return dropped;
}

}  // namespace hosts_privsep::platform
