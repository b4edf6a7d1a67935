#!/usr/bin/env python3
"""The client's core as a library, end to end with the real helper: the
example program in C reads the sets in the file, previews an apply and asks
the helper to apply it, then switches a set off in the sets it reads back,
shows the diff and applies it, all through the C interface.

The tests run it twice: as a program the helper does not serve, whose apply
is refused while reading and previewing work in-process; and installed at
the trusted client's path (LWK_SANDBOX_CLIENT), as a desktop application
that is the signed client is served on macOS.

Runs only inside scripts/sandbox.sh.
"""

import filecmp
import json
import os
import subprocess
import unittest

import sandboxed
from sandboxed import CLIENT, HOSTS, NODE, OFF, ORIGINAL, block

EXAMPLE = os.environ.get("LWK_EXAMPLE", "")


def sets_file(sets):
    """A sets file as the library prints it."""
    return json.dumps({"sets": sets}, indent=2, ensure_ascii=False) + "\n"


@unittest.skipUnless(sandboxed.in_sandbox() and EXAMPLE, "runs inside scripts/sandbox.sh")
class Library(sandboxed.Fresh):
    def file(self):
        with open(HOSTS, encoding="utf-8") as f:
            return f.read()

    def example(self, program, sets, *switch_off):
        path = os.path.join(self.scratch, "sets.json")
        with open(path, "w", encoding="utf-8") as f:
            json.dump({"sets": sets}, f)
        r = subprocess.run([program, path, *switch_off], capture_output=True, timeout=90)
        return r.returncode, r.stdout.decode(), r.stderr.decode()

    def assert_shadowing_noted(self, program):
        """An entry that a line outside the block answers otherwise is noted."""
        out = self.example(program, [{"name": "lab", "lines": ["10.9.9.9 LocalHost"]}])[1]
        self.assertIn('notes on the sets:\n{"notes":[{"set":0,"line":1,"message":"LocalHost is '
                      'mapped by line 1 of /etc/hosts, outside the block; that line wins"}]}\n',
                      out)

    def test_the_example_reads_previews_and_applies(self):
        served = filecmp.cmp(EXAMPLE, CLIENT, shallow=False)
        # Served, it runs from the trusted path, as the helper requires.
        program = CLIENT if served else EXAMPLE
        before = block(NODE + "work", "10.0.0.5 intranet.test", OFF + "10.0.0.6 wiki.test")
        with open(HOSTS, "w", encoding="utf-8") as f:
            f.write(before)
        self.start_helper()
        read_back = sets_file([{"name": "work", "lines": [
            {"text": "10.0.0.5 intranet.test", "enabled": True},
            {"text": "10.0.0.6 wiki.test", "enabled": False}]}])
        sets = [{"name": "work", "lines": ["10.0.0.5 intranet.test",
                                           {"text": "10.0.0.6 wiki.test", "enabled": True}]},
                {"name": "home", "lines": ["10.0.0.7 nas.home"]}]
        after = block(NODE + "work", "10.0.0.5 intranet.test", "10.0.0.6 wiki.test",
                      NODE + "home", "10.0.0.7 nas.home")
        shown = "the sets in /etc/hosts:\n" + read_back + "/etc/hosts after the apply:\n" + after
        if not served:
            code, out, err = self.example(program, sets)
            self.assertEqual((code, out), (3, shown))
            self.assertTrue(err.startswith("lantern_wharf_example: applying the sets: the helper "
                                           "refused to serve this program: it serves root, "), err)
            self.assertEqual(self.file(), before)
            self.assert_shadowing_noted(program)
            return
        self.assertEqual(self.example(program, sets),
                         (0, shown + 'the helper\'s response:\n{"response":"done"}\n', ""))
        self.assertEqual(self.file(), after)
        # The same sets again: read back as applied, and nothing to write.
        again = self.example(program, sets)
        self.assertEqual(again[0], 0, again[2])
        self.assertIn('{"response":"unchanged"}', again[1])
        self.assertIn("/etc/hosts after the apply:\n" + after, again[1])
        # Issues come back as JSON from the preview and from the helper alike,
        # and nothing is written.
        issues = ('{"issues":[{"set":0,"line":1,"message":"the part \\"bad_name\\" holds '
                  'something other than letters, digits and hyphens"}]}')
        bad = [{"name": "work", "lines": ["10.0.0.8 bad_name.test"]}]
        self.assertEqual(self.example(program, bad), (
            1, "the sets in /etc/hosts:\n" + sets_file([
                {"name": "work", "lines": [{"text": "10.0.0.5 intranet.test", "enabled": True},
                                           {"text": "10.0.0.6 wiki.test", "enabled": True}]},
                {"name": "home", "lines": [{"text": "10.0.0.7 nas.home", "enabled": True}]}])
            + "the helper would refuse the sets:\n" + issues + "\nthe helper's response:\n"
            + issues + "\n",
            "lantern_wharf_example: applying the sets: set 0, line 1: the part \"bad_name\" holds "
            "something other than letters, digits and hyphens\n"))
        self.assertEqual(self.file(), after)
        # A change made on the sets read back: a set switched off, its diff
        # shown, and applied.
        code, out, err = self.example(program, sets, "work")
        self.assertEqual((code, err), (0, ""))
        switched = block(NODE + "work", OFF + "10.0.0.5 intranet.test", OFF + "10.0.0.6 wiki.test",
                         NODE + "home", "10.0.0.7 nas.home")
        self.assertIn("the change:\n--- /etc/hosts\n+++ /etc/hosts (after the apply)\n", out)
        self.assertIn("\n-10.0.0.5 intranet.test\n-10.0.0.6 wiki.test\n+" + OFF
                      + "10.0.0.5 intranet.test\n+" + OFF + "10.0.0.6 wiki.test\n", out)
        self.assertTrue(out.endswith('the helper\'s response:\n{"response":"done"}\n'), out)
        self.assertEqual(self.file(), switched)
        self.assertEqual(self.example(program, sets, "play")[0::2], (
            2, "lantern_wharf_example: switching the set off: there is no set named \"play\"\n"))
        self.assert_shadowing_noted(program)


if __name__ == "__main__":
    unittest.main(verbosity=2)
