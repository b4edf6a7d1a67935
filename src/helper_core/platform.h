// Every operating-system call that changing the hosts file makes goes through
// two small interfaces, in the manner of LevelDB's Env: Platform, the four
// privileged operations, and Files, the file-system primitives and the clock.
// Tests swap in doubles that fail any chosen step; each double fails only
// what it means to.
#ifndef LWK_HELPER_CORE_PLATFORM_H_
#define LWK_HELPER_CORE_PLATFORM_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/io_error.h"
#include "base/result.h"

namespace hosts_helper_core::write {

using lwk::IoError;
template <class T>
using IoResult = lwk::Result<T, IoError>;

// What a path names, examined without following a final symbolic link.
enum class FileKind { Regular, Directory, SymbolicLink, Other };

// A file open for writing. Destroying it closes it if close() was not called.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // Writes all of `bytes` at the end of what was written so far.
  virtual IoResult<void> append(std::string_view bytes) = 0;
  // Flushes everything written so far to stable storage.
  virtual IoResult<void> sync() = 0;
  // Closes the file; the descriptor is released whatever the answer.
  // REQUIRES: called at most once.
  virtual IoResult<void> close() = 0;
};

// The file system as changing the file uses it, and the clock that names
// backups. No operation follows a symbolic link at the path it is given.
class Files {
 public:
  virtual ~Files() = default;

  // Examines `path` without following a final symbolic link.
  virtual IoResult<FileKind> examine(const std::string& path) = 0;
  // Reads the whole regular file at `path`. A symbolic link at `path`, and
  // anything that is not a regular file ("not a regular file"), are refused
  // without waiting on them.
  virtual IoResult<std::string> read_file(const std::string& path) = 0;
  // Creates `path` and every missing ancestor (mode 0777 before the umask),
  // flushing each directory it makes into its parent with the same flush as
  // sync_directory(), so that what is later kept in it cannot be lost with
  // it. `path` itself must end up a real directory: any other entry there, a
  // symbolic link included, is ENOTDIR.
  virtual IoResult<void> make_directories(const std::string& path) = 0;
  // Creates a new file at `path` for writing (mode 0666 before the umask,
  // close-on-exec). Fails when any entry, a link or a hard link included,
  // stands at `path` already: what it writes is never shared with another
  // name.
  virtual IoResult<std::unique_ptr<WritableFile>> create_new(const std::string& path) = 0;
  // Renames `from` to `to`, replacing `to` atomically.
  virtual IoResult<void> rename(const std::string& from, const std::string& to) = 0;
  // Flushes a directory's entries to stable storage with the same flush that
  // files get, so that a rename in it survives a power loss.
  virtual IoResult<void> sync_directory(const std::string& path) = 0;
  // Removes one directory entry (not a directory).
  virtual IoResult<void> remove_file(const std::string& path) = 0;
  // The names in a directory, "." and ".." left out; entries that cannot be
  // read are skipped.
  virtual IoResult<std::vector<std::string>> list_directory(const std::string& path) = 0;
  // Removes the empty directory `path`.
  virtual IoResult<void> remove_directory(const std::string& path) = 0;
  // The real-time clock in nanoseconds since the Unix epoch; 0 before it.
  virtual std::uint64_t now_nanoseconds() = 0;
};

// The operations of the file-changing path that need the system's own
// knowledge or root's rights.
class Platform {
 public:
  virtual ~Platform() = default;

  // Gives the temporary file the owner and mode that the target must have.
  virtual IoResult<void> restore_permissions(const std::string& temporary,
                                             const std::string& target) = 0;
  // Moves the temporary file over the target in one atomic step.
  virtual IoResult<void> replace(const std::string& temporary, const std::string& target) = 0;
  // Fails when writing the target would in truth write somewhere else.
  virtual IoResult<void> reject_if_redirected(const std::string& target) = 0;
  // Asks the system to drop its name caches: whether any cache was dropped,
  // or an error text.
  virtual lwk::Result<bool, std::string> flush_name_cache() = 0;

  // The file system that changes made through this platform go through.
  virtual Files& files() = 0;
};

}  // namespace hosts_helper_core::write

#endif  // LWK_HELPER_CORE_PLATFORM_H_
