// The operations of the file-changing path that depend on the operating
// system, for the service running as root. File operations are POSIX and
// serve macOS and Linux alike; the full flush and the table of cache
// commands differ per platform, each in a file of its own.
#ifndef LWK_PRIVSEP_MAC_PLATFORM_H_
#define LWK_PRIVSEP_MAC_PLATFORM_H_

#include <string>
#include <vector>

#include "helper_core/platform.h"

namespace hosts_privsep_macos::platform {

using hosts_helper_core::write::FileKind;
using hosts_helper_core::write::IoResult;
using hosts_helper_core::write::WritableFile;

// One program that drops a name cache: an absolute path and its arguments.
struct CacheCommand {
  std::string program;
  std::vector<std::string> arguments;
};

// This platform's cache commands, in the order they run. On macOS
// "/usr/bin/dscacheutil -flushcache" and "/usr/bin/killall -HUP mDNSResponder";
// on Linux "/usr/bin/resolvectl flush-caches" and "/usr/sbin/nscd -i hosts".
std::vector<CacheCommand> system_cache_commands();

class MacPlatform final : public hosts_helper_core::write::Platform {
 public:
  // `privileged`: restore_permissions also makes root the owner and group.
  explicit MacPlatform(bool privileged,
                       std::vector<CacheCommand> cache_commands = system_cache_commands());

  // Mode 0644, then (when privileged) owner and group 0. The target's own
  // owner and mode are not consulted.
  IoResult<void> restore_permissions(const std::string& temporary,
                                     const std::string& target) override;
  // rename(2): atomic when both lie in one directory.
  IoResult<void> replace(const std::string& temporary, const std::string& target) override;
  // Always succeeds: the symbolic-link refusal in write() is the only
  // redirection check here.
  IoResult<void> reject_if_redirected(const std::string& target) override;
  // Runs each cache command in order, by absolute path with exactly its
  // arguments, no shell, standard input from the null device, output captured
  // and discarded. A missing program drops nothing and the next one runs; any
  // other failure to start or wait stops at once with "PROGRAM: ERROR".
  // Returns whether at least one command exited with status 0.
  lwk::Result<bool, std::string> flush_name_cache() override;

  IoResult<FileKind> examine(const std::string& path) override;
  IoResult<std::string> read_file(const std::string& path) override;
  IoResult<bool> holds_exactly(const std::string& path, std::string_view content) override;
  IoResult<void> make_directories(const std::string& path) override;
  IoResult<std::unique_ptr<WritableFile>> create_file(const std::string& path) override;
  IoResult<void> rename(const std::string& from, const std::string& to) override;
  IoResult<void> sync_directory(const std::string& path) override;
  IoResult<void> remove_file(const std::string& path) override;
  IoResult<std::vector<std::string>> list_directory(const std::string& path) override;
  IoResult<void> remove_tree(const std::string& path) override;

 private:
  bool privileged_;
  std::vector<CacheCommand> cache_commands_;
};

}  // namespace hosts_privsep_macos::platform

#endif  // LWK_PRIVSEP_MAC_PLATFORM_H_
