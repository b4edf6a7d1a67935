// On Linux, the freedesktop portal's "color-scheme" setting: 1 when the
// person prefers dark, 2 light, 0 neither. Qt 6.4's platforms follow it only
// on Plasma, whose palette then already matches and is left alone.
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include "color_scheme.h"
#include "tones.h"

namespace lantern_wharf::desktop {
namespace {

const char kPortal[] = "org.freedesktop.portal.Desktop";
const char kPath[] = "/org/freedesktop/portal/desktop";
const char kSettings[] = "org.freedesktop.portal.Settings";
const char kNamespace[] = "org.freedesktop.appearance";
const char kKey[] = "color-scheme";

// The number inside the variants the portal wraps it in.
uint unwrapped(QVariant value) {
  while (value.userType() == qMetaTypeId<QDBusVariant>()) {
    value = value.value<QDBusVariant>().variant();
  }
  return value.toUInt();
}

void take_preference(uint preference) {
  const bool dark = is_dark(QApplication::palette());
  if (preference == 1 && !dark) use_scheme(Scheme::Dark);
  if (preference == 2 && dark) use_scheme(Scheme::Light);
}

// Receives the portal's signal when a setting changes.
class PortalListener : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

 public slots:
  void changed(const QString& space, const QString& key, const QDBusVariant& value) {
    if (space == QLatin1String(kNamespace) && key == QLatin1String(kKey)) {
      take_preference(unwrapped(value.variant()));
    }
  }
};

}  // namespace

void follow_desktop_scheme(QObject& owner) {
  // Without a session bus there is no desktop to follow, and nothing is
  // started to find one.
  if (!qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  auto* listener = new PortalListener(&owner);
  bus.connect(QLatin1String(kPortal), QLatin1String(kPath), QLatin1String(kSettings),
              QStringLiteral("SettingChanged"), listener,
              SLOT(changed(QString, QString, QDBusVariant)));
  QDBusMessage read =
      QDBusMessage::createMethodCall(QLatin1String(kPortal), QLatin1String(kPath),
                                     QLatin1String(kSettings), QStringLiteral("Read"));
  read << QLatin1String(kNamespace) << QLatin1String(kKey);
  auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(read, 2000), listener);
  QObject::connect(pending, &QDBusPendingCallWatcher::finished, listener,
                   [](QDBusPendingCallWatcher* call) {
                     const QDBusPendingReply<QVariant> reply = *call;
                     call->deleteLater();
                     if (!reply.isError()) take_preference(unwrapped(reply.value()));
                   });
}

}  // namespace lantern_wharf::desktop

#include "color_scheme_linux.moc"
