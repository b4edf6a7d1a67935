// On macOS, Qt's own platform follows the system's appearance.
#include "color_scheme.h"

namespace lantern_wharf::desktop {

void follow_desktop_scheme(QObject&) {}

}  // namespace lantern_wharf::desktop
