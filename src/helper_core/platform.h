// Every operating-system call that changing the hosts file makes goes through
// Platform, so that tests can swap in a double that fails any chosen step.
#ifndef LWK_HELPER_CORE_PLATFORM_H_
#define LWK_HELPER_CORE_PLATFORM_H_

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
  // Closes the file. REQUIRES: called at most once.
  virtual IoResult<void> close() = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // --- The privileged operations.

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

  // --- The file system.

  // Examines `path` without following a final symbolic link.
  virtual IoResult<FileKind> examine(const std::string& path) = 0;
  // Reads the whole file, refusing a symbolic link at `path` itself.
  virtual IoResult<std::string> read_file(const std::string& path) = 0;
  // Whether the file holds exactly `content`, byte for byte; refuses a
  // symbolic link at `path` itself. Reads the file in pieces and stops at the
  // first difference, so that an unchanged file costs one read and nothing
  // more.
  virtual IoResult<bool> holds_exactly(const std::string& path, std::string_view content) = 0;
  // Creates `path` and every missing ancestor (mode 0777 before the umask).
  virtual IoResult<void> make_directories(const std::string& path) = 0;
  // Creates or truncates `path` for writing (mode 0666 before the umask),
  // refusing a symbolic link at `path` itself; the file is close-on-exec.
  virtual IoResult<std::unique_ptr<WritableFile>> create_file(const std::string& path) = 0;
  // Renames `from` to `to`, replacing `to` atomically.
  virtual IoResult<void> rename(const std::string& from, const std::string& to) = 0;
  // Flushes a directory's entries to stable storage, so that a rename in it
  // survives a power loss.
  virtual IoResult<void> sync_directory(const std::string& path) = 0;
  // Removes one directory entry (not a directory).
  virtual IoResult<void> remove_file(const std::string& path) = 0;
  // The names in a directory, "." and ".." left out; entries that cannot be
  // read are skipped.
  virtual IoResult<std::vector<std::string>> list_directory(const std::string& path) = 0;
  // Removes `path` and everything below it, depth first. A missing `path` is
  // the not-found error.
  virtual IoResult<void> remove_tree(const std::string& path) = 0;
};

}  // namespace hosts_helper_core::write

#endif  // LWK_HELPER_CORE_PLATFORM_H_
