// What an apply would write, shown before anything is sent: the helper's own
// steps from the sets to the new file, run on the file as the client reads
// it. The command's preview and --diff and the C interface all come here.
#ifndef LWK_TOOLS_LANTERN_WHARF_PREVIEW_H_
#define LWK_TOOLS_LANTERN_WHARF_PREVIEW_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "ipc/wire.h"

namespace lantern_wharf::preview {

// The largest hosts file a preview reads.
inline constexpr std::size_t HOSTS_FILE_LIMIT = 16u << 20;

// The file before an apply and after it.
struct Change {
  std::string before;
  std::string after;
};

// Why there is no preview.
struct Failure {
  // When the file is none the client reads (a FIFO, a directory, one over
  // the bound), an input error: "PATH: REASON", and no issues.
  std::string refusal;
  // Past the check, the one issue is the file's (it cannot be read or its
  // block is broken), and its sentence stands alone.
  bool file_fault = false;
  // The check's issues, or the one issue of the request as a whole.
  std::vector<hosts_ipc::Issue> issues;
};

// The file at `path` now and what applying `sets` would make of it.
lwk::Result<Change, Failure> of_file(const std::vector<hosts_ipc::WireSet>& sets,
                                     const std::string& path);

// What applying `sets` would make of the file whose bytes are `current`.
lwk::Result<std::string, std::vector<hosts_ipc::Issue>> after(
    const std::vector<hosts_ipc::WireSet>& sets, std::string_view current);

}  // namespace lantern_wharf::preview

#endif  // LWK_TOOLS_LANTERN_WHARF_PREVIEW_H_
