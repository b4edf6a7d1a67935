#!/usr/bin/env bash
# Makes the Debian root that the system test boots, once, and prints its
# path: build/system-root, or LWK_SYSTEM_ROOT. It holds the helper's system
# and, for the desktop application, the Qt libraries its package depends on,
# X's platform plugin and the SVG icon's, a virtual display, AT-SPI and
# Python's bindings of it to drive the window, and a font; dbus-x11 provides
# the session bus that AT-SPI's settings need, which debootstrap does not
# choose by itself. A root made with another list of packages is made again.
# Two callers at once take turns: scripts/test.sh starts it while the code
# builds, and the system test waits for it. Needs root and the Debian archive.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
system_root=${LWK_SYSTEM_ROOT:-$(cd "$here/../.." && pwd)/build/system-root}
root_packages=systemd,systemd-sysv,dbus,systemd-resolved,nscd,adduser,passwd,util-linux,procps,libpam-systemd,polkitd
root_packages+=,libqt6core6,libqt6dbus6,libqt6gui6,libqt6widgets6,qt6-qpa-plugins,libqt6svg6
root_packages+=,xvfb,xauth,dbus-x11,at-spi2-core,python3-gi,gir1.2-atspi-2.0,fonts-dejavu-core
mkdir -p "$(dirname "$system_root")"
exec 9>"$system_root.lock"
flock 9
# The marker records what the root was made with.
if [ "$(cat "$system_root/.complete" 2>/dev/null)" != "$root_packages" ]; then
  rm -rf "$system_root"
  echo "making a Debian root in $system_root with debootstrap (once)" >&2
  log=$(mktemp)
  debootstrap --variant=minbase --include="$root_packages" \
    bookworm "$system_root" http://deb.debian.org/debian >"$log" 2>&1 ||
    { tail -20 "$log" >&2; rm -f "$log"; exit 1; }
  rm -f "$log"
  echo "$root_packages" >"$system_root/.complete"
fi
echo "$system_root"
