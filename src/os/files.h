// Small POSIX file helpers shared by the journal and the platform operations.
#ifndef LWK_OS_FILES_H_
#define LWK_OS_FILES_H_

#include <string>
#include <string_view>

#include "base/io_error.h"
#include "base/result.h"

namespace lwk::os {

// Creates `path` and every missing ancestor as directories (mode 0777 before
// the process umask). An existing directory is success; an existing entry of
// another kind is an error.
Result<void, IoError> make_directories(const std::string& path);

// The directory part of `path`: everything before its last "/", or "." when it
// has none, or "/" for a path directly under the root.
std::string parent_of(const std::string& path);

// Reads the whole file at `path`. With `follow_link` false, a symbolic link
// at `path` itself is refused.
Result<std::string, IoError> read_file(const std::string& path, bool follow_link);

// Writes all of `bytes` to `fd`, repeating interrupted and partial writes.
Result<void, IoError> write_all(int fd, std::string_view bytes);

}  // namespace lwk::os

#endif  // LWK_OS_FILES_H_
