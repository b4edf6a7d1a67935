#!/usr/bin/env python3
"""The client as a hosts manager, end to end with the real helper: a
person's way through every command, with the file checked after each, and
the bad inputs that are refused before anything is sent.

Runs only inside scripts/sandbox.sh.
"""

import json
import os
import subprocess
import unittest

import sandboxed
from sandboxed import CLIENT, HOSTS, NODE, OFF, ORIGINAL, block



@unittest.skipUnless(sandboxed.in_sandbox(), "runs inside scripts/sandbox.sh")
class Manage(sandboxed.Fresh):
    def client(self, *args, stdin=b""):
        return subprocess.run([CLIENT, *args], input=stdin, capture_output=True, timeout=90)

    def ok(self, *args, stdin=b"", out=b"done\n"):
        r = self.client(*args, stdin=stdin)
        self.assertEqual((r.returncode, r.stdout if out is not None else None), (0, out),
                         r.stderr.decode())
        return r

    def complete(self, *words):
        """What bash's completion offers for the last of `words`."""
        script = os.path.join(os.path.dirname(__file__), "..", "..", "dist", "bash-completion",
                              "lantern-wharf")
        line = ("source %s; COMP_WORDS=(%s); COMP_CWORD=%d; _lantern_wharf; "
                "printf '%%s\\n' \"${COMPREPLY[@]}\""
                % (script, " ".join("'%s'" % w for w in words), len(words) - 1))
        r = subprocess.run(["bash", "-c", line], capture_output=True, check=True, text=True)
        return [w for w in r.stdout.split("\n") if w]

    def file(self):
        with open(HOSTS, encoding="utf-8") as f:
            return f.read()

    def test_a_persons_way_through_the_commands(self):
        self.start_helper()
        self.ok("list", out=b"")
        self.ok("add", "work", "10.0.0.5 intranet.test", "10.0.0.6 wiki.test")
        self.assertEqual(self.file(), block(NODE + "work", "10.0.0.5 intranet.test",
                                            "10.0.0.6 wiki.test"))
        self.ok("show", "work", out=b"1\ton\t10.0.0.5 intranet.test\n2\ton\t10.0.0.6 wiki.test\n")
        self.ok("disable", "work", "2")
        self.assertEqual(self.file(), block(NODE + "work", "10.0.0.5 intranet.test",
                                            OFF + "10.0.0.6 wiki.test"))
        # An entry an earlier line writes would not be written: its line is
        # kept switched off, never lost, and switching its set on says so.
        kept_off = (b'lantern-wharf: set "home", line 1 is kept switched off: set "work", line 1 '
                    b'already writes that entry\n')
        r = self.ok("add", "home", "10.0.0.5 INTRANET.test", "10.0.0.7 nas.home")
        self.assertEqual(r.stderr, kept_off)
        self.assertEqual(self.ok("enable", "home", out=b"unchanged\n").stderr, kept_off)
        r = self.ok("list", "--json", out=None)
        self.assertEqual(json.loads(r.stdout), {"sets": [{"name": "work", "on": 1, "off": 1},
                                                         {"name": "home", "on": 1, "off": 1}]})
        listing = os.path.join(self.scratch, "list.txt")
        with open(listing, "w", encoding="utf-8") as f:
            f.write("# a published list\n0.0.0.0 ads.example\n0.0.0.0 bad_name.example\n")
        r = self.client("import", "ads", listing)
        self.assertEqual(r.returncode, 1)
        self.assertIn(b", line 3: ", r.stderr)
        self.assertNotIn("ads", self.file())  # nothing was sent
        self.ok("import", "--skip-refused", "ads", listing)
        self.ok("show", "ads", out=b"1\ton\t# a published list\n2\ton\t0.0.0.0 ads.example\n")
        before = self.file()
        r = self.ok("rename", "--diff", "ads", "blocklist", out=None)
        self.assertIn(b"-" + (NODE + "ads").encode() + b"\n+" + (NODE + "blocklist").encode(),
                      r.stdout)
        self.assertEqual(self.file(), before)  # a diff sends nothing
        self.ok("rename", "ads", "blocklist")
        # Completion offers the commands, and the sets where a set is wanted.
        self.assertEqual(self.complete("lantern-wharf", "re"),
                         ["remove", "rename", "remove-everything"])
        self.assertEqual(self.complete("lantern-wharf", "show", ""), ["work", "home", "blocklist"])
        self.assertEqual(self.complete("lantern-wharf", "import", "--o"), [])
        self.assertEqual(self.complete("lantern-wharf", "add", "--o"), ["--off"])
        self.ok("enable", "work")
        self.ok("remove", "home")
        before_removal = self.file()
        self.ok("remove", "blocklist", "1")
        expected = block(NODE + "work", "10.0.0.5 intranet.test", "10.0.0.6 wiki.test",
                         NODE + "blocklist", "0.0.0.0 ads.example")
        self.assertEqual(self.file(), expected)
        # The history: what each change did, a backup as a diff, and undo.
        history = json.loads(self.ok("history", "--json", out=None).stdout)["backups"]
        self.assertEqual([b["changes"] for b in history[:3]],
                         [['changed "blocklist"'], ['removed "home"'], ['changed "work"']])
        r = self.ok("history", "1", out=None)
        self.assertIn(b"\n-# a published list\n", r.stdout)  # the backup against now
        self.ok("undo")
        self.assertEqual(self.file(), before_removal)
        self.ok("undo")  # undoing the undo
        self.assertEqual(self.file(), expected)
        # Export, remove everything, and apply the export: the same file.
        exported = self.ok("export", out=None).stdout
        saved = os.path.join(self.scratch, "saved.json")
        with open(saved, "wb") as f:
            f.write(exported)
        self.ok("remove-everything")
        self.assertEqual(self.file(), ORIGINAL)
        self.ok("apply", saved)
        self.assertEqual(self.file(), expected)

    def test_bad_input_is_refused_and_nothing_is_sent(self):
        self.start_helper()
        self.ok("add", "work", "10.0.0.5 intranet.test")
        fifo = os.path.join(self.scratch, "fifo")
        os.mkfifo(fifo)
        latin1 = os.path.join(self.scratch, "latin1.txt")
        with open(latin1, "wb") as f:
            f.write(b"10.0.0.9 a.test\n10.0.0.9 caf\xe9.test\n")
        big = os.path.join(self.scratch, "big.txt")
        with open(big, "w", encoding="utf-8") as f:
            f.write("0.0.0.0 %s.example\n" % ("x" * 40) * 20000)
        half = os.path.join(self.scratch, "half.txt")
        with open(half, "w", encoding="utf-8") as f:
            f.write("0.0.0.0 %s.example\n" % ("x" * 40) * 10000)
        self.ok("import", "half", half)
        cases = [
            (["show", "nothing"], b'lantern-wharf: there is no set named "nothing"\n'),
            (["add", "work", b"10.0.0.7 \xff.test"],
             b'lantern-wharf: set "work", line 2 is not valid UTF-8; nothing was sent\n'),
            (["rename", "work", b"w\xff"],
             b"lantern-wharf: a set's name is not valid UTF-8; nothing was sent\n"),
            (["import", "half2", half],
             ("lantern-wharf: the sets would hold %d octets of names and lines, and the helper "
              "takes at most 1048576; nothing was sent\n"
              % (len("work10.0.0.5 intranet.testhalfhalf2") + 2 * 560000)).encode()),
            (["enable", "nothing"],
             b'lantern-wharf: there is no set named "nothing"; nothing was sent\n'),
            (["disable", "work", "2"],
             b'lantern-wharf: the set "work" has no line 2 (it has 1); nothing was sent\n'),
            (["remove", "work", "0"], b'lantern-wharf: "0" is not a line number (lines count '
                                      b"from 1)\ntry 'lantern-wharf remove --help'\n"),
            (["rename", "work", "work2", "extra"], None),
            (["undo", "99"], b"lantern-wharf: there is no backup 99 (there are 2)\n"),
            (["import", "x", self.scratch],
             ("lantern-wharf: %s: not a regular file; nothing was sent\n" % self.scratch).encode()),
            (["import", "x", fifo],
             ("lantern-wharf: %s: not a regular file; nothing was sent\n" % fifo).encode()),
            (["import", "x", "/dev/zero"],
             b"lantern-wharf: /dev/zero: not a regular file; nothing was sent\n"),
            (["import", "x", latin1],
             ("lantern-wharf: %s: line 2 is not valid UTF-8; nothing was sent\n" % latin1).encode()),
            (["import", "x", big],
             ("lantern-wharf: %s: the set would hold 1120001 octets of name and lines, and the "
              "helper takes at most 1048576 in all; nothing was sent\n" % big).encode()),
        ]
        before = self.file()
        for args, message in cases:
            with self.subTest(args=args):
                r = self.client(*args)
                self.assertEqual(r.returncode, 2, r.stderr)
                if message is not None:
                    self.assertEqual(r.stderr, message)
        self.assertEqual(self.file(), before)

    def test_a_block_edited_by_hand_is_not_changed_but_can_be_undone(self):
        self.start_helper()
        self.ok("add", "work", "10.0.0.5 intranet.test")
        good = self.file()
        self.ok("add", "work", "10.0.0.6 wiki.test")
        edited = block(NODE + "work", "10.0.0.5 intranet.test", "10.0.0.5 bad_name.test")
        with open(HOSTS, "w", encoding="utf-8") as f:
            f.write(edited)
        r = self.client("add", "work", "10.0.0.7 nas.test")
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stderr, b"lantern-wharf: /etc/hosts: the managed block holds what the "
                                   b"helper would refuse, at line 7: the part \"bad_name\" holds "
                                   b"something other than letters, digits and hyphens; nothing "
                                   b"was changed\n")
        self.assertEqual(self.file(), edited)
        # The history still reads, and undo goes back past the edit.
        r = self.ok("history", out=None)
        self.assertTrue(r.stdout.startswith(b"1\t") and b"a block that does not read back" in
                        r.stdout.splitlines()[0], r.stdout)
        self.ok("undo")
        self.assertEqual(self.file(), good)

if __name__ == "__main__":
    unittest.main(verbosity=2)
