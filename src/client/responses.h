// How the helper's responses and the check's issues are told: the words and
// JSON text that the command prints and the C interface hands out, and one
// sentence summing up a response that is no success.
#ifndef LWK_CLIENT_RESPONSES_H_
#define LWK_CLIENT_RESPONSES_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ipc/wire.h"

namespace lantern_wharf::responses {

// "done", "unchanged" or "not understood"; nothing for issues, which are
// told one by one.
std::optional<std::string_view> word_of(const hosts_ipc::Response& response);

// {"response": WORD}, or issues_json() of the issues; with `notes`, a member
// "notes": [SENTENCE, ...] after it.
std::string to_json(const hosts_ipc::Response& response,
                    const std::vector<std::string>& notes = {});

// {"issues": [{"set": S, "line": L, "message": M}, ...]}, with `notes` as
// to_json() adds them. Text that is not UTF-8 (which no issue holds) would
// be replaced, not end the process. `key` names the list: "notes" gives the
// notes of the client's own, which have the issues' shape.
std::string issues_json(const std::vector<hosts_ipc::Issue>& issues,
                        const std::vector<std::string>& notes = {}, const char* key = "issues");

// The first issue as "set S, line L: MESSAGE", with how many more there are:
// " (and 1 more issue)", " (and N more issues)".
std::string summary(const std::vector<hosts_ipc::Issue>& issues);

// summary() of the issues, "the helper did not understand the request", or
// "" for done and unchanged.
std::string summary(const hosts_ipc::Response& response);

}  // namespace lantern_wharf::responses

#endif  // LWK_CLIENT_RESPONSES_H_
