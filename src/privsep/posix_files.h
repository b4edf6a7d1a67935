// The file-system primitives of changing the file, on POSIX: macOS and Linux
// alike. The one call whose strength differs, the full flush, comes from the
// platform's own file (os/full_flush_*.cpp).
#ifndef LWK_PRIVSEP_POSIX_FILES_H_
#define LWK_PRIVSEP_POSIX_FILES_H_

#include <memory>
#include <string>
#include <vector>

#include "helper_core/platform.h"

namespace hosts_privsep::platform {

using hosts_helper_core::write::FileKind;
using hosts_helper_core::write::IoResult;
using hosts_helper_core::write::WritableFile;

class PosixFiles final : public hosts_helper_core::write::Files {
 public:
  IoResult<FileKind> examine(const std::string& path) override;
  IoResult<std::string> read_file(const std::string& path) override;
  IoResult<void> make_directories(const std::string& path) override;
  // open(2) with O_CREAT | O_EXCL | O_NOFOLLOW.
  IoResult<std::unique_ptr<WritableFile>> create_new(const std::string& path) override;
  IoResult<void> rename(const std::string& from, const std::string& to) override;
  // The full flush on the directory; a file system that flushes no
  // directories (EINVAL, ENOTSUP) has nothing more to do.
  IoResult<void> sync_directory(const std::string& path) override;
  IoResult<void> remove_file(const std::string& path) override;
  IoResult<std::vector<std::string>> list_directory(const std::string& path) override;
  IoResult<void> remove_directory(const std::string& path) override;
  std::uint64_t now_nanoseconds() override;
};

}  // namespace hosts_privsep::platform

#endif  // LWK_PRIVSEP_POSIX_FILES_H_
