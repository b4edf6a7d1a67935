#include "text_agent_linux.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

extern char** environ;

namespace lantern_wharf {
namespace {

using Clock = std::chrono::steady_clock;

// Waits until nothing can be read from `fd` any more (the agent closes its
// end when it has registered, or ends), at most until `deadline`. True when
// the end came in time.
bool closed_before(int fd, Clock::time_point deadline) {
  char ignored[64];
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd readable{fd, POLLIN, 0};
    const int ready = poll(&readable, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    const ssize_t got = read(fd, ignored, sizeof ignored);
    if (got == 0) return true;
    if (got < 0 && errno != EINTR && errno != EAGAIN) return false;
  }
}

// Starts pkttyagent with `notify`, the write end of a pipe, as its
// --notify-fd. It is asked to end with this process, however this one ends
// (a kill included, which runs no destructor): a parent-death signal, set in
// the child before it runs the agent, and checked against a parent that
// ended before it was set. Returns its pid, or -1.
pid_t spawn_agent(int notify) {
  // Everything the child needs is made before the fork: it may only call
  // what is safe between fork and exec in a process with threads.
  const pid_t parent = getpid();
  std::string process = std::to_string(parent);
  std::string notify_fd = std::to_string(notify);
  char* argv[] = {const_cast<char*>(PKTTYAGENT),
                  const_cast<char*>("--process"),
                  process.data(),
                  const_cast<char*>("--notify-fd"),
                  notify_fd.data(),
                  nullptr};
  const pid_t pid = fork();
  if (pid != 0) return pid < 0 ? -1 : pid;
  if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) _exit(127);
  // The notify descriptor is inherited: only its close-on-exec goes.
  const int flags = fcntl(notify, F_GETFD);
  if (flags < 0 || fcntl(notify, F_SETFD, flags & ~FD_CLOEXEC) != 0) _exit(127);
  execve(PKTTYAGENT, argv, environ);
  _exit(127);
}

}  // namespace

TextAgent TextAgent::start(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  if (isatty(STDIN_FILENO) != 1 || access(PKTTYAGENT, X_OK) != 0) return TextAgent(-1);
  int notify[2];
  if (pipe2(notify, O_CLOEXEC) != 0) return TextAgent(-1);
  TextAgent agent(spawn_agent(notify[1]));
  close(notify[1]);
  const bool registered = agent.running() && closed_before(notify[0], deadline);
  close(notify[0]);
  if (!registered) {
    agent.stop();
    return agent;
  }
  // An agent that has ended closed the pipe too: another agent was there
  // for this process, or polkit could not be reached. It is reaped here, and
  // its pid, free for another process now, forgotten.
  const pid_t ended = waitpid(agent.pid_, nullptr, WNOHANG);
  if (ended == agent.pid_) agent.pid_ = -1;
  if (ended != 0) agent.stop();
  return agent;
}

void TextAgent::stop() {
  if (pid_ <= 0) return;
  (void)kill(pid_, SIGTERM);
  const auto deadline = Clock::now() + std::chrono::seconds(1);
  pid_t ended = 0;
  while ((ended = waitpid(pid_, nullptr, WNOHANG)) == 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (ended == 0) {
    (void)kill(pid_, SIGKILL);
    (void)waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

}  // namespace lantern_wharf
