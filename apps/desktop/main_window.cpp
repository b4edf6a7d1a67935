#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <map>

#include "dialogs.h"
#include "text_views.h"
#include "tones.h"
#include "tray.h"

namespace lantern_wharf::desktop {
namespace {

// Gives `widget` its name for tests and its name for assistive technology.
template <typename W>
W* named(W* widget, const char* object, const QString& accessible) {
  widget->setObjectName(QLatin1String(object));
  widget->setAccessibleName(accessible);
  return widget;
}

QPushButton* button(const QString& text, const char* object, const QString& accessible,
                    QWidget* parent) {
  return named(new QPushButton(text, parent), object, accessible);
}

// Commits every keystroke of a line's text to the model, so that its issues
// are found as it is typed; and leaves the editor's text, and its cursor,
// alone when the model hands back what was just typed.
class LiveEditDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      line->setAccessibleName(QStringLiteral("Text of the line"));
      connect(line, &QLineEdit::textEdited, this,
              [this, line] { emit const_cast<LiveEditDelegate*>(this)->commitData(line); });
    }
    return editor;
  }

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      if (line->text() == index.data(Qt::EditRole).toString()) return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
  }
};

// A set's row: its switch and name, and its counts beside them in a
// quieter colour.
class SetDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    const QString counts = index.data(SetListModel::CountsRole).toString();
    painter->save();
    QColor ink =
        option.palette.color(option.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                   : QPalette::PlaceholderText);
    painter->setPen(ink);
    QFont small = option.font;
    small.setPointSizeF(small.pointSizeF() * 0.9);
    painter->setFont(small);
    painter->drawText(option.rect.adjusted(0, 0, -6, 0), Qt::AlignRight | Qt::AlignVCenter, counts);
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString counts = index.data(SetListModel::CountsRole).toString();
    size.setWidth(size.width() + option.fontMetrics.horizontalAdvance(counts) + 18);
    size.setHeight(std::max(size.height(), option.fontMetrics.height() + 10));
    return size;
  }
};

}  // namespace

void LineTable::keyPressEvent(QKeyEvent* event) {
  if (state() != EditingState && event->modifiers() == Qt::NoModifier) {
    if (event->key() == Qt::Key_Space) {
      emit switch_asked();
      return;
    }
    if (event->key() == Qt::Key_Delete) {
      emit remove_asked();
      return;
    }
  }
  QTableView::keyPressEvent(event);
}

MainWindow::MainWindow(Session& session, QWidget* parent)
    : QMainWindow(parent),
      session_(session),
      sets_model_(session.document()),
      lines_model_(session.document()),
      issues_model_(session.document()) {
  setObjectName(QStringLiteral("main window"));
  setWindowTitle(QStringLiteral("Lantern Wharf \u2014 /etc/hosts[*]"));
  setAccessibleName(QStringLiteral("Lantern Wharf"));
  setAcceptDrops(true);
  build_menus();
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  auto* split = new QSplitter(Qt::Horizontal, central);
  split->addWidget(build_sets_pane());
  tabs_ = named(new QTabWidget(split), "tabs", QStringLiteral("Lines or the whole file"));
  tabs_->addTab(build_lines_pane(), QStringLiteral("&Lines"));
  tabs_->addTab(build_file_pane(), QStringLiteral("The whole /etc/&hosts"));
  tabs_->tabBar()->setAccessibleName(QStringLiteral("Lines or the whole file"));
  split->addWidget(tabs_);
  split->setStretchFactor(1, 1);
  split->setSizes({260, 740});
  layout->addWidget(split, 1);
  layout->addWidget(build_footer());
  setCentralWidget(central);
  resize(1000, 640);

  Document& document = session_.document();
  connect(&document, &Document::reset, this, [this] { choose_set(-1); });
  connect(&document, &Document::issues_changed, this, &MainWindow::refresh);
  connect(&document, &Document::set_changed, this, &MainWindow::refresh);
  connect(&document, &Document::file_changed, this, [this] {
    file_view_stale_ = true;
    if (tabs_->currentIndex() == 1) refresh_file_view();
    refresh();
  });
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int tab) {
    if (tab == 1) refresh_file_view();
  });
  connect(&session_, &Session::told, this, &MainWindow::tell);
  connect(&sets_model_, &SetListModel::told, this, &MainWindow::tell);
  connect(&lines_model_, &LineModel::told, this, &MainWindow::tell);
  connect(&session_, &Session::asking_changed, this, &MainWindow::refresh);
  connect(&session_, &Session::waiting_long, this, [this] {
    tell({Tone::Neutral,
          QStringLiteral("waiting for the helper: if the system asks for an administrator's "
                         "password, the helper waits for it; the window can be used meanwhile"),
          {}});
  });
  connect(&session_, &Session::reviewed, this,
          [this](std::shared_ptr<const Preview> preview, const QStringList& notes) {
            auto* dialog = new ReviewDialog(std::move(preview), notes, this);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            connect(dialog, &QDialog::accepted, this,
                    [this, dialog] { session_.apply(dialog->preview()); });
            dialog->open();
          });
  connect(&session_, &Session::history_ready, this,
          [this](const std::shared_ptr<const HistoryReading>& history) {
            auto* dialog = new HistoryDialog(history, this);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            connect(dialog, &HistoryDialog::go_back, this,
                    [this, history](std::size_t index) { session_.go_back(*history, index); });
            dialog->open();
          });
  connect(&session_, &Session::import_ready, this,
          [this](std::shared_ptr<const ImportReading> reading) {
            if (!reading->import) {
              tell(told_failure(reading->import.error(), session_.document().sets()));
              return;
            }
            auto* dialog = new ImportDialog(session_, std::move(reading), this);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            dialog->open();
          });
  tell({Tone::Neutral, QStringLiteral("reading /etc/hosts\u2026"), {}});
  refresh();
}

void MainWindow::build_menus() {
  const auto add = [this](QMenu* menu, const QString& text, const QKeySequence& keys,
                          auto slot) -> QAction* {
    QAction* action = menu->addAction(text);
    if (!keys.isEmpty()) action->setShortcut(keys);
    connect(action, &QAction::triggered, this, slot);
    return action;
  };
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  add(file, QStringLiteral("&Import a hosts file or list\u2026"),
      QKeySequence(Qt::CTRL | Qt::Key_I), [this] { ask_import(); });
  add(file, QStringLiteral("&Export the sets\u2026"), QKeySequence(Qt::CTRL | Qt::Key_E),
      [this] { ask_export(); });
  add(file, QStringLiteral("&Read /etc/hosts again"), QKeySequence::Refresh,
      [this] { session_.read_again(); });
  file->addSeparator();
  add(file, QStringLiteral("&Close the window"), QKeySequence::Close, [this] { close(); });
  add(file, QStringLiteral("&Quit"), QKeySequence::Quit, [this] { quit(); });

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  add(edit, QStringLiteral("&New line"), QKeySequence::New, [this] { add_line(); });
  add(edit, QStringLiteral("&Switch the chosen lines"), QKeySequence(Qt::CTRL | Qt::Key_Space),
      [this] { switch_chosen_lines(); });
  add(edit, QStringLiteral("&Remove the chosen lines"), {}, [this] { remove_chosen_lines(); });
  add(edit, QStringLiteral("&Filter every set's lines"), QKeySequence::Find, [this] {
    filter_->setFocus();
    filter_->selectAll();
  });
  edit->addSeparator();
  add(edit, QStringLiteral("New s&et"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N),
      [this] { new_set_->setFocus(); });
  add(edit, QStringLiteral("Rena&me the set"), {}, [this] {
    if (chosen_set() >= 0) set_list_->edit(sets_model_.index(chosen_set()));
  });
  add(edit, QStringLiteral("Move the set &up"), QKeySequence(Qt::ALT | Qt::Key_Up),
      [this] { move_chosen_set(-1); });
  add(edit, QStringLiteral("Move the set &down"), QKeySequence(Qt::ALT | Qt::Key_Down),
      [this] { move_chosen_set(1); });
  add(edit, QStringLiteral("Make the set one of a &group"), QKeySequence(Qt::CTRL | Qt::Key_G),
      [this] { group_->setFocus(); });
  edit->addSeparator();
  add(edit, QStringLiteral("Dis&card the edits\u2026"), {}, [this] { ask_discard(); });

  QMenu* helper = menuBar()->addMenu(QStringLiteral("&Helper"));
  apply_action_ = add(helper, QStringLiteral("&Review and apply\u2026"),
                      QKeySequence(Qt::CTRL | Qt::Key_Return), [this] { review(); });
  add(helper, QStringLiteral("&History\u2026"), QKeySequence(Qt::CTRL | Qt::Key_H),
      [this] { open_history(); });
  helper->addSeparator();
  add(helper, QStringLiteral("&Flush the name caches"), {}, [this] { session_.flush(); });
  add(helper, QStringLiteral("Remove &everything\u2026"), {}, [this] { ask_remove_everything(); });
}

QWidget* MainWindow::build_sets_pane() {
  auto* pane = new QWidget(this);
  auto* layout = new QVBoxLayout(pane);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* heading = new QLabel(QStringLiteral("&Sets, in the file's order"), pane);
  set_list_ = named(new QListView(pane), "sets", QStringLiteral("Sets"));
  set_list_->setAccessibleDescription(
      QStringLiteral("Each set with its switch and its count of lines on and off; Space switches "
                     "the set, F2 renames it"));
  heading->setBuddy(set_list_);
  set_list_->setModel(&sets_model_);
  set_list_->setItemDelegate(new SetDelegate(set_list_));
  set_list_->setIconSize(QSize(16, 16));
  set_list_->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::DoubleClicked);
  layout->addWidget(heading);
  layout->addWidget(set_list_, 1);
  connect(set_list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            const int set = current.isValid() ? current.row() : -1;
            chosen_name_ = set >= 0 ? session_.document().sets()[static_cast<std::size_t>(set)].name
                                    : std::string();
            lines_model_.show_set(set);
            refresh();
          });

  auto* adding = new QHBoxLayout;
  new_set_ = named(new QLineEdit(pane), "new set name", QStringLiteral("Name of a new set"));
  new_set_->setPlaceholderText(QStringLiteral("Name of a new set"));
  QPushButton* add =
      button(QStringLiteral("&Add set"), "add set", QStringLiteral("Add the set"), pane);
  adding->addWidget(new_set_, 1);
  adding->addWidget(add);
  layout->addLayout(adding);
  connect(new_set_, &QLineEdit::returnPressed, this, &MainWindow::add_set);
  connect(add, &QPushButton::clicked, this, &MainWindow::add_set);

  auto* moving = new QHBoxLayout;
  QPushButton* rename =
      button(QStringLiteral("Rena&me"), "rename set", QStringLiteral("Rename the set"), pane);
  QPushButton* remove =
      button(QStringLiteral("Remo&ve"), "remove set", QStringLiteral("Remove the set"), pane);
  QPushButton* up =
      button(QStringLiteral("\u25b2"), "move set up", QStringLiteral("Move the set up"), pane);
  QPushButton* down =
      button(QStringLiteral("\u25bc"), "move set down", QStringLiteral("Move the set down"), pane);
  up->setToolTip(
      QStringLiteral("Move the set up (Alt+Up): of two equal entries, the first set's is written"));
  down->setToolTip(QStringLiteral("Move the set down (Alt+Down)"));
  for (QPushButton* b : {rename, remove, up, down}) moving->addWidget(b);
  layout->addLayout(moving);
  connect(rename, &QPushButton::clicked, this, [this] {
    if (chosen_set() >= 0) set_list_->edit(sets_model_.index(chosen_set()));
  });
  connect(remove, &QPushButton::clicked, this, [this] {
    if (chosen_set() >= 0) session_.document().remove_set(static_cast<std::size_t>(chosen_set()));
  });
  connect(up, &QPushButton::clicked, this, [this] { move_chosen_set(-1); });
  connect(down, &QPushButton::clicked, this, [this] { move_chosen_set(1); });

  auto* grouping = new QHBoxLayout;
  auto* group_label = new QLabel(QStringLiteral("One &of:"), pane);
  group_ = named(new QLineEdit(pane), "group", QStringLiteral("Group of alternatives"));
  group_->setAccessibleDescription(
      QStringLiteral("Sets of one group take turns: switching one on switches the others off"));
  group_->setPlaceholderText(QStringLiteral("no group: type one, e.g. env"));
  group_->setToolTip(group_->accessibleDescription());
  group_label->setBuddy(group_);
  grouping->addWidget(group_label);
  grouping->addWidget(group_, 1);
  layout->addLayout(grouping);
  connect(group_, &QLineEdit::editingFinished, this, &MainWindow::set_group);
  return pane;
}

QWidget* MainWindow::build_lines_pane() {
  auto* pane = new QWidget(this);
  auto* layout = new QVBoxLayout(pane);
  filter_ = named(new QLineEdit(pane), "filter", QStringLiteral("Filter every set's lines"));
  filter_->setPlaceholderText(QStringLiteral("Filter every set's lines (Ctrl+F)"));
  filter_->setClearButtonEnabled(true);
  layout->addWidget(filter_);
  connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
    lines_model_.set_filter(text);
    table_->setColumnHidden(LineModel::SetColumn, !lines_model_.filtering());
  });

  auto* split = new QSplitter(Qt::Vertical, pane);
  table_ = named(new LineTable(split), "lines", QStringLiteral("Lines"));
  table_->setAccessibleDescription(
      QStringLiteral("The lines of the chosen set: Space switches the chosen lines, Delete "
                     "removes them, typing edits a line's text, and each line's issues stand "
                     "beside it"));
  table_->setModel(&lines_model_);
  table_->setItemDelegateForColumn(LineModel::TextColumn, new LiveEditDelegate(table_));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
  table_->setWordWrap(false);
  table_->verticalHeader()->hide();
  // Rows of one height, known without asking each row: a set of 30,000
  // lines scrolls without measuring them.
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 8);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setColumnWidth(LineModel::SwitchColumn, 36);
  table_->setColumnWidth(LineModel::SetColumn, 110);
  table_->setColumnWidth(LineModel::NumberColumn, 52);
  table_->setColumnWidth(LineModel::TextColumn, 330);
  table_->setColumnHidden(LineModel::SetColumn, true);
  connect(table_, &LineTable::switch_asked, this, &MainWindow::switch_chosen_lines);
  connect(table_, &LineTable::remove_asked, this, &MainWindow::remove_chosen_lines);

  auto* issues = new QWidget(split);
  auto* issues_layout = new QVBoxLayout(issues);
  issues_layout->setContentsMargins(0, 0, 0, 0);
  issues_heading_ = new QLabel(issues);
  issue_list_ = named(new QListView(issues), "issues", QStringLiteral("Issues"));
  issue_list_->setAccessibleDescription(
      QStringLiteral("Every issue the helper would find, in its own words; Enter shows the line"));
  issues_heading_->setBuddy(issue_list_);
  issue_list_->setModel(&issues_model_);
  issue_list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  issue_list_->setWordWrap(true);
  issues_layout->addWidget(issues_heading_);
  issues_layout->addWidget(issue_list_);
  connect(issue_list_, &QListView::activated, this, &MainWindow::show_issue);
  split->setStretchFactor(0, 4);
  split->setStretchFactor(1, 1);
  layout->addWidget(split, 1);

  auto* buttons = new QHBoxLayout;
  QPushButton* add = button(QStringLiteral("&New line"), "new line",
                            QStringLiteral("Add a line to the set, and type it"), pane);
  QPushButton* on = button(QStringLiteral("Switch o&n"), "switch on",
                           QStringLiteral("Switch the chosen lines on"), pane);
  QPushButton* off = button(QStringLiteral("Switch o&ff"), "switch off",
                            QStringLiteral("Switch the chosen lines off"), pane);
  QPushButton* remove = button(QStringLiteral("Remove lines"), "remove lines",
                               QStringLiteral("Remove the chosen lines"), pane);
  for (QPushButton* b : {add, on, off, remove}) buttons->addWidget(b);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  connect(add, &QPushButton::clicked, this, &MainWindow::add_line);
  const auto switch_all = [this](bool state) {
    for (const auto& [set, lines] : chosen_lines()) {
      if (auto said = told_notes(session_.document().switch_lines(set, lines, state))) tell(*said);
    }
  };
  connect(on, &QPushButton::clicked, this, [switch_all] { switch_all(true); });
  connect(off, &QPushButton::clicked, this, [switch_all] { switch_all(false); });
  connect(remove, &QPushButton::clicked, this, &MainWindow::remove_chosen_lines);
  return pane;
}

QWidget* MainWindow::build_file_pane() {
  auto* pane = new QWidget(this);
  auto* layout = new QVBoxLayout(pane);
  file_note_ = new QLabel(pane);
  file_view_ =
      named(new FileView(pane), "file", QStringLiteral("The whole of /etc/hosts, read only"));
  file_note_->setBuddy(file_view_);
  layout->addWidget(file_note_);
  layout->addWidget(file_view_, 1);
  return pane;
}

QWidget* MainWindow::build_footer() {
  auto* footer = new QWidget(this);
  auto* layout = new QHBoxLayout(footer);
  layout->setContentsMargins(0, 0, 0, 0);
  banner_ = named(new QLabel(footer), "banner", QStringLiteral("What the window has to say"));
  banner_->setWordWrap(true);
  banner_->setTextFormat(Qt::PlainText);
  banner_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  banner_->setAutoFillBackground(true);
  banner_->setMargin(6);
  banner_->setFocusPolicy(Qt::TabFocus);
  // The banner takes the room the others leave: a long sentence wraps.
  banner_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  banner_->setMinimumWidth(200);
  busy_ = named(new QProgressBar(footer), "busy", QStringLiteral("Asking the helper"));
  busy_->setRange(0, 0);
  busy_->setMaximumWidth(80);
  busy_->hide();
  state_ = named(new QLabel(footer), "state", QStringLiteral("Why Apply is or is not offered"));
  apply_ = button(QStringLiteral("Review and &apply\u2026"), "apply",
                  QStringLiteral("Review the change to /etc/hosts and apply it"), footer);
  apply_->setDefault(false);
  connect(apply_, &QPushButton::clicked, this, &MainWindow::review);
  layout->addWidget(banner_, 1);
  layout->addWidget(busy_);
  layout->addWidget(state_);
  layout->addWidget(apply_);
  return footer;
}

void MainWindow::tell(const Told& told) {
  banner_->setText((QStringList{told.sentence} + told.details).join(QLatin1Char('\n')));
  // A label's fixed name hides its text from assistive technology, which
  // reads what it says in its description.
  banner_->setAccessibleDescription(banner_->text());
  QPalette palette = banner_->palette();
  palette.setColor(QPalette::Window, told.tone == Tone::Neutral
                                         ? QApplication::palette().color(QPalette::Window)
                                         : tint(told.tone, QApplication::palette()));
  banner_->setPalette(palette);
  banner_->setProperty("tone", static_cast<int>(told.tone));
}

void MainWindow::refresh() {
  const Document& document = session_.document();
  const std::size_t issues = document.issues().size();
  QString state;
  if (session_.asking()) {
    state = QStringLiteral("asking the helper\u2026");
  } else if (!document.loaded()) {
    state = QStringLiteral("reading /etc/hosts\u2026");
  } else if (!document.unreadable().empty()) {
    state = QStringLiteral("the file's sets cannot be changed now");
  } else if (issues > 0) {
    state = QStringLiteral("%1 issue%2: Apply waits until %3 mended")
                .arg(issues)
                .arg(issues == 1 ? "" : "s")
                .arg(issues == 1 ? "it is" : "they are");
  } else if (!document.edited()) {
    state = QStringLiteral("no edits to apply");
  } else {
    state = QStringLiteral("edits not yet applied");
  }
  state_->setText(state);
  state_->setAccessibleDescription(state);
  const bool can = session_.can_apply();
  apply_->setEnabled(can);
  apply_action_->setEnabled(can);
  busy_->setVisible(session_.asking());
  setWindowModified(document.edited());
  issues_heading_->setText(issues == 0 ? QStringLiteral("&Issues: none")
                                       : QStringLiteral("&Issues: %1").arg(issues));
  const int set = chosen_set();
  const QString group =
      set >= 0 ? QString::fromStdString(
                     std::string(manager::group_of(document.sets()[static_cast<std::size_t>(set)])))
               : QString();
  if (!group_->hasFocus()) group_->setText(group);
  group_->setEnabled(set >= 0);
}

void MainWindow::refresh_file_view() {
  if (!file_view_stale_) return;
  file_view_stale_ = false;
  const Document& document = session_.document();
  file_view_->show_file(document.file_bytes());
  const manager::LineSpan block = file_view_->block();
  file_note_->setText(block.first == 0
                          ? QStringLiteral("Read only. The file has no managed block yet.")
                          : QStringLiteral("Read only. Lines %1 to %2, tinted, are the managed "
                                           "block, which the helper writes.")
                                .arg(block.first)
                                .arg(block.last));
}

int MainWindow::chosen_set() const {
  const QModelIndex current = set_list_->currentIndex();
  return current.isValid() ? current.row() : -1;
}

void MainWindow::choose_set(int set) {
  const manager::Sets& sets = session_.document().sets();
  if (set < 0) {
    // After the sets changed shape: the set chosen before, by its name.
    const auto at = std::find_if(sets.begin(), sets.end(),
                                 [&](const manager::Set& s) { return s.name == chosen_name_; });
    set = at != sets.end() ? static_cast<int>(at - sets.begin()) : sets.empty() ? -1 : 0;
  }
  if (set >= static_cast<int>(sets.size())) set = static_cast<int>(sets.size()) - 1;
  set_list_->setCurrentIndex(set >= 0 ? sets_model_.index(set) : QModelIndex());
  lines_model_.show_set(set);
  refresh();
}

std::vector<std::pair<std::size_t, std::vector<std::size_t>>> MainWindow::chosen_lines() const {
  std::map<std::size_t, std::vector<std::size_t>> by_set;
  for (const QModelIndex& row : table_->selectionModel()->selectedRows()) {
    const LineModel::Ref ref = lines_model_.ref(row.row());
    by_set[ref.set].push_back(ref.line);
  }
  if (by_set.empty() && table_->currentIndex().isValid()) {
    const LineModel::Ref ref = lines_model_.ref(table_->currentIndex().row());
    by_set[ref.set].push_back(ref.line);
  }
  return {by_set.begin(), by_set.end()};
}

void MainWindow::add_set() {
  const std::string name = new_set_->text().toStdString();
  if (name.empty()) return;
  auto added = session_.document().add_set(name);
  if (!added) {
    tell(told_failure(added.error(), session_.document().sets()));
    return;
  }
  new_set_->clear();
  choose_set(static_cast<int>(session_.document().sets().size()) - 1);
}

void MainWindow::move_chosen_set(int by) {
  const int set = chosen_set();
  const int to = set + by;
  if (set < 0 || to < 0 || to >= sets_model_.rowCount()) return;
  session_.document().move_set(static_cast<std::size_t>(set), static_cast<std::size_t>(to));
  set_list_->setFocus();
}

void MainWindow::set_group() {
  const int set = chosen_set();
  if (set < 0) return;
  auto grouped = session_.document().set_group(static_cast<std::size_t>(set),
                                               group_->text().trimmed().toStdString());
  if (!grouped) tell(told_failure(grouped.error(), session_.document().sets()));
  refresh();
}

void MainWindow::add_line() {
  int set = chosen_set();
  if (set < 0) {
    tell({Tone::Warning, QStringLiteral("there is no set to add a line to: add a set first"), {}});
    new_set_->setFocus();
    return;
  }
  if (lines_model_.filtering()) filter_->clear();
  Document& document = session_.document();
  document.add_line(static_cast<std::size_t>(set), std::string());
  const int row =
      lines_model_.row_of(static_cast<std::size_t>(set),
                          document.sets()[static_cast<std::size_t>(set)].lines.size() - 1);
  if (row < 0) return;
  const QModelIndex text = lines_model_.index(row, LineModel::TextColumn);
  table_->setFocus();
  table_->setCurrentIndex(text);
  table_->scrollTo(text);
  table_->edit(text);
}

void MainWindow::switch_chosen_lines() {
  const auto chosen = chosen_lines();
  // Lines switched together: all on, unless all of them already are.
  bool all_on = true;
  for (const auto& [set, lines] : chosen) {
    for (const std::size_t line : lines) {
      all_on = all_on && session_.document().sets()[set].lines[line].enabled;
    }
  }
  for (const auto& [set, lines] : chosen) {
    if (auto said = told_notes(session_.document().switch_lines(set, lines, !all_on))) tell(*said);
  }
}

void MainWindow::remove_chosen_lines() {
  for (auto& [set, lines] : chosen_lines()) session_.document().remove_lines(set, lines);
}

void MainWindow::show_issue(const QModelIndex& index) {
  const hosts_ipc::Issue& issue = issues_model_.issue(index.row());
  if (issue.set >= session_.document().sets().size()) return;
  filter_->clear();
  choose_set(static_cast<int>(issue.set));
  if (issue.line == 0) {
    set_list_->setFocus();
    return;
  }
  const int row = lines_model_.row_of(issue.set, issue.line - 1);
  if (row < 0) return;
  const QModelIndex text = lines_model_.index(row, LineModel::TextColumn);
  table_->setCurrentIndex(text);
  table_->scrollTo(text);
  table_->setFocus();
}

void MainWindow::review() {
  if (!session_.can_apply()) return;
  session_.review();
}

void MainWindow::open_history() { session_.read_history(); }

void MainWindow::import_path(const QString& path) { session_.import_file(path); }

void MainWindow::ask_import() {
  const QString path =
      QFileDialog::getOpenFileName(this, QStringLiteral("Import a hosts file or a published list"));
  if (!path.isEmpty()) import_path(path);
}

void MainWindow::ask_export() {
  const QString path = QFileDialog::getSaveFileName(
      this, QStringLiteral("Export the sets as a file apply takes"), QStringLiteral("sets.json"),
      QStringLiteral("Sets files (*.json)"));
  if (!path.isEmpty()) session_.export_to(path);
}

void MainWindow::ask_remove_everything() {
  auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Remove everything?"),
                              QStringLiteral("Remove everything the helper has done and keeps?"),
                              QMessageBox::Cancel, this);
  box->setInformativeText(QStringLiteral(
      "The helper puts /etc/hosts back as it was before its first change, which drops every set "
      "and every line outside the block changed since, and deletes its snapshot, its backups and "
      "its log. This cannot be undone."));
  box->setObjectName(QStringLiteral("remove everything"));
  box->setAccessibleName(box->text());
  QPushButton* remove =
      box->addButton(QStringLiteral("Remove everything"), QMessageBox::DestructiveRole);
  remove->setAccessibleName(QStringLiteral("Remove everything"));
  box->setDefaultButton(QMessageBox::Cancel);
  box->setAttribute(Qt::WA_DeleteOnClose);
  connect(box, &QMessageBox::buttonClicked, this, [this, remove](QAbstractButton* clicked) {
    if (clicked == remove) session_.remove_everything();
  });
  box->open();
}

void MainWindow::ask_discard() {
  if (!session_.document().edited()) return;
  auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("Discard the edits?"),
                              QStringLiteral("Discard the edits not yet applied, and show the sets "
                                             "the file holds? This cannot be undone."),
                              QMessageBox::Discard | QMessageBox::Cancel, this);
  box->setAccessibleName(box->text());
  box->setAttribute(Qt::WA_DeleteOnClose);
  connect(box, &QMessageBox::buttonClicked, this, [this, box](QAbstractButton* clicked) {
    if (box->standardButton(clicked) == QMessageBox::Discard) {
      session_.document().replace_sets(session_.document().file_sets());
    }
  });
  box->open();
}

bool MainWindow::may_drop_edits() {
  if (!session_.document().edited()) return true;
  QMessageBox ask(QMessageBox::Question, QStringLiteral("Quit without applying?"),
                  QStringLiteral("The edits not yet applied will be lost: the sets live only in "
                                 "/etc/hosts, and these have not reached it."),
                  QMessageBox::Discard | QMessageBox::Cancel, this);
  ask.setAccessibleName(ask.windowTitle());
  ask.button(QMessageBox::Discard)->setText(QStringLiteral("&Quit and lose them"));
  ask.setDefaultButton(QMessageBox::Cancel);
  return ask.exec() == QMessageBox::Discard;
}

void MainWindow::quit() {
  if (may_drop_edits()) QApplication::quit();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (tray_ != nullptr && tray_->in_tray()) {
    hide();
    event->ignore();
    return;
  }
  if (!may_drop_edits()) {
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) {
      import_path(url.toLocalFile());
    } else {
      tell({Tone::Warning,
            QStringLiteral("only a file on this machine can be imported: %1")
                .arg(url.toDisplayString()),
            {}});
    }
  }
  event->acceptProposedAction();
}

}  // namespace lantern_wharf::desktop
