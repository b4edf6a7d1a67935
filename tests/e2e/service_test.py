#!/usr/bin/env python3
"""The real helper and the real client, end to end.

Runs only inside scripts/sandbox.sh, which gives it a private /etc, /var/db
and /run, and puts the built client at the trusted path: LWK_HELPER and
LWK_CLIENT name the two programs.
"""

import json
import os
import re
import shutil
import signal
import socket
import stat
import struct
import subprocess
import tempfile
import time
import unittest

import sandboxed
from sandboxed import CLIENT, DESKTOP, HELPER, HOSTS, SOCKET, STORE

LOG = STORE + "/helper.log"
ORIGINAL = "127.0.0.1\tlocalhost\n::1\tlocalhost\n"
SETS = {"sets": [{"name": "work", "lines": ["10.0.0.5 intranet.test",
                                            {"text": "10.0.0.6 wiki.test", "enabled": False}]},
                 {"name": "dev", "lines": ["127.0.0.1 app.dev.test"]}]}

DONE = b"\x00\x01\x01"
NOT_UNDERSTOOD = b"\x00\x01\x04"


def frame(kind, payload=b"", length=None):
    return bytes([kind]) + struct.pack(">I", len(payload) if length is None else length) + payload


def read_reply(sock, timeout=10):
    """The body of one reply, or None when the helper ended the connection."""
    sock.settimeout(timeout)
    header = b""
    while len(header) < 4:
        got = sock.recv(4 - len(header))
        if not got:
            return None
        header += got
    (length,) = struct.unpack(">I", header)
    body = b""
    while len(body) < length:
        got = sock.recv(length - len(body))
        if not got:
            return None
        body += got
    return body


def connect():
    sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    sock.connect(SOCKET)
    return sock


def journal():
    """The messages of the helper's log, without their time stamps."""
    if not os.path.exists(LOG):
        return []
    with open(LOG, encoding="utf-8") as f:
        return [line[21:] for line in f.read().splitlines()]


@unittest.skipUnless(sandboxed.in_sandbox(), "runs inside scripts/sandbox.sh")
class Service(unittest.TestCase):
    def setUp(self):
        with open(HOSTS, "w", encoding="utf-8") as f:
            f.write(ORIGINAL)
        shutil.rmtree(STORE, ignore_errors=True)
        self.scratch = tempfile.mkdtemp()
        self.sets = os.path.join(self.scratch, "sets.json")
        with open(self.sets, "w", encoding="utf-8") as f:
            json.dump(SETS, f)
        self.helper = None

    def tearDown(self):
        try:
            if self.helper is not None:
                self.stop_helper()
        finally:
            if self.helper is not None:  # it did not stop: no helper outlives its test
                self.helper.kill()
                self.helper.wait()
            shutil.rmtree(self.scratch, ignore_errors=True)

    def start_helper(self):
        self.helper = sandboxed.start_helper(subprocess.PIPE)
        self.assertIsNotNone(self.helper, "the helper did not start listening")

    def stop_helper(self):
        self.helper.send_signal(signal.SIGTERM)
        _, err = self.helper.communicate(timeout=30)
        self.assertEqual(self.helper.returncode, 0, err.decode())
        self.helper = None
        return err.decode()

    def client(self, *args, program=None, stdin=b""):
        return subprocess.run([program or CLIENT, *args], input=stdin, capture_output=True,
                              timeout=90)

    def test_apply_then_apply_again(self):
        self.start_helper()
        preview = self.client("preview", "--hosts", HOSTS, self.sets)
        self.assertEqual(preview.returncode, 0, preview.stderr)
        done = self.client("apply", self.sets)
        self.assertEqual((done.returncode, done.stdout), (0, b"done\n"), done.stderr)
        with open(HOSTS, "rb") as f:
            self.assertEqual(f.read(), preview.stdout)
        st = os.stat(HOSTS)
        self.assertEqual(stat.S_IMODE(st.st_mode), 0o644)
        self.assertEqual((st.st_uid, st.st_gid), (0, 0))
        with open(STORE + "/before-first-apply", encoding="utf-8") as f:
            self.assertEqual(f.read(), ORIGINAL)
        backups = os.listdir(STORE + "/backups")
        self.assertEqual(len(backups), 1)
        with open(os.path.join(STORE, "backups", backups[0]), encoding="utf-8") as f:
            self.assertEqual(f.read(), ORIGINAL)

        again = self.client("apply", "--json", self.sets)
        self.assertEqual((again.returncode, json.loads(again.stdout)),
                         (0, {"response": "unchanged"}))
        self.assertEqual(len(os.listdir(STORE + "/backups")), 1)
        self.assertEqual([n for n in os.listdir("/etc") if n.startswith("hosts.")], [])

    def test_the_client_without_a_helper_and_over_the_frame_limit(self):
        r = self.client("flush")
        self.assertEqual(r.returncode, 4)
        self.assertEqual(r.stderr, ("lantern-wharf: cannot reach the helper at %s: No such file "
                                    "or directory (os error 2)\n" % SOCKET).encode())
        self.start_helper()
        r = self.client("send", stdin=b"x" * (16 * 1024 * 1024 + 1))
        self.assertEqual(r.returncode, 2)
        self.assertEqual(r.stderr, b"lantern-wharf: the request is 16777217 octets, and a message "
                                   b"to the helper carries at most 16777216\n")
        self.assertEqual(journal(), [])  # nothing reached the helper

    def test_broken_markup_is_one_issue_and_nothing_is_written(self):
        broken = ORIGINAL + "# <<< lantern-wharf <<<\n"
        with open(HOSTS, "w", encoding="utf-8") as f:
            f.write(broken)
        self.start_helper()
        r = self.client("apply", self.sets)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stderr, b"set 0, line 0: the file's markup is broken at line 3: "
                                   b"a closing marker with no opening one\n")
        with open(HOSTS, encoding="utf-8") as f:
            self.assertEqual(f.read(), broken)
        self.assertFalse(os.path.exists(STORE))

    def test_garbage_is_not_understood_and_journaled(self):
        self.start_helper()
        r = self.client("send", stdin=b"garbage")
        self.assertEqual((r.returncode, r.stdout), (1, NOT_UNDERSTOOD))
        self.assertEqual(journal(), ["refused to serve: the message was not understood"])

    def test_flush_and_remove_everything(self):
        self.start_helper()
        r = self.client("flush")
        self.assertEqual((r.returncode, r.stdout), (0, b"done\n"), r.stderr)
        self.assertIn(journal()[-1], ["dropped the name caches", "no name cache was there to drop"])
        self.assertEqual(self.client("apply", self.sets).returncode, 0)
        r = self.client("remove-everything")
        self.assertEqual((r.returncode, r.stdout), (0, b"done\n"), r.stderr)
        with open(HOSTS, encoding="utf-8") as f:
            self.assertEqual(f.read(), ORIGINAL)
        self.assertFalse(os.path.exists(STORE))
        # A refusal journaled after the removal does not make the store anew.
        with connect() as sock:
            sock.sendall(frame(0x01, b"\x00\x01\x02"))
            self.assertEqual(read_reply(sock), b"")
        self.assertFalse(os.path.exists(STORE))
        err = self.stop_helper()
        lines = err.splitlines()
        self.assertTrue(lines[-2].endswith(" removed everything this side keeps"), err)
        self.assertRegex(lines[-1], r" refused to serve: pid \d+ runs .*python.*, not the client "
                         + re.escape(CLIENT) + " nor " + re.escape(DESKTOP) + "$")

    def test_a_copy_of_the_client_is_refused(self):
        self.start_helper()
        copy = os.path.join(self.scratch, "lantern-wharf")
        shutil.copy2(CLIENT, copy)
        r = self.client("apply", self.sets, program=copy)
        self.assertEqual(r.returncode, 3)
        self.assertTrue(r.stderr.startswith(b"lantern-wharf: the helper refused to serve this "
                                            b"program: it serves root, the members of the group "),
                        r.stderr)
        r = self.client("send", program=copy, stdin=b"\x00\x01\x02")
        self.assertEqual((r.returncode, r.stdout), (3, b""))
        refusals = journal()
        self.assertEqual(len(refusals), 2, refusals)
        for line in refusals:
            self.assertRegex(line, r"^refused to serve: pid \d+ runs " + re.escape(copy)
                             + ", not the client " + re.escape(CLIENT) + " nor "
                             + re.escape(DESKTOP) + "$")
        with open(HOSTS, encoding="utf-8") as f:
            self.assertEqual(f.read(), ORIGINAL)

    def test_frames_of_every_kind(self):
        self.start_helper()
        # This test is no client: what it sends is refused, which proves the
        # framing; the handler's own tests prove the outcomes of kinds 0 and 2.
        with connect() as sock:
            sock.sendall(frame(0x00))
            self.assertEqual(read_reply(sock), b"")
            sock.sendall(frame(0x02, b"not data"))
            self.assertEqual(read_reply(sock), b"")
            sock.sendall(frame(0x81, b"\x00\x01\x02"))  # no reply wanted: none comes
            sock.sendall(frame(0x01, b"\x00\x01\x02"))
            self.assertEqual(read_reply(sock), b"")
        for ending in (frame(0x03), frame(0x01, length=16 * 1024 * 1024 + 1)):
            with connect() as sock:
                sock.sendall(ending)
                self.assertIsNone(read_reply(sock))  # the connection ends at once
        r = self.client("flush")
        self.assertEqual(r.returncode, 0, r.stderr)

    def test_a_silent_connection_does_not_hold_up_another(self):
        self.start_helper()
        with connect(), connect() as half:
            half.sendall(frame(0x01, b"\x00\x01", length=100))  # half a frame, then nothing
            start = time.monotonic()
            r = self.client("apply", self.sets)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertLess(time.monotonic() - start, 5)

    def test_stale_socket_and_a_second_helper(self):
        stale = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        stale.bind(SOCKET)
        stale.close()  # the file stays, and nothing listens on it
        self.start_helper()
        second = subprocess.run([HELPER], capture_output=True, timeout=30)
        self.assertEqual(second.returncode, 1)
        self.assertEqual(second.stderr,
                         ("lantern-wharf-helper: another helper is already serving on %s\n"
                          % SOCKET).encode())
        # Its standard error a pipe whose reader has gone: it says so in
        # vain, and still ends with status 1, not by SIGPIPE.
        read_end, write_end = os.pipe()
        os.close(read_end)
        try:
            gone = subprocess.run([HELPER], stdout=subprocess.DEVNULL, stderr=write_end,
                                  timeout=30)
        finally:
            os.close(write_end)
        self.assertEqual(gone.returncode, 1)
        self.assertEqual(self.client("flush").returncode, 0)
        st = os.stat(SOCKET)
        self.assertEqual(stat.S_IMODE(st.st_mode), 0o666)
        self.assertEqual(st.st_uid, 0)

    def test_the_store_keeps_its_modes_whatever_the_umask(self):
        """Started with a file-creation mask of 000, the helper still makes
        the store's directories 0755 and its files 0644: nobody else may
        rewrite the snapshot that remove-everything puts back."""
        self.helper = sandboxed.start_helper(subprocess.PIPE, preexec_fn=lambda: os.umask(0))
        self.assertIsNotNone(self.helper, "the helper did not start listening")
        self.assertEqual(self.client("apply", self.sets).returncode, 0)
        self.assertEqual(self.client("flush").returncode, 0)  # a journal line
        modes = {}
        for top, dirs, files in os.walk(STORE):
            for name in dirs + files:
                modes[os.path.relpath(os.path.join(top, name), STORE)] = \
                    stat.S_IMODE(os.lstat(os.path.join(top, name)).st_mode)
        self.assertIn("before-first-apply", modes)
        self.assertIn("helper.log", modes)
        for name, mode in modes.items():
            wanted = 0o755 if os.path.isdir(os.path.join(STORE, name)) else 0o644
            self.assertEqual(mode, wanted, name)
        self.assertEqual(stat.S_IMODE(os.stat(STORE).st_mode), 0o755)

    def test_debris_of_a_crash_is_cleared_at_start(self):
        os.makedirs(STORE + "/backups")
        debris = ["/etc/hosts.lantern-wharf-7", STORE + "/before-first-apply.partial",
                  STORE + "/backups/.hosts-000000000000000000000001-000001.partial"]
        for path in debris:
            with open(path, "w", encoding="utf-8") as f:
                f.write("half")
        self.start_helper()
        # Served only once the debris is cleared, which the socket's answer
        # alone does not say.
        self.assertEqual(self.client("flush").returncode, 0)
        for path in debris:
            self.assertFalse(os.path.exists(path), path)
        self.assertEqual(sorted(journal()[:-1]),
                         sorted("removed a leftover temporary file: " + p for p in debris))

    def test_a_stop_during_start_up_is_not_lost(self):
        # Much debris: the helper is still clearing it, its socket already
        # answering, when the stop comes.
        os.makedirs(STORE + "/backups")
        for i in range(5000):
            with open(STORE + "/backups/.hosts-%024d-000001.partial" % i, "w") as f:
                f.write("half")
        self.helper = sandboxed.start_helper(subprocess.DEVNULL)
        self.assertIsNotNone(self.helper, "the helper did not start listening")
        self.helper.send_signal(signal.SIGTERM)
        try:
            self.helper.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.fail("the helper did not stop")
        self.assertEqual(self.helper.returncode, 0)
        self.helper = None

    def test_the_log_is_rotated_at_its_bound(self):
        os.makedirs(STORE)
        full = "x" * (1024 * 1024 - 30) + "\n"
        with open(LOG, "w", encoding="utf-8") as f:
            f.write(full)
        self.start_helper()
        with connect() as sock:
            sock.sendall(frame(0x01, b"\x00\x01\x02"))
            self.assertEqual(read_reply(sock), b"")
        with open(LOG + ".1", encoding="utf-8") as f:
            self.assertEqual(f.read(), full)
        self.assertEqual(len(journal()), 1)
        self.assertTrue(journal()[0].startswith("refused to serve: "))


if __name__ == "__main__":
    unittest.main(verbosity=2)
