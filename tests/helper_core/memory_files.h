// An in-memory file system behind the Files seam that records every
// operation made through it, with its arguments, in the order made: what the
// crash-state explorer replays. A Mutation makes it drop or move one kind of
// flush, so that the explorer can show that each flush of the write path is
// needed. MemoryPlatform puts the platform's operations on it too.
#ifndef LWK_TESTS_HELPER_CORE_MEMORY_FILES_H_
#define LWK_TESTS_HELPER_CORE_MEMORY_FILES_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "helper_core/platform.h"

namespace lwk_test::crash {

using hosts_helper_core::write::FileKind;
using hosts_helper_core::write::IoResult;

// A file or a directory, named by its number (the root directory is 0).
struct Node {
  bool directory = false;
  std::string data;                              // a file's content
  std::map<std::string, std::uint64_t> entries;  // a directory's
};
using Disk = std::map<std::uint64_t, Node>;

enum class OpKind {
  Examine,
  Read,
  List,
  MakeDirectory,
  Create,
  Append,
  FlushFile,
  Close,
  Permissions,
  Rename,
  FlushDirectory,
  Unlink,
  RemoveDirectory,
};

// One operation as made. `directory` is the directory whose entries it
// changes, or which it flushes; `node` the file or directory it makes,
// writes, flushes, moves or removes.
struct Operation {
  Operation(OpKind kind_, std::string path_, std::string to_ = {}, std::uint64_t directory_ = 0,
            std::uint64_t node_ = 0, std::string bytes_ = {})
      : kind(kind_),
        path(std::move(path_)),
        to(std::move(to_)),
        directory(directory_),
        node(node_),
        bytes(std::move(bytes_)) {}

  OpKind kind;
  std::string path;  // for a rename, where from
  std::string to;    // for a rename, where to
  std::uint64_t directory = 0;
  std::uint64_t node = 0;
  std::string bytes;  // an append's

  // Whether it changes what a disk holds: only these can be cut short.
  bool changes() const;
  // Whether it changes a directory's entries.
  bool changes_entries() const;
};

// "create /etc/hosts.lantern-wharf-1", "append 12 octets to ...", and so on.
std::string describe(const Operation& op);

// One change to how the file system keeps the write path's order, limited to
// the files or the directory it names: `files` matches the paths a file was
// created at by their ending (".partial", or the temporary file's
// ".lantern-wharf-" anywhere), `directory` a directory's path exactly.
struct Mutation {
  enum Kind {
    None,
    DropFileFlush,               // the file's flush does nothing
    DropDirectoryFlush,          // the directory's flush does nothing
    DropMadeDirectoryFlush,      // make_directories flushes nothing into it
    DropExistingDirectoryFlush,  // make_directories flushes into it only after a mkdir
    FlushFileAfterRename,        // the file's flush comes after its rename
    FlushDirectoryBeforeRename,  // the directory's flush comes before the rename in it
  } kind = None;
  std::string files;      // for the file mutations: "snapshot", "backup" or "temporary"
  std::string directory;  // for the directory mutations
  std::string name;       // shown in reports
};

class MemoryFiles final : public hosts_helper_core::write::Files {
 public:
  explicit MemoryFiles(Disk disk, std::uint64_t clock = 1'000'000'000);

  IoResult<FileKind> examine(const std::string& path) override;
  IoResult<std::string> read_file(const std::string& path) override;
  IoResult<void> make_directories(const std::string& path) override;
  IoResult<std::unique_ptr<hosts_helper_core::write::WritableFile>> create_new(
      const std::string& path) override;
  IoResult<void> rename(const std::string& from, const std::string& to) override;
  IoResult<void> sync_directory(const std::string& path) override;
  IoResult<void> remove_file(const std::string& path) override;
  IoResult<std::vector<std::string>> list_directory(const std::string& path) override;
  IoResult<void> remove_directory(const std::string& path) override;
  // Runs forward a millisecond on every reading.
  std::uint64_t now_nanoseconds() override;

  // The node at `path`, if there is one.
  std::optional<std::uint64_t> find(const std::string& path) const;
  // The content of the file at `path`, if there is a file there.
  std::optional<std::string> content_of(const std::string& path) const;

  const Disk& disk() const { return disk_; }
  const std::vector<Operation>& log() const { return log_; }
  void set_mutation(Mutation m) { mutation_ = std::move(m); }
  // The first `kind` call of remove_file (Unlink), remove_directory
  // (RemoveDirectory) or of a flush of the directory `path` (FlushDirectory,
  // by sync_directory or make_directories) fails with EIO, having done
  // nothing. It fails where the unchanged write path would flush, whatever
  // the mutation, so that a workload runs alike under each.
  void fail_once(OpKind kind, std::string path) { fault_ = {kind, std::move(path)}; }
  // Real directories list their entries in no set order: from now on they
  // are listed in reverse byte order rather than in byte order (so that a
  // removal takes the snapshot before the backups directory).
  void list_reversed() { reversed_listing_ = true; }

  // For MemoryFile: the file `node` was created at `path`.
  void append(std::uint64_t node, std::string_view bytes);
  void flush_file(std::uint64_t node);
  void close(std::uint64_t node);
  void record(Operation op) { log_.push_back(std::move(op)); }

 private:
  struct Place {
    std::uint64_t directory;
    std::string name;
  };
  IoResult<Place> place_of(const std::string& path) const;
  bool matches_files(std::uint64_t node) const;
  bool faulted(OpKind kind, const std::string& path);
  // make_directories' flush of `parent` (node `node`), after a mkdir in it
  // when `made`, else on finding the directory asked for there.
  IoResult<void> flush_into(const std::string& parent, std::uint64_t node, bool made);

  Disk disk_;
  std::uint64_t next_node_;
  std::uint64_t clock_;
  std::vector<Operation> log_;
  Mutation mutation_;
  std::map<std::uint64_t, std::string> created_at_;  // each file's first path
  std::vector<std::uint64_t> flush_owed_;            // FlushFileAfterRename
  bool skip_directory_flush_ = false;                // FlushDirectoryBeforeRename
  std::optional<std::pair<OpKind, std::string>> fault_;
  bool reversed_listing_ = false;
};

// The platform's operations on a MemoryFiles: the owner and mode change is
// recorded only, the replace is the files' rename, nothing is redirected and
// no name cache is there.
class MemoryPlatform final : public hosts_helper_core::write::Platform {
 public:
  explicit MemoryPlatform(Disk disk, std::uint64_t clock = 1'000'000'000)
      : files_(std::move(disk), clock) {}

  IoResult<void> restore_permissions(const std::string& temporary,
                                     const std::string& target) override;
  IoResult<void> replace(const std::string& temporary, const std::string& target) override {
    return files_.rename(temporary, target);
  }
  IoResult<void> reject_if_redirected(const std::string&) override { return lwk::success(); }
  lwk::Result<bool, std::string> flush_name_cache() override { return false; }
  MemoryFiles& files() override { return files_; }

 private:
  MemoryFiles files_;
};

// A disk holding the directories `directories` and the files `files` (path,
// content), each directory made before what lies in it.
Disk disk_with(const std::vector<std::string>& directories,
               const std::vector<std::pair<std::string, std::string>>& files);

}  // namespace lwk_test::crash

#endif  // LWK_TESTS_HELPER_CORE_MEMORY_FILES_H_
