#include "helper_requests.h"

#include <nlohmann/json.hpp>

#include "helper_link.h"
#include "lantern_wharf.h"

namespace lantern_wharf::helper_requests {
namespace {

lwk::Unexpected<Failure> failure(int status, std::string sentence) {
  return lwk::unexpected(Failure{status, std::move(sentence)});
}

// Invalid UTF-8 cannot reach here (the helper's sentences quote what they
// show), but if it did it is replaced rather than ending the process.
std::string dumped(const nlohmann::ordered_json& object) {
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace

lwk::Result<hosts_ipc::Response, Failure> ask(const hosts_ipc::Request& request) {
  const std::string bytes = hosts_ipc::encode_request(request);
  if (bytes.size() > request_limit()) {
    return failure(LW_BAD_INPUT, "the request is " + std::to_string(bytes.size()) +
                                     " octets, and a message to the helper carries at most " +
                                     std::to_string(request_limit()));
  }
  auto reply = exchange(bytes);
  if (!reply) return failure(LW_UNREACHABLE, reply.error());
  switch (reply->kind) {
    case Reply::Kind::NotServed: return failure(LW_NOT_SERVED, not_served());
    case Reply::Kind::NotNow: return failure(LW_NOT_NOW, not_now());
    case Reply::Kind::Response: break;
  }
  auto response = hosts_ipc::decode_response(reply->response);
  if (!response) {
    return failure(LW_ISSUES,
                   "the helper's answer is no response: " + hosts_ipc::describe(response.error()));
  }
  return std::move(*response);
}

int status_of(const hosts_ipc::Response& response) {
  return std::visit(hosts_ipc::Overloaded{
                        [](const hosts_ipc::Done&) { return LW_OK; },
                        [](const hosts_ipc::Unchanged&) { return LW_OK; },
                        [](const hosts_ipc::Issues&) { return LW_ISSUES; },
                        [](const hosts_ipc::NotUnderstood&) { return LW_ISSUES; },
                    },
                    response);
}

std::string to_json(const hosts_ipc::Response& response) {
  const auto word = [](const char* said) { return dumped({{"response", said}}); };
  return std::visit(hosts_ipc::Overloaded{
                        [&](const hosts_ipc::Done&) { return word("done"); },
                        [&](const hosts_ipc::Unchanged&) { return word("unchanged"); },
                        [&](const hosts_ipc::Issues& issues) { return issues_json(issues.issues); },
                        [&](const hosts_ipc::NotUnderstood&) { return word("not understood"); },
                    },
                    response);
}

std::string issues_json(const std::vector<hosts_ipc::Issue>& issues) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const hosts_ipc::Issue& issue : issues) {
    list.push_back({{"set", issue.set}, {"line", issue.line}, {"message", issue.message}});
  }
  return dumped({{"issues", list}});
}

std::string summary(const hosts_ipc::Response& response) {
  return std::visit(hosts_ipc::Overloaded{
                        [](const hosts_ipc::Done&) { return std::string(); },
                        [](const hosts_ipc::Unchanged&) { return std::string(); },
                        [](const hosts_ipc::Issues& issues) {
                          if (issues.issues.empty()) return std::string("the helper found issues");
                          const hosts_ipc::Issue& first = issues.issues.front();
                          std::string out = "set " + std::to_string(first.set) + ", line " +
                                            std::to_string(first.line) + ": " + first.message;
                          const std::size_t more = issues.issues.size() - 1;
                          if (more == 1) out += " (and 1 more issue)";
                          if (more > 1) out += " (and " + std::to_string(more) + " more issues)";
                          return out;
                        },
                        [](const hosts_ipc::NotUnderstood&) {
                          return std::string("the helper did not understand the request");
                        },
                    },
                    response);
}

}  // namespace lantern_wharf::helper_requests
