#!/usr/bin/env python3
"""Writes the manual page of one lantern-wharf command from its --help text,
so that the two never disagree.

usage: command_page.py CLIENT COMMAND VERSION DATE OUTPUT
"""

import re
import subprocess
import sys


def roff(text):
    """`text` with roff's special characters escaped."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return re.sub(r"^([.'])", r"\\&\1", text, flags=re.M)


def main():
    client, command, version, date, output = sys.argv[1:]
    help_text = subprocess.run([client, command, "--help"], capture_output=True, text=True,
                               check=True).stdout
    blocks = help_text.strip("\n").split("\n\n")
    usage = blocks[0].removeprefix("usage: ")
    # The command's line in the tool's own list of commands, else the first
    # sentence of its help.
    tool_help = subprocess.run([client, "--help"], capture_output=True, text=True,
                               check=True).stdout
    listed = re.search(r"^  %s(?![\w-])[^\n]*?\s{2,}(\S[^\n]*)((?:\n {10,}\S[^\n]*)*)"
                       % re.escape(command), tool_help, flags=re.M)
    if listed:
        summary = " ".join([listed.group(1)] + listed.group(2).split())
    else:
        summary = blocks[1].split(". ")[0].replace("\n", " ").rstrip(".")
        summary = summary[0].lower() + summary[1:]
    page = [
        '.TH LANTERN-WHARF-%s 1 %s "lantern-wharf-kit %s" "User Commands"'
        % (command.upper(), date, version),
        ".SH NAME",
        "%s \\- %s" % (roff("lantern-wharf-" + command), roff(summary)),
        ".SH SYNOPSIS",
        roff(usage),
        ".SH DESCRIPTION",
    ]
    for block in blocks[1:]:
        lines = block.split("\n")
        if lines[0].startswith("  -"):
            page.append(".SH OPTIONS")
            for line in lines:
                match = re.match(r"  (-\S+(?: [A-Z]+)?)\s+(.*)", line)
                if match:
                    page += [".TP", "\\fB%s\\fR" % roff(match.group(1)), roff(match.group(2))]
                else:
                    page.append(roff(line.strip()))
        else:
            page += [".PP", roff(" ".join(l.strip() for l in lines))]
    page += [".SH SEE ALSO", ".BR lantern-wharf (1)"]
    with open(output, "w", encoding="utf-8") as f:
        f.write("\n".join(page) + "\n")


if __name__ == "__main__":
    main()
