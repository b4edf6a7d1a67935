#include "preview.h"

#include "check/check.h"
#include "check/pipeline.h"
#include "input_file.h"

namespace lantern_wharf::preview {

lwk::Result<Change, Failure> of_file(const std::vector<hosts_ipc::WireSet>& sets,
                                     const std::string& path) {
  Change change;
  bool file_read = false;
  std::string refusal;
  auto content = hosts_helper_core::pipeline::new_content(
      sets, hosts_helper_core::check::Limits::service(),
      [&]() -> lwk::Result<std::string, std::string> {
        file_read = true;
        auto bytes = input_file::read(path, HOSTS_FILE_LIMIT);
        if (!bytes) {
          if (bytes.error().refused) refusal = path + ": " + bytes.error().message;
          return lwk::unexpected(bytes.error().message);
        }
        change.before = *bytes;
        return std::move(*bytes);
      });
  if (!content) {
    if (!refusal.empty()) return lwk::unexpected(Failure{std::move(refusal), false, {}});
    return lwk::unexpected(Failure{{}, file_read, content.error()});
  }
  change.after = std::move(*content);
  return change;
}

lwk::Result<std::string, std::vector<hosts_ipc::Issue>> after(
    const std::vector<hosts_ipc::WireSet>& sets, std::string_view current) {
  return hosts_helper_core::pipeline::new_content(
      sets, hosts_helper_core::check::Limits::service(),
      [&]() -> lwk::Result<std::string, std::string> { return std::string(current); });
}

}  // namespace lantern_wharf::preview
