#include "os/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "os/full_flush.h"

namespace lwk::os {

std::string parent_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

namespace {

// mkdir -p, where an existing `path` must be a directory: a real one when
// `real` is set, else one reached through links as well. Every directory
// made is flushed into its parent, and so is `path` when it is there already
// and `flush_existing` is set: that it exists does not make its entry
// durable. The call that made it may have failed to flush it (it answered an
// error, the directory stayed), or may be another thread's that has not
// flushed it yet (the journal makes the store without the service lock).
// Each parent is flushed once: after the mkdir that made its child, or on
// finding the child there.
Result<void, IoError> make_path(const std::string& path, bool real, bool flush_existing) {
  if (path.empty()) return unexpected(IoError::from_errno(ENOENT));
  if (::mkdir(path.c_str(), 0777) == 0) return flush_directory(parent_of(path));
  int error = errno;
  if (error == ENOENT) {
    // A missing ancestor: make it, then try again.
    const std::string parent = parent_of(path);
    if (parent != path && parent != "." && parent != "/") {
      auto made = make_path(parent, /*real=*/false, flush_existing);
      if (!made) return made;
    }
    if (::mkdir(path.c_str(), 0777) == 0) return flush_directory(parent);
    error = errno;
  }
  if (error == EEXIST) {
    struct stat st;
    const int looked = real ? ::lstat(path.c_str(), &st) : ::stat(path.c_str(), &st);
    if (looked != 0) return unexpected(IoError::last());
    if (S_ISDIR(st.st_mode)) return flush_existing ? flush_directory(parent_of(path)) : success();
    error = ENOTDIR;
  }
  return unexpected(IoError::from_errno(error));
}

// Reads from `fd` to its end, sized by what the file says of itself and grown
// while it turns out longer; the size is only a hint. Closes `fd`.
Result<std::string, IoError> read_to_end(int fd) {
  struct stat st;
  std::size_t room = 65536;
  if (::fstat(fd, &st) == 0 && st.st_size > 0) room = static_cast<std::size_t>(st.st_size) + 1;
  std::string content(room, '\0');
  std::size_t used = 0;
  for (;;) {
    if (used == content.size()) content.resize(content.size() * 2);
    const ssize_t n = ::read(fd, content.data() + used, content.size() - used);
    if (n > 0) {
      used += static_cast<std::size_t>(n);
    } else if (n == 0) {
      (void)::close(fd);
      content.resize(used);
      return content;
    } else if (errno != EINTR) {
      const IoError error = IoError::last();
      (void)::close(fd);
      return unexpected(error);
    }
  }
}

}  // namespace

Result<void, IoError> flush_directory(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return unexpected(IoError::last());
  auto flushed = full_flush(fd);
  (void)::close(fd);
  if (!flushed && (flushed.error().code == EINVAL || flushed.error().code == ENOTSUP)) {
    return success();
  }
  return flushed;
}

Result<void, IoError> make_directories(const std::string& path, bool flush_existing) {
  return make_path(path, /*real=*/true, flush_existing);
}

Result<std::string, IoError> read_file(const std::string& path, bool follow_link) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (follow_link ? 0 : O_NOFOLLOW));
  if (fd < 0) return unexpected(IoError::last());
  return read_to_end(fd);
}

Result<std::string, IoError> read_regular_file(const std::string& path, bool follow_link) {
  // Without O_NONBLOCK, opening a FIFO waits for a writer, for ever if none comes.
  const int fd =
      ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (follow_link ? 0 : O_NOFOLLOW));
  if (fd < 0) return unexpected(IoError::last());
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const IoError error = IoError::last();
    (void)::close(fd);
    return unexpected(error);
  }
  if (!S_ISREG(st.st_mode)) {
    (void)::close(fd);
    return unexpected(IoError::of("not a regular file"));
  }
  return read_to_end(fd);
}

Result<void, IoError> write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return unexpected(IoError::last());
    }
    if (n == 0) return unexpected(IoError::from_errno(EIO));
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return success();
}

}  // namespace lwk::os
