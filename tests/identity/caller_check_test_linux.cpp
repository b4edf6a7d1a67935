// The caller check on Linux, with real processes: the client itself, a copy
// of it, another program, a client in a directory others may write, a
// process that has gone, callers outside the group with and without polkit's
// leave; and the caller a socket's peer makes, including when the kernel
// gives no pidfd of it and when the helper's descriptor table is full.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "identity/caller_check_linux.h"
#include "identity/process_linux.h"
#include "support/temp_dir.h"
#include "transport/peer_linux.h"

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
    const auto started = identity::start_time_of(pid_);
    return Caller{pid_, ::geteuid(), ::getegid(), {}, started ? *started : 0, -1};
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
  return identity::ClientRules{{client}, 4242, "helpers", {}};
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
  const std::string desktop = dir / "lantern-wharf-desktop";  // a second trusted program
  copy_client(trusted);
  copy_client(elsewhere);
  copy_client(desktop);

  Waiting client(trusted, {"decode"});
  Waiting copy(elsewhere, {"decode"});
  Waiting window(desktop, {"decode"});
  Waiting shell("/bin/sh");
  const identity::ClientRules rules = rules_for(trusted);
  identity::ClientRules both = rules;
  both.clients.push_back(desktop);
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
      {"the second trusted program", window.caller(), &both, Verdict::serve()},
      {"a copy of either", copy.caller(), &both,
       Verdict::refuse(pid(copy) + " runs " + elsewhere + ", not the client " + trusted + " nor " +
                       desktop)},
      {"someone else, polkit not asked", as_other(client.caller()), &rules,
       Verdict::refuse("uid 4321 is neither root nor a member of the group helpers")
           .of_outsider(true)},
      {"someone else whom polkit allows", as_other(client.caller()), &with_polkit,
       Verdict::serve().of_outsider(true)},
      {"someone else running another program: polkit not asked", as_other(shell.caller()),
       &with_polkit,
       Verdict::refuse(pid(shell) + " runs " + shell.exe() + ", not the client " + trusted)
           .of_outsider(true)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(identity::check_caller(c.caller, *c.rules), c.verdict);
  }
  // Only about the client run by someone outside the group: no other
  // program can open a decision, or a prompt.
  EXPECT_EQ(asked, 1);
  // polkit's refusal is the verdict's, and root and members are never asked.
  Caller refused = as_other(client.caller());
  refused.uid = 4322;
  EXPECT_EQ(identity::check_caller(refused, with_polkit),
            Verdict::refuse("polkit refused uid 4322 (" + pid(client) + " runs " + trusted + ")")
                .of_outsider(true));
  EXPECT_EQ(identity::check_caller(client.caller(), with_polkit), Verdict::serve());
  EXPECT_EQ(asked, 2);
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
  const auto peer = hosts_transport::Peer::of(pair[0]);
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
  const auto ours = identity::start_time_of(::getpid());
  ASSERT_TRUE(ours.has_value());
  EXPECT_EQ(c.start_time, *ours);
  ::close(pair[0]);
  ::close(pair[1]);
  EXPECT_FALSE(hosts_transport::Peer::of(pair[0]).has_value());  // no socket: no peer
}

// The exit status of `body` run in a child of this process, or -1 when the
// child did not exit. The child may change what cannot be undone (its
// descriptor limit, a seccomp filter) and makes no gtest assertion.
int in_child(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

constexpr int kPeerPidfd = 77;  // SO_PEERPIDFD, which older headers lack

// Whether this kernel gives pidfds of a socket's peer (SO_PEERPIDFD).
bool peer_pidfds_offered() {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
  int pidfd = -1;
  socklen_t size = sizeof pidfd;
  const bool offered =
      ::getsockopt(pair[0], SOL_SOCKET, kPeerPidfd, &pidfd, &size) == 0 || errno != ENOPROTOOPT;
  if (pidfd >= 0) ::close(pidfd);
  ::close(pair[0]);
  ::close(pair[1]);
  return offered;
}

// What Peer::of made of a socket whose peer is the process itself.
enum Made { kNoPeer = 1, kNoCaller, kCaller, kWrongCaller };

int made_of(int fd, bool pidfd_wanted) {
  const auto peer = hosts_transport::Peer::of(fd);
  if (!peer) return kNoPeer;
  if (!peer->caller()) return kNoCaller;
  const auto ours = identity::start_time_of(::getpid());
  const Caller& c = *peer->caller();
  const bool right =
      c.pid == ::getpid() && ours && c.start_time == *ours && (c.pidfd >= 0) == pidfd_wanted;
  return right ? kCaller : kWrongCaller;
}

// Makes getsockopt(SO_PEERPIDFD) fail with `error` in this process: a
// seccomp filter, which stays for the process's life. False when it cannot.
bool refuse_peer_pidfds_with(int error) {
#if defined(__x86_64__)
  constexpr std::uint32_t arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
  constexpr std::uint32_t arch = AUDIT_ARCH_AARCH64;
#else
  (void)error;
  return false;
#endif
#if defined(__x86_64__) || defined(__aarch64__)
  // Little-endian: the option's number is the low half of the third argument.
  constexpr std::uint32_t option = offsetof(seccomp_data, args) + 2 * sizeof(std::uint64_t);
  sock_filter program[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 0, 5),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_getsockopt, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, option),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kPeerPidfd, 0, 1),
      BPF_STMT(BPF_RET | BPF_K,
               SECCOMP_RET_ERRNO | (static_cast<std::uint32_t>(error) & SECCOMP_RET_DATA)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog filter{static_cast<unsigned short>(std::size(program)), program};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
#endif
}

TEST(CallerLinux, WhatAPeerWithoutAPidfdMakes) {
  // The kernel's reasons for giving no pidfd, each as it would answer: one
  // that does not know the option leaves the start time to tell the peer
  // apart; a peer reaped before it was accepted (EINVAL before Linux 6.16)
  // is no caller, whatever holds its pid now; the helper's own want of
  // descriptors or memory makes no peer, so that the connection is closed
  // and the caller may come again, not refused.
  const struct {
    int error;
    Made made;
  } cases[] = {
      {ENOPROTOOPT, kCaller}, {EINVAL, kNoCaller}, {ESRCH, kNoCaller}, {ENODATA, kNoCaller},
      {EMFILE, kNoPeer},      {ENFILE, kNoPeer},   {ENOMEM, kNoPeer},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::strerror(c.error));
    const int made = in_child([&c] {
      int pair[2];
      if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return 100;
      if (!refuse_peer_pidfds_with(c.error)) return 101;
      return made_of(pair[0], /*pidfd_wanted=*/false);
    });
    if (made == 101) GTEST_SKIP() << "no seccomp filter could be set";
    EXPECT_EQ(made, c.made);
  }
}

TEST(CallerLinux, AFullDescriptorTableIsNoEndOfTheCaller) {
  const bool pidfds = peer_pidfds_offered();
  const int failed = in_child([pidfds] {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return 100;
    const auto started = identity::start_time_of(::getpid());
    if (!started) return 100;
    const Caller self{::getpid(), ::geteuid(), ::getegid(), {}, *started, -1};
    const identity::ClientRules rules{{"/proc/self/exe"}, 0, "root", {}};
    // Each path once while descriptors are free: a sanitizer's first look at
    // a type may need one of its own, and would fail the child for it.
    (void)identity::start_time_of(-1);
    (void)made_of(pair[0], pidfds);
    (void)identity::check_caller(self, rules);
    // A limit just above the pair, and every descriptor below it taken.
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 100;
    limit.rlim_cur = static_cast<rlim_t>(std::max(pair[0], pair[1]) + 8);
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return 100;
    int last = -1;
    for (int fd; (fd = ::dup(pair[0])) >= 0;) last = fd;
    if (errno != EMFILE || last < 0) return 100;

    // Not looked at is not gone: the start time, the peer and the check
    // each say so.
    const auto unread = identity::start_time_of(::getpid());
    if (unread || unread.error() != identity::Unknown::NotLooked) return 1;
    if (made_of(pair[0], pidfds) != kNoPeer) return 2;
    if (identity::check_caller(self, rules) !=
        Verdict::not_now("pid " + std::to_string(self.pid) + " could not be checked now")) {
      return 3;
    }
    // Room for the pidfd alone: the start time still cannot be read.
    ::close(last);
    if (pidfds && made_of(pair[0], pidfds) != kNoPeer) return 4;
    return 0;
  });
  const char* const what[] = {
      "",
      "the start time was not NotLooked",
      "Peer::of made something of a peer it could not look at",
      "check_caller did not say the caller could not be checked now",
      "Peer::of made something of a peer it could take only a pidfd of",
  };
  ASSERT_NE(failed, 100) << "the child could not fill its descriptor table";
  ASSERT_GE(failed, 0);
  ASSERT_LT(failed, 5);
  EXPECT_EQ(failed, 0) << what[failed];
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
// take it first, so it is asked again a few times. -1 when it got none. With
// `program`, the process runs it, as `program decode`, which reads its
// standard input to the end.
pid_t waiting_at(pid_t wanted, int* go, const char* program = nullptr) {
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
      if (program != nullptr) {
        ::dup2(in[0], STDIN_FILENO);
        ::execl(program, program, "decode", static_cast<char*>(nullptr));
        _exit(127);
      }
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
  const auto peer = hosts_transport::Peer::of(taken_alive);
  ASSERT_TRUE(peer.has_value());
  ASSERT_TRUE(peer->caller().has_value());
  EXPECT_EQ(peer->caller()->pid, first);
  // Whatever its pid now runs, a caller that has gone is no caller.
  const identity::ClientRules rules{{"/proc/self/exe"}, 0, "root", {}};
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

  // Without pidfds of peers, a peer reaped before it was accepted cannot be
  // told from whatever holds its pid now: only its start time can tell, and
  // the newcomer's is read. That case needs the kernel's pidfds.
  const bool pidfds = peer_pidfds_offered();
  for (const auto& [pid, fd] : {std::pair{first, taken_alive}, std::pair{second, taken_late}}) {
    if (fd == taken_late && !pidfds) {
      std::printf("the reaped connector's case needs SO_PEERPIDFD; skipped\n");
      continue;
    }
    int release = -1;
    const pid_t newcomer = waiting_at(pid, &release);
    if (newcomer == pid) {
      const auto late = hosts_transport::Peer::of(fd);
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

// Between the examination of its program and the verdict (while polkit
// decides), the caller ends and the client takes its pid: the pid now names
// another process than the one examined, and the verdict says so, with the
// caller's pidfd or, on a kernel without one, by its start time alone.
TEST(CallerCheckLinux, APidReusedAfterTheProgramWasExaminedIsNoCaller) {
  if (::geteuid() != 0 || ::access("/proc/sys/kernel/ns_last_pid", W_OK) != 0) {
    GTEST_SKIP() << "pids cannot be chosen";
  }
  lwk_test::TempDir dir;
  const std::string trusted = dir / "lantern-wharf";
  copy_client(trusted);
  for (const bool with_pidfd : {false, true}) {
    SCOPED_TRACE(with_pidfd ? "with a pidfd" : "without");
    Waiting examined(trusted, {"decode"});
    Caller caller = as_other(examined.caller());
    caller.pidfd = with_pidfd ? static_cast<int>(::syscall(SYS_pidfd_open, caller.pid, 0)) : -1;
    pid_t newcomer = -1;
    int release = -1;
    identity::ClientRules rules = rules_for(trusted);
    rules.ask_polkit = [&](const Caller& asked) {
      // A start time counts clock ticks: a pid taken again within the tick
      // its first holder started in cannot be told by it, so the newcomer
      // comes a few ticks later, as any reuse of a pid does in practice.
      ::usleep(static_cast<useconds_t>(30000));
      examined.end();
      newcomer = waiting_at(asked.pid, &release, trusted.c_str());
      return Verdict::serve();
    };
    const Verdict verdict = identity::check_caller(caller, rules);
    if (newcomer == caller.pid) {
      EXPECT_EQ(verdict, Verdict::refuse("pid " + std::to_string(caller.pid) +
                                         " has ended since it connected")
                             .of_outsider(true));
      ::close(release);
      ::waitpid(newcomer, nullptr, 0);
    } else {
      ADD_FAILURE() << "pid " << caller.pid << " could not be taken again";
    }
    if (caller.pidfd >= 0) ::close(caller.pidfd);
  }
}

}  // namespace
