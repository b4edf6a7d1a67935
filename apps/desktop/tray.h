// The tray's menu: each set of the file with its switch, applied at once
// (sets of one group take turns), and the way back to the window. It shows
// the file's own sets, not the edits of the window, for a switch here is
// applied to the file straight away; edits not yet applied are kept.
#ifndef LWK_APPS_DESKTOP_TRAY_H_
#define LWK_APPS_DESKTOP_TRAY_H_

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

#include "outcome.h"

namespace lantern_wharf::desktop {

class MainWindow;
class Session;

class Tray : public QObject {
  Q_OBJECT

 public:
  // Shows the icon where the desktop has a tray.
  Tray(Session& session, MainWindow& window, const QIcon& icon, QObject* parent = nullptr);

  QMenu& menu() { return menu_; }
  // Whether the icon is in a tray, so that closing the window keeps the
  // application running there.
  bool in_tray() const { return icon_.isVisible(); }

 private:
  void rebuild();
  // Tells the outcome of a switch in the menu in a message of the tray's,
  // while the window is hidden.
  void tell(const Told& told);

  Session& session_;
  MainWindow& window_;
  QMenu menu_;
  QSystemTrayIcon icon_;
};

}  // namespace lantern_wharf::desktop

#endif  // LWK_APPS_DESKTOP_TRAY_H_
