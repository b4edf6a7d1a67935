// The window's one copy of the sets: the file as last read, the sets a person
// is editing, and the helper's issues with them, kept current on every
// change. Every model and widget of the window reads from here and changes
// through here; none keeps a set, a line or an issue of its own. Changes go
// through the client's layer (client/manager.h), which also says what is
// wrong with them; nothing of the helper's check is written again here.
#ifndef LWK_APPS_DESKTOP_DOCUMENT_H_
#define LWK_APPS_DESKTOP_DOCUMENT_H_

#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/result.h"
#include "client/manager.h"
#include "ipc/wire.h"
#include "readings.h"

namespace lantern_wharf::desktop {

class Document : public QObject {
  Q_OBJECT

 public:
  explicit Document(QObject* parent = nullptr);

  // ---- The file ----

  // Takes `reading` as the file, its sets as the sets edited: edits are
  // dropped. The first reading, or a reading after an apply of the edits.
  void load(std::shared_ptr<const Reading> reading);

  // Takes `reading` as the file and carries the edits made from `edits_base`
  // onto its sets; gives a sentence for each set kept against the file. When
  // the reading has no sets (its block does not read back), the edits stay
  // as they are.
  std::vector<std::string> take_file(std::shared_ptr<const Reading> reading,
                                     const manager::Sets& edits_base);

  // The file's bytes as last read (empty when it could not be read).
  const std::string& file_bytes() const;
  // Why the file's sets cannot be changed now (it cannot be read, or its
  // block does not read back); empty when they can.
  const std::string& unreadable() const { return unreadable_; }
  // The file's sets as last read: what it holds without the edits.
  const manager::Sets& file_sets() const { return file_sets_; }
  bool loaded() const { return reading_ != nullptr; }

  // ---- The sets edited ----

  const manager::Sets& sets() const { return sets_; }
  bool edited() const { return edited_; }

  // Lines 0 .. first_shown(s) - 1 of set `s` are not shown as lines: the
  // mark that makes the set one of a group (line 1, which stays counted in
  // the helper's numbering).
  std::size_t first_shown(std::size_t set) const;

  // ---- The helper's issues with the sets edited ----

  const std::vector<hosts_ipc::Issue>& issues() const { return issues_; }
  // The indexes into issues() of the issues about line `line` (from 1; 0:
  // the set as a whole) of set `set`. Issues of the request as a whole are
  // those about line 0 of set 0.
  const std::vector<std::size_t>& issues_of(std::size_t set, std::uint64_t line) const;

  // ---- Changes ----
  // Each checks the sets again and says what changed; a change that cannot
  // be made gives the layer's sentence and changes nothing.

  // Switches every line of set `set` (its mark aside) on or off; switching
  // on switches off the other sets of its group. Gives the layer's notes.
  std::vector<std::string> switch_set(std::size_t set, bool on);
  // Switches the lines of set `set` at `lines` (indexes from 0) on or off;
  // switching one on switches off the other sets of its group.
  std::vector<std::string> switch_lines(std::size_t set, const std::vector<std::size_t>& lines,
                                        bool on);
  // Refused for a first line that reads as a group's mark: typed, it would
  // make the set one of a group mid-word and hide the line being typed; the
  // One of field (set_group()) makes the mark.
  lwk::Result<void, manager::Failure> set_line_text(std::size_t set, std::size_t line,
                                                    std::string text);
  // Adds a switched-on line at the end of set `set`.
  void add_line(std::size_t set, std::string text);
  void remove_lines(std::size_t set, std::vector<std::size_t> lines);

  lwk::Result<void, manager::Failure> add_set(const std::string& name);
  lwk::Result<void, manager::Failure> rename_set(std::size_t set, const std::string& name);
  void remove_set(std::size_t set);
  void move_set(std::size_t set, std::size_t to);
  // Makes set `set` one of `group`, or of none when `group` is empty.
  lwk::Result<void, manager::Failure> set_group(std::size_t set, const std::string& group);
  // Adds `set` at the end; refused when a set has its name.
  lwk::Result<void, manager::Failure> add_whole_set(manager::Set set);

  // Puts `sets` in place of the sets edited (the edits discarded).
  void replace_sets(manager::Sets sets);
  // Switches off the lines the file would leave out (the layer's
  // keep_repeats_off), so that the sets read back as they are sent.
  std::vector<std::string> keep_repeats_off();

 signals:
  // The sets may have changed in any way: their number, order and lines.
  void reset();
  // Lines `first` to `last` (indexes) of set `set` changed their text or switch.
  void lines_changed(int set, int first, int last);
  void lines_about_to_be_added(int set, int first, int last);
  void lines_added();
  void lines_about_to_be_removed(int set, int first, int last);
  void lines_removed();
  // The set's name, group or counts changed.
  void set_changed(int set);
  // The issues were found again.
  void issues_changed();
  // The file was read (again); its bytes or sets may differ.
  void file_changed();

 private:
  // Runs `change` on set `set` alone, as the layer's functions take sets by
  // name and two sets may share one.
  template <typename Change>
  auto on_set(std::size_t set, Change change);
  void recheck();
  // Says what a switch of set `set` changed, the sets its group switched
  // off (named in `notes`) included.
  std::vector<std::string> after_switch(std::size_t set, std::vector<std::string> notes);

  std::shared_ptr<const Reading> reading_;
  std::string unreadable_;
  manager::Sets file_sets_;
  manager::Sets sets_;
  bool edited_ = false;
  std::vector<hosts_ipc::Issue> issues_;
  std::unordered_map<std::uint64_t, std::vector<std::size_t>> issue_index_;
};

}  // namespace lantern_wharf::desktop

#endif  // LWK_APPS_DESKTOP_DOCUMENT_H_
