#include "tray.h"

#include <QActionGroup>
#include <QApplication>
#include <map>

#include "main_window.h"
#include "session.h"

namespace lantern_wharf::desktop {

Tray::Tray(Session& session, MainWindow& window, const QIcon& icon, QObject* parent)
    : QObject(parent), session_(session), window_(window), icon_(icon) {
  menu_.setObjectName(QStringLiteral("tray menu"));
  menu_.setAccessibleName(QStringLiteral("Lantern Wharf tray menu"));
  icon_.setToolTip(QStringLiteral("Lantern Wharf: the sets of /etc/hosts"));
  icon_.setContextMenu(&menu_);
  connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::Trigger) {
      window_.show();
      window_.raise();
      window_.activateWindow();
    }
  });
  // Rebuilt once control is back in the event loop: a switch of the menu
  // starts a request, whose start would otherwise delete the very action
  // being triggered.
  connect(&session_.document(), &Document::file_changed, this, &Tray::rebuild,
          Qt::QueuedConnection);
  connect(&session_, &Session::asking_changed, this, &Tray::rebuild, Qt::QueuedConnection);
  connect(&session_, &Session::flipped, this, &Tray::tell);
  rebuild();
  if (QSystemTrayIcon::isSystemTrayAvailable()) icon_.show();
}

void Tray::tell(const Told& told) {
  // The window's banner says it too, but a hidden window says nothing.
  if (window_.isVisible() || !icon_.isVisible()) return;
  QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::Information;
  switch (told.tone) {
    case Tone::Good: return;  // the menu's switch shows it
    case Tone::Neutral: break;
    case Tone::Warning: icon = QSystemTrayIcon::Warning; break;
    case Tone::Bad: icon = QSystemTrayIcon::Critical; break;
  }
  icon_.showMessage(QStringLiteral("Lantern Wharf"),
                    (QStringList{told.sentence} + told.details).join(QLatin1Char('\n')), icon);
}

void Tray::rebuild() {
  menu_.clear();
  for (QActionGroup* group : findChildren<QActionGroup*>()) delete group;
  QAction* heading = menu_.addAction(QStringLiteral("Sets in /etc/hosts"));
  heading->setEnabled(false);
  const Document& document = session_.document();
  if (!document.unreadable().empty()) {
    menu_.addAction(QString::fromStdString(document.unreadable()))->setEnabled(false);
  }
  std::map<std::string, QActionGroup*> groups;
  const manager::Sets& sets = document.file_sets();
  for (std::size_t i = 0; i < sets.size(); ++i) {
    const std::string group(manager::group_of(sets[i]));
    const bool on = manager::count_lines(sets[i]).on > 0;
    QString text = QString::fromStdString(sets[i].name);
    if (!group.empty()) text += QStringLiteral("   (one of %1)").arg(QString::fromStdString(group));
    QAction* action = menu_.addAction(text);
    action->setCheckable(true);
    action->setChecked(on);
    action->setEnabled(!session_.asking());
    if (!group.empty()) {
      QActionGroup*& turns = groups[group];
      if (turns == nullptr) {
        turns = new QActionGroup(this);
        turns->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
      }
      turns->addAction(action);
    }
    connect(action, &QAction::triggered, this, [this, i, name = sets[i].name](bool checked) {
      session_.flip_in_file(i, name, checked);
    });
  }
  if (sets.empty() && document.unreadable().empty()) {
    menu_.addAction(QStringLiteral("(no sets yet)"))->setEnabled(false);
  }
  menu_.addSeparator();
  connect(menu_.addAction(QStringLiteral("&Show the window")), &QAction::triggered, this, [this] {
    window_.show();
    window_.raise();
    window_.activateWindow();
  });
  connect(menu_.addAction(QStringLiteral("&Quit")), &QAction::triggered, this,
          [this] { window_.quit(); });
}

}  // namespace lantern_wharf::desktop
