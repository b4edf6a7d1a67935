#include "base/io_error.h"

#include <cerrno>
#include <system_error>

namespace lwk {

IoError IoError::from_errno(int code) {
  return IoError{
      code, std::generic_category().message(code) + " (os error " + std::to_string(code) + ")"};
}

IoError IoError::last() { return from_errno(errno); }

bool IoError::not_found() const { return code == ENOENT; }

}  // namespace lwk
