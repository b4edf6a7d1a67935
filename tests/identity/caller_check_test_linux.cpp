// The caller check on Linux, with real processes: the client itself, a copy
// of it, another program, a client in a directory others may write, a
// process that has gone, callers outside the group with and without polkit's
// leave; and the caller a socket's peer makes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "identity/caller_check_linux.h"
#include "identity/process_linux.h"
#include "support/temp_dir.h"
#include "transport/caller_linux.h"

extern "C" char** environ;

namespace {

using identity::Caller;
using identity::Verdict;

// A process of `program` that waits on its standard input until destroyed.
class Waiting {
 public:
  explicit Waiting(const std::string& program, std::vector<std::string> arguments = {}) {
    int in[2];
    EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    EXPECT_EQ(::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    input_ = in[1];
    // The token is taken once the program runs, not the forked copy of us.
    const std::string ours = exe_of(::getpid());
    for (int i = 0; i < 200 && exe() == ours; ++i) ::usleep(5000);
  }
  ~Waiting() { end(); }
  // Ends the process and reaps it.
  void end() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  // The caller as a connection of this process would make it: root's.
  Caller caller() const {
    return Caller{pid_, ::geteuid(), ::getegid(), {}, identity::start_time_of(pid_).value_or(0),
                  -1};
  }
  std::string exe() const { return exe_of(pid_); }
  static std::string exe_of(pid_t pid) {
    char target[4096];
    const ssize_t n =
        ::readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), target, sizeof target);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : "";
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
};

// The built client copied to `path` with mode 0755.
void copy_client(const std::string& path) {
  lwk_test::spit(path, lwk_test::slurp(LANTERN_WHARF));
  ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
}

// Rules that trust `client`, with the group 4242 (not root's) as the
// helper's.
identity::ClientRules rules_for(const std::string& client) {
  return identity::ClientRules{client, 4242, "helpers", {}};
}

// `caller` made someone else: uid and own group 4321, and `groups`.
Caller as_other(Caller caller, std::vector<gid_t> groups = {}) {
  caller.uid = 4321;
  caller.gid = 4321;
  caller.groups = std::move(groups);
  return caller;
}

TEST(CallerCheckLinux, Verdicts) {
  if (::geteuid() != 0) GTEST_SKIP() << "the trusted file must be root's";
  lwk_test::TempDir dir;  // 0700 and root's, in the sticky /tmp
  const std::string trusted = dir / "lantern-wharf";
  const std::string elsewhere = dir / "copy";
  copy_client(trusted);
  copy_client(elsewhere);

  Waiting client(trusted, {"decode"});
  Waiting copy(elsewhere, {"decode"});
  Waiting shell("/bin/sh");
  const identity::ClientRules rules = rules_for(trusted);
  int asked = 0;
  identity::ClientRules with_polkit = rules;
  with_polkit.ask_polkit = [&asked](const Caller& caller) {
    ++asked;
    return caller.uid == 4321 ? Verdict::serve() : Verdict::refuse("polkit refused uid 4322");
  };
  const auto pid = [](const Waiting& w) { return "pid " + std::to_string(w.caller().pid); };
  struct Case {
    const char* what;
    Caller caller;
    const identity::ClientRules* rules;
    Verdict verdict;
  };
  const Case cases[] = {
      {"the client, run by root", client.caller(), &rules, Verdict::serve()},
      {"a copy of the client", copy.caller(), &rules,
       Verdict::refuse(pid(copy) + " runs " + elsewhere + ", not the client " + trusted)},
      {"another program", shell.caller(), &rules,
       Verdict::refuse(pid(shell) + " runs " + shell.exe() + ", not the client " + trusted)},
      {"a member by a supplementary group", as_other(client.caller(), {7, 4242}), &rules,
       Verdict::serve()},
      {"someone else, polkit not asked", as_other(client.caller()), &rules,
       Verdict::refuse("uid 4321 is neither root nor a member of the group helpers")},
      {"someone else whom polkit allows", as_other(client.caller()), &with_polkit,
       Verdict::serve()},
      {"someone else whom polkit allows, running another program", as_other(shell.caller()),
       &with_polkit,
       Verdict::refuse(pid(shell) + " runs " + shell.exe() + ", not the client " + trusted)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(identity::check_caller(c.caller, *c.rules), c.verdict);
  }
  EXPECT_EQ(asked, 2);  // only about the callers outside the group
  // polkit's refusal is the verdict's, and root and members are never asked.
  Caller refused = as_other(client.caller());
  refused.uid = 4322;
  EXPECT_EQ(identity::check_caller(refused, with_polkit),
            Verdict::refuse("polkit refused uid 4322"));
  EXPECT_EQ(identity::check_caller(client.caller(), with_polkit), Verdict::serve());
  EXPECT_EQ(asked, 3);
  // A start time that is not the process's: the pid is someone else's now.
  Caller reused = client.caller();
  reused.start_time += 1;
  EXPECT_EQ(identity::check_caller(reused, rules),
            Verdict::refuse(pid(client) + " has ended since it connected"));
  // A caller that has gone, and whose pid may be another's by now.
  const Caller gone = client.caller();
  client.end();
  EXPECT_EQ(identity::check_caller(gone, rules),
            Verdict::refuse("pid " + std::to_string(gone.pid) + " has ended since it connected"));
}

TEST(CallerCheckLinux, AClientThatOthersCouldReplaceIsNotTrusted) {
  if (::geteuid() != 0) GTEST_SKIP() << "the trusted file must be root's";
  lwk_test::TempDir dir;
  const std::string shared = dir / "shared";
  ASSERT_EQ(::mkdir(shared.c_str(), 0775), 0);
  ASSERT_EQ(::chmod(shared.c_str(), 0775), 0);  // whatever the umask
  const std::string trusted = shared + "/lantern-wharf";
  copy_client(trusted);
  Waiting client(trusted, {"decode"});
  const Verdict replaceable =
      Verdict::refuse("the client " + trusted + " could be replaced by someone other than root");
  EXPECT_EQ(identity::check_caller(client.caller(), rules_for(trusted)), replaceable);
  // The file itself writable by its group: the same.
  ASSERT_EQ(::chmod(shared.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(trusted.c_str(), 0775), 0);
  EXPECT_EQ(identity::check_caller(client.caller(), rules_for(trusted)), replaceable);
  ASSERT_EQ(::chmod(trusted.c_str(), 0755), 0);
  EXPECT_EQ(identity::check_caller(client.caller(), rules_for(trusted)), Verdict::serve());
}

TEST(CallerLinux, TheCallerOfASocketPeer) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  const auto peer = caller::Peer::of(pair[0]);
  ASSERT_TRUE(peer.has_value());
  EXPECT_EQ(peer->uid(), ::geteuid());
  ASSERT_TRUE(peer->caller().has_value());
  const Caller& c = *peer->caller();
  EXPECT_EQ(c.pid, ::getpid());
  EXPECT_EQ(c.uid, ::geteuid());
  EXPECT_EQ(c.gid, ::getegid());
  std::vector<gid_t> groups(static_cast<std::size_t>(::getgroups(0, nullptr)));
  groups.resize(
      static_cast<std::size_t>(::getgroups(static_cast<int>(groups.size()), groups.data())));
  EXPECT_EQ(c.groups, groups);
  EXPECT_EQ(c.start_time, identity::start_time_of(::getpid()));
  ::close(pair[0]);
  ::close(pair[1]);
  EXPECT_FALSE(caller::Peer::of(pair[0]).has_value());  // no socket: no peer
}

// A process that connects to `path` and then waits until its standard input
// closes: a caller that hands its connection on and goes.
pid_t connect_and_wait(const std::string& path, int* go) {
  int in[2];
  EXPECT_EQ(::pipe(in), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(in[1]);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) _exit(1);
    char octet;
    (void)!::read(in[0], &octet, 1);
    _exit(0);
  }
  ::close(in[0]);
  *go = in[1];
  return pid;
}

// A process that waits until its standard input closes, given the pid
// `wanted` by asking the kernel for it as the next pid; another process may
// take it first, so it is asked again a few times. -1 when it got none.
pid_t waiting_at(pid_t wanted, int* go) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    {
      std::ofstream last("/proc/sys/kernel/ns_last_pid");
      last << wanted - 1;
    }
    int in[2];
    EXPECT_EQ(::pipe(in), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(in[1]);
      char octet;
      (void)!::read(in[0], &octet, 1);
      _exit(0);
    }
    ::close(in[0]);
    if (pid == wanted) {
      *go = in[1];
      return pid;
    }
    ::close(in[1]);
    ::waitpid(pid, nullptr, 0);
  }
  return -1;
}

TEST(CallerLinux, APeerWhosePidWasReusedIsNoCaller) {
  if (::access("/proc/sys/kernel/ns_last_pid", W_OK) != 0) GTEST_SKIP() << "pids cannot be chosen";
  lwk_test::TempDir dir;
  const std::string path = dir / "s.sock";
  const int listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(::bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listening, 8), 0);

  // Taken while the connector lives, then it goes and another process gets
  // its pid: the token taken then must not pass for the newcomer.
  int go = -1;
  const pid_t first = connect_and_wait(path, &go);
  const int taken_alive = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
  ASSERT_GE(taken_alive, 0);
  const auto peer = caller::Peer::of(taken_alive);
  ASSERT_TRUE(peer.has_value());
  ASSERT_TRUE(peer->caller().has_value());
  EXPECT_EQ(peer->caller()->pid, first);
  // Whatever its pid now runs, a caller that has gone is no caller.
  const identity::ClientRules rules{"/proc/self/exe", 0, "root", {}};
  const Verdict gone =
      Verdict::refuse("pid " + std::to_string(first) + " has ended since it connected");

  // A second connector, accepted only after it has gone and its pid is reused.
  int go_second = -1;
  const pid_t second = connect_and_wait(path, &go_second);
  ::usleep(50000);  // connected
  ::close(go);
  ::close(go_second);
  ASSERT_EQ(::waitpid(first, nullptr, 0), first);
  ASSERT_EQ(::waitpid(second, nullptr, 0), second);
  const int taken_late = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
  ASSERT_GE(taken_late, 0);

  for (const auto& [pid, fd] : {std::pair{first, taken_alive}, std::pair{second, taken_late}}) {
    int release = -1;
    const pid_t newcomer = waiting_at(pid, &release);
    if (newcomer == pid) {
      const auto late = caller::Peer::of(fd);
      ASSERT_TRUE(late.has_value());
      if (late->caller()) {
        EXPECT_EQ(identity::check_caller(*late->caller(), rules).served, false)
            << "served the process that took pid " << pid;
      }
      if (fd == taken_alive) {
        EXPECT_EQ(identity::check_caller(*peer->caller(), rules), gone);
      }
      ::close(release);
      ::waitpid(newcomer, nullptr, 0);
    } else {
      ADD_FAILURE() << "pid " << pid << " could not be taken again";
    }
  }
  ::close(taken_alive);
  ::close(taken_late);
  ::close(listening);
}

}  // namespace
