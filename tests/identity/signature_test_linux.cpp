// The caller check on Linux, with real processes: the client itself, a copy
// of it, another program, a client in a directory others may write, a
// process that has gone, and a requirement for another identifier.
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

#include "identity/process_linux.h"
#include "identity/signature_linux.h"
#include "support/temp_dir.h"
#include "transport/caller_linux.h"

extern "C" char** environ;

namespace {

using identity::AuditToken;
using signature::SignatureVerdict;

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
  AuditToken token() const { return identity::token_of(pid_, ::geteuid(), ::getegid()); }
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

const std::string kRequirement = identity::ClientRequirement::make().text();

TEST(SignatureLinux, Verdicts) {
  if (::geteuid() != 0) GTEST_SKIP() << "the trusted file must be root's";
  lwk_test::TempDir dir;  // 0700 and root's, in the sticky /tmp
  const std::string trusted = dir / "lantern-wharf";
  const std::string elsewhere = dir / "copy";
  copy_client(trusted);
  copy_client(elsewhere);

  Waiting client(trusted, {"decode"});
  Waiting copy(elsewhere, {"decode"});
  Waiting shell("/bin/sh");
  EXPECT_EQ(signature::check_executable(client.token(), kRequirement, trusted),
            SignatureVerdict::satisfied());
  EXPECT_EQ(signature::check_executable(copy.token(), kRequirement, trusted),
            SignatureVerdict::not_our_program(signature::errSecCSReqFailed));
  EXPECT_EQ(signature::check_executable(shell.token(), kRequirement, trusted),
            SignatureVerdict::not_our_program(signature::errSecCSReqFailed));
  // A requirement that is not this build's refuses every caller.
  EXPECT_EQ(
      signature::check_executable(
          client.token(), identity::ClientRequirement::for_client("com.other").text(), trusted),
      SignatureVerdict::requirement_unreadable(signature::errSecCSReqInvalid));
  // A caller that has gone, and whose pid may be another's by now.
  const AuditToken gone = client.token();
  client.end();
  EXPECT_EQ(signature::check_executable(gone, kRequirement, trusted),
            SignatureVerdict::no_such_code(signature::errSecCSNoSuchCode));
  EXPECT_EQ(signature::text_of(SignatureVerdict::not_our_program(-67050)), "NotOurProgram(-67050)");
}

TEST(SignatureLinux, AClientThatOthersCouldReplaceIsNotTrusted) {
  if (::geteuid() != 0) GTEST_SKIP() << "the trusted file must be root's";
  lwk_test::TempDir dir;
  const std::string shared = dir / "shared";
  ASSERT_EQ(::mkdir(shared.c_str(), 0775), 0);
  ASSERT_EQ(::chmod(shared.c_str(), 0775), 0);  // whatever the umask
  const std::string trusted = shared + "/lantern-wharf";
  copy_client(trusted);
  Waiting client(trusted, {"decode"});
  EXPECT_EQ(signature::check_executable(client.token(), kRequirement, trusted),
            SignatureVerdict::not_our_program(signature::errSecCSSignatureFailed));
  // The file itself writable by its group: the same.
  ASSERT_EQ(::chmod(shared.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(trusted.c_str(), 0775), 0);
  EXPECT_EQ(signature::check_executable(client.token(), kRequirement, trusted),
            SignatureVerdict::not_our_program(signature::errSecCSSignatureFailed));
  ASSERT_EQ(::chmod(trusted.c_str(), 0755), 0);
  EXPECT_EQ(signature::check_executable(client.token(), kRequirement, trusted),
            SignatureVerdict::satisfied());
}

TEST(CallerLinux, TheTokenOfASocketPeer) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  const auto peer = caller::Peer::of(pair[0]);
  ASSERT_TRUE(peer.has_value());
  EXPECT_EQ(peer->uid(), ::geteuid());
  const auto token = peer->token();
  ASSERT_TRUE(token.has_value());
  EXPECT_EQ(identity::pid_of(*token), ::getpid());
  EXPECT_EQ((*token)[0], ::geteuid());
  EXPECT_EQ((*token)[1], ::geteuid());
  EXPECT_EQ((*token)[3], ::geteuid());
  EXPECT_EQ((*token)[2], ::getegid());
  EXPECT_EQ((*token)[4], ::getegid());
  EXPECT_EQ(identity::start_time_in(*token), identity::start_time_of(::getpid()));
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
  ASSERT_TRUE(peer->token().has_value());
  EXPECT_EQ(identity::pid_of(*peer->token()), first);

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
      EXPECT_EQ(late->token(), std::nullopt) << "a token for the process that took pid " << pid;
      if (fd == taken_alive) {
        EXPECT_EQ(peer->token(), std::nullopt);
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
