#!/usr/bin/env bash
# Builds the window's benchmark (bench/desktop_bench.cpp) and runs it with a
# managed block of 1 MiB: its memory in a process of its own, opening the
# window and a keystroke's issues (under Xvfb where it is installed), then,
# in the sandbox with the real helper
# and installed at the desktop application's trusted path, a switch applied
# against the command's apply of the same sets. Needs root for the last.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench --target desktop_bench lantern-wharf lantern-wharf-helper >/dev/null
bench=build/bench/bench/desktop_bench
"$bench" memory -platform offscreen
if command -v xvfb-run >/dev/null; then
  # On a display as a desktop has one: X11 (Xvfb here) and a session bus,
  # without which libdbus would start one through X11 for Qt's first call.
  dbus-run-session -- xvfb-run -a -s "-screen 0 1280x900x24" "$bench" open keystroke -platform xcb
else
  "$bench" open keystroke -platform offscreen
fi
LWK_SANDBOX_DESKTOP="$bench" ./scripts/sandbox.sh build/bench python3 bench/desktop_served.py
