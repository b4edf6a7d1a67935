#include "os/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace lwk::os {

std::string parent_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

Result<void, IoError> make_directories(const std::string& path) {
  if (path.empty()) return unexpected(IoError::from_errno(ENOENT));
  if (::mkdir(path.c_str(), 0777) == 0) return success();
  int error = errno;
  if (error == ENOENT) {
    // A missing ancestor: make it, then try again.
    const std::string parent = parent_of(path);
    if (parent != path && parent != "." && parent != "/") {
      auto made = make_directories(parent);
      if (!made) return made;
    }
    if (::mkdir(path.c_str(), 0777) == 0) return success();
    error = errno;
  }
  if (error == EEXIST) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return success();
  }
  return unexpected(IoError::from_errno(error));
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
