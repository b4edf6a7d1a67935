#include "helper_core/memory_files.h"

#include <algorithm>
#include <cerrno>

namespace lwk_test::crash {
namespace {

using hosts_helper_core::write::WritableFile;
using lwk::IoError;
using lwk::unexpected;

IoError error_of(int code) { return IoError::from_errno(code); }

std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < path.size()) {
    const std::size_t slash = path.find('/', at);
    const std::size_t end = slash == std::string::npos ? path.size() : slash;
    if (end > at) out.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

// What a file created at `path` is to the write path.
std::string role_of(const std::string& path) {
  if (path.find(".lantern-wharf-") != std::string::npos) return "temporary";
  if (path.ends_with("before-first-apply.partial")) return "snapshot";
  if (path.ends_with(".partial")) return "backup";
  return "";
}

class MemoryFile final : public WritableFile {
 public:
  MemoryFile(MemoryFiles& files, std::uint64_t node) : files_(files), node_(node) {}
  IoResult<void> append(std::string_view bytes) override {
    files_.append(node_, bytes);
    return lwk::success();
  }
  IoResult<void> sync() override {
    files_.flush_file(node_);
    return lwk::success();
  }
  IoResult<void> close() override {
    files_.close(node_);
    return lwk::success();
  }

 private:
  MemoryFiles& files_;
  std::uint64_t node_;
};

}  // namespace

bool Operation::changes() const {
  switch (kind) {
    case OpKind::Examine:
    case OpKind::Read:
    case OpKind::List:
    case OpKind::Close:
    case OpKind::Permissions: return false;
    default: return true;
  }
}

bool Operation::changes_entries() const {
  switch (kind) {
    case OpKind::MakeDirectory:
    case OpKind::Create:
    case OpKind::Rename:
    case OpKind::Unlink:
    case OpKind::RemoveDirectory: return true;
    default: return false;
  }
}

std::string describe(const Operation& op) {
  switch (op.kind) {
    case OpKind::Examine: return "examine " + op.path;
    case OpKind::Read: return "read " + op.path;
    case OpKind::List: return "list " + op.path;
    case OpKind::MakeDirectory: return "mkdir " + op.path;
    case OpKind::Create: return "create " + op.path;
    case OpKind::Append:
      return std::string("append ")
          .append(std::to_string(op.bytes.size()))
          .append(" to ")
          .append(op.path);
    case OpKind::FlushFile: return "fsync " + op.path;
    case OpKind::Close: return "close " + op.path;
    case OpKind::Permissions: return "permissions " + op.path;
    case OpKind::Rename: return "rename " + op.path + " " + op.to;
    case OpKind::FlushDirectory: return "fsync-directory " + op.path;
    case OpKind::Unlink: return "unlink " + op.path;
    case OpKind::RemoveDirectory: return "rmdir " + op.path;
  }
  return "?";
}

MemoryFiles::MemoryFiles(Disk disk, std::uint64_t clock) : disk_(std::move(disk)), clock_(clock) {
  disk_[0].directory = true;
  next_node_ = disk_.rbegin()->first + 1;
}

std::optional<std::uint64_t> MemoryFiles::find(const std::string& path) const {
  std::uint64_t at = 0;
  for (const std::string& name : components(path)) {
    const Node& node = disk_.at(at);
    if (!node.directory) return std::nullopt;
    auto it = node.entries.find(name);
    if (it == node.entries.end()) return std::nullopt;
    at = it->second;
  }
  return at;
}

std::optional<std::string> MemoryFiles::content_of(const std::string& path) const {
  auto node = find(path);
  if (!node || disk_.at(*node).directory) return std::nullopt;
  return disk_.at(*node).data;
}

IoResult<MemoryFiles::Place> MemoryFiles::place_of(const std::string& path) const {
  std::vector<std::string> parts = components(path);
  if (parts.empty()) return unexpected(error_of(EINVAL));
  std::uint64_t at = 0;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const Node& node = disk_.at(at);
    auto it = node.entries.find(parts[i]);
    if (it == node.entries.end()) return unexpected(error_of(ENOENT));
    if (!disk_.at(it->second).directory) return unexpected(error_of(ENOTDIR));
    at = it->second;
  }
  return Place{at, parts.back()};
}

bool MemoryFiles::matches_files(std::uint64_t node) const {
  auto it = created_at_.find(node);
  return it != created_at_.end() && role_of(it->second) == mutation_.files;
}

bool MemoryFiles::faulted(OpKind kind, const std::string& path) {
  if (!fault_ || fault_->first != kind || fault_->second != path) return false;
  fault_.reset();
  return true;
}

IoResult<FileKind> MemoryFiles::examine(const std::string& path) {
  log_.push_back({OpKind::Examine, path});
  auto place = place_of(path);
  if (!place) return unexpected(place.error());
  auto node = find(path);
  if (!node) return unexpected(error_of(ENOENT));
  return disk_.at(*node).directory ? FileKind::Directory : FileKind::Regular;
}

IoResult<std::string> MemoryFiles::read_file(const std::string& path) {
  log_.push_back({OpKind::Read, path});
  auto place = place_of(path);
  if (!place) return unexpected(place.error());
  auto node = find(path);
  if (!node) return unexpected(error_of(ENOENT));
  if (disk_.at(*node).directory) return unexpected(IoError::of("not a regular file"));
  return disk_.at(*node).data;
}

IoResult<void> MemoryFiles::make_directories(const std::string& path) {
  const std::vector<std::string> names = components(path);
  std::uint64_t at = 0;
  std::string so_far;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string parent = so_far.empty() ? "/" : so_far;
    so_far += "/" + names[i];
    auto it = disk_.at(at).entries.find(names[i]);
    const bool last = i + 1 == names.size();
    if (it != disk_.at(at).entries.end()) {
      if (!disk_.at(it->second).directory) return unexpected(error_of(ENOTDIR));
      // As lwk::os::make_directories: `path` found there is flushed into
      // its parent all the same; an ancestor found there is not.
      if (last) return flush_into(parent, at, /*made=*/false);
      at = it->second;
      continue;
    }
    const std::uint64_t made = next_node_++;
    disk_[made].directory = true;
    disk_.at(at).entries[names[i]] = made;
    log_.push_back({OpKind::MakeDirectory, so_far, "", at, made});
    if (auto flushed = flush_into(parent, at, /*made=*/true); !flushed) return flushed;
    at = made;
  }
  return lwk::success();
}

IoResult<void> MemoryFiles::flush_into(const std::string& parent, std::uint64_t node, bool made) {
  if (faulted(OpKind::FlushDirectory, parent)) return unexpected(error_of(EIO));
  if (mutation_.directory == parent &&
      (mutation_.kind == Mutation::DropMadeDirectoryFlush ||
       (!made && mutation_.kind == Mutation::DropExistingDirectoryFlush))) {
    return lwk::success();
  }
  log_.push_back({OpKind::FlushDirectory, parent, "", node, node});
  return lwk::success();
}

IoResult<std::unique_ptr<WritableFile>> MemoryFiles::create_new(const std::string& path) {
  auto place = place_of(path);
  if (!place) return unexpected(place.error());
  Node& directory = disk_.at(place->directory);
  if (directory.entries.contains(place->name)) return unexpected(error_of(EEXIST));
  const std::uint64_t made = next_node_++;
  disk_[made] = Node{};
  directory.entries[place->name] = made;
  created_at_[made] = path;
  log_.push_back({OpKind::Create, path, "", place->directory, made});
  return std::unique_ptr<WritableFile>(std::make_unique<MemoryFile>(*this, made));
}

void MemoryFiles::append(std::uint64_t node, std::string_view bytes) {
  disk_.at(node).data += bytes;
  log_.push_back({OpKind::Append, created_at_[node], "", 0, node, std::string(bytes)});
}

void MemoryFiles::flush_file(std::uint64_t node) {
  if (matches_files(node)) {
    if (mutation_.kind == Mutation::DropFileFlush) return;
    if (mutation_.kind == Mutation::FlushFileAfterRename) {
      flush_owed_.push_back(node);
      return;
    }
  }
  log_.push_back({OpKind::FlushFile, created_at_[node], "", 0, node});
}

void MemoryFiles::close(std::uint64_t node) {
  log_.push_back({OpKind::Close, created_at_[node], "", 0, node});
}

IoResult<void> MemoryFiles::rename(const std::string& from, const std::string& to) {
  auto source = place_of(from);
  if (!source) return unexpected(source.error());
  auto destination = place_of(to);
  if (!destination) return unexpected(destination.error());
  // The write path renames only within one directory: its own flush covers it.
  if (source->directory != destination->directory) return unexpected(error_of(EXDEV));
  Node& directory = disk_.at(source->directory);
  auto it = directory.entries.find(source->name);
  if (it == directory.entries.end()) return unexpected(error_of(ENOENT));
  const std::uint64_t moved = it->second;
  if (auto old = directory.entries.find(destination->name);
      old != directory.entries.end() && disk_.at(old->second).directory) {
    return unexpected(error_of(EISDIR));
  }
  const std::string dir_path = from.substr(0, from.find_last_of('/'));
  if (mutation_.kind == Mutation::FlushDirectoryBeforeRename && mutation_.directory == dir_path) {
    log_.push_back({OpKind::FlushDirectory, dir_path, "", source->directory, source->directory});
    skip_directory_flush_ = true;
  }
  directory.entries.erase(it);
  directory.entries[destination->name] = moved;
  log_.push_back({OpKind::Rename, from, to, source->directory, moved});
  if (auto owed = std::find(flush_owed_.begin(), flush_owed_.end(), moved);
      owed != flush_owed_.end()) {
    flush_owed_.erase(owed);
    log_.push_back({OpKind::FlushFile, to, "", 0, moved});
  }
  return lwk::success();
}

IoResult<void> MemoryFiles::sync_directory(const std::string& path) {
  auto node = find(path);
  if (!node || !disk_.at(*node).directory) return unexpected(error_of(ENOENT));
  if (faulted(OpKind::FlushDirectory, path)) return unexpected(error_of(EIO));
  if (path == mutation_.directory) {
    if (mutation_.kind == Mutation::DropDirectoryFlush) return lwk::success();
    if (mutation_.kind == Mutation::FlushDirectoryBeforeRename && skip_directory_flush_) {
      skip_directory_flush_ = false;
      return lwk::success();
    }
  }
  log_.push_back({OpKind::FlushDirectory, path, "", *node, *node});
  return lwk::success();
}

IoResult<void> MemoryFiles::remove_file(const std::string& path) {
  auto place = place_of(path);
  if (!place) return unexpected(place.error());
  Node& directory = disk_.at(place->directory);
  auto it = directory.entries.find(place->name);
  if (it == directory.entries.end()) return unexpected(error_of(ENOENT));
  if (disk_.at(it->second).directory) return unexpected(error_of(EISDIR));
  if (faulted(OpKind::Unlink, path)) return unexpected(error_of(EIO));
  log_.push_back({OpKind::Unlink, path, "", place->directory, it->second});
  directory.entries.erase(it);
  return lwk::success();
}

IoResult<std::vector<std::string>> MemoryFiles::list_directory(const std::string& path) {
  log_.push_back({OpKind::List, path});
  auto node = find(path);
  if (!node) return unexpected(error_of(ENOENT));
  if (!disk_.at(*node).directory) return unexpected(error_of(ENOTDIR));
  std::vector<std::string> names;
  for (const auto& [name, _] : disk_.at(*node).entries) names.push_back(name);
  if (reversed_listing_) std::reverse(names.begin(), names.end());
  return names;
}

IoResult<void> MemoryFiles::remove_directory(const std::string& path) {
  auto place = place_of(path);
  if (!place) return unexpected(place.error());
  Node& directory = disk_.at(place->directory);
  auto it = directory.entries.find(place->name);
  if (it == directory.entries.end()) return unexpected(error_of(ENOENT));
  if (!disk_.at(it->second).directory) return unexpected(error_of(ENOTDIR));
  if (!disk_.at(it->second).entries.empty()) return unexpected(error_of(ENOTEMPTY));
  if (faulted(OpKind::RemoveDirectory, path)) return unexpected(error_of(EIO));
  log_.push_back({OpKind::RemoveDirectory, path, "", place->directory, it->second});
  directory.entries.erase(it);
  return lwk::success();
}

std::uint64_t MemoryFiles::now_nanoseconds() { return clock_ += 1'000'000; }

IoResult<void> MemoryPlatform::restore_permissions(const std::string& temporary,
                                                   const std::string&) {
  if (!files_.find(temporary)) return unexpected(error_of(ENOENT));
  files_.record({OpKind::Permissions, temporary});
  return lwk::success();
}

Disk disk_with(const std::vector<std::string>& directories,
               const std::vector<std::pair<std::string, std::string>>& files) {
  MemoryFiles made(Disk{});
  for (const std::string& directory : directories) (void)made.make_directories(directory);
  for (const auto& [path, content] : files) {
    auto file = made.create_new(path);
    if (file) (void)(*file)->append(content);
  }
  return made.disk();
}

}  // namespace lwk_test::crash
