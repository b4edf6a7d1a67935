#include "polkit/test_bus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

extern char** environ;

namespace polkit_test {
namespace {

// Starts `argv` with its standard output on a pipe, and reads its first
// line (at most five seconds). Returns the pid, or -1; `line` gets the line.
pid_t start_and_read_line(std::vector<std::string> argv, std::string& line) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (auto& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  line.clear();
  char c = 0;
  pollfd ready{out[0], POLLIN, 0};
  while (pid > 0 && poll(&ready, 1, 5000) == 1 && read(out[0], &c, 1) == 1 && c != '\n') {
    line += c;
  }
  close(out[0]);
  return pid;
}

void end(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

}  // namespace

TestBus::~TestBus() {
  end(authority_);
  end(daemon_);
  std::error_code ignored;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

bool TestBus::start(bool with_authority) {
  char dir[] = "/tmp/lwk-polkit-XXXXXX";
  if (mkdtemp(dir) == nullptr) return false;
  dir_ = dir;
  std::ofstream(dir_ + "/bus.conf")
      << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig>\n"
         "  <listen>unix:path="
      << dir_ << "/bus</listen>\n"
      << "  <auth>EXTERNAL</auth>\n"
         "  <policy context=\"default\">\n"
         "    <allow user=\"*\"/>\n"
         "    <allow own=\"*\"/>\n"
         "    <allow send_destination=\"*\"/>\n"
         "    <allow receive_sender=\"*\"/>\n"
         "  </policy>\n"
         "</busconfig>\n";
  daemon_ = start_and_read_line({DBUS_DAEMON, "--config-file=" + dir_ + "/bus.conf", "--nofork",
                                 "--nopidfile", "--print-address=1"},
                                address_);
  if (daemon_ <= 0 || address_.empty()) return false;
  if (!with_authority) return true;
  std::string ready;
  authority_ = start_and_read_line({FAKE_AUTHORITY, address_, dir_ + "/log"}, ready);
  return authority_ > 0 && ready == "ready";
}

std::string TestBus::log() const {
  std::ostringstream text;
  text << std::ifstream(dir_ + "/log").rdbuf();
  return text.str();
}

}  // namespace polkit_test
