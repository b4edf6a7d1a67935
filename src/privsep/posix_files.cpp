#include "privsep/posix_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "os/files.h"
#include "os/full_flush.h"

namespace hosts_privsep::platform {
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

}  // namespace

IoResult<FileKind> PosixFiles::examine(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return unexpected(IoError::last());
  if (S_ISLNK(st.st_mode)) return FileKind::SymbolicLink;
  if (S_ISREG(st.st_mode)) return FileKind::Regular;
  if (S_ISDIR(st.st_mode)) return FileKind::Directory;
  return FileKind::Other;
}

IoResult<std::string> PosixFiles::read_file(const std::string& path) {
  return lwk::os::read_regular_file(path);
}

IoResult<void> PosixFiles::make_directories(const std::string& path) {
  return lwk::os::make_directories(path);
}

IoResult<std::unique_ptr<WritableFile>> PosixFiles::create_new(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return unexpected(IoError::last());
  return std::unique_ptr<WritableFile>(std::make_unique<PosixWritableFile>(fd));
}

IoResult<void> PosixFiles::rename(const std::string& from, const std::string& to) {
  return from_status(::rename(from.c_str(), to.c_str()));
}

IoResult<void> PosixFiles::sync_directory(const std::string& path) {
  return lwk::os::flush_directory(path);
}

IoResult<void> PosixFiles::remove_file(const std::string& path) {
  return from_status(::unlink(path.c_str()));
}

IoResult<std::vector<std::string>> PosixFiles::list_directory(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return unexpected(IoError::last());
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    const IoError error = IoError::last();
    (void)::close(fd);
    return unexpected(error);
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  (void)::closedir(dir);
  return names;
}

IoResult<void> PosixFiles::remove_directory(const std::string& path) {
  return from_status(::rmdir(path.c_str()));
}

std::uint64_t PosixFiles::now_nanoseconds() {
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count();
  return ns < 0 ? 0 : static_cast<std::uint64_t>(ns);
}

}  // namespace hosts_privsep::platform
