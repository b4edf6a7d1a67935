// The flush to stable storage, the one call whose strength differs per
// platform; full_flush_linux.cpp and full_flush_macos.cpp define it.
#ifndef LWK_OS_FULL_FLUSH_H_
#define LWK_OS_FULL_FLUSH_H_

#include "base/io_error.h"
#include "base/result.h"

namespace lwk::os {

// Flushes what `fd` names, a file or a directory, to stable storage:
// F_FULLFSYNC on macOS (retried while interrupted, falling back to fsync
// where the file system does not offer it), fsync elsewhere. Either way an
// interrupted fsync is retried.
Result<void, IoError> full_flush(int fd);

}  // namespace lwk::os

#endif  // LWK_OS_FULL_FLUSH_H_
