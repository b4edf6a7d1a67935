// The window: the sets in a list on the left, the lines of the chosen set
// (or, while a filter is typed, of every set) in a table on the right with
// the issues under them, the whole /etc/hosts in a second tab, and along the
// bottom what the window has to say and the button that reviews and applies
// the edits. Every change goes through the session's document; the widgets
// keep only what they show.
#ifndef LWK_APPS_DESKTOP_MAIN_WINDOW_H_
#define LWK_APPS_DESKTOP_MAIN_WINDOW_H_

#include <QMainWindow>
#include <QTableView>
#include <string>
#include <vector>

#include "issue_list_model.h"
#include "line_model.h"
#include "outcome.h"
#include "session.h"
#include "set_list_model.h"

class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace lantern_wharf::desktop {

class FileView;
class Tray;

// The table of lines: Space switches the chosen lines together, Delete
// removes them; every other key edits as a table does.
class LineTable : public QTableView {
  Q_OBJECT

 public:
  using QTableView::QTableView;

 signals:
  void switch_asked();
  void remove_asked();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(Session& session, QWidget* parent = nullptr);

  // With a tray, closing the window keeps the application in the tray.
  void set_tray(Tray* tray) { tray_ = tray; }
  // Imports the file at `path`, as a drop or the file dialog does.
  void import_path(const QString& path);
  // Chooses set `set` in the list and shows its lines.
  void choose_set(int set);
  // Ends the application, once the person agrees to lose the edits not yet
  // applied, if there are any.
  void quit();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QWidget* build_sets_pane();
  QWidget* build_lines_pane();
  QWidget* build_file_pane();
  QWidget* build_footer();
  void build_menus();

  // Whether the edits not yet applied, if any, may be lost: asked, for
  // nothing brings them back.
  bool may_drop_edits();
  void tell(const Told& told);
  void refresh();
  void refresh_file_view();
  int chosen_set() const;
  // The chosen rows' lines, by set.
  std::vector<std::pair<std::size_t, std::vector<std::size_t>>> chosen_lines() const;

  void add_set();
  void move_chosen_set(int by);
  void set_group();
  void add_line();
  void switch_chosen_lines();
  void remove_chosen_lines();
  void show_issue(const QModelIndex& index);
  void review();
  void open_history();
  void ask_import();
  void ask_export();
  void ask_remove_everything();
  void ask_discard();

  Session& session_;
  SetListModel sets_model_;
  LineModel lines_model_;
  IssueListModel issues_model_;
  Tray* tray_ = nullptr;
  std::string chosen_name_;  // the chosen set, found again when the sets change shape

  QListView* set_list_ = nullptr;
  QLineEdit* new_set_ = nullptr;
  QLineEdit* group_ = nullptr;
  QLineEdit* filter_ = nullptr;
  LineTable* table_ = nullptr;
  QListView* issue_list_ = nullptr;
  QLabel* issues_heading_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  FileView* file_view_ = nullptr;
  QLabel* file_note_ = nullptr;
  bool file_view_stale_ = true;
  QLabel* banner_ = nullptr;
  QLabel* state_ = nullptr;
  QProgressBar* busy_ = nullptr;
  QPushButton* apply_ = nullptr;
  QAction* apply_action_ = nullptr;
};

}  // namespace lantern_wharf::desktop

#endif  // LWK_APPS_DESKTOP_MAIN_WINDOW_H_
