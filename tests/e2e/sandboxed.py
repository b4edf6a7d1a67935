"""What the end-to-end tests share: the programs and places of the sandbox
(scripts/sandbox.sh), and starting the helper."""

import os
import socket
import subprocess
import time

HELPER = os.environ.get("LWK_HELPER", "")
CLIENT = os.environ.get("LWK_CLIENT", "")
SOCKET = "/run/org.lanternwharf.kit.helper.sock"
STORE = "/var/db/lantern-wharf-kit"
HOSTS = "/etc/hosts"


def in_sandbox():
    return bool(HELPER and CLIENT and os.environ.get("LWK_IN_SANDBOX"))


def start_helper(stderr):
    """Starts the helper; returns it once its socket answers, or None."""
    helper = subprocess.Popen([HELPER], stderr=stderr)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as probe:
            try:
                probe.connect(SOCKET)
                return helper
            except OSError:
                pass
        time.sleep(0.01)
    helper.kill()
    helper.wait()
    return None
