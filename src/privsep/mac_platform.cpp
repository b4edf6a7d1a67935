#include "privsep/mac_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "os/files.h"
#include "os/full_flush.h"

extern "C" char** environ;

namespace hosts_privsep_macos::platform {
namespace {

using lwk::IoError;
using lwk::unexpected;

class PosixWritableFile final : public WritableFile {
 public:
  explicit PosixWritableFile(int fd) : fd_(fd) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) (void)::close(fd_);
  }
  PosixWritableFile(const PosixWritableFile&) = delete;
  PosixWritableFile& operator=(const PosixWritableFile&) = delete;

  IoResult<void> append(std::string_view bytes) override { return lwk::os::write_all(fd_, bytes); }
  IoResult<void> sync() override { return lwk::os::full_flush(fd_); }
  IoResult<void> close() override {
    const int fd = fd_;
    fd_ = -1;
    // The descriptor is released whatever close answers; it is never retried.
    if (::close(fd) != 0) return unexpected(IoError::last());
    return lwk::success();
  }

 private:
  int fd_;
};

IoResult<void> from_status(int status) {
  if (status != 0) return unexpected(IoError::last());
  return lwk::success();
}

// Closes a descriptor when it goes out of scope.
class ScopedFd {
 public:
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd() {
    if (fd_ >= 0) (void)::close(fd_);
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int get() const { return fd_; }
  // Closes the descriptor now; the destructor then has nothing to close.
  void close_now() {
    if (fd_ >= 0) (void)::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// Runs one command and waits for it. Returns whether it exited with status 0;
// nothing (as false) when the program does not exist; or the error's text.
lwk::Result<bool, std::string> run(const CacheCommand& command) {
  auto failure = [&command](int code) {
    return unexpected(command.program + ": " + IoError::from_errno(code).message);
  };
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return failure(errno);
  ScopedFd read_end(pipe_fds[0]);
  ScopedFd write_end(pipe_fds[1]);
  (void)::fcntl(read_end.get(), F_SETFD, FD_CLOEXEC);
  (void)::fcntl(write_end.get(), F_SETFD, FD_CLOEXEC);

  posix_spawn_file_actions_t actions;
  if (int rc = ::posix_spawn_file_actions_init(&actions); rc != 0) return failure(rc);
  (void)::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  (void)::posix_spawn_file_actions_adddup2(&actions, write_end.get(), STDOUT_FILENO);
  (void)::posix_spawn_file_actions_adddup2(&actions, write_end.get(), STDERR_FILENO);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(command.program.c_str()));
  for (const std::string& a : command.arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int spawned =
      ::posix_spawn(&pid, command.program.c_str(), &actions, nullptr, argv.data(), environ);
  (void)::posix_spawn_file_actions_destroy(&actions);
  if (spawned == ENOENT) return false;
  if (spawned != 0) return failure(spawned);

  // Our copy of the write end must go, or reading would never see the end.
  // It is closed once only: a second close could hit a descriptor that
  // another thread has opened meanwhile under the same number.
  write_end.close_now();
  char discard[4096];
  for (;;) {
    const ssize_t n = ::read(read_end.get(), discard, sizeof discard);
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    break;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return failure(errno);
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

MacPlatform::MacPlatform(bool privileged, std::vector<CacheCommand> cache_commands)
    : privileged_(privileged), cache_commands_(std::move(cache_commands)) {}

IoResult<void> MacPlatform::restore_permissions(const std::string& temporary,
                                                const std::string& /*target*/) {
  if (::chmod(temporary.c_str(), 0644) != 0) return unexpected(IoError::last());
  if (privileged_) return from_status(::lchown(temporary.c_str(), 0, 0));
  return lwk::success();
}

IoResult<void> MacPlatform::replace(const std::string& temporary, const std::string& target) {
  return from_status(::rename(temporary.c_str(), target.c_str()));
}

IoResult<void> MacPlatform::reject_if_redirected(const std::string& /*target*/) {
  return lwk::success();
}

lwk::Result<bool, std::string> MacPlatform::flush_name_cache() {
  bool dropped = false;
  for (const CacheCommand& command : cache_commands_) {
    auto ran = run(command);
    if (!ran) return ran;
    dropped = dropped || *ran;
  }
  return dropped;
}

IoResult<FileKind> MacPlatform::examine(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return unexpected(IoError::last());
  if (S_ISLNK(st.st_mode)) return FileKind::SymbolicLink;
  if (S_ISREG(st.st_mode)) return FileKind::Regular;
  if (S_ISDIR(st.st_mode)) return FileKind::Directory;
  return FileKind::Other;
}

IoResult<std::string> MacPlatform::read_file(const std::string& path) {
  return lwk::os::read_file(path, /*follow_link=*/false);
}

IoResult<bool> MacPlatform::holds_exactly(const std::string& path, std::string_view content) {
  ScopedFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) return unexpected(IoError::last());
  struct stat st;
  if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) &&
      static_cast<std::uint64_t>(st.st_size) != content.size()) {
    return false;
  }
  char buffer[65536];
  std::size_t at = 0;
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return unexpected(IoError::last());
    }
    if (n == 0) return at == content.size();
    const auto got = static_cast<std::size_t>(n);
    if (got > content.size() - at || std::memcmp(buffer, content.data() + at, got) != 0) {
      return false;
    }
    at += got;
  }
}

IoResult<void> MacPlatform::make_directories(const std::string& path) {
  return lwk::os::make_directories(path);
}

IoResult<std::unique_ptr<WritableFile>> MacPlatform::create_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return unexpected(IoError::last());
  return std::unique_ptr<WritableFile>(std::make_unique<PosixWritableFile>(fd));
}

IoResult<void> MacPlatform::rename(const std::string& from, const std::string& to) {
  return from_status(::rename(from.c_str(), to.c_str()));
}

IoResult<void> MacPlatform::sync_directory(const std::string& path) {
  ScopedFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return unexpected(IoError::last());
  while (::fsync(fd.get()) != 0) {
    if (errno == EINTR) continue;
    // Some file systems do not flush directories; there is nothing more to do.
    if (errno == EINVAL || errno == ENOTSUP) return lwk::success();
    return unexpected(IoError::last());
  }
  return lwk::success();
}

IoResult<void> MacPlatform::remove_file(const std::string& path) {
  return from_status(::unlink(path.c_str()));
}

IoResult<std::vector<std::string>> MacPlatform::list_directory(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return unexpected(IoError::last());
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  (void)::closedir(dir);
  return names;
}

IoResult<void> MacPlatform::remove_tree(const std::string& path) {
  auto kind = examine(path);
  if (!kind) return unexpected(kind.error());
  if (*kind != FileKind::Directory) return remove_file(path);
  auto names = list_directory(path);
  if (!names) return unexpected(names.error());
  for (const std::string& name : *names) {
    if (auto removed = remove_tree(path + "/" + name); !removed) return removed;
  }
  return from_status(::rmdir(path.c_str()));
}

}  // namespace hosts_privsep_macos::platform
