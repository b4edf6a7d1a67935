#include "output.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "client/responses.h"
#include "client/statuses.h"
#include "hosts_core/quoted.h"
#include "os/files.h"

namespace lantern_wharf::command {
namespace {

// What one run of the command has shown so far.
struct Session {
  bool json = false;
  bool color_out = false;  // standard output is coloured
  bool color_err = false;  // standard error is coloured
  bool printed = false;    // the JSON object has been printed
  std::string last_said;
  std::vector<std::string> notes;
  std::string out;  // standard output, written by finish()
};

Session& session() {
  static Session the_session;
  return the_session;
}

constexpr std::string_view kRed = "\x1b[31m";
constexpr std::string_view kGreen = "\x1b[32m";
constexpr std::string_view kCyan = "\x1b[36m";
constexpr std::string_view kBold = "\x1b[1m";
constexpr std::string_view kReset = "\x1b[m";

// Whether to colour the stream `fd`: a terminal that is not "dumb", unless
// NO_COLOR holds anything (auto); or as --color says.
bool colors(Color color, int fd) {
  switch (color) {
    case Color::Always: return true;
    case Color::Never: return false;
    case Color::Auto: break;
  }
  const char* no_color = std::getenv("NO_COLOR");
  const char* term = std::getenv("TERM");
  return ::isatty(fd) == 1 && (no_color == nullptr || *no_color == '\0') &&
         (term == nullptr || std::string_view(term) != "dumb");
}

// `text` in `color` when `on`.
std::string painted(std::string_view text, std::string_view color, bool on) {
  if (!on) return std::string(text);
  return std::string(color) + std::string(text) + std::string(kReset);
}

// Prints the text of a JSON object as the command's one object.
void print_json_text(std::string_view text) {
  Session& s = session();
  if (s.printed) lwk::fatal("a command printed a second JSON object");
  s.printed = true;
  s.out += text;
  s.out += '\n';
}

}  // namespace

void begin(bool json) { session().json = json; }

void use_color(Color color) {
  session().color_out = colors(color, STDOUT_FILENO);
  session().color_err = colors(color, STDERR_FILENO);
}

void say(std::string_view sentence) {
  session().last_said = std::string(sentence);
  std::cerr << "lantern-wharf: " << hosts_core::quoted::controls_escaped(sentence) << "\n";
}

void note(std::string_view sentence) {
  if (session().json) {
    session().notes.emplace_back(sentence);
  } else {
    std::cerr << "lantern-wharf: " << hosts_core::quoted::controls_escaped(sentence) << "\n";
  }
}

int failed(const manager::Failure& failure) {
  say(failure.sentence);
  return status_of(failure.kind);
}

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

void show_issues(const std::vector<hosts_ipc::Issue>& issues, NamedSets named) {
  if (session().json) {
    print_json_text(responses::issues_json(issues, session().notes));
    return;
  }
  for (const hosts_ipc::Issue& issue : issues) {
    std::string line = hosts_core::quoted::controls_escaped(issue_line(issue, named));
    // The place the issue is about stands out.
    const std::size_t colon = line.find(": ");
    if (session().color_err && colon != std::string::npos) {
      line = painted(line.substr(0, colon), kRed, true) + line.substr(colon);
    }
    std::cerr << line << "\n";
  }
}

void show_refused(const manager::Failure& failure, NamedSets named) {
  if (!failure.issues.empty()) {
    show_issues(failure.issues, named);
  } else if (session().json) {
    show_issues({hosts_ipc::request_issue(failure.sentence)});
  } else {
    std::cerr << hosts_core::quoted::controls_escaped(failure.sentence) << "\n";
  }
}

int report(const hosts_ipc::Response& response, NamedSets named) {
  if (session().json) {
    print_json_text(responses::to_json(response, session().notes));
  } else if (const auto* issues = std::get_if<hosts_ipc::Issues>(&response)) {
    show_issues(issues->issues, named);
  } else {
    session().out += std::string(responses::word_of(response).value_or("")) + "\n";
  }
  return status_of(response);
}

void print_json(nlohmann::ordered_json object) {
  if (!session().notes.empty()) object["notes"] = session().notes;
  print_json_text(object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

void print_fields(const std::vector<std::string>& fields) {
  std::string& out = session().out;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += '\t';
    out += hosts_core::quoted::controls_escaped(fields[i]);
  }
  out += '\n';
}

void write_data(std::string_view bytes) {
  if (::isatty(STDOUT_FILENO) == 1) {
    session().out += hosts_core::quoted::controls_escaped(bytes, "\t\n");
  } else {
    session().out += bytes;
  }
}

void write_diff(std::string_view diff) {
  const bool on = session().color_out;
  if (!on) return write_data(diff);
  const std::string shown = hosts_core::quoted::controls_escaped(diff, "\t\n");
  std::string_view rest = shown;
  for (int header = 2; !rest.empty(); --header) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    std::string_view color;
    if (header > 0) {
      color = kBold;  // the "---" and "+++" lines
    } else if (line.starts_with("@@")) {
      color = kCyan;
    } else if (line.starts_with("-")) {
      color = kRed;
    } else if (line.starts_with("+")) {
      color = kGreen;
    }
    session().out += color.empty() ? std::string(line) : painted(line, color, true);
    session().out += '\n';
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
}

void write_octets(std::string_view bytes) { session().out += bytes; }

int finish(int status) {
  Session& s = session();
  if (s.json && !s.printed) print_json({{"error", s.last_said}});
  auto written = lwk::os::write_all(STDOUT_FILENO, s.out);
  s.out.clear();
  if (written) return status;
  std::cerr << "lantern-wharf: writing standard output: " << written.error().message << "\n";
  return status == kSuccess ? kRefused : status;
}

}  // namespace lantern_wharf::command
