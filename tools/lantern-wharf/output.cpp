#include "output.h"

#include <unistd.h>

#include <iostream>

#include "client/responses.h"
#include "client/statuses.h"
#include "os/files.h"

namespace lantern_wharf::command {
namespace {

// One issue as show_issues() tells it.
std::string issue_line(const hosts_ipc::Issue& issue, NamedSets named) {
  if (named == nullptr || issue.set >= named->size()) {
    return "set " + std::to_string(issue.set) + ", line " + std::to_string(issue.line) + ": " +
           issue.message;
  }
  if (issue.line == 0 && issue.set == 0) return issue.message;
  std::string out = "set \"" + (*named)[issue.set].name + "\"";
  if (issue.line != 0) out += ", line " + std::to_string(issue.line);
  return out + ": " + issue.message;
}

}  // namespace

void say(std::string_view sentence) { std::cerr << "lantern-wharf: " << sentence << "\n"; }

int failed(const manager::Failure& failure) {
  say(failure.sentence);
  return status_of(failure.kind);
}

void show_issues(const std::vector<hosts_ipc::Issue>& issues, bool json, NamedSets named) {
  if (json) {
    std::cout << responses::issues_json(issues) << "\n";
    return;
  }
  for (const hosts_ipc::Issue& issue : issues) std::cerr << issue_line(issue, named) << "\n";
}

void show_refused(const manager::Failure& failure, bool json, NamedSets named) {
  if (!failure.issues.empty()) {
    show_issues(failure.issues, json, named);
  } else if (json) {
    show_issues({hosts_ipc::request_issue(failure.sentence)}, json);
  } else {
    std::cerr << failure.sentence << "\n";
  }
}

int report(const hosts_ipc::Response& response, bool json, std::ostream& issues_to,
           NamedSets named) {
  if (json) {
    std::cout << responses::to_json(response) << "\n";
  } else if (const auto* issues = std::get_if<hosts_ipc::Issues>(&response)) {
    for (const hosts_ipc::Issue& issue : issues->issues) {
      issues_to << issue_line(issue, named) << "\n";
    }
  } else {
    std::cout << responses::word_of(response).value_or("") << "\n";
  }
  return status_of(response);
}

void print_json(const nlohmann::ordered_json& object) {
  std::cout << object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
            << "\n";
}

bool write_out(std::string_view bytes) {
  return lwk::os::write_all(STDOUT_FILENO, bytes).has_value();
}

}  // namespace lantern_wharf::command
