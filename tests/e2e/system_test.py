#!/usr/bin/env python3
"""The helper as a Linux system runs it: started by socket activation, and
reached by users who are, or are not, in its group.

Runs only inside scripts/sandbox.sh: the users and the group are made in the
sandbox's copy of /etc.
"""

import os
import shutil
import signal
import subprocess
import time
import unittest

import sandboxed
from sandboxed import CLIENT, DESKTOP, GROUP, HELPER, HOSTS, ORIGINAL, SOCKET, STORE, large_lines, sets_file


def writing():
    """Whether the helper is part-way through changing the file: its
    temporary file beside the target, or a partial snapshot or backup."""
    if any(n.startswith("hosts.lantern-wharf-") for n in os.listdir("/etc")):
        return True
    if os.path.exists(STORE + "/before-first-apply.partial"):
        return True
    try:
        return any(n.endswith(".partial") for n in os.listdir(STORE + "/backups"))
    except FileNotFoundError:
        return False


@unittest.skipUnless(sandboxed.in_sandbox(), "runs inside scripts/sandbox.sh")
class System(sandboxed.Fresh):
    def setUp(self):
        super().setUp()
        if os.path.lexists(SOCKET):
            os.unlink(SOCKET)
        os.chmod(self.scratch, 0o755)  # the users' clients read their sets here

    def test_socket_activation_and_a_stop_during_an_apply(self):
        a = sets_file(self.scratch, "a", large_lines("a"))
        b = sets_file(self.scratch, "b", large_lines("b"))
        renderings = {a: self.preview(a), b: self.preview(b)}
        caught = 0
        rounds = 8
        for n in range(rounds):
            # systemd-socket-activate listens, and starts the helper on the first
            # connection with the socket handed over, as the socket unit does.
            self.helper = subprocess.Popen(["systemd-socket-activate", "-l", SOCKET, HELPER],
                                           stderr=subprocess.PIPE)
            deadline = time.monotonic() + 10
            while not os.path.exists(SOCKET) and time.monotonic() < deadline:
                time.sleep(0.01)
            sets = (a, b)[n % 2]
            client = subprocess.Popen([CLIENT, "apply", sets], stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE)
            deadline = time.monotonic() + 30
            while not writing() and client.poll() is None and time.monotonic() < deadline:
                pass
            caught += 1 if client.poll() is None else 0
            self.helper.send_signal(signal.SIGTERM)
            out, err = client.communicate(timeout=60)
            # The connection that started the helper was served, and the apply
            # under way when the stop came was finished first.
            self.assertEqual((client.returncode, out), (0, b"done\n"), err)
            _, helper_err = self.helper.communicate(timeout=60)
            self.assertEqual(self.helper.returncode, 0, helper_err.decode())
            self.helper = None
            with open(HOSTS, "rb") as f:
                self.assertEqual(f.read(), renderings[sets], "round %d" % n)
            # The socket is the activator's: the helper left it in place.
            self.assertTrue(os.path.exists(SOCKET), "round %d" % n)
            os.unlink(SOCKET)
        self.assertEqual([n for n in os.listdir("/etc") if n.startswith("hosts.")], [])
        print("\nstopped while writing in %d of %d rounds" % (caught, rounds))
        self.assertGreater(caught, 0, "no stop came while the helper was writing")

    def test_members_of_the_group_and_others(self):
        subprocess.run(["groupadd", "--system", GROUP], check=True)
        subprocess.run(["useradd", "--no-create-home", "--groups", GROUP, "lwk-member"],
                       check=True)
        subprocess.run(["useradd", "--no-create-home", "lwk-other"], check=True)
        sets = sets_file(self.scratch, "work", ["10.0.0.5 intranet.test"])
        rendering = self.preview(sets)
        copy = os.path.join(self.scratch, "lantern-wharf")
        shutil.copy2(CLIENT, copy)
        # The helper finds its group when it starts, and gives it the socket.
        self.start_helper()

        def as_user(user, *command):
            return subprocess.run(["setpriv", "--reuid", user, "--regid", user, "--init-groups",
                                   *command], capture_output=True, timeout=90)

        # Anyone may connect; someone outside the group is served only when
        # polkit allows it, and there is no polkit here: refused.
        refusal = b"lantern-wharf: the helper refused to serve this program: it serves root, "
        other = as_user("lwk-other", CLIENT, "apply", sets)
        self.assertEqual(other.returncode, 3, other.stderr)
        self.assertTrue(other.stderr.startswith(refusal), other.stderr)
        self.assertIn(b"usermod -aG ", other.stderr)
        # Both programs the helper serves are named.
        self.assertIn(("only when they run %s or %s;" % (CLIENT, DESKTOP)).encode(), other.stderr)
        copied = as_user("lwk-member", copy, "apply", sets)
        self.assertEqual(copied.returncode, 3)
        self.assertTrue(copied.stderr.startswith(refusal), copied.stderr)
        with open(HOSTS, encoding="utf-8") as f:
            self.assertEqual(f.read(), ORIGINAL)
        member = as_user("lwk-member", CLIENT, "apply", sets)
        self.assertEqual((member.returncode, member.stdout), (0, b"done\n"), member.stderr)
        with open(HOSTS, "rb") as f:
            self.assertEqual(f.read(), rendering)


if __name__ == "__main__":
    unittest.main(verbosity=2)
