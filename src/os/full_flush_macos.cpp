#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "os/full_flush.h"

namespace lwk::os {

Result<void, IoError> full_flush(int fd) {
  // F_FULLFSYNC asks the drive itself to write its cache to the medium; plain
  // fsync on macOS only hands the data to the drive.
  for (;;) {
    if (::fcntl(fd, F_FULLFSYNC) == 0) return success();
    if (errno == EINTR) continue;
    if (errno == ENOTSUP || errno == ENOTTY || errno == EINVAL) break;  // not offered here
    return unexpected(IoError::last());
  }
  while (::fsync(fd) != 0) {
    if (errno != EINTR) return unexpected(IoError::last());
  }
  return success();
}

}  // namespace lwk::os
