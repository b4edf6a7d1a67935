#!/usr/bin/env python3
"""Users outside the helper's group, each decided by polkit, while one of them
holds a decision open or floods the helper with requests polkit refuses: the
real helper and the real client, with a stand-in for polkit on a bus of the
sandbox's own that answers by uid (1001 allowed, 1005 never answered, any
other refused). The allowed user's applies must be served, at least 80% of
them within 2 s each.

Runs only inside scripts/sandbox.sh, given the stand-in's program. Quick
counts by default, a few seconds a case; LWK_FULL_LOAD=1 runs the full ones.

usage: polkit_load_test.py FAKE_AUTHORITY
"""

import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import sandboxed
from sandboxed import CLIENT, HOSTS, ORIGINAL, STORE

FULL = os.environ.get("LWK_FULL_LOAD") == "1"
ALLOWED, NEVER_ANSWERED, REFUSED = 1001, 1005, 1002
BUS = "/run/dbus/system_bus_socket"
GOAL_SECONDS, GOAL_SHARE = 2.0, 0.8
FAKE_AUTHORITY = ""

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>unix:path=%s</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
""" % BUS


def as_user(uid, *args):
    """The client run by `uid`, in no group of the helper's."""
    return ["setpriv", "--reuid=%d" % uid, "--regid=%d" % uid, "--clear-groups", CLIENT, *args]


class PolkitLoad(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp()
        os.chmod(cls.scratch, 0o755)  # the users' sets files are read from here
        os.makedirs(os.path.dirname(BUS), exist_ok=True)
        config = os.path.join(cls.scratch, "bus.conf")
        with open(config, "w", encoding="utf-8") as f:
            f.write(BUS_CONFIG)
        cls.bus = subprocess.Popen(["dbus-daemon", "--config-file=" + config, "--nofork",
                                    "--print-address"], stdout=subprocess.PIPE)
        cls.bus.stdout.readline()  # listening
        cls.questions = os.path.join(cls.scratch, "questions")
        cls.authority = subprocess.Popen([FAKE_AUTHORITY, "unix:path=" + BUS, cls.questions],
                                         stdout=subprocess.PIPE)
        if cls.authority.stdout.readline().strip() != b"ready":
            raise RuntimeError("the stand-in for polkit did not start")

    @classmethod
    def tearDownClass(cls):
        for p in (cls.authority, cls.bus):
            p.kill()
            p.wait()
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def setUp(self):
        with open(HOSTS, "w", encoding="utf-8") as f:
            f.write(ORIGINAL)
        shutil.rmtree(STORE, ignore_errors=True)
        env = dict(os.environ)
        env.pop("DBUS_SYSTEM_BUS_ADDRESS", None)  # the sandbox's bus, at its usual place
        self.helper = sandboxed.start_helper(subprocess.DEVNULL, env=env)
        self.assertIsNotNone(self.helper, "the helper did not start listening")
        self.applies = 0

    def tearDown(self):
        if self.helper is not None:
            self.helper.kill()
            self.helper.wait()

    def sets(self, tag):
        """A sets file anyone may read, whose apply changes the file."""
        self.applies += 1
        path = os.path.join(self.scratch, "%s-%d.json" % (tag, self.applies))
        with open(path, "w", encoding="utf-8") as f:
            json.dump({"sets": [{"name": tag, "lines": [
                "10.1.%d.%d %s-%d.test" % (self.applies // 256, self.applies % 256, tag,
                                           self.applies)]}]}, f)
        return path

    def allowed_applies(self, count):
        """Applies of the allowed user, one after another: their statuses and
        seconds."""
        results = []
        for _ in range(count):
            start = time.monotonic()
            r = subprocess.run(as_user(ALLOWED, "apply", self.sets("allowed")),
                               capture_output=True, timeout=90)
            results.append((r.returncode, time.monotonic() - start))
        return results

    def in_loops(self, loops, command):
        """Runs `command` in `loops` threads, again and again, until the
        returned event is set; their exit statuses are gathered in the list."""
        stop, statuses = threading.Event(), []

        def loop():
            while not stop.is_set():
                r = subprocess.run(command, capture_output=True, timeout=90)
                statuses.append(r.returncode)

        threads = [threading.Thread(target=loop) for _ in range(loops)]
        for t in threads:
            t.start()
        return stop, statuses, threads

    def check_served(self, what, results):
        served = [seconds for status, seconds in results if status == 0]
        in_time = [s for s in served if s <= GOAL_SECONDS]
        print("\n%s: %d of %d applies of the allowed user served, %d within %.0f s; "
              "median %.3f s, slowest %.3f s"
              % (what, len(served), len(results), len(in_time), GOAL_SECONDS,
                 statistics.median(served) if served else float("nan"),
                 max(served) if served else float("nan")))
        self.assertGreaterEqual(len(in_time), GOAL_SHARE * len(results))

    def wait_for_question(self, uid):
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            with open(self.questions, encoding="utf-8") as f:
                if " uid=%d " % uid in f.read():
                    return
            time.sleep(0.02)
        self.fail("polkit was never asked about uid %d" % uid)

    def test_one_user_holding_a_decision(self):
        """uid 1005 holds a decision nobody answers, and asks again and again
        meanwhile, each time told at once to ask again in a moment (exit 5,
        not the refusal's 3); the allowed user is served all the while; a
        stop then gives the held decision up at once."""
        holder = subprocess.Popen(as_user(NEVER_ANSWERED, "apply", self.sets("holder")),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.wait_for_question(NEVER_ANSWERED)
        again = subprocess.run(as_user(NEVER_ANSWERED, "flush"), capture_output=True, timeout=10)
        self.assertEqual(again.returncode, 5, again.stderr)
        self.assertIn(b"ask again in a moment", again.stderr)
        stop, statuses, threads = self.in_loops(2, as_user(NEVER_ANSWERED, "flush"))
        try:
            results = self.allowed_applies(50 if FULL else 10)
        finally:
            stop.set()
            for t in threads:
                t.join()
        self.check_served("one user holding a decision (%d of its requests told to ask again)"
                          % statuses.count(5), results)
        self.assertEqual(set(statuses), {5})
        begun = time.monotonic()
        self.helper.send_signal(signal.SIGTERM)
        self.helper.wait(timeout=30)
        stopped = time.monotonic() - begun
        self.helper = None
        _, said = holder.communicate(timeout=30)
        print("a stop with a decision held: the helper ended in %.3f s" % stopped)
        self.assertLess(stopped, 2)
        self.assertEqual(holder.returncode, 5, said)

    def test_one_user_flooding_refusals(self):
        """uid 1002, whom polkit refuses at once, runs the client in several
        loops as fast as it is refused (exit 3 each time); the allowed user's
        applies are served all the while."""
        loops = 4 if FULL else 2
        stop, statuses, threads = self.in_loops(loops, as_user(REFUSED, "flush"))
        try:
            time.sleep(0.5)
            results = self.allowed_applies(50 if FULL else 10)
        finally:
            stop.set()
            for t in threads:
                t.join()
        self.check_served("%d loops of a refused user (%d refusals)"
                          % (loops, statuses.count(3)), results)
        self.assertGreater(statuses.count(3), 0)
        self.assertLessEqual(set(statuses), {3, 5})  # 5: its other loop's decision under way


if __name__ == "__main__":
    FAKE_AUTHORITY = sys.argv.pop(1)
    if not sandboxed.in_sandbox():
        print("runs only inside scripts/sandbox.sh")
        sys.exit(77)
    unittest.main(verbosity=2)
