#!/usr/bin/env python3
"""The real helper's system calls make the writes, flushes and renames that
the Files seam records, so that the crash states explored over the seam's
record are the states the real helper can leave.

Runs inside scripts/sandbox.sh: the helper runs under strace for one apply
and one remove-everything by the real client; the program named by the
first argument (crash_recorded_ops) prints what the seam records for the
same apply and removal. A flush of the wrong descriptor, a flush left out
or a step out of order fails the comparison.

This check, not crash_test, is what guards the flushes of
lwk::os::make_directories: the in-memory file system records a flush of
the parent after each directory it makes, and of the parent of a directory
it finds made already, whatever the real code does; only here does a real
make_directories that leaves one out fail. When it cannot run (outside the
sandbox, or without strace) it exits 77, which CTest reports as skipped,
never as passed.

usage: strace_test.py RECORDED_OPS [unittest arguments]
"""

import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

import sandboxed
from sandboxed import CLIENT, HELPER, HOSTS, ORIGINAL, SOCKET, STORE, sets_file

RECORDED_OPS = sys.argv.pop(1) if len(sys.argv) > 1 else ""
SYSCALLS = ("open,openat,write,fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat,"
            "mkdir,mkdirat,rmdir")
# One traced call, after strace's process number: name, arguments, result.
CALL = re.compile(r"^\d+\s+(\w+)\((.*)\)\s+=\s+(-?\d+)")
DECORATED = re.compile(r"^-?\w+<([^>]*)>")  # a descriptor with its path (strace -y)
STRING = re.compile(r'"((?:[^"\\]|\\.)*)"')


def watched(path):
    """Whether `path` is the target's, or the store's and not the journal's."""
    if path == HOSTS or path.startswith(HOSTS + ".lantern-wharf-"):
        return True
    if path == "/etc" or path == os.path.dirname(STORE):
        return True
    return (path == STORE or path.startswith(STORE + "/")) and not path.endswith("helper.log")


def operations_of(trace):
    """The seam's operations that the traced calls make, in their order."""
    ops = []
    for line in trace.splitlines():
        m = CALL.match(line)
        if not m or int(m.group(3)) < 0:
            continue  # not a call, or a failed one: it changed nothing
        name, args = m.group(1), m.group(2)
        paths = STRING.findall(args)
        if name in ("open", "openat"):
            if "O_CREAT" in args and "O_EXCL" in args and watched(paths[0]):
                ops.append("create " + paths[0])
        elif name in ("write", "fsync", "fdatasync"):
            d = DECORATED.match(args)
            if d and watched(d.group(1)):
                if name == "write":
                    ops.append("append %d to %s" % (int(m.group(3)), d.group(1)))
                else:
                    ops.append("fsync " + d.group(1))
        elif name.startswith("rename") and watched(paths[0]):
            ops.append("rename %s %s" % (paths[0], paths[1]))
        elif name in ("unlink", "unlinkat", "rmdir") and watched(paths[0]):
            removes_directory = name == "rmdir" or "AT_REMOVEDIR" in args
            ops.append(("rmdir " if removes_directory else "unlink ") + paths[0])
        elif name in ("mkdir", "mkdirat") and watched(paths[0]):
            ops.append("mkdir " + paths[0])
    return ops


def normal(ops):
    """`ops` with a backup's time stamp left out, a file's and a directory's
    flush written alike, and the appends of one file in a row taken as one."""
    out = []
    for op in ops:
        op = re.sub(r"hosts-\d{24}-", "hosts-T-", op).replace("fsync-directory ", "fsync ")
        m = re.match(r"append (\d+) to (.*)$", op)
        if m and out and out[-1].endswith(" to " + m.group(2)) and out[-1].startswith("append "):
            total = int(out[-1].split()[1]) + int(m.group(1))
            out[-1] = "append %d to %s" % (total, m.group(2))
        else:
            out.append(op)
    return out


def split(ops):
    """The removals apart from the rest: a directory is removed in the order
    it lists its entries, which differs between file systems. Where they
    were is kept: each removal stands as "remove" among the rest."""
    removals = sorted(op for op in ops if op.startswith(("unlink ", "rmdir ")))
    steps = []
    for op in ops:
        if not op.startswith(("unlink ", "rmdir ")):
            steps.append(op)
        elif not steps or steps[-1] != "remove":
            steps.append("remove")
    return steps, removals


@unittest.skipUnless(sandboxed.in_sandbox() and RECORDED_OPS and shutil.which("strace"),
                     "runs inside scripts/sandbox.sh, with strace")
class SeamMatchesSystemCalls(unittest.TestCase):
    maxDiff = None
    def setUp(self):
        with open(HOSTS, "w", encoding="utf-8") as f:
            f.write(ORIGINAL)
        shutil.rmtree(STORE, ignore_errors=True)
        self.scratch = tempfile.mkdtemp()
        self.traced = None

    def tearDown(self):
        if self.traced is not None:
            # strace leaves its child running when it is killed: end that first.
            for helper in self.traced_children():
                os.kill(helper, signal.SIGKILL)
            self.traced.kill()
            self.traced.wait()
        shutil.rmtree(self.scratch, ignore_errors=True)

    def traced_children(self):
        try:
            with open("/proc/%d/task/%d/children" % (self.traced.pid, self.traced.pid)) as f:
                return [int(pid) for pid in f.read().split()]
        except OSError:
            return []

    def start_traced_helper(self, trace):
        # A sanitized helper's leak check stops its threads with ptrace at the
        # end, which strace, tracing it already, does not allow.
        options = os.environ.get("ASAN_OPTIONS", "")
        env = dict(os.environ, ASAN_OPTIONS=(options + ":" if options else "") + "detect_leaks=0")
        self.traced = subprocess.Popen(
            ["strace", "-f", "-y", "-qq", "-s", "0", "-o", trace, "-e", "trace=" + SYSCALLS,
             HELPER], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as probe:
                try:
                    probe.connect(SOCKET)
                    return
                except OSError:
                    time.sleep(0.02)
        self.fail("the traced helper did not start listening")

    def test_one_apply_and_one_removal(self):
        sets = sets_file(self.scratch, "work", ["10.0.0.5 intranet.test", "10.0.0.6 wiki.test"])
        new = subprocess.run([CLIENT, "preview", "--hosts", HOSTS, sets], capture_output=True,
                             check=True).stdout
        old_file, new_file = os.path.join(self.scratch, "old"), os.path.join(self.scratch, "new")
        with open(old_file, "w", encoding="utf-8") as f:
            f.write(ORIGINAL)
        with open(new_file, "wb") as f:
            f.write(new)

        trace = os.path.join(self.scratch, "trace")
        self.start_traced_helper(trace)
        for args in (["apply", sets], ["remove-everything"]):
            r = subprocess.run([CLIENT, *args], capture_output=True, timeout=90)
            self.assertEqual(r.returncode, 0, r.stderr)
        # The helper is strace's child: stopped as the service is, by SIGTERM.
        os.kill(self.traced_children()[0], signal.SIGTERM)
        self.assertEqual(self.traced.wait(timeout=30), 0)
        self.traced = None
        with open(HOSTS, encoding="utf-8") as f:
            self.assertEqual(f.read(), ORIGINAL)

        recorded = subprocess.run([RECORDED_OPS, old_file, new_file], capture_output=True,
                                  check=True, text=True).stdout.splitlines()
        with open(trace, encoding="utf-8", errors="replace") as f:
            real = operations_of(f.read())
        seam_steps, seam_removals = split(normal(recorded))
        real_steps, real_removals = split(normal(real))
        self.assertEqual(real_steps, seam_steps)
        self.assertEqual(real_removals, seam_removals)
        # What the comparison rests on, spelled out: each scratch file flushed
        # before its rename, its directory flushed after it.
        for scratch, final in (("hosts.lantern-wharf-1", "/etc/hosts"),
                               ("before-first-apply.partial", STORE + "/before-first-apply")):
            rename = next(i for i, op in enumerate(real_steps)
                          if op.startswith("rename ") and op.endswith(" " + final)
                          and scratch in op)
            source = real_steps[rename].split()[1]
            self.assertIn("fsync " + source, real_steps[:rename])
            self.assertEqual(real_steps[rename + 1], "fsync " + os.path.dirname(final))
        # The store's removal, the store itself last, then its parent flushed.
        removal = [op for op in normal(real) if op.startswith(("unlink ", "rmdir "))]
        self.assertEqual(removal[-1], "rmdir " + STORE)
        self.assertEqual(real_steps[-2:], ["remove", "fsync " + os.path.dirname(STORE)])


if __name__ == "__main__":
    outcome = unittest.main(exit=False).result
    if not outcome.wasSuccessful():
        sys.exit(1)
    # 77: skipped, for CTest (SKIP_RETURN_CODE), so that a check that did not
    # run is never counted as passed.
    sys.exit(77 if len(outcome.skipped) == outcome.testsRun else 0)
