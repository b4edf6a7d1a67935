#include "help.h"

#include "client/manager.h"

namespace lantern_wharf::command::help {

static_assert(manager::FILE_LIMIT == 16u << 20, "the help texts say 16 MiB");

const char* const TOOL =
    "usage: lantern-wharf COMMAND [OPTIONS]\n"
    "\n"
    "Manages the sets of host entries in the managed block of /etc/hosts: each\n"
    "command reads the sets back from the block, changes them, and asks the\n"
    "lantern-wharf helper to write them. It also checks, previews and encodes\n"
    "what the helper writes.\n"
    "\n"
    "commands that manage the sets in /etc/hosts:\n"
    "  list                  the sets, each with its lines on and off\n"
    "  show SET              the lines of a set, numbered\n"
    "  find HOST             the sets and lines that map a host name\n"
    "  enable SET [LINE...]  switch a set, or some of its lines, on\n"
    "  disable SET [LINE...] switch a set, or some of its lines, off\n"
    "  add SET LINE...       add lines to a set, made when it is new\n"
    "  add --one-of GROUP SET\n"
    "                        mark a set as one of the alternatives GROUP\n"
    "  remove SET [LINE...]  remove lines, or a whole set\n"
    "  rename SET NEW        rename a set\n"
    "  import SET [FILE]     make a hosts file, or a list, a set\n"
    "  export                print the sets as a sets file\n"
    "  history [BACKUP]      the backups the helper keeps, or one as a diff\n"
    "  undo [BACKUP]         go back a change, or to the sets of a backup\n"
    "  redo                  come forward again a change that undo went back\n"
    "\n"
    "A LINE is a line's number in its set, as show numbers it, or a host name,\n"
    "which picks every line of the set that maps it.\n"
    "\n"
    "commands:\n"
    "  apply SETS.json       ask the helper to write the sets into /etc/hosts\n"
    "  flush                 ask the helper to flush the name caches\n"
    "  remove-everything     ask the helper to put /etc/hosts back as it was before\n"
    "                        its first change, and to delete all it keeps\n"
    "  send                  send request bytes from standard input to the helper\n"
    "                        and print the response bytes\n"
    "  check SETS.json       check the sets as the helper would\n"
    "  preview SETS.json     print the hosts file an apply would write\n"
    "  encode SETS.json      print the request bytes of an apply\n"
    "  encode flush          print the request bytes of a name-cache flush\n"
    "  encode remove-everything\n"
    "                        print the request bytes of a removal\n"
    "  decode                read response bytes on standard input and print them\n"
    "\n"
    "options:\n"
    "  --help                show this text, or a command's with COMMAND --help\n"
    "                        or help COMMAND\n"
    "  --version             show the version\n"
    "  --color=WHEN          colour diffs and issues: auto (on a terminal, unless\n"
    "                        NO_COLOR is set), always or never\n"
    "\n"
    "A sets file reads {\"sets\": [{\"name\": \"work\", \"lines\": [LINE, ...]}]}, where\n"
    "a LINE is {\"text\": \"10.0.0.5 intranet.test\", \"enabled\": true} or a plain\n"
    "string (a switched-on line).\n"
    "\n"
    "A sets file or a hosts file is read only when it is a regular file of at most\n"
    "16 MiB (16777216 octets); anything else is an input error.\n"
    "\n"
    "Exit status: 0 success, 1 the request has issues or the file cannot take it,\n"
    "or the output could not be written, 2 a usage or input error, 3 the helper refused to serve "
    "this program, 4 the\n"
    "helper cannot be reached or did not answer, 5 the helper could not decide now\n"
    "whether to serve this program (it was deciding an earlier request of yours, or\n"
    "stopping): nothing was done, ask again in a moment.\n";

const char* const APPLY =
    "usage: lantern-wharf apply [--json] SETS.json\n"
    "\n"
    "Asks the helper to write the sets into the managed block of /etc/hosts.\n"
    "Prints done, or unchanged when the file already holds them; otherwise the\n"
    "issues on standard error, as check prints them, and exits 1. Look first with\n"
    "preview --diff. A line whose entry an earlier line already writes is sent\n"
    "switched off, and the client says which line writes it: the file would\n"
    "leave it out, and it would be lost from its set. Sets the helper would\n"
    "refuse whatever the file holds (a set whose name is empty or given twice, a\n"
    "control character, more than the helper takes) are an input error, and\n"
    "nothing is sent.\n"
    "\n"
    "  --json   print {\"response\": \"done\"} or {\"issues\": [...]}, with\n"
    "           \"notes\": [...] when there are any\n";

const char* const FLUSH =
    "usage: lantern-wharf flush [--json]\n"
    "\n"
    "Asks the helper to flush the system's name caches. Prints done, or the\n"
    "issue on standard error and exits 1.\n";

const char* const REMOVE_EVERYTHING =
    "usage: lantern-wharf remove-everything [--json]\n"
    "\n"
    "Asks the helper to put /etc/hosts back as it was before its first change,\n"
    "and then to delete its snapshot, its backups and its log. Prints done, or\n"
    "the issue on standard error and exits 1.\n";

const char* const SEND =
    "usage: lantern-wharf send\n"
    "\n"
    "Sends the request bytes on standard input to the helper as they are, and\n"
    "writes the response bytes to standard output: for debugging and tests.\n"
    "Exits as apply does for the response.\n";

const char* const CHECK =
    "usage: lantern-wharf check [--json] [--hosts FILE] SETS.json\n"
    "\n"
    "Checks the sets as the helper checks an apply request. Prints nothing and\n"
    "exits 0 when there is no issue; otherwise prints one line per issue on\n"
    "standard error, \"set S, line L: MESSAGE\" (line 0: the request as a whole or\n"
    "a set's name), and exits 1. A set whose name is empty or given twice is an\n"
    "input error, exit 2. Entries that a line of FILE outside the managed block\n"
    "answers otherwise are noted, not refused: \"set S, line L: NAME is mapped by\n"
    "line N of FILE, outside the block; that line wins\".\n"
    "\n"
    "  --hosts FILE   the file whose lines outside the block are looked at\n"
    "                 (default /etc/hosts, only read)\n"
    "  --json         print {\"issues\": [{\"set\": S, \"line\": L, \"message\": M},\n"
    "                 ...]} on standard output instead, with \"notes\": [...]\n"
    "  --color=WHEN   colour the issues: auto, always or never\n";

const char* const PREVIEW =
    "usage: lantern-wharf preview [--json] [--diff] [--hosts FILE] SETS.json\n"
    "\n"
    "Checks the sets, reads FILE (default /etc/hosts, only read), cuts it at its\n"
    "managed block and prints the complete file an apply would write. Issues,\n"
    "a broken block or an unreadable file are printed on standard error, exit 1.\n"
    "A FILE that is no regular file, or that holds more than 16 MiB, is an input\n"
    "error, exit 2.\n"
    "\n"
    "  --diff         print a unified diff of FILE against the new file instead\n"
    "                 (nothing when the apply would change nothing)\n"
    "  --hosts FILE   the file to start from\n"
    "  --json         print {\"content\": NEW-FILE} or {\"issues\": [...]} on\n"
    "                 standard output (not with --diff)\n"
    "  --color=WHEN   colour the diff: auto, always or never\n";

const char* const ENCODE =
    "usage: lantern-wharf encode SETS.json | flush | remove-everything\n"
    "\n"
    "Prints the request bytes that the client sends the helper: an apply of the\n"
    "sets in SETS.json (not checked; see check), a name-cache flush, or a removal\n"
    "of everything the helper keeps. To encode a sets file named flush, write\n"
    "./flush.\n";

const char* const DECODE =
    "usage: lantern-wharf decode [--json]\n"
    "\n"
    "Reads the bytes of a response on standard input and prints it: done,\n"
    "unchanged, not understood, or the issues as check prints them. Exits 0 for\n"
    "done and unchanged, 1 otherwise, 2 for bytes that are no response or more\n"
    "than 256 MiB of them.\n"
    "\n"
    "  --json   print {\"response\": \"done\"} or {\"issues\": [...]}\n";

// The sets in the file. Every command that changes them reads them back from
// the managed block of /etc/hosts, changes them, and asks the helper to apply
// them all, as apply does; --diff shows the change instead and sends nothing.
#define LWK_CHANGE_OPTIONS                                                         \
  "  --diff         print a unified diff of /etc/hosts against what it would\n"    \
  "                 be, and send nothing\n"                                        \
  "  --json         print {\"response\": \"done\"} or {\"issues\": [...]}, with\n" \
  "                 \"notes\": [...] when there are any (not with --diff)\n"       \
  "  --color=WHEN   colour the diff and the issues: auto, always or never\n"       \
  "\n"                                                                             \
  "The sets are read from the managed block of /etc/hosts; the client keeps\n"     \
  "nothing of its own. When two clients change the file at the same time, the\n"   \
  "last apply wins.\n"

// What LINE is, for the commands that take lines of a set.
#define LWK_LINES                                                            \
  "A LINE is a line's number in the set, from 1, as show numbers it, or a\n" \
  "host name, which picks every line of the set whose entry maps it.\n"

const char* const LIST =
    "usage: lantern-wharf list [--json]\n"
    "\n"
    "Lists the sets in the managed block of /etc/hosts, in order, each with how\n"
    "many of its lines are switched on and off, and the group a set is one of\n"
    "(add --one-of), whose mark, its line 1, is not counted; or says that there\n"
    "are none yet.\n"
    "\n"
    "  --json   print {\"sets\": [{\"name\": N, \"on\": K, \"off\": K}, ...]}, with\n"
    "           \"one_of\": G for a set of a group\n";

const char* const SHOW =
    "usage: lantern-wharf show [--json] SET\n"
    "\n"
    "Shows the lines of the set SET, numbered from 1 as lines of the set (not of\n"
    "/etc/hosts), as the helper's check numbers them and as enable, disable and\n"
    "remove take them, each on or off. A switched-on entry that a line of\n"
    "/etc/hosts outside the managed block answers otherwise is noted: \"NAME is\n"
    "mapped by line N of /etc/hosts, outside the block; that line wins\".\n"
    "\n"
    "  --json   print {\"name\": N, \"lines\": [{\"line\": L, \"text\": T, \"enabled\": B}]},\n"
    "           with \"notes\": [...] when there are any\n";

const char* const FIND =
    "usage: lantern-wharf find [--json] HOST\n"
    "\n"
    "Lists the lines of the sets in the managed block of /etc/hosts whose entry\n"
    "maps the host name HOST (letter case aside), switched on or off: the set,\n"
    "the line's number in it, on or off, and the line. Exits 1 when there is\n"
    "none.\n"
    "\n"
    "  --json   print {\"found\": [{\"set\": N, \"line\": L, \"text\": T,\n"
    "           \"enabled\": B}]}\n";

const char* const ENABLE =
    "usage: lantern-wharf enable [--diff] [--json] SET [LINE...]\n"
    "\n"
    "Switches on the lines LINE of the set SET, or, without LINE, every\n"
    "line of it: lines that were off before the set was switched off come on\n"
    "too, for the file keeps no state of a set apart from its lines. A line\n"
    "whose entry an earlier line already writes stays off, and the client says\n"
    "which line writes it: the file would leave it out, and it would be lost.\n"
    "When SET is one of a group (add --one-of), the other sets of the group are\n"
    "switched off in the same apply, and named.\n"
    "\n" LWK_LINES "\n" LWK_CHANGE_OPTIONS;

const char* const DISABLE =
    "usage: lantern-wharf disable [--diff] [--json] SET [LINE...]\n"
    "\n"
    "Switches off the lines LINE of the set SET, or, without LINE, every\n"
    "line of it. A line switched off stays in the block as a comment.\n"
    "\n" LWK_LINES "\n" LWK_CHANGE_OPTIONS;

const char* const ADD =
    "usage: lantern-wharf add [--off] [--one-of GROUP] [--diff] [--json] SET LINE...\n"
    "\n"
    "Adds each LINE, as written, at the end of the set SET, which is made when\n"
    "there is none of that name. A line whose entry an earlier line already\n"
    "writes is added switched off, and the client says which line writes it:\n"
    "the file would leave it out, and it would be lost. An entry that a line of\n"
    "/etc/hosts outside the managed block answers otherwise is added, and\n"
    "noted: \"NAME is mapped by line N of /etc/hosts, outside the block; that\n"
    "line wins\".\n"
    "\n"
    "With --one-of GROUP, LINE may be left out: SET becomes one of the\n"
    "alternatives GROUP (development, staging, production, say), of which one at\n"
    "a time is on; enabling one switches the others off. The mark is the set's\n"
    "line 1, the comment \"# one of: GROUP\", and reads back from the file with\n"
    "the set; 'remove SET 1' takes it away.\n"
    "\n"
    "  --off             add the lines switched off\n"
    "  --one-of GROUP    mark SET as one of GROUP, in place of a mark it had\n" LWK_CHANGE_OPTIONS;

const char* const REMOVE =
    "usage: lantern-wharf remove [--diff] [--json] SET [LINE...]\n"
    "\n"
    "Removes the lines LINE from the set SET, or, without LINE, the\n"
    "whole set.\n"
    "\n" LWK_LINES "\n" LWK_CHANGE_OPTIONS;

const char* const RENAME =
    "usage: lantern-wharf rename [--diff] [--json] SET NEW\n"
    "\n"
    "Gives the set SET the name NEW, which no other set may have.\n"
    "\n" LWK_CHANGE_OPTIONS;

const char* const IMPORT =
    "usage: lantern-wharf import [--skip-refused] [--allow-empty] [--diff] [--json] SET [FILE]\n"
    "\n"
    "Makes the lines of the hosts-format FILE (standard input when FILE is - or\n"
    "left out) the lines of the set SET, made when there is none of that name:\n"
    "an existing hosts file, or a list someone publishes. Every line is kept as\n"
    "written, comments and empty lines too, switched on; but a line that was\n"
    "switched off in SET before stays off (lines are matched by their text).\n"
    "The lines the helper would refuse are listed with their line numbers in\n"
    "FILE (not in the set), and nothing is sent. An input with nothing but\n"
    "white space, as a download that failed gives, is refused, for it would\n"
    "empty the set.\n"
    "\n"
    "  --skip-refused   leave the refused lines out and import the rest\n"
    "  --allow-empty    import an input with nothing but white space all the "
    "same\n" LWK_CHANGE_OPTIONS;

const char* const EXPORT =
    "usage: lantern-wharf export\n"
    "\n"
    "Prints the sets in the managed block of /etc/hosts as a sets file, which\n"
    "apply takes: to keep them, move them to another machine, or put them under\n"
    "version control.\n";

const char* const HISTORY =
    "usage: lantern-wharf history [--json] [BACKUP]\n"
    "\n"
    "Lists the backups the helper keeps of /etc/hosts, newest first and numbered\n"
    "from 1, each with when it was made and what the change after it did to the\n"
    "sets; or says that there are none yet. A backup that cannot be read (no\n"
    "regular file, a link, over 16 MiB) is listed as unreadable, with why. With\n"
    "BACKUP, prints that backup as a unified diff against the current file\n"
    "instead.\n"
    "\n"
    "  --json   print {\"backups\": [{\"backup\": N, \"made\": T, \"path\": P,\n"
    "           \"changes\": [...]}]}; \"changes\" is null for a backup whose block\n"
    "           does not read back, and \"unreadable\" says why one cannot be read\n";

const char* const UNDO =
    "usage: lantern-wharf undo [--diff] [--json] [BACKUP]\n"
    "\n"
    "Goes back one change: the helper applies the sets as they were before the\n"
    "last change, as it applies any change, and everything outside the block\n"
    "stays as it is now. Undo again goes further back, and redo comes forward\n"
    "again; both are found from the backups alone, for an undo is a change too\n"
    "and makes a backup of its own. At the oldest backup the helper keeps (ten)\n"
    "there is nothing older to go back to, and the client says so. With BACKUP,\n"
    "goes back to the sets of the backup numbered BACKUP in the history instead.\n"
    "\n" LWK_CHANGE_OPTIONS;

const char* const REDO =
    "usage: lantern-wharf redo [--diff] [--json]\n"
    "\n"
    "Comes forward again one change that undo went back, as found from the\n"
    "backups. After a change that undo did not make, there is nothing to redo,\n"
    "and the client says so.\n"
    "\n" LWK_CHANGE_OPTIONS;

}  // namespace lantern_wharf::command::help
