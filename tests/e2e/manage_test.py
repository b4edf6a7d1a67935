#!/usr/bin/env python3
"""The client as a hosts manager, end to end with the real helper: a
person's way through every command, with the file checked after each, and
the bad inputs that are refused before anything is sent.

Runs only inside scripts/sandbox.sh.
"""

import ipaddress
import json
import os
import pty
import random
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

    def scratch_file(self, name, content):
        path = os.path.join(self.scratch, name)
        with open(path, "wb" if isinstance(content, bytes) else "w") as f:
            f.write(content)
        return path

    def refused(self, *args, stdin=b"", status=2):
        """The client's stderr for a command that fails with `status`."""
        r = self.client(*args, stdin=stdin)
        self.assertEqual(r.returncode, status, r.stderr)
        return r.stderr

    def test_a_persons_way_through_the_commands(self):
        self.start_helper()
        self.assertEqual(self.ok("list", out=b"").stderr,
                         b"lantern-wharf: there are no sets in /etc/hosts yet: add makes one, "
                         b"import makes a list one\n")
        self.assertEqual(self.ok("history", out=b"").stderr,
                         b"lantern-wharf: the helper keeps no backups yet: it makes one before "
                         b"each change\n")
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
                         ["remove", "rename", "redo", "remove-everything"])
        self.assertEqual(self.complete("lantern-wharf", "import", "--a"), ["--allow-empty"])
        self.assertEqual(self.complete("lantern-wharf", "show", ""), ["work", "home", "blocklist"])
        self.assertEqual(self.complete("lantern-wharf", "import", "--o"), [])
        self.assertEqual(self.complete("lantern-wharf", "add", "--o"), ["--off"])
        self.ok("enable", "work")
        before_home_removal = self.file()
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
        # Undo walks back, redo comes forward, and the ends are said.
        for command, state in [("undo", before_removal), ("undo", before_home_removal),
                               ("redo", before_removal), ("redo", expected)]:
            self.ok(command)
            self.assertEqual(self.file(), state, command)
        self.assertEqual(self.refused("redo"), b"lantern-wharf: there is nothing to redo: no undo "
                                               b"has been made since the last change; nothing was "
                                               b"sent\n")
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
        empty = self.scratch_file("empty.txt", "")
        breaks = self.scratch_file("breaks.txt", "\n" * (16 << 20))
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
            (["remove", "work", "0"],
             b'lantern-wharf: the set "work" has no line 0 (it has 1); nothing was sent\n'),
            (["disable", "work", "wiki.test"],
             b'lantern-wharf: no line of the set "work" maps wiki.test; nothing was sent\n'),
            (["import", "x", empty],
             ('lantern-wharf: %s holds nothing but white space, and importing it would empty the '
              'set "x" (--allow-empty imports it all the same); nothing was sent\n'
              % empty).encode()),
            (["import", "x", breaks],
             ("lantern-wharf: %s: the request is 83886095 octets, and a message to the helper "
              "carries at most 16777216; nothing was sent\n" % breaks).encode()),
            (["add", "work", "# \x1b[8m"],
             b'lantern-wharf: set "work", line 2: the line holds the control character U+001B, '
             b'which the hosts file must not carry; nothing was sent\n'),
            (["redo"], b"lantern-wharf: there is nothing to redo: no undo has been made since the "
                       b"last change; nothing was sent\n"),
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

    def test_sets_marked_as_one_of_a_group(self):
        """Enabling one set of a group switches the others off in the same
        apply; the mark is line 1 of each, and 'remove SET 1' takes it away."""
        self.start_helper()
        self.ok("add", "--one-of", "env", "dev", "10.0.0.1 app.test")
        self.ok("add", "--off", "--one-of", "env", "staging", "10.0.0.2 app.test")
        self.ok("add", "--one-of", "lab", "bench", "10.0.0.9 rig.test")
        r = self.ok("enable", "staging")
        self.assertEqual(r.stderr, b'lantern-wharf: switched off "dev": only one of "env" is on '
                                   b"at a time\n")
        self.assertEqual(self.file(), block(NODE + "dev", "# one of: env", OFF + "10.0.0.1 app.test",
                                            NODE + "staging", "# one of: env", "10.0.0.2 app.test",
                                            NODE + "bench", "# one of: lab", "10.0.0.9 rig.test"))
        history = json.loads(self.ok("history", "--json", out=None).stdout)["backups"]
        self.assertEqual(history[0]["changes"], ['changed "dev"', 'changed "staging"'])
        # The mark is no line of the counts.
        self.ok("list", out=b'dev\t0 on, 1 off, one of "env"\nstaging\t1 on, 0 off, one of "env"\n'
                            b'bench\t1 on, 0 off, one of "lab"\n')
        r = self.client("add", "--one-of", " env", "dev")
        self.assertEqual((r.returncode, r.stderr),
                         (2, b'lantern-wharf: " env" cannot name a group: a group\'s name is not '
                             b"empty, holds no control character, and neither begins nor ends "
                             b"with a space; nothing was sent\n"))
        # Unmarked, dev no longer switches staging off: the helper refuses both on.
        self.ok("remove", "dev", "1")
        r = self.client("enable", "dev")
        self.assertEqual(r.returncode, 1)
        self.assertIn(b"app.test is mapped to more than one address", r.stderr)

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

    def test_apply_never_loses_a_line(self):
        """A property over apply: whatever a sets file holds, the sets read back
        as it was sent, each repeat of an entry an earlier line writes kept
        switched off and named, never left out."""
        self.start_helper()
        texts = ["10.0.0.1 x.test", "10.0.0.1 X.test", "10.0.0.1  x.test", "10.0.0.2 y.test",
                 "::1 x.test", "0:0::1 X.TEST", "10.0.0.2 y.test z.test", "# note"]
        rng = random.Random(23)
        for round in range(20):
            sets = [{"name": "set %d" % s, "lines": [
                {"text": rng.choice(texts), "enabled": rng.random() < 0.8}
                for _ in range(rng.randrange(6))]} for s in range(1 + rng.randrange(3))]
            path = self.scratch_file("sets.json", json.dumps({"sets": sets}))
            r = self.client("apply", path)
            self.assertEqual(r.returncode, 0, r.stderr)
            # The entries in the order the file writes them: the first of each key wins.
            written, kept_off = set(), 0
            for s in sets:
                for line in s["lines"]:
                    if not line["enabled"] or line["text"].startswith("#"):
                        continue
                    address, *names = line["text"].split()
                    key = (ipaddress.ip_address(address), tuple(n.lower() for n in names))
                    if key in written:
                        line["enabled"] = False
                        kept_off += 1
                    written.add(key)
            self.assertEqual(r.stderr.count(b" is kept switched off: "), kept_off)
            exported = json.loads(self.ok("export", out=None).stdout)
            self.assertEqual(exported, {"sets": sets}, round)

    def test_what_a_person_expects(self):
        with open(HOSTS, "w", encoding="utf-8") as f:
            f.write(ORIGINAL + "127.0.1.1 kestrel.lan\n")
        self.start_helper()
        # An entry a line outside the block answers otherwise: a note, not a refusal.
        note = (b'lantern-wharf: set "lab", line 1: kestrel.lan is mapped by line 3 of '
                b"/etc/hosts, outside the block; that line wins\n")
        self.assertEqual(self.ok("add", "lab", "10.9.9.9 kestrel.lan").stderr, note)
        self.assertEqual(self.ok("show", "lab", out=b"1\ton\t10.9.9.9 kestrel.lan\n").stderr, note)
        # A list imported again keeps what was switched off; lines by host name.
        listing = "0.0.0.0 a.example\n0.0.0.0 b.example c.example\n"
        self.ok("import", "ads", stdin=listing.encode())
        self.ok("disable", "ads", "C.example")
        r = self.ok("import", "ads", stdin=(listing + "0.0.0.0 d.example\n").encode())
        self.assertEqual(r.stderr, b"lantern-wharf: kept 1 line switched off, as in the set before\n")
        self.ok("show", "ads", out=b"1\ton\t0.0.0.0 a.example\n2\toff\t0.0.0.0 b.example c.example\n"
                                   b"3\ton\t0.0.0.0 d.example\n")
        self.ok("find", "b.EXAMPLE", out=b"ads\t2\toff\t0.0.0.0 b.example c.example\n")
        self.assertEqual(self.refused("find", "e.example", status=1),
                         b"lantern-wharf: no line of the sets maps e.example\n")
        self.ok("remove", "ads", "a.example", "3")
        self.ok("import", "--allow-empty", "ads", stdin=b"")
        self.ok("list", out=b"lab\t1 on, 0 off\nads\t0 on, 0 off\n")
        # What could not be written is said.
        for args in [["list"], ["export"], ["history"]]:
            with open("/dev/full", "wb") as full:
                r = subprocess.run([CLIENT, *args], stdout=full, stderr=subprocess.PIPE, timeout=90)
            self.assertEqual((r.returncode, r.stderr), (1, b"lantern-wharf: writing standard "
                             b"output: No space left on device (os error 28)\n"), args)

    def test_what_is_shown_is_escaped_and_coloured_only_on_a_terminal(self):
        # A block written before the helper refused control characters.
        with open(HOSTS, "w", encoding="utf-8") as f:
            f.write(block(NODE + "a\x1b]0;x\x07", OFF + "\x1b[8m", "10.0.0.1 x.test"))
        self.ok("list", out=b"a\\u{1b}]0;x\\u{7}\t1 on, 1 off\n")
        self.ok("show", "a\x1b]0;x\x07", out=b"1\toff\t\\u{1b}[8m\n2\ton\t10.0.0.1 x.test\n")
        bad = self.scratch_file("bad.json", json.dumps({"sets": [{"name": "a", "lines": ["x"]}]}))
        red = b"\x1b[31mset 0, line 1\x1b[m: "

        plain = {k: v for k, v in os.environ.items() if k != "NO_COLOR"}

        def on_a_terminal(*args, **env):
            pid, fd = pty.fork()
            if pid == 0:
                os.execve(CLIENT, [CLIENT, *args], {**plain, **env})
            out = b""
            while True:
                try:
                    chunk = os.read(fd, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                out += chunk
            os.waitpid(pid, 0)
            return out

        self.assertIn(red, on_a_terminal("check", "--hosts", HOSTS, bad, TERM="xterm"))
        self.assertNotIn(red, on_a_terminal("check", "--hosts", HOSTS, bad, TERM="xterm",
                                            NO_COLOR="1"))
        self.assertIn(red, on_a_terminal("check", "--color=always", "--hosts", HOSTS, bad,
                                         NO_COLOR="1"))
        self.assertNotIn(b"\x1b[31m", self.client("check", "--hosts", HOSTS, bad).stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
