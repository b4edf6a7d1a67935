"""What the end-to-end tests share: the programs and places of the sandbox
(scripts/sandbox.sh), and starting the helper."""

import json
import os
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

HELPER = os.environ.get("LWK_HELPER", "")
CLIENT = os.environ.get("LWK_CLIENT", "")
DESKTOP = os.environ.get("LWK_DESKTOP", "")
GROUP = os.environ.get("LWK_GROUP", "")
SOCKET = "/run/org.lanternwharf.kit.helper.sock"
STORE = "/var/db/lantern-wharf-kit"
HOSTS = "/etc/hosts"
ORIGINAL = "127.0.0.1\tlocalhost\n::1\tlocalhost\n"
# The managed block's markup.
OPEN = "# >>> lantern-wharf managed block \u2014 do not edit >>>"
CLOSE = "# <<< lantern-wharf <<<"
NODE = "# >>> lantern-wharf node: "
OFF = "# lantern-wharf off: "


def block(*lines):
    """The original file with a managed block of `lines`."""
    return ORIGINAL + "\n" + "\n".join([OPEN, *lines, CLOSE]) + "\n"


def in_sandbox():
    return bool(HELPER and CLIENT and os.environ.get("LWK_IN_SANDBOX"))


def start_helper(stderr, **popen):
    """Starts the helper; returns it once its socket answers, or None. Its
    standard output is not the test's, so that a helper left running could
    never hold the test runner's output open."""
    helper = subprocess.Popen([HELPER], stdout=subprocess.DEVNULL, stderr=stderr, **popen)
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


class Fresh(unittest.TestCase):
    """A test that starts from the original hosts file and no store, with a
    scratch directory of its own, and whose helper is killed at its end."""

    def setUp(self):
        with open(HOSTS, "w", encoding="utf-8") as f:
            f.write(ORIGINAL)
        shutil.rmtree(STORE, ignore_errors=True)
        self.scratch = tempfile.mkdtemp()
        self.helper = None

    def tearDown(self):
        if self.helper is not None:
            self.helper.kill()
            self.helper.wait()
        shutil.rmtree(self.scratch, ignore_errors=True)

    def start_helper(self):
        self.helper = start_helper(subprocess.DEVNULL)
        self.assertIsNotNone(self.helper, "the helper did not start listening")

    def preview(self, sets):
        """What an apply of `sets` writes over the original file."""
        r = subprocess.run([CLIENT, "preview", "--hosts", HOSTS, sets], capture_output=True,
                           check=True)
        return r.stdout
