#include "outcome.h"

#include "client/responses.h"

namespace lantern_wharf::desktop {
namespace {

QString text(const std::string& s) { return QString::fromStdString(s); }

// What a done or unchanged answer means for what was asked.
QString meaning(Asked asked, bool done) {
  switch (asked) {
    case Asked::Apply:
      return done ? QStringLiteral("the helper wrote the sets into /etc/hosts")
                  : QStringLiteral("/etc/hosts already held these sets");
    case Asked::Flush: return QStringLiteral("the name caches were flushed");
    case Asked::RemoveEverything:
      return done ? QStringLiteral(
                        "/etc/hosts is as it was before the helper's first change, and the "
                        "helper keeps nothing")
                  : QStringLiteral("the helper had nothing to remove");
  }
  return {};
}

// What the helper refused, when it answered with issues.
QString refused(Asked asked) {
  switch (asked) {
    case Asked::Apply: return QStringLiteral("the helper refused the sets");
    case Asked::Flush: return QStringLiteral("the helper refused to flush the name caches");
    case Asked::RemoveEverything: return QStringLiteral("the helper refused to remove everything");
  }
  return {};
}

}  // namespace

std::optional<Told> told_notes(const std::vector<std::string>& notes) {
  if (notes.empty()) return std::nullopt;
  QStringList said;
  for (const std::string& note : notes) said << text(note);
  return Told{Tone::Neutral, said.join(QStringLiteral("; ")), {}};
}

QString issue_text(const hosts_ipc::Issue& issue, const manager::Sets& sets) {
  if ((issue.set == 0 && issue.line == 0) || issue.set >= sets.size()) {
    return text(issue.message);
  }
  QString out = QStringLiteral("set \"%1\"").arg(text(sets[issue.set].name));
  if (issue.line != 0) out += QStringLiteral(", line %1").arg(issue.line);
  return out + QStringLiteral(": ") + text(issue.message);
}

Told told_failure(const manager::Failure& failure, const manager::Sets& sets) {
  Told told{Tone::Bad, text(failure.sentence), {}};
  switch (failure.kind) {
    case manager::Failure::Kind::Refused:
    case manager::Failure::Kind::BadInput:
    case manager::Failure::Kind::NotServed:
    case manager::Failure::Kind::Unreachable: break;
    case manager::Failure::Kind::NotNow: told.tone = Tone::Warning; break;
  }
  for (const hosts_ipc::Issue& issue : failure.issues) told.details << issue_text(issue, sets);
  return told;
}

Told told_answer(const Answer& answer) {
  if (!answer.response) {
    return {Tone::Warning,
            QStringLiteral("nothing was sent: /etc/hosts changed after its diff was shown; it was "
                           "read again, and the edits not yet applied are kept"),
            {}};
  }
  if (!*answer.response) return told_failure(answer.response->error(), answer.sent);
  const hosts_ipc::Response& response = **answer.response;
  // "done" and "unchanged" are the words the command prints, said with what
  // they mean for what was asked.
  const auto worded = [&](bool done) {
    return Told{Tone::Good,
                text(std::string(responses::word_of(response).value_or(""))) +
                    QStringLiteral(": ") + meaning(answer.asked, done),
                {}};
  };
  return std::visit(hosts_ipc::Overloaded{
                        [&](const hosts_ipc::Done&) { return worded(true); },
                        [&](const hosts_ipc::Unchanged&) { return worded(false); },
                        [&](const hosts_ipc::Issues& issues) {
                          Told told{Tone::Bad, refused(answer.asked), {}};
                          for (const hosts_ipc::Issue& issue : issues.issues) {
                            told.details << issue_text(issue, answer.sent);
                          }
                          return told;
                        },
                        [&](const hosts_ipc::NotUnderstood&) {
                          return Told{Tone::Bad, text(responses::summary(response)), {}};
                        },
                    },
                    response);
}

}  // namespace lantern_wharf::desktop
