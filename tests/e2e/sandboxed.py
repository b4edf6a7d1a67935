"""What the end-to-end tests share: the programs and places of the sandbox
(scripts/sandbox.sh), and starting the helper."""

import json
import os
import socket
import subprocess
import time

HELPER = os.environ.get("LWK_HELPER", "")
CLIENT = os.environ.get("LWK_CLIENT", "")
GROUP = os.environ.get("LWK_GROUP", "")
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


def sets_file(directory, name, lines):
    """A sets file of one set named `name`, in `directory`."""
    path = os.path.join(directory, name + ".json")
    with open(path, "w", encoding="utf-8") as f:
        json.dump({"sets": [{"name": name, "lines": lines}]}, f)
    return path


def large_lines(tag):
    """About 900 KiB of entries, all names distinct to the tag: near the
    helper's limit of a request."""
    return ["10.%d.%d.%d %s-%d.example.test" % (i // 65536 % 256, i // 256 % 256, i % 256, tag, i)
            for i in range(30000)]
