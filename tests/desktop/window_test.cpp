// The window as a person meets it: the real widgets, driven by Qt Test's
// keys and clicks, against the real helper in the sandbox (window_test.py
// starts it, and scripts/sandbox.sh installs this program at the desktop
// application's trusted path, so that the helper serves it). One scenario a
// feature. With LWK_SCREENSHOTS set to a directory, the last one also saves
// the screenshots kept in docs/screenshots, light and dark.
#include <sys/stat.h>

#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <memory>
#include <sstream>

#include "color_scheme.h"
#include "dialogs.h"
#include "hosts_core/block.h"
#include "line_model.h"
#include "main_window.h"
#include "session.h"
#include "text_views.h"
#include "tray.h"

namespace lantern_wharf::desktop {
namespace {

const std::string kHosts = "/etc/hosts";
const std::string kStore = "/var/db/lantern-wharf-kit";
const std::string kOriginal = "127.0.0.1\tlocalhost\n::1\tlocalhost\n";
const std::string kNode(hosts_core::block::NODE_PREFIX);
const std::string kOff(hosts_core::block::OFF_PREFIX);

// The original file with a managed block of `lines`.
std::string block(std::initializer_list<std::string> lines) {
  std::string out = kOriginal + "\n" + std::string(hosts_core::block::OPENING_MARKER) + "\n";
  for (const std::string& line : lines) out += line + "\n";
  return out + std::string(hosts_core::block::CLOSING_MARKER) + "\n";
}

std::string read_hosts() {
  std::ifstream in(kHosts, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Runs the command-line client with `args`; gives its exit status.
int command(const QStringList& args) {
  QProcess process;
  process.start(qEnvironmentVariable("LWK_CLIENT"), args);
  if (!process.waitForFinished(60000)) return -1;
  return process.exitCode();
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private:
  // A window over the sandbox's /etc/hosts, its file read.
  void open() {
    session_ = std::make_unique<Session>(Places::system());
    window_ = std::make_unique<MainWindow>(*session_);
    window_->show();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    session_->open();
    QTRY_VERIFY(session_->document().loaded());
  }
  Document& document() { return session_->document(); }
  template <typename W>
  W* find(const char* name) {
    W* widget = window_->findChild<W*>(QLatin1String(name));
    if (widget == nullptr) qFatal("no widget named %s", name);
    return widget;
  }
  QString banner() { return find<QLabel>("banner")->text(); }
  QListView* sets() { return find<QListView>("sets"); }
  LineTable* table() { return find<LineTable>("lines"); }
  LineModel* lines() { return static_cast<LineModel*>(table()->model()); }
  QString issue_of(int row) {
    return lines()->index(row, LineModel::IssueColumn).data().toString();
  }
  // The dialog of type D the window opened, once it is shown.
  template <typename D>
  D* dialog() {
    D* found = nullptr;
    const auto shown = [&] {
      for (D* d : window_->findChildren<D*>()) {
        if (d->isVisible()) found = d;
      }
      return found != nullptr;
    };
    if (!QTest::qWaitFor(shown, 10000)) qFatal("no dialog was shown");
    return found;
  }
  // Reviews the edits and applies them from the diff; gives the diff shown.
  QString review_and_apply() {
    auto* apply = find<QPushButton>("apply");
    if (!apply->isEnabled()) return QStringLiteral("(Apply was not offered)");
    QTest::mouseClick(apply, Qt::LeftButton);
    auto* review = dialog<ReviewDialog>();
    const QString diff = review->findChild<DiffView*>(QStringLiteral("diff"))->toPlainText();
    QTest::mouseClick(review->findChild<QPushButton*>(QStringLiteral("apply")), Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return banner().startsWith(QLatin1String("done: ")); }, 10000)) {
      return QStringLiteral("(no done: ") + banner() + QLatin1Char(')');
    }
    return diff;
  }
  void choose(int set) {
    window_->choose_set(set);
    QCOMPARE(lines()->shown_set(), set);
  }
  // Types `text` into a new line of the chosen set, as it is typed.
  QLineEdit* type_new_line(const QString& text) {
    QTest::mouseClick(find<QPushButton>("new line"), Qt::LeftButton);
    QLineEdit* editor = nullptr;
    for (auto* line : table()->viewport()->findChildren<QLineEdit*>()) {
      if (line->isVisible()) editor = line;
    }
    if (editor == nullptr) qFatal("the new line is not being edited");
    QTest::keyClicks(editor, text);
    return editor;
  }

  // Ends the editing of a line with Return, as a person does; the view
  // closes its editor once control is back in the event loop.
  void commit(QLineEdit* editor) {
    QPointer<QLineEdit> typed(editor);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(typed.isNull() || !typed->isVisible());
  }

  std::unique_ptr<Session> session_;
  std::unique_ptr<MainWindow> window_;
  QTemporaryDir scratch_;

 private slots:
  void init() {
    write_file(kHosts, kOriginal);
    QVERIFY(QProcess::execute(QStringLiteral("rm"),
                              {QStringLiteral("-rf"), QString::fromStdString(kStore)}) == 0);
  }

  void cleanup() {
    window_.reset();
    session_.reset();
  }

  void flip_a_set_and_a_line_then_apply_from_the_diff() {
    write_file(kHosts, block({kNode + "work", "10.0.0.5 intranet.test", "10.0.0.6 wiki.test",
                              kNode + "home", "10.0.0.7 nas.home"}));
    open();
    sets()->setFocus();
    sets()->setCurrentIndex(sets()->model()->index(1, 0));
    QTest::keyClick(sets(), Qt::Key_Space);
    QCOMPARE(sets()->model()->index(1, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(),
             Qt::Unchecked);
    choose(0);
    table()->setCurrentIndex(lines()->index(1, LineModel::TextColumn));
    QTest::keyClick(table(), Qt::Key_Space);
    QCOMPARE(sets()->model()->index(0, 0).data(SetListModel::CountsRole).toString(),
             QStringLiteral("1 on, 1 off"));
    QCOMPARE(find<QLabel>("state")->text(), QStringLiteral("edits not yet applied"));
    const QString diff = review_and_apply();
    QVERIFY2(diff.contains(QString::fromStdString("\n-10.0.0.6 wiki.test\n+" + kOff +
                                                  "10.0.0.6 wiki.test\n " + kNode +
                                                  "home\n-10.0.0.7 "
                                                  "nas.home\n+" +
                                                  kOff + "10.0.0.7 nas.home\n")),
             qPrintable(diff));
    QCOMPARE(banner(), QStringLiteral("done: the helper wrote the sets into /etc/hosts"));
    QCOMPARE(read_hosts(),
             block({kNode + "work", "10.0.0.5 intranet.test", kOff + "10.0.0.6 wiki.test",
                    kNode + "home", kOff + "10.0.0.7 nas.home"}));
    QTRY_VERIFY(!document().edited());
    QVERIFY(!find<QPushButton>("apply")->isEnabled());
    // Lines switched together with Space, a set moved with Alt+Up; exported, the sets read back.
    table()->selectAll();
    QTest::keyClick(table(), Qt::Key_Space);
    choose(1);
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QTest::keyClick(window_.get(), Qt::Key_Up, Qt::AltModifier);
    review_and_apply();
    QTRY_COMPARE(read_hosts(), block({kNode + "home", kOff + "10.0.0.7 nas.home", kNode + "work",
                                      "10.0.0.5 intranet.test", "10.0.0.6 wiki.test"}));
    const QString exported = scratch_.filePath(QStringLiteral("sets.json"));
    session_->export_to(exported);
    QTRY_VERIFY(banner().startsWith(QLatin1String("the sets were written to")));
    QCOMPARE(*manager::parse_sets_file(*manager::read_file(exported.toStdString())),
             document().sets());
  }

  void a_bad_line_is_named_as_it_is_typed_and_apply_waits() {
    write_file(kHosts, block({kNode + "work", "10.0.0.5 intranet.test"}));
    open();
    choose(0);
    QLineEdit* editor = type_new_line(QStringLiteral("10.0.0.6 bad_name.test"));
    // The helper's own sentence, on the line, before anything is sent.
    QCOMPARE(issue_of(1),
             QStringLiteral("the part \"bad_name\" holds something other than letters, "
                            "digits and hyphens"));
    QVERIFY(!find<QPushButton>("apply")->isEnabled());
    QCOMPARE(find<QLabel>("state")->text(),
             QStringLiteral("1 issue: Apply waits until it is mended"));
    session_->export_to(scratch_.filePath(QStringLiteral("refused.json")));
    QCOMPARE(banner(), QStringLiteral("nothing was exported: apply would refuse the sets while "
                                      "they have issues; mend them first"));
    for (int i = 0; i < 13; ++i) QTest::keyClick(editor, Qt::Key_Backspace);
    QTest::keyClicks(editor, QStringLiteral("wiki.test"));
    QCOMPARE(editor->text(), QStringLiteral("10.0.0.6 wiki.test"));
    QCOMPARE(issue_of(1), QString());
    QVERIFY(find<QPushButton>("apply")->isEnabled());
    commit(editor);
    // A name two sets map to different addresses: marked on both lines.
    QTest::keyClicks(find<QLineEdit>("new set name"), QStringLiteral("lab"));
    QTest::keyClick(find<QLineEdit>("new set name"), Qt::Key_Return);
    QCOMPARE(lines()->shown_set(), 1);
    commit(type_new_line(QStringLiteral("10.0.0.9 intranet.test")));
    const QString twice = QStringLiteral(
        "intranet.test is mapped to more than one address by the sets being applied");
    QCOMPARE(issue_of(0), twice);
    choose(0);
    QCOMPARE(issue_of(0), twice);
    QCOMPARE(find<QListView>("issues")->model()->rowCount(), 2);
    QCOMPARE(find<QListView>("issues")->model()->index(1, 0).data().toString(),
             "set \"lab\", line 1: " + twice);
    QCOMPARE(find<QLabel>("state")->text(),
             QStringLiteral("2 issues: Apply waits until they are mended"));
    QVERIFY(!find<QPushButton>("apply")->isEnabled());
    // The filter finds the two lines across the sets, each with its set.
    QTest::keyClicks(find<QLineEdit>("filter"), QStringLiteral("INTRANET"));
    QCOMPARE(lines()->rowCount(), 2);
    QCOMPARE(lines()->index(1, LineModel::SetColumn).data().toString(), QStringLiteral("lab"));
    QCOMPARE(issue_of(1), twice);
  }

  // Also past a block edited by hand that no longer reads back, which takes
  // no edit but can be gone back from, as the command's undo does. Going
  // back is reviewed first, and a review cancelled leaves the edits alone.
  void undo_from_the_history() {
    QCOMPARE(command({"add", "work", "10.0.0.5 intranet.test"}), 0);
    const std::string before = read_hosts();
    QCOMPARE(command({"add", "work", "10.0.0.6 wiki.test"}), 0);
    write_file(kHosts, block({kNode + "work", "10.0.0.5 intranet.test", "10.0.0.5 bad_name.test"}));
    open();
    QCOMPARE(banner(), QStringLiteral("/etc/hosts: the managed block holds what the helper would "
                                      "refuse, at line 7: the part \"bad_name\" holds something "
                                      "other than letters, digits and hyphens"));
    QCOMPARE(find<QLabel>("state")->text(),
             QStringLiteral("the file's sets cannot be changed now"));
    QVERIFY(!find<QPushButton>("apply")->isEnabled());
    QTest::keyClick(window_.get(), Qt::Key_H, Qt::ControlModifier);
    auto* history = dialog<HistoryDialog>();
    auto* backups = history->findChild<QListView*>(QStringLiteral("backups"));
    QCOMPARE(backups->model()->rowCount(), 2);
    QVERIFY(backups->model()->index(0, 0).data().toString().endsWith(
        QLatin1String("a block that does not read back")));
    QVERIFY(
        backups->model()->index(1, 0).data().toString().endsWith(QLatin1String("added \"work\"")));
    QVERIFY(history->findChild<DiffView*>(QStringLiteral("diff"))
                ->toPlainText()
                .contains(QLatin1String("\n+10.0.0.5 bad_name.test\n")));
    QTest::mouseClick(history->findChild<QPushButton*>(QStringLiteral("go back")), Qt::LeftButton);
    auto* review = dialog<ReviewDialog>();
    QVERIFY(review->findChild<DiffView*>(QStringLiteral("diff"))
                ->toPlainText()
                .contains(QLatin1String("\n-10.0.0.5 bad_name.test\n")));
    QTest::mouseClick(review->findChild<QPushButton*>(QStringLiteral("apply")), Qt::LeftButton);
    QTRY_COMPARE(banner(), QStringLiteral("done: the helper wrote the sets into /etc/hosts"));
    QCOMPARE(read_hosts(), before);
    QVERIFY(!document().edited());
    QCOMPARE(document().sets(), *manager::read_sets(before));
    choose(0);
    table()->setCurrentIndex(lines()->index(0, LineModel::TextColumn));
    QTest::keyClick(table(), Qt::Key_Space);
    const manager::Sets edits = document().sets();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QTest::keyClick(window_.get(), Qt::Key_H, Qt::ControlModifier);
    history = dialog<HistoryDialog>();
    backups = history->findChild<QListView*>(QStringLiteral("backups"));
    backups->setCurrentIndex(backups->model()->index(2, 0));  // the file before any set
    QTest::mouseClick(history->findChild<QPushButton*>(QStringLiteral("go back")), Qt::LeftButton);
    dialog<ReviewDialog>()->reject();
    QCOMPARE(document().sets(), edits);
  }

  void import_with_refused_lines() {
    const std::string list = scratch_.filePath(QStringLiteral("blocklist.txt")).toStdString();
    write_file(list, "# a published list\n0.0.0.0 ads.example\n0.0.0.0 bad_name.example\n");
    open();
    // Dropped on the window with a link, which only gets a sentence.
    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(QString::fromStdString(list)),
                     QUrl(QStringLiteral("https://example.com/hosts"))});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window_.get(), &enter);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window_.get(), &drop);
    QCOMPARE(banner(), QStringLiteral("only a file on this machine can be imported: "
                                      "https://example.com/hosts"));
    auto* import = dialog<ImportDialog>();
    auto* refused = import->findChild<QListView*>(QStringLiteral("refused"));
    QCOMPARE(refused->model()->rowCount(), 1);
    QCOMPARE(refused->model()->index(0, 0).data().toString(),
             QStringLiteral("line 3: 0.0.0.0 bad_name.example: the part \"bad_name\" holds "
                            "something other than letters, digits and hyphens"));
    QCOMPARE(import->findChild<QLineEdit*>(QStringLiteral("name"))->text(),
             QStringLiteral("blocklist"));
    QTest::mouseClick(import->findChild<QPushButton*>(QStringLiteral("import")), Qt::LeftButton);
    QCOMPARE(banner(),
             QStringLiteral("imported \"blocklist\": 2 lines, 1 left out; Apply writes it"));
    review_and_apply();
    QCOMPARE(read_hosts(),
             block({kNode + "blocklist", "# a published list", "0.0.0.0 ads.example"}));
    // Once more under the same name: refused in the dialog, which stays.
    window_->import_path(QString::fromStdString(list));
    import = dialog<ImportDialog>();
    QTest::mouseClick(import->findChild<QPushButton*>(QStringLiteral("import")), Qt::LeftButton);
    QCOMPARE(import->findChild<QLabel*>(QStringLiteral("refusal"))->text(),
             QStringLiteral("there is a set named \"blocklist\" already"));
    import->findChild<QLineEdit*>(QStringLiteral("name"))->clear();
    QTest::mouseClick(import->findChild<QPushButton*>(QStringLiteral("import")), Qt::LeftButton);
    QCOMPARE(import->findChild<QLabel*>(QStringLiteral("refusal"))->text(),
             QStringLiteral("a set's name cannot be empty"));
    QVERIFY(import->isVisible());
    QCOMPARE(document().sets().size(), 1u);
  }

  void a_change_made_by_the_command_is_seen_and_kept() {
    QCOMPARE(command({"add", "work", "10.0.0.5 intranet.test", "10.0.0.6 wiki.test"}), 0);
    open();
    choose(0);
    table()->setCurrentIndex(lines()->index(0, LineModel::TextColumn));
    QTest::keyClick(table(), Qt::Key_Space);  // an edit not yet applied
    QCOMPARE(command({"add", "home", "10.0.0.7 nas.home"}), 0);
    QTRY_COMPARE(banner(), QStringLiteral("/etc/hosts was changed elsewhere and read again; the "
                                          "edits not yet applied are kept"));
    QCOMPARE(document().sets().size(), 2u);
    QVERIFY(!document().sets()[0].lines[0].enabled);
    // The file changes again after its diff was shown: nothing is sent.
    QTest::mouseClick(find<QPushButton>("apply"), Qt::LeftButton);
    auto* review = dialog<ReviewDialog>();
    QCOMPARE(command({"add", "nas", "10.0.0.8 nas.test"}), 0);
    QTest::mouseClick(review->findChild<QPushButton*>(QStringLiteral("apply")), Qt::LeftButton);
    QTRY_VERIFY(banner().startsWith(
        QLatin1String("nothing was sent: /etc/hosts changed after its diff was shown")));
    QCOMPARE(document().sets().size(), 3u);
    review_and_apply();
    QCOMPARE(read_hosts(),
             block({kNode + "work", kOff + "10.0.0.5 intranet.test", "10.0.0.6 wiki.test",
                    kNode + "home", "10.0.0.7 nas.home", kNode + "nas", "10.0.0.8 nas.test"}));
  }

  void bad_input_gets_a_sentence_and_nothing_is_sent_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("sentence");
    const QString dir = scratch_.path();
    const QString fifo = scratch_.filePath(QStringLiteral("fifo"));
    ::mkfifo(fifo.toLocal8Bit().constData(), 0600);
    const QString latin1 = scratch_.filePath(QStringLiteral("latin1.txt"));
    write_file(latin1.toStdString(), "10.0.0.9 a.test\n10.0.0.9 caf\xe9.test\n");
    const QString huge = scratch_.filePath(QStringLiteral("huge.txt"));
    write_file(huge.toStdString(), "");
    QVERIFY(::truncate(huge.toLocal8Bit().constData(), (16 << 20) + 1) == 0);
    QTest::newRow("a directory") << dir << dir + ": not a regular file";
    QTest::newRow("a FIFO") << fifo << fifo + ": not a regular file";
    QTest::newRow("not UTF-8") << latin1 << latin1 + ": line 2 is not valid UTF-8";
    QTest::newRow("over the limit")
        << huge << huge + ": the file is 16777217 octets, and the client reads at most 16777216";
    QTest::newRow("a set name that exists") << QString() << "there is a set named \"work\" already";
  }

  void bad_input_gets_a_sentence_and_nothing_is_sent() {
    QFETCH(QString, path);
    QFETCH(QString, sentence);
    QCOMPARE(command({"add", "work", "10.0.0.5 intranet.test"}), 0);
    const std::string before = read_hosts();
    open();
    if (path.isEmpty()) {
      QTest::keyClicks(find<QLineEdit>("new set name"), QStringLiteral("work"));
      QTest::keyClick(find<QLineEdit>("new set name"), Qt::Key_Return);
    } else {
      window_->import_path(path);
    }
    QTRY_COMPARE(banner(), sentence);
    QVERIFY(window_->findChildren<ImportDialog*>().isEmpty());
    QCOMPARE(document().sets().size(), 1u);
    QVERIFY(!document().edited());
    QCOMPARE(read_hosts(), before);
  }

  void one_of_several_in_the_window_and_the_tray() {
    QCOMPARE(command({"add", "--one-of", "env", "dev", "10.0.0.1 app.test"}), 0);
    QCOMPARE(command({"add", "--off", "--one-of", "env", "staging", "10.0.0.2 app.test"}), 0);
    open();
    Tray tray(*session_, *window_, QIcon());
    // The mark is not shown as a line, and the lines keep the helper's numbers.
    choose(1);
    QCOMPARE(lines()->rowCount(), 1);
    QCOMPARE(lines()->index(0, LineModel::NumberColumn).data().toInt(), 2);
    QCOMPARE(find<QLineEdit>("group")->text(), QStringLiteral("env"));
    sets()->setFocus();
    QTest::keyClick(sets(), Qt::Key_Space);
    QCOMPARE(banner(), QStringLiteral("switched off \"dev\": only one of \"env\" is on at a time"));
    review_and_apply();
    QCOMPARE(read_hosts(), block({kNode + "dev", "# one of: env", kOff + "10.0.0.1 app.test",
                                  kNode + "staging", "# one of: env", "10.0.0.2 app.test"}));
    // In the tray: a switch applied at once, the group taking turns.
    QAction* dev = nullptr;
    QTRY_VERIFY((dev = tray.menu().actions().value(1)) != nullptr &&
                dev->text().startsWith("dev") && !dev->isChecked() && dev->isEnabled());
    dev->trigger();
    QTRY_COMPARE(read_hosts(),
                 block({kNode + "dev", "# one of: env", "10.0.0.1 app.test", kNode + "staging",
                        "# one of: env", kOff + "10.0.0.2 app.test"}));
    QTRY_VERIFY(!tray.menu().actions().value(2)->isChecked() &&
                tray.menu().actions().value(1)->isChecked());
    // A set made one of the group in the window, from its group field.
    QTest::keyClicks(find<QLineEdit>("new set name"), QStringLiteral("prod"));
    QTest::keyClick(find<QLineEdit>("new set name"), Qt::Key_Return);
    commit(type_new_line(QStringLiteral("# one of: env")));
    QCOMPARE(banner(), QStringLiteral("a first line \"# one of: env\" would make the set one of a "
                                      "group: the One of field does that"));
    QCOMPARE(lines()->rowCount(), 1);
    QTest::keyClicks(find<QLineEdit>("group"), QStringLiteral("env"));
    QTest::keyClick(find<QLineEdit>("group"), Qt::Key_Return);
    QVERIFY(manager::group_of(document().sets()[2]) == "env");
  }

  void remove_everything_behind_its_confirmation() {
    QCOMPARE(command({"add", "work", "10.0.0.5 intranet.test"}), 0);
    open();
    auto* helper = window_->menuBar()->findChildren<QMenu*>().value(2);
    QVERIFY(helper != nullptr && helper->title() == QStringLiteral("&Helper"));
    helper->actions().value(3)->trigger();
    QTRY_COMPARE(banner(), QStringLiteral("done: the name caches were flushed"));
    helper->actions().value(4)->trigger();
    auto* confirm = dialog<QMessageBox>();
    QVERIFY(confirm->informativeText().contains(QLatin1String("This cannot be undone.")));
    QPushButton* remove = nullptr;
    for (QAbstractButton* b : confirm->buttons()) {
      if (b->text() == QStringLiteral("Remove everything")) remove = qobject_cast<QPushButton*>(b);
    }
    QVERIFY(remove != nullptr);
    QTest::mouseClick(remove, Qt::LeftButton);
    QTRY_VERIFY(
        banner().startsWith(QLatin1String("done: /etc/hosts is as it was before the "
                                          "helper's first change")));
    QCOMPARE(read_hosts(), kOriginal);
    QVERIFY(document().sets().empty());
  }

  void the_keyboard_alone_and_a_name_for_every_control() {
    open();
    QTest::keyClick(window_.get(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("work"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::keyClick(window_.get(), Qt::Key_N, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("10.0.0.5 intranet.test"));
    commit(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
    QTest::keyClick(window_.get(), Qt::Key_Return, Qt::ControlModifier);
    auto* review = dialog<ReviewDialog>();
    QTest::keyClick(review, Qt::Key_Return);
    QTRY_COMPARE(banner(), QStringLiteral("done: the helper wrote the sets into /etc/hosts"));
    QCOMPARE(read_hosts(), block({kNode + "work", "10.0.0.5 intranet.test"}));
    // What the window says reaches assistive technology, under its name.
    auto* said = QAccessible::queryAccessibleInterface(find<QLabel>("banner"));
    QCOMPARE(said->text(QAccessible::Description), banner());
    // Every control a person can reach has a name assistive technology reads.
    QStringList unnamed;
    for (QWidget* widget : window_->findChildren<QWidget*>()) {
      if (widget->focusPolicy() == Qt::NoFocus || !widget->isVisibleTo(window_.get()) ||
          qobject_cast<QScrollBar*>(widget) != nullptr || widget->accessibleName().size() > 0) {
        continue;
      }
      unnamed << QLatin1String(widget->metaObject()->className()) + QLatin1Char(' ') +
                     widget->objectName();
    }
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
  }

  // What the window says of each answer, without the helper.
  void outcomes_in_words() {
    using Got = lwk::Result<hosts_ipc::Response, manager::Failure>;
    const auto failed = [](manager::Failure::Kind kind) {
      return Got(lwk::unexpected(manager::Failure{kind, "why", {}}));
    };
    const Got issues(hosts_ipc::Response(hosts_ipc::Issues{{{"m", 0, 1}}}));
    const std::tuple<Asked, Got, Tone, QString> rows[] = {
        {Asked::Apply, Got(hosts_ipc::Response(hosts_ipc::Unchanged{})), Tone::Good,
         "unchanged: /etc/hosts already held these sets"},
        {Asked::Apply, issues, Tone::Bad, "the helper refused the sets\nm"},
        {Asked::Flush, issues, Tone::Bad, "the helper refused to flush the name caches\nm"},
        {Asked::RemoveEverything, issues, Tone::Bad, "the helper refused to remove everything\nm"},
        {Asked::Flush, failed(manager::Failure::Kind::NotServed), Tone::Bad, "why"},
        {Asked::Apply, failed(manager::Failure::Kind::Unreachable), Tone::Bad, "why"},
        {Asked::Apply, failed(manager::Failure::Kind::NotNow), Tone::Warning, "why"},
    };
    for (const auto& [asked, got, tone, said] : rows) {
      const Told told = told_answer(Answer{asked, {}, got, nullptr});
      QCOMPARE((QStringList{told.sentence} + told.details).join(QLatin1Char('\n')), said);
      QCOMPARE(told.tone, tone);
    }
  }

  void screenshots();
};

// The four screenshots of the README, light and dark, into LWK_SCREENSHOTS.
void WindowTest::screenshots() {
  const QString into = qEnvironmentVariable("LWK_SCREENSHOTS");
  if (into.isEmpty()) QSKIP("LWK_SCREENSHOTS names no directory");
  QVERIFY(QDir().mkpath(into));
  QCOMPARE(
      command({"add", "work", "10.0.0.5 intranet.test", "10.0.0.6 wiki.test", "10.0.0.7 git.test"}),
      0);
  QCOMPARE(command({"add", "--one-of", "env", "dev", "127.0.0.1 app.test api.test"}), 0);
  QCOMPARE(command({"add", "--off", "--one-of", "env", "staging", "10.20.0.4 app.test api.test"}),
           0);
  QCOMPARE(command({"add", "blocklist", "0.0.0.0 ads.example", "0.0.0.0 tracker.example",
                    "0.0.0.0 metrics.example"}),
           0);
  QCOMPARE(command({"disable", "work", "3"}), 0);
  for (const Scheme scheme : {Scheme::Light, Scheme::Dark}) {
    const QString suffix =
        scheme == Scheme::Light ? QStringLiteral("-light.png") : QStringLiteral("-dark.png");
    use_scheme(scheme);
    open();
    Tray tray(*session_, *window_, QApplication::windowIcon());
    window_->resize(1000, 560);
    choose(0);
    commit(type_new_line(QStringLiteral("10.0.0.8 wiki_old.test")));
    table()->setCurrentIndex(lines()->index(1, LineModel::TextColumn));
    QVERIFY(window_->grab().save(into + "/main" + suffix));
    find<QTabWidget>("tabs")->setCurrentIndex(1);
    QVERIFY(window_->grab().save(into + "/file" + suffix));
    find<QTabWidget>("tabs")->setCurrentIndex(0);
    table()->setCurrentIndex(lines()->index(3, LineModel::TextColumn));
    QTest::keyClick(table(), Qt::Key_Delete);
    table()->setCurrentIndex(lines()->index(2, LineModel::TextColumn));
    QTest::keyClick(table(), Qt::Key_Space);
    QTest::mouseClick(find<QPushButton>("apply"), Qt::LeftButton);
    auto* review = dialog<ReviewDialog>();
    review->resize(760, 460);
    QVERIFY(review->grab().save(into + "/diff" + suffix));
    review->reject();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QTest::keyClick(window_.get(), Qt::Key_H, Qt::ControlModifier);
    auto* history = dialog<HistoryDialog>();
    history->resize(760, 460);
    QVERIFY(history->grab().save(into + "/history" + suffix));
    history->reject();
    tray.menu().popup(window_->mapToGlobal(QPoint(40, 40)));
    QVERIFY(QTest::qWaitForWindowExposed(&tray.menu()));
    QVERIFY(tray.menu().grab().save(into + "/tray" + suffix));
    tray.menu().hide();
    cleanup();
  }
}

}  // namespace lantern_wharf::desktop

QTEST_MAIN(lantern_wharf::desktop::WindowTest)
#include "window_test.moc"
