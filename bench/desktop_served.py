#!/usr/bin/env python3
"""Runs the window's benchmark of a switch applied through the real helper
(desktop_bench served), installed by scripts/sandbox.sh at the desktop
application's trusted path (LWK_SANDBOX_DESKTOP), with the helper started
as the end-to-end tests start it. Runs inside scripts/sandbox.sh
(scripts/bench-desktop.sh starts it there)."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import sandboxed  # noqa: E402


def main():
    helper = sandboxed.start_helper(subprocess.DEVNULL)
    if helper is None:
        sys.exit("the helper did not start listening")
    try:
        return subprocess.run([sandboxed.DESKTOP, "served", "-platform", "offscreen"]).returncode
    finally:
        helper.terminate()
        helper.wait()


if __name__ == "__main__":
    sys.exit(main())
