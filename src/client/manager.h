// What a person does with the hosts file's sets, for every face of the
// client: the command, the C interface and the desktop window all come here.
// The sets live in the managed block of the hosts file and nowhere else (the
// client keeps no state of its own): they are read back from the file,
// changed in memory, checked as the helper will check them, previewed, and
// sent whole to the helper, which keeps a backup of the file before each
// change.
//
// Nothing here prints, exits or keeps anything between calls: what can fail
// returns its result or a Failure. Every value is plain and owns its bytes
// (only to_wire() gives views), so that a window may hold a Current, change
// a copy of its sets on the thread that paints, and hand another copy to a
// worker that asks the helper. The functions under "Sets files", "Sets",
// "The sendable check" and "Import", preview(), encode() and decode() read
// no file and ask nothing: they are pure, and safe on any thread. The others
// read files or ask the helper; they too may be called from any thread, at
// the same time, and block while they read or wait.
#ifndef LWK_CLIENT_MANAGER_H_
#define LWK_CLIENT_MANAGER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "ipc/wire.h"

namespace lantern_wharf::manager {

struct Line {
  std::string text;
  bool enabled = true;
  friend bool operator==(const Line&, const Line&) = default;
};

struct Set {
  std::string name;
  std::vector<Line> lines;  // numbered from 1, as the helper's check numbers them
  friend bool operator==(const Set&, const Set&) = default;
};

using Sets = std::vector<Set>;

// Why something was not done: a kind, which tells a face what to make of it
// (the command's exit status, the C interface's LW_ status), and a sentence
// to show, in plain English, beginning in lower case, with no full stop.
struct Failure {
  enum class Kind {
    // The file or the helper cannot take it: the check's issues (in
    // `issues`), a file that cannot be read, a block that does not read
    // back, an answer of the helper that is no response.
    Refused,
    // The input is at fault and nothing was sent: an unknown set or line, a
    // name or line that is not UTF-8, more than the helper takes, a file
    // that is no regular file or over its bound, a sets file that does not
    // parse.
    BadInput,
    NotServed,    // the helper refused to serve this program
    Unreachable,  // the helper cannot be reached, or did not answer
    NotNow,       // the helper could not decide now whether to serve it: ask again soon
  };
  Kind kind;
  std::string sentence;
  // Behind a Refused from the check: its issues in its order, which the
  // sentence sums up. Empty otherwise.
  std::vector<hosts_ipc::Issue> issues;
};

// ---- The file ----

// The most octets of a hosts file, a sets file or a backup the client reads.
inline constexpr std::size_t FILE_LIMIT = 16u << 20;

// The bytes of the regular file at `path` (links followed), at most
// FILE_LIMIT of them. BadInput, "PATH: not a regular file" or "PATH: the file
// is N octets, and the client reads at most L", for a file the client does
// not read, refused before a byte is read and without waiting on a FIFO;
// Refused, "PATH: REASON", for one that cannot be read.
lwk::Result<std::string, Failure> read_file(const std::string& path);

// The sets of the managed block of the file whose bytes are `bytes`, in
// order, as the block holds them: for showing them. None when it has no
// block. Refused, naming the line of the file, when the block cannot be read
// back; and, before a line of it is read, when it holds more lines than a
// message to the helper carries, which the helper never writes.
lwk::Result<Sets, Failure> read_block(std::string_view bytes);

// read_block(), and Refused, naming the line of the file, when the block
// holds what the helper's check would refuse (an edit by hand, say): nothing
// could then be changed without losing it.
lwk::Result<Sets, Failure> read_sets(std::string_view bytes);

// The file as it is now and the sets its block holds.
struct Current {
  std::string path;
  std::string bytes;
  Sets sets;
};

// The file at `path` as one reading found it: its bytes, or why they could
// not be read (read_file()); and its block's sets, or why not (read_sets(),
// the sentence beginning with "PATH: "). The bytes are kept when the sets
// do not read back, for a window shows the file and compares it all the same.
struct Reading {
  lwk::Result<std::string, Failure> bytes;
  lwk::Result<Sets, Failure> sets;
};
Reading read_reading(const std::string& path);

// read_reading() of the file at `path`, which fails when either part does.
lwk::Result<Current, Failure> read_current(const std::string& path);

// ---- Sets files: {"sets": [{"name": N, "lines": [LINE, ...]}, ...]} ----

// The sets of a sets file, where a LINE is {"text": T, "enabled": B} (B
// defaults to true) or a plain string (a switched-on line) and "lines" may be
// left out. BadInput, naming where the fault is ("sets[0].lines[1].enabled:
// expected true or false", "sets[0]: the key "name" is given twice"), for
// anything else; and request_too_big() for sets that would make a request
// larger than a message to the helper carries. The text is read twice, the
// first time to judge it, so that a refusal costs no memory beyond the text
// (5,200,000 empty lines, 15.6 MB: refused in 84 ms, client_bounds_bench).
lwk::Result<Sets, Failure> parse_sets_file(std::string_view json);

// The sets file of `sets`, every line written out with its state;
// parse_sets_file() reads it back as `sets`. BadInput "the sets file would
// hold more than L octets, and the client reads at most L" past FILE_LIMIT,
// which no client could read back; no more than that is ever written (a
// 15.9 MiB sets file switched off whole: refused in 0.26 s, at 3.2 times its
// size at the peak, client_bounds_bench).
lwk::Result<std::string, Failure> to_sets_file(const Sets& sets);

// ---- Sets: changes made in memory, reaching the file only through apply() ----
// A change that cannot be made fails with BadInput and changes nothing.

// The index of the set named `name`; "there is no set named "NAME"".
lwk::Result<std::size_t, Failure> find(const Sets& sets, std::string_view name);

// Switches on or off the lines of the set `name` numbered in `numbers` (from
// 1), or every line of it when `numbers` is empty; "the set "NAME" has no
// line N (it has K)" for a number out of range.
lwk::Result<void, Failure> switch_lines(Sets& sets, std::string_view name,
                                        const std::vector<std::uint64_t>& numbers, bool enabled);

// Adds `texts` as lines at the end of the set `name`, made last when there is
// none of that name.
void add_lines(Sets& sets, std::string_view name, const std::vector<std::string>& texts,
               bool enabled);

// The lines of the set `name` that `words` pick, in order and each once: a
// word of digits is a line number (from 1), any other word a host name,
// which picks every line of the set whose entry maps it, switched on or off
// (letter case aside). "the set "S" has no line N (it has K)", "no line of
// the set "S" maps HOST".
lwk::Result<std::vector<std::uint64_t>, Failure> lines_picked(
    const Sets& sets, std::string_view name, const std::vector<std::string>& words);

// A line that maps a host name: the set's index and the line's number.
struct Found {
  std::size_t set;
  std::uint64_t line;
  friend bool operator==(const Found&, const Found&) = default;
};

// Every line of `sets` whose entry maps `host`, switched on or off (letter
// case aside), in order.
std::vector<Found> find_host(const Sets& sets, std::string_view host);

// Removes the lines numbered in `numbers` from the set `name`, or the whole
// set when `numbers` is empty.
lwk::Result<void, Failure> remove(Sets& sets, std::string_view name,
                                  const std::vector<std::uint64_t>& numbers);

// Gives the set `from` the name `to`, which no other set may have.
lwk::Result<void, Failure> rename(Sets& sets, std::string_view from, std::string_view to);

// Moves the set `name` to position `to` (from 0); the others keep their
// order. "there is no position N for a set (there are K sets)" past the end.
lwk::Result<void, Failure> move_set(Sets& sets, std::string_view name, std::size_t to);

// The same changes made to the set at index `set` (from 0), for a face that
// acts on the set a person chose: a file written before two sets of one
// name were refused still reads back with both, and a name would pick the
// first. REQUIRES: set < sets.size(), and to < sets.size() for a move.
lwk::Result<void, Failure> rename_at(Sets& sets, std::size_t set, std::string_view to);
void move_set_at(Sets& sets, std::size_t set, std::size_t to);

// Puts `set` in place of the set of its name, or last when there is none.
void put_set(Sets& sets, Set set);

// Keeps the choices a person made in `before` when its lines come again
// (a list imported anew): the k-th line of `set` with a given text is
// switched off when the k-th line of that text in `before` was. Gives how
// many lines it switched off.
std::size_t keep_switched_off(Set& set, const Set& before);

// The lines of a hosts-format text, each kept as written without its line
// ending (LF or CRLF). "line N is not valid UTF-8" for text that is not, and
// request_too_big() for more lines and octets than a message to the helper
// could carry, counted before a line is built.
lwk::Result<std::vector<std::string>, Failure> lines_of(std::string_view text);

// Switches off every switched-on line that the file would leave out because
// an earlier line writes the same entry (rendering's own rule): left on, it
// would be gone from its set when the sets are next read back; switched off,
// it stays. One sentence for each: "set "S", line N is kept switched off:
// set "T", line M already writes that entry".
std::vector<std::string> keep_repeats_off(Sets& sets);

// What changed from `before` to `after`: "added "S"" or "changed "S"" for
// each set of `after` in its order, then "removed "S"" for each gone, then
// "reordered the sets" when the sets both hold stand in another order. Empty
// when nothing did.
std::vector<std::string> changes(const Sets& before, const Sets& after);

// The sets as a request carries them: views into `sets`, which must outlive
// them.
std::vector<hosts_ipc::WireSet> to_wire(const Sets& sets);

// ---- The sendable check: what the helper will say, before anything is sent ----

// BadInput when the sets cannot be sent at all: "a set's name is not valid
// UTF-8", "set "S", line N is not valid UTF-8", "set N has no name (sets
// count from 0)", "there are two sets named "S"", request_too_big() for more
// than a message carries; and what the helper's check would refuse of every
// request: a control character ("set "S", line N: the line holds the control
// character U+001B, ..."), or "the sets would hold N octets of names and
// lines, and the helper takes at most L" (the check's own size rule). Costs
// one pass over the octets.
lwk::Result<void, Failure> sendable(const Sets& sets);

// The issues the helper's check would answer an apply of `sets` with, in its
// order; none when it would take them. BadInput, as sendable(), for what is
// not UTF-8, a name empty or given twice, or more than a message carries.
// As fast as the helper's check itself, so that it may run on
// every keystroke: about 3 ms for the sets of a 1 MiB block, the most the
// helper takes, 1.1x the helper's check (BM_SendableCheck, client_bench).
lwk::Result<std::vector<hosts_ipc::Issue>, Failure> check(const Sets& sets);

// Notes, not refusals: the switched-on entries of `sets` that the file whose
// bytes are `file`, at `path`, answers otherwise. A lookup finds the first
// line that maps a name in the address family asked for, so a line before
// the block (anywhere in a file without one, for the block then comes
// after it) that maps the same host name to another address of the same
// family wins. One note for each such name of each line, with its set and
// line: "kestrel.lan is mapped by line 2 of /etc/hosts, outside the block;
// that line wins". None when the file's markup is broken.
std::vector<hosts_ipc::Issue> shadowed(const Sets& sets, std::string_view file,
                                       std::string_view path);

// ---- Import ----

// A hosts-format text made the lines of a set, and the lines of it that the
// helper's check would refuse.
struct Import {
  Set set;  // every line of the text, as written, switched on
  // No line holds anything but white space: most likely a download that
  // failed, which would empty the set.
  bool empty = false;
  // The issues of the lines the check would refuse, judged as a set of their
  // own: `line` counts the lines of the text.
  std::vector<hosts_ipc::Issue> refused;
};

// Makes the text the lines of a set named `name`. BadInput for text that is
// not UTF-8, for a set whose name and lines hold more octets than the
// helper's check takes ("the set would hold N octets of name and lines, and
// the helper takes at most L in all"), and for an issue of the name.
lwk::Result<Import, Failure> import(std::string_view name, std::string_view text);

// Leaves out of `import.set` the lines in `import.refused`; gives how many.
std::size_t leave_out_refused(Import& import);

// ---- Preview: the file an apply would write, by the helper's own steps ----

// The new content of the file whose bytes are `current` after an apply of
// `sets`: checked, cut at its block, rendered. Refused with the check's
// issues, or with "the file's markup is broken at line N: MESSAGE". Pure.
lwk::Result<std::string, Failure> preview(const Sets& sets, std::string_view current);

// The file before and after an apply.
struct Change {
  std::string before;
  std::string after;
};

// preview() of the file at `path`, which is read only when the sets pass the
// check: BadInput "PATH: ..." for a file the client does not read, Refused
// "reading PATH: REASON" for one it cannot. The unified diff of
// the two is diff.h's unified_diff().
lwk::Result<Change, Failure> preview_file(const Sets& sets, const std::string& path);

// ---- History: the backups the helper keeps, and undo ----

// One backup: the file as it was before one of the helper's changes.
struct Backup {
  std::string path;
  std::uint64_t nanoseconds;  // when it was made, since 1970
  std::uint64_t counter;
  std::string bytes;
  lwk::Result<Sets, Failure> sets;  // its block's sets; or why not, "PATH: ..."
  // False for a backup that could not be read: `bytes` is empty and `sets`
  // says why.
  bool readable = true;
};

// The backups in the helper's store directory `store`, newest first, each
// read whole; none when there is no store yet. Entries not named as the
// helper names backups are passed over. A backup that is no regular file (a
// link is not followed), is over FILE_LIMIT or cannot be read is kept, not
// readable, and the others are read. Refused, "PATH: REASON", when the
// directory cannot be read.
lwk::Result<std::vector<Backup>, Failure> history(const std::string& store);

// The index in `backups` of the backup numbered `number` (1: the newest);
// BadInput "there is no backup N (there are K)".
lwk::Result<std::size_t, Failure> backup_numbered(const std::vector<Backup>& backups,
                                                  std::uint64_t number);

// The sets that undo goes back to: those of the backup at `index`, which an
// apply puts in place of the current ones (everything outside the block stays
// as it is now). BadInput "PATH: ..." when its block does not read back.
// REQUIRES: index < backups.size().
lwk::Result<Sets, Failure> undo(const std::vector<Backup>& backups, std::size_t index);

// The index in `backups` of the backup that undo, and redo, lead to from the
// current sets `now` (a failure when the block does not read back). They are
// found from the sets alone, with no state of the client's: walking from the
// oldest backup to `now`, a state equal to the one before the last is a step
// back (an undo), one equal to the state after it a step forward (a redo),
// and any other a change, which forgets the states after it. A repeated undo
// goes further back, and redo comes forward again. Backups that do not read
// back are passed over. BadInput at either end: "there is nothing older to
// go back to: ..." and "there is nothing to redo: ...".
lwk::Result<std::size_t, Failure> undo_step(const std::vector<Backup>& backups,
                                            const lwk::Result<Sets, Failure>& now);
lwk::Result<std::size_t, Failure> redo_step(const std::vector<Backup>& backups,
                                            const lwk::Result<Sets, Failure>& now);

// ---- Asking the helper ----
// Each blocks until the helper has answered: within 60 s over the socket.

// The octets of `request`: BadInput "the request is N octets, and a message
// to the helper carries at most L" when they are too many to send.
lwk::Result<std::string, Failure> encode(const hosts_ipc::Request& request);

// That sentence, for `octets` that may be words ("more than N").
Failure request_too_big(std::string_view octets);

// The most octets of a response decode() reads: well beyond the largest
// response the helper gives, an issue for each line of the largest request
// it checks.
inline constexpr std::size_t RESPONSE_LIMIT = 256u << 20;

// "the response is N octets, and the client decodes at most L", for
// `octets` that may be words ("more than N").
Failure response_too_big(std::string_view octets);

// The response in `octets`. BadInput for none: "no response: an empty reply
// is the helper's refusal of the caller", "the octets are no response: WHY",
// or response_too_big() past RESPONSE_LIMIT.
lwk::Result<hosts_ipc::Response, Failure> decode(std::string_view octets);

// Sends the octets of a request as they are and gives the response's octets,
// undecoded: BadInput when they are too many (nothing is sent), Unreachable,
// NotServed or NotNow with the sentence of each.
lwk::Result<std::string, Failure> send(std::string_view request);

// Encodes `request`, sends it and decodes the response: as send(), and
// Refused "the helper's answer is no response: WHY".
lwk::Result<hosts_ipc::Response, Failure> ask(const hosts_ipc::Request& request);

// ask() for an apply of `sets`, in place of the sets in the file, once
// sendable() has passed them, and with each switched-on line that the file
// would leave out switched off (keep_repeats_off()), so that no line is ever
// lost from its set, whoever calls. The helper checks them again and answers
// issues, done, or unchanged.
lwk::Result<hosts_ipc::Response, Failure> apply(const Sets& sets);

// ---- One of several: sets marked as alternatives of a group ----
// A set is one of the alternatives of the group G when its first line is the
// comment "# one of: G". The mark is an ordinary line of the block: it reads
// back with its set (switched on or off alike), every other reader of the
// file sees a comment, and it counts in the helper's numbering of the set's
// lines, as line 1. At most one set of a group is meant to be on: switching
// one on switches the others off, in the same apply. Pure.

inline constexpr std::string_view ONE_OF_PREFIX = "# one of: ";

// The group `set` is one of; empty when it is not marked.
std::string_view group_of(const Set& set);

// Marks the set `name` as one of `group`: its first line becomes the mark, in
// place of a mark it had. BadInput for an unknown set, and ""G" cannot name a
// group: a group's name is not empty, holds no control character, and neither
// begins nor ends with a space".
lwk::Result<void, Failure> mark_one_of(Sets& sets, std::string_view name, std::string_view group);

// Takes the mark of the set `name` away; "the set "S" is one of no group".
lwk::Result<void, Failure> unmark_one_of(Sets& sets, std::string_view name);

// Switches off every line but the mark of the other sets of the group of the
// set `name` that have a line on; one sentence for each: "switched off "T":
// only one of "G" is on at a time". Nothing when `name` is in no group.
std::vector<std::string> switch_off_others(Sets& sets, std::string_view name);

// switch_off_others() for the set at index `set`. REQUIRES: set < sets.size().
std::vector<std::string> switch_off_others_at(Sets& sets, std::size_t set);

// Switches every line of the set `name` but its mark on or off, as the
// switch of a whole set in a window or a tray does; switching it on switches
// off the other sets of its group, and gives switch_off_others()'s
// sentences. BadInput for an unknown set.
lwk::Result<std::vector<std::string>, Failure> switch_set(Sets& sets, std::string_view name,
                                                          bool on);
// switch_set() of the set at index `set`. REQUIRES: set < sets.size().
std::vector<std::string> switch_set_at(Sets& sets, std::size_t set, bool on);

// The lines of `set` switched on and off, its mark aside.
struct LineCounts {
  std::size_t on = 0;
  std::size_t off = 0;
};
LineCounts count_lines(const Set& set);

// A set summed up: "N on, M off" (count_lines()), and ", one of "G"" when it
// is one of a group.
std::string summed_up(const Set& set);

// ---- History, told ----

// What the change from `backup` to `after` did, in one phrase: changes()
// joined by ", ", "no change to the sets", "unreadable: REASON" for a backup
// that could not be read, or "a block that does not read back" when either
// holds no sets.
std::string what_changed(const Backup& backup, const lwk::Result<Sets, Failure>& after);

// What the change made after each of `backups` (newest first, as history()
// gives them) did: the change after backups[i] led to backups[i - 1], and
// the change after the newest to `now`, the sets the file holds now.
struct BackupChange {
  std::string what;  // what_changed()
  // changes() of the two, when both read back.
  std::optional<std::vector<std::string>> changes;
};
std::vector<BackupChange> what_each_did(const std::vector<Backup>& backups,
                                        const lwk::Result<Sets, Failure>& now);

// ---- Sets made in a window ----

// Adds an empty set named `name` at the end; "a set's name cannot be empty",
// and "there is a set named "S" already" when one has that name.
lwk::Result<void, Failure> add_set(Sets& sets, std::string_view name);

// ---- Sets changed elsewhere while a face held edits not yet applied ----

// The edits made from `base` to `mine`, carried onto `theirs`, the sets the
// file holds since it was changed elsewhere. Set by set, by name: a set
// changed on one side only takes that side's version; a set changed on both
// keeps the one made here, and is named; a set added on either side is kept;
// a set removed on one side and left alone on the other is removed. The
// order is `mine`'s when the sets were reordered here, `theirs`' otherwise,
// with the sets only the other side holds after them. When any of the three
// holds two sets of one name, `mine` is kept whole, and that is said. Pure.
struct Merged {
  Sets sets;
  std::vector<std::string> notes;  // one sentence for each set kept against the file
};
Merged merge(const Sets& base, const Sets& mine, const Sets& theirs);

// ---- The whole file, as a window shows it ----

// The 1-based numbers of the first and last lines of the managed block of
// the file whose bytes are `bytes`, its two marker lines included; {0, 0}
// when the file has no block or its markup is broken. Pure.
struct LineSpan {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
};
LineSpan block_span(std::string_view bytes);

}  // namespace lantern_wharf::manager

#endif  // LWK_CLIENT_MANAGER_H_
