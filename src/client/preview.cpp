// What an apply would write, shown before anything is sent: the helper's own
// steps from the sets to the new file (check::pipeline), run on the file as
// the client reads it.
#include <optional>
#include <utility>

#include "check/check.h"
#include "check/pipeline.h"
#include "client/failures.h"
#include "client/input_file.h"
#include "client/manager.h"
#include "client/responses.h"

namespace lantern_wharf::manager {
namespace {

// The failure of a preview whose sets passed the check: the one issue of the
// file, whose sentence stands alone.
Failure of_file(std::vector<hosts_ipc::Issue> issue) {
  return Failure{Failure::Kind::Refused, std::move(issue.front().message), {}};
}

// The failure of sets the check refused: its issues, summed up.
Failure of_check(std::vector<hosts_ipc::Issue> issues) {
  std::string sentence = responses::summary(issues);
  return Failure{Failure::Kind::Refused, std::move(sentence), std::move(issues)};
}

// The new content for an apply of `sets` with the file `read` gives: the
// pipeline's issues are the check's until the file has been asked for, and
// the file's after.
lwk::Result<std::string, Failure> new_content(
    const Sets& sets, const hosts_helper_core::pipeline::ReadCurrent& read) {
  bool file_read = false;
  auto content = hosts_helper_core::pipeline::new_content(
      to_wire(sets), hosts_helper_core::check::Limits::service(), [&] {
        file_read = true;
        return read();
      });
  if (content) return std::move(*content);
  return lwk::unexpected(file_read ? of_file(std::move(content).error())
                                   : of_check(std::move(content).error()));
}

}  // namespace

lwk::Result<std::string, Failure> preview(const Sets& sets, std::string_view current) {
  return new_content(
      sets, [&]() -> lwk::Result<std::string, std::string> { return std::string(current); });
}

lwk::Result<Change, Failure> preview_file(const Sets& sets, const std::string& path) {
  Change change;
  std::optional<input_file::NotRead> unread;
  auto content = new_content(sets, [&]() -> lwk::Result<std::string, std::string> {
    auto bytes = input_file::read(path, FILE_LIMIT);
    if (!bytes) {
      unread = bytes.error();
      return lwk::unexpected(bytes.error().message);
    }
    change.before = *bytes;
    return std::move(*bytes);
  });
  // The file is named, as the helper's own sentence for its file does not.
  if (unread && unread->refused) return bad_input(path + ": " + unread->message);
  if (unread) return refused("reading " + path + ": " + unread->message);
  if (!content) return lwk::unexpected(std::move(content).error());
  change.after = std::move(*content);
  return change;
}

}  // namespace lantern_wharf::manager
