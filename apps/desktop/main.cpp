// lantern-wharf-desktop: the window over the client's library. It takes Qt's
// own options and no other; its places and the helper it asks are the
// build's (identity/build_constants.h, paths/paths.h).
#include <QApplication>
#include <QIcon>

#include "color_scheme.h"
#include "identity/build_constants.h"
#include "main_window.h"
#include "memory_policy.h"
#include "session.h"
#include "tray.h"

int main(int argc, char** argv) {
  lantern_wharf::desktop::keep_freed_memory();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("lantern-wharf-desktop"));
  QApplication::setApplicationDisplayName(QStringLiteral("Lantern Wharf"));
  QApplication::setDesktopFileName(QString::fromUtf8(
      identity::CLIENT_ID.data(), static_cast<qsizetype>(identity::CLIENT_ID.size())));
  const QIcon icon = QIcon::fromTheme(QApplication::desktopFileName(),
                                      QIcon(QStringLiteral(":/lantern-wharf/icon.svg")));
  QApplication::setWindowIcon(icon);
  lantern_wharf::desktop::follow_desktop_scheme(app);

  // The file is read on the worker's thread while the window is built.
  lantern_wharf::desktop::Session session(lantern_wharf::desktop::Places::system());
  session.open();
  lantern_wharf::desktop::MainWindow window(session);
  lantern_wharf::desktop::Tray tray(session, window, icon);
  window.set_tray(&tray);
  // With a tray, the application lives on there after the window closes.
  QApplication::setQuitOnLastWindowClosed(!tray.in_tray());
  window.show();
  return QApplication::exec();
}
