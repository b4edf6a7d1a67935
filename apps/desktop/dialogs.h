// The window's dialogs, each opened without blocking the window: the change
// to /etc/hosts reviewed before an apply, the helper's backups, and a file
// to import with the lines the helper would refuse.
#ifndef LWK_APPS_DESKTOP_DIALOGS_H_
#define LWK_APPS_DESKTOP_DIALOGS_H_

#include <QDialog>
#include <QStringList>
#include <memory>

#include "readings.h"

class QLabel;
class QLineEdit;
class QListView;

namespace lantern_wharf::desktop {

class Session;

// The diff of /etc/hosts before and after an apply of the previewed sets,
// and the button that applies them; or why they cannot be applied.
class ReviewDialog : public QDialog {
  Q_OBJECT

 public:
  ReviewDialog(std::shared_ptr<const Preview> preview, const QStringList& notes,
               QWidget* parent = nullptr);
  const Preview& preview() const { return *preview_; }

 private:
  std::shared_ptr<const Preview> preview_;
};

// The helper's backups, newest first, with what each change did and its
// diff; "Go back to this one" puts a backup's sets in place of the sets
// edited, as undo does.
class HistoryDialog : public QDialog {
  Q_OBJECT

 public:
  HistoryDialog(std::shared_ptr<const HistoryReading> history, QWidget* parent = nullptr);

 signals:
  void go_back(std::size_t index);

 private:
  std::shared_ptr<const HistoryReading> history_;
  QListView* list_ = nullptr;
};

// A file made a set: its name, and the lines the helper would refuse, each
// with the helper's sentence; the person leaves them out or does not import.
class ImportDialog : public QDialog {
  Q_OBJECT

 public:
  ImportDialog(Session& session, std::shared_ptr<const ImportReading> reading,
               QWidget* parent = nullptr);

 private:
  void take();

  Session& session_;
  std::shared_ptr<const ImportReading> reading_;
  QLineEdit* name_ = nullptr;
  QLabel* refusal_ = nullptr;
};

}  // namespace lantern_wharf::desktop

#endif  // LWK_APPS_DESKTOP_DIALOGS_H_
