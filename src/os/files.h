// Small POSIX file helpers shared by the journal and the platform operations.
#ifndef LWK_OS_FILES_H_
#define LWK_OS_FILES_H_

#include <string>
#include <string_view>

#include "base/io_error.h"
#include "base/result.h"

namespace lwk::os {

// Creates `path` and every missing ancestor as directories (mode 0777 before
// the process umask). `path` itself must end up a real directory: an existing
// entry of any other kind, a symbolic link to a directory included, is
// ENOTDIR. The ancestors are the system's and may be links (/var is one on
// macOS). Each directory it makes is flushed into its parent before it
// returns (flush_directory), so that nothing put in it later and flushed can
// be lost with it in a power cut; so is `path` when it exists already, unless
// `flush_existing` is false: a directory that exists may be one whose flush
// failed, or another thread's whose flush is still to come. A caller that
// keeps nothing durable in it (the journal) passes false and spares a flush.
Result<void, IoError> make_directories(const std::string& path, bool flush_existing = true);

// Flushes the entries of the directory `path` to stable storage with the
// full flush (a rename, create or mkdir in it then survives a power cut),
// without following a final symbolic link. A file system that flushes no
// directories (EINVAL, ENOTSUP) has nothing more to do.
Result<void, IoError> flush_directory(const std::string& path);

// The directory part of `path`: everything before its last "/", or "." when it
// has none, or "/" for a path directly under the root.
std::string parent_of(const std::string& path);

// Reads the whole file at `path`. With `follow_link` false, a symbolic link
// at `path` itself is refused.
Result<std::string, IoError> read_file(const std::string& path, bool follow_link);

// Reads the whole regular file at `path`, refusing anything that is not a
// regular file ("not a regular file") and, with `follow_link` false, a
// symbolic link at `path` itself. A FIFO or a device is never waited on: it
// is opened without blocking and refused before a byte is read.
Result<std::string, IoError> read_regular_file(const std::string& path, bool follow_link = false);

// Writes all of `bytes` to `fd`, repeating interrupted and partial writes.
Result<void, IoError> write_all(int fd, std::string_view bytes);

}  // namespace lwk::os

#endif  // LWK_OS_FILES_H_
