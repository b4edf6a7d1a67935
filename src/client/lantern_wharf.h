/* The lantern-wharf client's core for applications, in C: read the sets in
 * the managed block of /etc/hosts, change them, check them as the helper
 * does, preview and diff what an apply would write, encode requests and
 * decode responses, and ask the helper to apply sets, flush the name caches
 * or remove everything.
 *
 * Sets travel as sets files, the JSON text that `lantern-wharf apply` takes
 * and `lantern-wharf export` prints:
 *   {"sets": [{"name": "work", "lines": [LINE, ...]}, ...]}
 * where a LINE is {"text": "10.0.0.5 intranet.test", "enabled": true} or a
 * plain string (a switched-on line). Responses travel as JSON text too:
 *   {"response": "done"}, {"response": "unchanged"},
 *   {"response": "not understood"}, or
 *   {"issues": [{"set": S, "line": L, "message": M}, ...]}
 * where S is the set's position from 0, L the line within it from 1 (0: the
 * request or the set as a whole), and M a sentence to show the user.
 *
 * Every input is bounded: a sets file, a text or a name of more than 16 MiB,
 * and sets that would make a request larger than a message to the helper
 * carries (16 MiB), are refused with LW_BAD_INPUT before anything is built
 * from them; so is a sets file that gives a key twice in one object. A sets
 * file handed out is never larger than the library reads back.
 *
 * Every function returns one of the statuses below, the exit statuses of the
 * lantern-wharf command. Every function but lw_free and lw_last_error sets
 * the calling thread's last error: "" on LW_OK, otherwise a sentence saying
 * what went wrong.
 *
 * Ownership: every string the library hands out through a `char **` is
 * allocated by it, ends with a NUL octet, and belongs to the caller, who
 * releases it with lw_free exactly once. An output the call does not give is
 * set to NULL, so that freeing every output after every call is always
 * right. Inputs are only read, and only during the call. The string of
 * lw_last_error belongs to the library.
 *
 * The functions may be called from any thread; two applies at the same time
 * are run one after the other by the helper, and the last one wins.
 */
#ifndef LANTERN_WHARF_H_
#define LANTERN_WHARF_H_

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
  /* Done, unchanged, or the result asked for. */
  LW_OK = 0,
  /* The request has issues, the helper did not understand it or gave no
   * response, or the file cannot take the sets (its block is broken). */
  LW_ISSUES = 1,
  /* Bad input: an argument missing, a sets file that does not parse or is
   * too big, a request over the helper's limit, /etc/hosts no regular file.
   * Nothing was sent. */
  LW_BAD_INPUT = 2,
  /* The helper refused to serve this program. */
  LW_NOT_SERVED = 3,
  /* The helper could not be reached or did not answer. */
  LW_UNREACHABLE = 4,
  /* The helper could not decide now whether to serve this program (it was
   * deciding an earlier request of the same user, or stopping): a passing
   * state, not a refusal. Nothing was done; ask again in a moment. */
  LW_NOT_NOW = 5
};

/* Asks the helper to write the sets of the sets file `sets_json` into the
 * managed block of /etc/hosts, in place of the sets there now. A switched-on
 * line whose entry an earlier line already writes is sent switched off (the
 * file would leave it out, and it would be lost from its set), and a member
 * "notes": ["set \"S\", line N is kept switched off: ...", ...] of the
 * response says so. LW_BAD_INPUT, with nothing sent, for sets the helper
 * would refuse whatever the file: a set whose name is empty or given twice,
 * a control character, more than the helper takes.
 * *response: the helper's response as JSON text, with LW_OK (done,
 * unchanged) or LW_ISSUES (issues, not understood); NULL otherwise, and with
 * LW_ISSUES when the helper's answer was no response. */
int lw_apply(const char *sets_json, char **response);

/* Reads the sets in the managed block of /etc/hosts, at most 16 MiB of it.
 * *sets_json: a sets file that holds them, which lw_apply takes; with no
 * block, {"sets": []}. LW_ISSUES when the block cannot be read back or holds
 * what the helper would refuse (edited by hand); LW_BAD_INPUT when
 * /etc/hosts is no regular file or is too big. */
int lw_read_sets(char **sets_json);

/* The complete /etc/hosts that lw_apply of `sets_json` would write, made by
 * the helper's own steps: the sets checked, the file read (at most 16 MiB),
 * cut at its managed block and the sets rendered into it. Nothing is sent.
 * LW_OK: *content holds the new file and *content_length its length in
 * octets (the file may hold NUL octets; content_length may be NULL).
 * LW_ISSUES: *issues holds {"issues": [...]}, the check's issues or one
 * issue of the request as a whole when the file cannot be read or its block
 * is broken. */
int lw_preview(const char *sets_json, char **content, size_t *content_length, char **issues);

/* The unified diff from /etc/hosts as it is now to what lw_apply of
 * `sets_json` would write, as lw_preview makes it: "" when the apply would
 * change nothing. Its labels are "/etc/hosts" and "/etc/hosts (after the
 * apply)"; a change that lies apart from another has a hunk of its own.
 * LW_OK: *diff holds it. LW_ISSUES: *issues as lw_preview. */
int lw_diff(const char *sets_json, char **diff, char **issues);

/* Checks the sets of `sets_json` as the helper checks a request, reading
 * nothing and sending nothing. LW_OK when the helper would take them;
 * LW_ISSUES with *issues holding {"issues": [...]}, every issue found. */
int lw_check(const char *sets_json, char **issues);

/* The notes on the sets of `sets_json` against /etc/hosts as it is now,
 * which refuse nothing: each switched-on entry that a line of the file
 * outside the managed block answers otherwise, for that line maps the same
 * host name to another address and a lookup finds it first. *notes holds
 * {"notes": [{"set": S, "line": L, "message": M}, ...]}, M reading
 * "kestrel.lan is mapped by line 2 of /etc/hosts, outside the block; that
 * line wins"; the list is empty when there is nothing to note. */
int lw_shadowed(const char *sets_json, char **notes);

/* Changing the sets. Each function takes a sets file (from lw_read_sets, or
 * the application's own), makes one change, and gives the changed sets file
 * in *changed; nothing is read or sent, and the change reaches /etc/hosts
 * only through lw_apply. A switched-on line whose entry an earlier line
 * already writes is kept switched off in *changed: the file would leave it
 * out, and it would be lost from its set when the sets are next read back. A set is named by its
 * name; its lines by their numbers from 1, as the check numbers them. LW_BAD_INPUT, with the
 * sentence, for a set that does not exist (there is no set named
 * "work"), a line number out of range, a name that is not UTF-8, or a sets
 * file that does not parse. */

/* Switches lines of the set `set_name` on (`enabled` not 0) or off: the
 * `line_count` lines numbered in `lines`, or, with no lines (line_count 0),
 * every line of the set, so that switching a whole set on switches on the
 * lines that were off in it too, but for those kept off as said above. */
int lw_switch(const char *sets_json, const char *set_name, const unsigned long long *lines,
              size_t line_count, int enabled, char **changed);

/* Adds the lines of the hosts-format text `text` at the end of the set
 * `set_name`, which is made, last, when it is new; each line is kept as
 * written, switched on (`enabled` not 0) or off. LW_BAD_INPUT for text that
 * is not UTF-8. */
int lw_add_lines(const char *sets_json, const char *set_name, const char *text, int enabled,
                 char **changed);

/* Removes the `line_count` lines numbered in `lines` from the set
 * `set_name`, or, with no lines, the whole set. */
int lw_remove(const char *sets_json, const char *set_name, const unsigned long long *lines,
              size_t line_count, char **changed);

/* Gives the set `from` the name `to`, which no other set may have. */
int lw_rename(const char *sets_json, const char *from, const char *to, char **changed);

/* The requests lw_encode makes. */
enum { LW_REQUEST_APPLY = 0, LW_REQUEST_FLUSH = 1, LW_REQUEST_REMOVE_EVERYTHING = 2 };

/* The octets of a request as the helper reads it (for applications that
 * reach the helper their own way): an apply of the sets of `sets_json`, a
 * flush, or a removal of everything (`sets_json` is then not read and may
 * be NULL). *request holds the octets (they may hold NUL octets) and
 * *request_length their count. LW_BAD_INPUT for an unknown request, a sets
 * file that does not parse, or a request over the helper's limit. */
int lw_encode(int request, const char *sets_json, char **request_octets, size_t *request_length);

/* The helper's response in the `length` octets at `octets`, as JSON text in
 * *response (as lw_apply gives it). LW_BAD_INPUT, with why, when the octets
 * are no response or more than 256 MiB; an empty reply is the helper's
 * refusal of the caller. */
int lw_decode(const char *octets, size_t length, char **response);

/* Asks the helper to flush the system's name caches. *response as lw_apply. */
int lw_flush(char **response);

/* Asks the helper to put /etc/hosts back as it was before its first change
 * and to delete its snapshot, backups and log. *response as lw_apply. */
int lw_remove_everything(char **response);

/* The calling thread's last error: "" after a call that returned LW_OK,
 * otherwise the sentence of the last call's failure. Never NULL. The string
 * belongs to the library and stays valid until the thread's next call of a
 * function of this interface. */
const char *lw_last_error(void);

/* Releases a string the library handed out. `p` may be NULL. */
void lw_free(void *p);

#ifdef __cplusplus
}
#endif

#endif /* LANTERN_WHARF_H_ */
