#!/usr/bin/env python3
"""Switching one set of a 1 MiB managed block end to end with the real
client and helper (`disable` and `enable`: read the block back, check,
send), next to the plain `apply` of the same sets, interleaved in one run.

Runs inside scripts/sandbox.sh (scripts/bench-client.sh starts it there).
Prints the medians and their ratio beside the goal (at most 1.2x).
"""

import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import sandboxed  # noqa: E402
from sandboxed import CLIENT  # noqa: E402

ROUNDS = int(os.environ.get("LWK_BENCH_ROUNDS", "15"))


def run(*args):
    start = time.monotonic()
    r = subprocess.run([CLIENT, *args], capture_output=True)
    took = time.monotonic() - start
    if r.returncode != 0:
        sys.exit("%s: %s" % (" ".join(args), r.stderr.decode()))
    return took


def main():
    scratch = tempfile.mkdtemp()
    helper = sandboxed.start_helper(subprocess.DEVNULL)
    try:
        big = ["10.%d.%d.%d host-%d.bench.example" % (i // 65536 % 256, i // 256 % 256, i % 256, i)
               for i in range(29000)]
        work = ["10.0.0.5 intranet.test", "10.0.0.6 wiki.test"]
        states = {}
        for on in (True, False):
            sets = {"sets": [{"name": "big", "lines": big},
                             {"name": "work",
                              "lines": [{"text": t, "enabled": on} for t in work]}]}
            path = os.path.join(scratch, "on.json" if on else "off.json")
            with open(path, "w", encoding="utf-8") as f:
                json.dump(sets, f)
            states[on] = path
        run("apply", states[True])
        with open("/etc/hosts", "rb") as f:
            size = len(f.read())
        switch, apply = [], []
        for _ in range(ROUNDS):
            switch.append(run("disable", "work") + run("enable", "work"))
            apply.append(run("apply", states[False]) + run("apply", states[True]))
        s, a = statistics.median(switch) / 2, statistics.median(apply) / 2
        print("hosts file of %d octets, %d rounds" % (size, ROUNDS))
        print("switching one set end to end (disable, enable): median %.1f ms" % (s * 1000))
        print("the plain apply of the same sets:                median %.1f ms" % (a * 1000))
        print("ratio %.2fx (goal: at most 1.2x) %s" % (s / a, "met" if s / a <= 1.2 else "MISSED"))
    finally:
        helper.terminate()
        helper.wait()


if __name__ == "__main__":
    main()
