// One request to the helper and its response, as the client's core gives
// them to its callers: the response decoded, or the status and sentence of
// why there is none; and responses and issues as JSON text.
#ifndef LWK_TOOLS_LANTERN_WHARF_HELPER_REQUESTS_H_
#define LWK_TOOLS_LANTERN_WHARF_HELPER_REQUESTS_H_

#include <string>
#include <vector>

#include "base/result.h"
#include "ipc/wire.h"

namespace lantern_wharf::helper_requests {

// Why a request got no response: the status it calls for (one of the LW_
// statuses of lantern_wharf.h) and a sentence.
struct Failure {
  int status;
  std::string sentence;
};

// Encodes `request`, sends it to the helper and decodes the answer. Fails
// with LW_BAD_INPUT for a request over the helper's limit (nothing is sent),
// LW_UNREACHABLE when the helper cannot be reached or did not answer,
// LW_NOT_SERVED when it refused to serve this program ("the helper refused
// to serve this program"), LW_NOT_NOW when it could not decide now whether to
// serve it, and LW_ISSUES when its answer is no response.
lwk::Result<hosts_ipc::Response, Failure> ask(const hosts_ipc::Request& request);

// LW_OK for done and unchanged, LW_ISSUES for issues and not understood.
int status_of(const hosts_ipc::Response& response);

// {"response": "done"}, {"response": "unchanged"},
// {"response": "not understood"} or issues_json of the issues.
std::string to_json(const hosts_ipc::Response& response);

// {"issues": [{"set": S, "line": L, "message": M}, ...]}.
std::string issues_json(const std::vector<hosts_ipc::Issue>& issues);

// One sentence for a response that is no success: the first issue as
// "set S, line L: MESSAGE", with how many more there are; or "the helper did
// not understand the request". "" for done and unchanged.
std::string summary(const hosts_ipc::Response& response);

}  // namespace lantern_wharf::helper_requests

#endif  // LWK_TOOLS_LANTERN_WHARF_HELPER_REQUESTS_H_
