// What the window says of an outcome: the helper's answer, or why there is
// none, in words; the helper's and the layer's sentences as they are.
#ifndef LWK_APPS_DESKTOP_OUTCOME_H_
#define LWK_APPS_DESKTOP_OUTCOME_H_

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "client/manager.h"
#include "ipc/wire.h"
#include "readings.h"
#include "tones.h"

namespace lantern_wharf::desktop {

struct Told {
  Tone tone = Tone::Neutral;
  QString sentence;
  QStringList details;  // the issues behind it, one each
};

// The layer's notes on a change, joined in one sentence; none without notes.
std::optional<Told> told_notes(const std::vector<std::string>& notes);

// One issue, its set named as the person knows it: "set "NAME", line L:
// MESSAGE", "set "NAME": MESSAGE" for a set as a whole, and the message alone
// for the request as a whole. Lines are numbered as the helper numbers them.
QString issue_text(const hosts_ipc::Issue& issue, const manager::Sets& sets);

// A failure of the layer: its sentence, and its issues named in `sets`.
Told told_failure(const manager::Failure& failure, const manager::Sets& sets);

// The helper's answer: "done: ...", "unchanged: ...", the issues, or the
// failure's own sentence (not served, unreachable, ask again in a moment).
Told told_answer(const Answer& answer);

}  // namespace lantern_wharf::desktop

#endif  // LWK_APPS_DESKTOP_OUTCOME_H_
