#!/usr/bin/env python3
"""Runs the window's Qt Test program (installed by scripts/sandbox.sh at the
desktop application's trusted path, from LWK_SANDBOX_DESKTOP) against the
real helper, started as the end-to-end tests start it. Arguments go to the
program (Qt Test's, and -platform). Runs only inside scripts/sandbox.sh."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
import sandboxed  # noqa: E402


def main():
    if not (sandboxed.in_sandbox() and sandboxed.DESKTOP and os.path.exists(sandboxed.DESKTOP)):
        print("runs inside scripts/sandbox.sh, with the window's tests installed")
        return 77
    helper = sandboxed.start_helper(subprocess.DEVNULL)
    if helper is None:
        print("the helper did not start listening")
        return 1
    try:
        return subprocess.run([sandboxed.DESKTOP, *sys.argv[1:]], timeout=240).returncode
    finally:
        helper.terminate()
        helper.wait()


if __name__ == "__main__":
    sys.exit(main())
