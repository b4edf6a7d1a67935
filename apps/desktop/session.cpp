#include "session.h"

#include <QFileInfo>

namespace lantern_wharf::desktop {
namespace {

// How long a change to the file settles before it is read: the helper's
// rename and an editor's save each come as a few events.
constexpr int kSettleMs = 100;
// How long a request waits before the window says it is waiting: polkit's
// prompt, not the helper's work, takes that long.
constexpr int kLongWaitMs = 700;

QStringList listed(const std::vector<std::string>& sentences) {
  QStringList out;
  for (const std::string& s : sentences) out << QString::fromStdString(s);
  return out;
}

}  // namespace

Session::Session(Places places, QObject* parent) : QObject(parent), worker_(std::move(places)) {
  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMs);
  long_wait_.setSingleShot(true);
  long_wait_.setInterval(kLongWaitMs);
  connect(&watcher_, &QFileSystemWatcher::fileChanged, &settle_, qOverload<>(&QTimer::start));
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, &settle_, qOverload<>(&QTimer::start));
  connect(&settle_, &QTimer::timeout, this, &Session::read_again);
  connect(&long_wait_, &QTimer::timeout, this, &Session::waiting_long);
  connect(&worker_, &Worker::read_done, this, &Session::on_read);
  connect(&worker_, &Worker::answered, this, &Session::on_answer);
  connect(&worker_, &Worker::previewed, this, [this](std::shared_ptr<const Preview> preview) {
    emit reviewed(std::move(preview), review_notes_);
  });
  connect(&worker_, &Worker::history_read, this, &Session::history_ready);
  connect(&worker_, &Worker::import_read, this, &Session::import_ready);
  connect(&worker_, &Worker::exported, this, [this](const QString& path, const QString& failure) {
    if (failure.isEmpty()) {
      emit told({Tone::Good,
                 QStringLiteral("the sets were written to %1, as a file apply takes").arg(path),
                 {}});
    } else {
      emit told({Tone::Bad, failure, {}});
    }
  });
}

bool Session::can_apply() const {
  return !asking_ && document_.loaded() && document_.unreadable().empty() && document_.edited() &&
         document_.issues().empty();
}

void Session::open() {
  watch();
  worker_.read();
}

void Session::watch() {
  // The helper replaces the file by a rename, after which a watch on the
  // file itself is gone: the directory's watch sees the new one come, and
  // the file is watched again.
  const QString file = QString::fromStdString(places().hosts);
  const QString directory = QFileInfo(file).absolutePath();
  if (!watcher_.directories().contains(directory)) watcher_.addPath(directory);
  if (!watcher_.files().contains(file) && QFileInfo::exists(file)) watcher_.addPath(file);
}

void Session::read_again() {
  if (asking_) {
    read_after_answer_ = true;
    return;
  }
  worker_.read();
}

void Session::on_read(const std::shared_ptr<const Reading>& reading) {
  watch();
  if (!document_.loaded()) {
    document_.load(reading);
    if (!document_.unreadable().empty()) {
      emit told({Tone::Bad, QString::fromStdString(document_.unreadable()), {}});
    } else {
      const std::size_t sets = document_.sets().size();
      emit told(
          {Tone::Neutral,
           sets == 0
               ? QStringLiteral("/etc/hosts holds no sets yet: add one to begin")
               : QStringLiteral("/etc/hosts holds %1 set%2").arg(sets).arg(sets == 1 ? "" : "s"),
           {}});
    }
    return;
  }
  const bool same_bytes = reading->bytes && document_.file_bytes() == *reading->bytes;
  if (same_bytes && document_.unreadable().empty()) return;
  const bool edited = document_.edited();
  const auto notes = document_.take_file(reading, document_.file_sets());
  if (!document_.unreadable().empty()) {
    emit told({Tone::Bad, QString::fromStdString(document_.unreadable()), {}});
    return;
  }
  QString sentence = QStringLiteral("/etc/hosts was changed elsewhere and read again");
  if (edited) sentence += QStringLiteral("; the edits not yet applied are kept");
  emit told({edited ? Tone::Warning : Tone::Neutral, sentence, listed(notes)});
}

void Session::start_asking() {
  asking_ = true;
  long_wait_.start();
  emit asking_changed(true);
}

void Session::review() {
  if (asking_ || !document_.loaded() || !document_.unreadable().empty()) return;
  review_notes_ = listed(document_.keep_repeats_off());
  worker_.preview(document_.sets(), false);
}

void Session::apply(const Preview& preview) {
  if (asking_ || !preview.change) return;
  apply_base_ = preview.sets;
  going_back_ = preview.going_back;
  start_asking();
  worker_.apply(preview.sets, preview.change->before);
}

void Session::flip_in_file(std::size_t set, const std::string& name, bool on) {
  if (asking_ || !document_.unreadable().empty()) return;
  manager::Sets sets = document_.file_sets();
  if (set >= sets.size() || sets[set].name != name) {
    // The tray's menu is rebuilt after the file is read again.
    auto found = manager::find(sets, name);
    if (!found) {
      const Told refusal = told_failure(found.error(), sets);
      emit told(refusal);
      emit flipped(refusal);
      return;
    }
    set = *found;
  }
  auto notes = manager::switch_set_at(sets, set, on);
  const auto kept = manager::keep_repeats_off(sets);
  notes.insert(notes.end(), kept.begin(), kept.end());
  if (auto said = told_notes(notes)) emit told(*said);
  // The edits were made from the file's sets, which this apply changes.
  apply_base_ = document_.file_sets();
  going_back_ = false;
  flipping_ = true;
  start_asking();
  worker_.apply(std::move(sets), document_.file_bytes());
}

void Session::flush() {
  if (asking_) return;
  start_asking();
  worker_.ask(Asked::Flush);
}

void Session::remove_everything() {
  if (asking_) return;
  start_asking();
  worker_.ask(Asked::RemoveEverything);
}

void Session::on_answer(const std::shared_ptr<const Answer>& answer) {
  asking_ = false;
  long_wait_.stop();
  Told outcome = told_answer(*answer);
  const bool same_bytes = answer->after->bytes && document_.file_bytes() == *answer->after->bytes;
  const bool applied = answer->asked == Asked::Apply && answer->response && *answer->response &&
                       !std::holds_alternative<hosts_ipc::Issues>(**answer->response) &&
                       !std::holds_alternative<hosts_ipc::NotUnderstood>(**answer->response);
  if (applied && going_back_) {
    // The backup's sets took the place of the block, and of the edits, as
    // the review said: merged instead, with edits made over a block that did
    // not read back, they would be measured from sets never in the window.
    document_.load(answer->after);
  } else if (!same_bytes || !document_.unreadable().empty()) {
    // What the file holds now. After an apply that was done or unchanged,
    // the edits are measured from what they were measured from when it was
    // sent: the sets sent (Apply in the window), or the file's sets before
    // (a switch in the tray).
    const manager::Sets base = applied ? apply_base_ : document_.file_sets();
    outcome.details << listed(document_.take_file(answer->after, base));
  }
  emit asking_changed(false);
  emit told(outcome);
  if (flipping_) {
    flipping_ = false;
    emit flipped(outcome);
  }
  if (read_after_answer_) {
    read_after_answer_ = false;
    worker_.read();
  }
}

void Session::read_history() { worker_.read_history(); }

void Session::go_back(const HistoryReading& history, std::size_t index) {
  if (!history.backups || index >= history.backups->size()) return;
  auto sets = manager::undo(*history.backups, index);
  if (!sets) {
    emit told(told_failure(sets.error(), document_.sets()));
    return;
  }
  // The sets edited stay as they are until the apply is done: a review
  // cancelled loses nothing. The block is replaced whole, as undo does, even
  // one edited by hand that no longer reads back.
  review_notes_.clear();
  if (document_.edited()) {
    review_notes_ << QStringLiteral(
        "Applied, this puts the backup's sets in place of the edits "
        "not yet applied, which are lost.");
  }
  worker_.preview(std::move(*sets), true);
}

void Session::import_file(const QString& path) {
  worker_.read_import(path, QFileInfo(path).completeBaseName().toStdString());
}

lwk::Result<void, manager::Failure> Session::take_import(manager::Set set, std::size_t left_out) {
  const QString name = QString::fromStdString(set.name);
  const std::size_t lines = set.lines.size();
  auto taken = document_.add_whole_set(std::move(set));
  if (taken) {
    emit told({Tone::Good,
               QStringLiteral("imported \"%1\": %2 lines, %3 left out; Apply writes it")
                   .arg(name)
                   .arg(lines)
                   .arg(left_out),
               {}});
  }
  return taken;
}

void Session::export_to(const QString& path) {
  // A sets file is for apply, which would refuse them.
  if (!document_.issues().empty()) {
    emit told({Tone::Bad,
               QStringLiteral("nothing was exported: apply would refuse the sets while they have "
                              "issues; mend them first"),
               {}});
    return;
  }
  worker_.write_export(path, document_.sets());
}

}  // namespace lantern_wharf::desktop
