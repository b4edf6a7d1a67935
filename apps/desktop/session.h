// What a person does in the window, between the widgets and the worker: the
// document of the sets, the file watched for changes made elsewhere, and
// every request to the helper, each said in words when it comes back. The
// main window and the tray both act through one Session.
#ifndef LWK_APPS_DESKTOP_SESSION_H_
#define LWK_APPS_DESKTOP_SESSION_H_

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "document.h"
#include "outcome.h"
#include "readings.h"
#include "worker.h"

namespace lantern_wharf::desktop {

class Session : public QObject {
  Q_OBJECT

 public:
  explicit Session(Places places, QObject* parent = nullptr);

  Document& document() { return document_; }
  const Places& places() const { return worker_.places(); }
  // Whether a request to the helper is under way; another waits for it.
  bool asking() const { return asking_; }
  // Whether the sets edited may be applied now: changed, without issues,
  // over a file whose sets read back, and nothing asked yet.
  bool can_apply() const;

  // Reads the file, and from then on reads it again whenever it changes.
  void open();
  void read_again();

  // Switches off the lines the file would leave out, then shows what an
  // apply of the sets would write: reviewed().
  void review();
  // Applies the sets of `preview`, provided the file is still as its diff
  // showed it; told() says how it went.
  void apply(const Preview& preview);
  // Switches set `set`, named `name`, of the file's own sets (not the
  // edits) and applies them at once, as the tray does; edits not yet
  // applied are kept. A set no longer at `set` is found by its name, and
  // the switch refused when the file holds none of that name: flipped().
  void flip_in_file(std::size_t set, const std::string& name, bool on);
  void flush();
  void remove_everything();

  // Reads the helper's backups: history_ready().
  void read_history();
  // Reviews the sets of backup `index`, which replace the block whole, as
  // undo does; once applied, they take the place of the edits not yet
  // applied, and a review cancelled leaves the edits as they were.
  void go_back(const HistoryReading& history, std::size_t index);

  // Reads the file at `path` as a set to import: import_ready().
  void import_file(const QString& path);
  // Adds an imported set, `left_out` of its lines left out; refused when a
  // set has its name.
  lwk::Result<void, manager::Failure> take_import(manager::Set set, std::size_t left_out);
  // Writes the sets edited to `path` as a sets file that apply takes.
  void export_to(const QString& path);

 signals:
  // Something to tell the person: an outcome, a refusal, a change seen.
  void told(const lantern_wharf::desktop::Told& told);
  void reviewed(std::shared_ptr<const lantern_wharf::desktop::Preview> preview, QStringList notes);
  void history_ready(std::shared_ptr<const lantern_wharf::desktop::HistoryReading> history);
  void import_ready(std::shared_ptr<const lantern_wharf::desktop::ImportReading> import);
  void asking_changed(bool asking);
  // What came of flip_in_file(): its refusal, or the helper's answer, as
  // told() says it too.
  void flipped(const lantern_wharf::desktop::Told& told);
  // A request has gone unanswered long enough that polkit may be asking
  // the person for a password.
  void waiting_long();

 private:
  void start_asking();
  void on_read(const std::shared_ptr<const Reading>& reading);
  void on_answer(const std::shared_ptr<const Answer>& answer);
  void watch();

  Document document_;
  Worker worker_;
  QFileSystemWatcher watcher_;
  QTimer settle_;     // lets a burst of changes to the file end before it is read
  QTimer long_wait_;  // how long a request waits before the window says so
  bool asking_ = false;
  bool read_after_answer_ = false;
  manager::Sets apply_base_;  // what the edits are measured from once the apply is done
  bool going_back_ = false;   // the apply under way puts a backup's sets in place of the edits
  bool flipping_ = false;     // the apply under way is flip_in_file()'s
  QStringList review_notes_;
};

}  // namespace lantern_wharf::desktop

#endif  // LWK_APPS_DESKTOP_SESSION_H_
