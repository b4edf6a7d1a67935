// The window in the desktop's light or dark style. Where the platform itself
// follows the desktop (macOS, Plasma), its palette is used as it comes; where
// it does not (Qt 6.4 on GNOME and other desktops that say their preference
// through the freedesktop portal), the window reads the preference and takes
// Qt's Fusion style with a light or dark palette to match.
#ifndef LWK_APPS_DESKTOP_COLOR_SCHEME_H_
#define LWK_APPS_DESKTOP_COLOR_SCHEME_H_

#include <QObject>

namespace lantern_wharf::desktop {

enum class Scheme { Light, Dark };

// The Fusion style with a palette for `scheme`, for the whole application.
void use_scheme(Scheme scheme);

// Follows the desktop's preference from now on, when the platform's palette
// does not already: read once at start, without waiting for it, and again
// whenever it changes. `owner` keeps what listens.
void follow_desktop_scheme(QObject& owner);

}  // namespace lantern_wharf::desktop

#endif  // LWK_APPS_DESKTOP_COLOR_SCHEME_H_
