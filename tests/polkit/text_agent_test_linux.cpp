#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "polkit/test_bus.h"
#include "text_agent_linux.h"

namespace {

using lantern_wharf::TextAgent;

constexpr int NOT_STARTED = 10;
constexpr int STARTED_AND_STOPPED = 20;

// Runs TextAgent::start in a child of a session of its own, whose
// controlling terminal is `terminal`, with the file at `input` as its
// standard input and the test's bus as its system bus. Gives the child's pid and
// returns its exit status: NOT_STARTED, STARTED_AND_STOPPED, or another
// number when the agent ran but was not ended and reaped by stop().
int start_in_child(const char* terminal, const std::string& input, const std::string& bus,
                   pid_t& child) {
  child = fork();
  if (child == 0) {
    setsid();
    const int fd = open(input.c_str(), O_RDONLY);
    if (fd < 0 || open(terminal, O_RDWR) < 0 || dup2(fd, STDIN_FILENO) < 0 ||
        setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.c_str(), 1) != 0) {
      _exit(1);
    }
    TextAgent agent = TextAgent::start(std::chrono::seconds(5));
    if (!agent.running()) _exit(NOT_STARTED);
    const pid_t pid = agent.pid();
    if (kill(pid, 0) != 0) _exit(2);
    agent.stop();
    _exit(!agent.running() && waitpid(pid, nullptr, WNOHANG) == -1 && errno == ECHILD
              ? STARTED_AND_STOPPED
              : 3);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(TextAgentTest, RunsOnlyForATerminalAndStopsCleanly) {
  if (access(polkit_test::DBUS_DAEMON, X_OK) != 0) GTEST_SKIP() << "dbus-daemon is not installed";
  polkit_test::TestBus bus;
  ASSERT_TRUE(bus.start(/*with_authority=*/true));
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  ASSERT_EQ(grantpt(terminal), 0);
  ASSERT_EQ(unlockpt(terminal), 0);
  const std::string terminal_path = ptsname(terminal);
  pid_t child = -1;

  // Input from a pipe, though the process has a terminal: no agent.
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  EXPECT_EQ(start_in_child(terminal_path.c_str(), "/proc/self/fd/" + std::to_string(pipe_ends[0]),
                           bus.address(), child),
            NOT_STARTED);
  close(pipe_ends[0]);
  close(pipe_ends[1]);
  EXPECT_EQ(bus.log(), "");

  if (access(lantern_wharf::PKTTYAGENT, X_OK) != 0) GTEST_SKIP() << "pkttyagent is not installed";
  EXPECT_EQ(start_in_child(terminal_path.c_str(), terminal_path, bus.address(), child),
            STARTED_AND_STOPPED);
  // It registered for the client's process, not for itself.
  const std::string registered = "agent unix-process pid=" + std::to_string(child) + " ";
  EXPECT_EQ(bus.log().substr(0, registered.size()), registered) << bus.log();
  close(terminal);
}

}  // namespace
