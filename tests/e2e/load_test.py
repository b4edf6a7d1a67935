#!/usr/bin/env python3
"""The helper under contention and crashes, with the real client.

Runs only inside scripts/sandbox.sh. Quick counts by default; LWK_FULL_LOAD=1
runs the full ones (8 clients of 50 applies, 100 kills of each kind).
"""

import os
import random
import re
import signal
import socket
import statistics
import struct
import subprocess
import threading
import time
import unittest

import sandboxed
from sandboxed import CLIENT, HOSTS, ORIGINAL, SOCKET, STORE, large_lines, sets_file

FULL = os.environ.get("LWK_FULL_LOAD") == "1"
STAMPED = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\dZ \S")


@unittest.skipUnless(sandboxed.in_sandbox(), "runs inside scripts/sandbox.sh")
class Load(sandboxed.Fresh):
    def test_contention(self):
        clients, applies = (8, 50) if FULL else (4, 10)
        files = [sets_file(self.scratch, "client%d" % c,
                           ["10.0.%d.%d c%d-%d.test" % (c, i, c, i) for i in range(20)])
                 for c in range(clients)]
        renderings = {self.preview(f) for f in files}
        self.start_helper()
        answers = []
        lock = threading.Lock()

        def client(path):
            for _ in range(applies):
                r = subprocess.run([CLIENT, "apply", path], capture_output=True, timeout=120)
                with lock:
                    answers.append((r.returncode, r.stdout))

        threads = [threading.Thread(target=client, args=(f,)) for f in files]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(len(answers), clients * applies)
        for code, out in answers:
            self.assertIn((code, out), [(0, b"done\n"), (0, b"unchanged\n")])
        with open(HOSTS, "rb") as f:
            self.assertIn(f.read(), renderings)
        backups = os.listdir(STORE + "/backups")
        self.assertLessEqual(len(backups), 10)
        earlier = renderings | {ORIGINAL.encode()}
        for name in backups:
            with open(os.path.join(STORE, "backups", name), "rb") as f:
                self.assertIn(f.read(), earlier, name)
        self.assertEqual([n for n in os.listdir("/etc") if n.startswith("hosts.")], [])

    def test_killed_helper_leaves_one_whole_file(self):
        rounds = 100 if FULL else 12
        a = sets_file(self.scratch, "a", large_lines("a"))
        b = sets_file(self.scratch, "b", large_lines("b"))
        allowed = {ORIGINAL.encode(), self.preview(a), self.preview(b)}
        outcomes = {}
        for n in range(rounds):
            self.start_helper()
            stop = threading.Event()

            def stream():
                while not stop.is_set():
                    for path in (a, b):
                        subprocess.run([CLIENT, "apply", path], capture_output=True, timeout=120)

            streamer = threading.Thread(target=stream)
            streamer.start()
            time.sleep(random.uniform(0.05, 0.6))
            self.helper.kill()
            self.helper.wait()
            self.helper = None
            stop.set()
            streamer.join()
            with open(HOSTS, "rb") as f:
                content = f.read()
            self.assertIn(content, allowed, "round %d" % n)
            kind = {ORIGINAL.encode(): "original", self.preview(a): "A"}.get(content, "B")
            outcomes[kind] = outcomes.get(kind, 0) + 1
            if os.path.exists(STORE + "/before-first-apply"):
                with open(STORE + "/before-first-apply", encoding="utf-8") as f:
                    self.assertEqual(f.read(), ORIGINAL)
            # The next start clears the debris and serves.
            self.start_helper()
            r = subprocess.run([CLIENT, "flush"], capture_output=True, timeout=60)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual([n for n in os.listdir("/etc") if n.startswith("hosts.")], [])
            for directory in (STORE, STORE + "/backups"):
                if os.path.isdir(directory):
                    self.assertEqual([n for n in os.listdir(directory) if n.endswith(".partial")],
                                     [])
            self.helper.kill()
            self.helper.wait()
            self.helper = None
        print("\nhosts file after %d kills: %s" % (rounds, outcomes))

    def test_killed_clients_leave_the_helper_serving(self):
        rounds = 100 if FULL else 12
        big = sets_file(self.scratch, "big", large_lines("k"))
        self.start_helper()
        for _ in range(rounds):
            client = subprocess.Popen([CLIENT, "apply", big], stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
            time.sleep(random.uniform(0.0, 0.3))
            client.send_signal(signal.SIGKILL)
            client.wait()
        self.assertIsNone(self.helper.poll())
        r = subprocess.run([CLIENT, "flush"], capture_output=True, timeout=60)
        self.assertEqual(r.returncode, 0, r.stderr)
        if os.path.exists(STORE + "/helper.log"):
            with open(STORE + "/helper.log", encoding="utf-8") as f:
                for line in f.read().splitlines():
                    self.assertRegex(line, STAMPED)

    def connections(self, count):
        made = []
        for _ in range(count):
            sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            sock.connect(SOCKET)
            made.append(sock)
        return made

    def latency(self, sets, runs=15):
        """The median time of an unchanged apply by the real client."""
        times = []
        for _ in range(runs):
            start = time.monotonic()
            r = subprocess.run([CLIENT, "apply", sets], capture_output=True, timeout=60)
            times.append(time.monotonic() - start)
            self.assertEqual((r.returncode, r.stdout), (0, b"unchanged\n"), r.stderr)
        return statistics.median(times)

    def test_idle_and_stalled_connections_do_not_keep_a_client_out(self):
        sets = sets_file(self.scratch, "work", ["10.0.0.5 intranet.test"])
        self.start_helper()
        r = subprocess.run([CLIENT, "apply", sets], capture_output=True, timeout=60)
        self.assertEqual(r.returncode, 0, r.stderr)
        idle = self.latency(sets)
        held = self.connections(120)
        try:
            for sock in held[100:]:  # half-way through a frame, then nothing
                sock.sendall(b"\x01" + struct.pack(">I", 1000) + b"\x00" * 500)
            # Well inside the time a frame may take, so that none is ended yet.
            busy = self.latency(sets)
        finally:
            for sock in held:
                sock.close()
        print("\nunchanged apply: %.1f ms idle, %.1f ms beside 100 idle and 20 stalled "
              "connections (%.2fx)" % (idle * 1000, busy * 1000, busy / idle))

    def test_memory_stays_bounded_under_announced_frames(self):
        sets = sets_file(self.scratch, "work", ["10.0.0.5 intranet.test"])
        self.start_helper()
        announced, sent_each, count = 16 << 20, 1 << 20, 500
        held = self.connections(count)
        try:
            header = b"\x01" + struct.pack(">I", announced)
            sent = [0] * count
            chunk = b"\x00" * (64 << 10)
            # One user's share of the connections is 256: the helper ends the
            # rest at once, and they send nothing.
            for i, sock in enumerate(held):
                try:
                    sock.sendall(header)
                except OSError:
                    sent[i] = sent_each
                sock.setblocking(False)
            # Round and round until every connection has sent its share, or no
            # octet more is taken for a second: the helper reads no further.
            last_progress = time.monotonic()
            while min(sent) < sent_each and time.monotonic() - last_progress < 1.0:
                for i, sock in enumerate(held):
                    if sent[i] >= sent_each:
                        continue
                    try:
                        n = sock.send(chunk[:sent_each - sent[i]])
                    except (BlockingIOError, ConnectionError):
                        continue
                    if n:
                        sent[i] += n
                        last_progress = time.monotonic()
            with open("/proc/%d/status" % self.helper.pid, encoding="ascii") as f:
                high = [line for line in f if line.startswith("VmHWM:")][0].split()[1]
            high_mib = int(high) / 1024
            # Still served while the budget is spent.
            r = subprocess.run([CLIENT, "apply", sets], capture_output=True, timeout=60)
            self.assertEqual(r.returncode, 0, r.stderr)
        finally:
            for sock in held:
                sock.close()
        print("\n%d connections announcing 16 MiB, %.0f MiB sent in all: VmHWM %.1f MiB"
              % (count, sum(sent) / (1 << 20), high_mib))
        if os.environ.get("LWK_SANITIZED") == "1":
            print("(a sanitized build: its shadow memory and quarantine count too; not checked)")
            return
        # 64 MiB of budget and 64 KiB a connection, and the helper's own with
        # room for its allocator's arenas; unbounded, it would near 500 MiB.
        self.assertLess(high_mib, 64 + count * 64 / 1024 + 64)


if __name__ == "__main__":
    unittest.main(verbosity=2)
