// The operations of the file-changing path that need root, for the service,
// on the system it runs on: macOS (MacPlatform, mac_platform_macos.h) and
// Linux (LinuxPlatform, linux_platform_linux.h) alike, but for the table of
// cache commands and their bounds, each platform's in a file of its own. The
// file system goes through PosixFiles.
#ifndef LWK_PRIVSEP_SYSTEM_PLATFORM_H_
#define LWK_PRIVSEP_SYSTEM_PLATFORM_H_

#include <chrono>
#include <string>
#include <vector>

#include "helper_core/platform.h"
#include "privsep/posix_files.h"

namespace hosts_privsep::platform {

// One program that drops a name cache: an absolute path and its arguments.
struct CacheCommand {
  std::string program;
  std::vector<std::string> arguments;
};

// This platform's cache commands, in the order they run. On macOS
// "/usr/bin/dscacheutil -flushcache" and "/usr/bin/killall -HUP mDNSResponder";
// on Linux "/usr/bin/resolvectl flush-caches" and "/usr/sbin/nscd -i hosts".
std::vector<CacheCommand> system_cache_commands();

// How long one cache command may run before it is ended and counted as failed.
inline constexpr std::chrono::seconds COMMAND_LIMIT{10};

class SystemPlatform final : public hosts_helper_core::write::Platform {
 public:
  // `privileged`: restore_permissions also makes root the owner and group.
  explicit SystemPlatform(bool privileged,
                          std::vector<CacheCommand> cache_commands = system_cache_commands(),
                          std::chrono::seconds command_limit = COMMAND_LIMIT);

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
  // and discarded, in a process group of its own. A command starts with the
  // environment "PATH=/usr/sbin:/usr/bin:/sbin:/bin" and "LANG=C.UTF-8" and
  // nothing else, and with descriptors 0, 1 and 2 only. A missing program
  // drops nothing and the next one runs; any other failure to start or wait
  // stops at once with "PROGRAM: ERROR". The wait is for the command itself,
  // not for the end of its output, and lasts at most the command limit: past
  // it the group is ended and the flush stops with "PROGRAM: did not finish
  // within N s". Whatever a command started is ended with it, on Linux even
  // a process that left its group and session. Returns whether at least one
  // command exited with status 0.
  lwk::Result<bool, std::string> flush_name_cache() override;

  hosts_helper_core::write::Files& files() override { return files_; }

 private:
  bool privileged_;
  std::vector<CacheCommand> cache_commands_;
  std::chrono::seconds command_limit_;
  PosixFiles files_;
};

}  // namespace hosts_privsep::platform

#endif  // LWK_PRIVSEP_SYSTEM_PLATFORM_H_
