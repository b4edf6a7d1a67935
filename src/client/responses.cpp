#include "client/responses.h"

#include <nlohmann/json.hpp>

namespace lantern_wharf::responses {
namespace {

std::string dumped(nlohmann::ordered_json object, const std::vector<std::string>& notes) {
  if (!notes.empty()) object["notes"] = notes;
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace

std::optional<std::string_view> word_of(const hosts_ipc::Response& response) {
  using Word = std::optional<std::string_view>;
  return std::visit(hosts_ipc::Overloaded{
                        [](const hosts_ipc::Done&) -> Word { return "done"; },
                        [](const hosts_ipc::Unchanged&) -> Word { return "unchanged"; },
                        [](const hosts_ipc::Issues&) -> Word { return std::nullopt; },
                        [](const hosts_ipc::NotUnderstood&) -> Word { return "not understood"; },
                    },
                    response);
}

std::string to_json(const hosts_ipc::Response& response, const std::vector<std::string>& notes) {
  if (const auto word = word_of(response)) return dumped({{"response", *word}}, notes);
  return issues_json(std::get<hosts_ipc::Issues>(response).issues, notes);
}

std::string issues_json(const std::vector<hosts_ipc::Issue>& issues,
                        const std::vector<std::string>& notes, const char* key) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const hosts_ipc::Issue& issue : issues) {
    list.push_back({{"set", issue.set}, {"line", issue.line}, {"message", issue.message}});
  }
  return dumped({{key, list}}, notes);
}

std::string summary(const std::vector<hosts_ipc::Issue>& issues) {
  if (issues.empty()) return "the helper found issues";
  const hosts_ipc::Issue& first = issues.front();
  std::string out = "set " + std::to_string(first.set) + ", line " + std::to_string(first.line) +
                    ": " + first.message;
  const std::size_t more = issues.size() - 1;
  if (more == 1) out += " (and 1 more issue)";
  if (more > 1) out += " (and " + std::to_string(more) + " more issues)";
  return out;
}

std::string summary(const hosts_ipc::Response& response) {
  return std::visit(hosts_ipc::Overloaded{
                        [](const hosts_ipc::Done&) { return std::string(); },
                        [](const hosts_ipc::Unchanged&) { return std::string(); },
                        [](const hosts_ipc::Issues& issues) { return summary(issues.issues); },
                        [](const hosts_ipc::NotUnderstood&) {
                          return std::string("the helper did not understand the request");
                        },
                    },
                    response);
}

}  // namespace lantern_wharf::responses
