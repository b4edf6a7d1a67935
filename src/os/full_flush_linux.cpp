#include <unistd.h>

#include <cerrno>

#include "os/full_flush.h"

namespace lwk::os {

Result<void, IoError> full_flush(int fd) {
  while (::fsync(fd) != 0) {
    if (errno != EINTR) return unexpected(IoError::last());
  }
  return success();
}

}  // namespace lwk::os
