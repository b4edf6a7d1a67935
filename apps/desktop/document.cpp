#include "document.h"

#include <algorithm>
#include <utility>

namespace lantern_wharf::desktop {
namespace {

std::uint64_t key(std::uint64_t set, std::uint64_t line) { return set << 32 | (line & 0xffffffff); }

// A change the window asked for with indexes of its own: it cannot fail.
void made(const lwk::Result<void, manager::Failure>& result) {
  if (!result) lwk::fatal("a change of the window's own was refused");
}

}  // namespace

Document::Document(QObject* parent) : QObject(parent) {}

template <typename Change>
auto Document::on_set(std::size_t set, Change change) {
  manager::Sets one;
  one.push_back(std::move(sets_[set]));
  const std::string name = one.front().name;
  auto result = change(one, name);
  sets_[set] = std::move(one.front());
  return result;
}

void Document::load(std::shared_ptr<const Reading> reading) {
  reading_ = std::move(reading);
  unreadable_.clear();
  file_sets_.clear();
  if (!reading_->bytes) {
    unreadable_ = reading_->bytes.error().sentence;
  } else if (!reading_->sets) {
    unreadable_ = reading_->sets.error().sentence;
  } else {
    file_sets_ = *reading_->sets;
  }
  sets_ = file_sets_;
  emit reset();
  if (unreadable_.empty()) {
    // The sets read back, which the layer grants only to sets the helper's
    // check takes: there is nothing to find, and no need to look again.
    edited_ = false;
    issues_.clear();
    issue_index_.clear();
    emit issues_changed();
  } else {
    recheck();
  }
  emit file_changed();
}

std::vector<std::string> Document::take_file(std::shared_ptr<const Reading> reading,
                                             const manager::Sets& edits_base) {
  if (!reading_ || (!edited_ && unreadable_.empty())) {
    load(std::move(reading));
    return {};
  }
  reading_ = std::move(reading);
  std::vector<std::string> notes;
  if (!reading_->bytes || !reading_->sets) {
    unreadable_ =
        reading_->bytes ? reading_->sets.error().sentence : reading_->bytes.error().sentence;
    file_sets_.clear();
  } else {
    unreadable_.clear();
    manager::Merged merged = manager::merge(edits_base, sets_, *reading_->sets);
    file_sets_ = *reading_->sets;
    sets_ = std::move(merged.sets);
    notes = std::move(merged.notes);
  }
  emit reset();
  recheck();
  emit file_changed();
  return notes;
}

const std::string& Document::file_bytes() const {
  static const std::string none;
  return reading_ && reading_->bytes ? *reading_->bytes : none;
}

std::size_t Document::first_shown(std::size_t set) const {
  return manager::group_of(sets_[set]).empty() ? 0 : 1;
}

const std::vector<std::size_t>& Document::issues_of(std::size_t set, std::uint64_t line) const {
  static const std::vector<std::size_t> none;
  const auto at = issue_index_.find(key(set, line));
  return at == issue_index_.end() ? none : at->second;
}

void Document::recheck() {
  edited_ = sets_ != file_sets_;
  issues_.clear();
  issue_index_.clear();
  auto checked = manager::check(sets_);
  if (checked) {
    issues_ = std::move(*checked);
  } else {
    issues_.push_back(hosts_ipc::request_issue(std::move(checked).error().sentence));
  }
  for (std::size_t i = 0; i < issues_.size(); ++i) {
    issue_index_[key(issues_[i].set, issues_[i].line)].push_back(i);
  }
  emit issues_changed();
}

std::vector<std::string> Document::after_switch(std::size_t set, std::vector<std::string> notes) {
  // The other sets of its group, switched off when it was switched on.
  const std::string_view group = manager::group_of(sets_[set]);
  for (std::size_t s = 0; s < sets_.size() && !notes.empty(); ++s) {
    if (s == set || manager::group_of(sets_[s]) != group) continue;
    emit lines_changed(static_cast<int>(s), 0, static_cast<int>(sets_[s].lines.size()) - 1);
    emit set_changed(static_cast<int>(s));
  }
  emit set_changed(static_cast<int>(set));
  recheck();
  return notes;
}

std::vector<std::string> Document::switch_set(std::size_t set, bool on) {
  if (sets_[set].lines.size() <= first_shown(set)) return {};
  auto notes = manager::switch_set_at(sets_, set, on);
  emit lines_changed(static_cast<int>(set), static_cast<int>(first_shown(set)),
                     static_cast<int>(sets_[set].lines.size()) - 1);
  return after_switch(set, std::move(notes));
}

std::vector<std::string> Document::switch_lines(std::size_t set,
                                                const std::vector<std::size_t>& lines, bool on) {
  if (lines.empty()) return {};
  std::vector<std::uint64_t> numbers;
  numbers.reserve(lines.size());
  for (const std::size_t line : lines) numbers.push_back(line + 1);
  made(on_set(set, [&](manager::Sets& one, const std::string& name) {
    return manager::switch_lines(one, name, numbers, on);
  }));
  const auto [low, high] = std::minmax_element(lines.begin(), lines.end());
  emit lines_changed(static_cast<int>(set), static_cast<int>(*low), static_cast<int>(*high));
  return after_switch(set,
                      on ? manager::switch_off_others_at(sets_, set) : std::vector<std::string>{});
}

lwk::Result<void, manager::Failure> Document::set_line_text(std::size_t set, std::size_t line,
                                                            std::string text) {
  if (line == 0 && !manager::group_of(manager::Set{{}, {{text, true}}}).empty()) {
    return lwk::unexpected(
        manager::Failure{manager::Failure::Kind::BadInput,
                         "a first line \"" + text +
                             "\" would make the set one of a group: the One of field does that",
                         {}});
  }
  sets_[set].lines[line].text = std::move(text);
  emit lines_changed(static_cast<int>(set), static_cast<int>(line), static_cast<int>(line));
  emit set_changed(static_cast<int>(set));
  recheck();
  return lwk::success();
}

void Document::add_line(std::size_t set, std::string text) {
  const std::size_t shown = first_shown(set);
  const int at = static_cast<int>(sets_[set].lines.size());
  emit lines_about_to_be_added(static_cast<int>(set), at, at);
  on_set(set, [&](manager::Sets& one, const std::string& name) {
    manager::add_lines(one, name, {std::move(text)}, true);
    return 0;
  });
  emit lines_added();
  if (first_shown(set) != shown) emit reset();
  emit set_changed(static_cast<int>(set));
  recheck();
}

void Document::remove_lines(std::size_t set, std::vector<std::size_t> lines) {
  if (lines.empty()) return;
  const std::size_t shown = first_shown(set);
  std::sort(lines.begin(), lines.end(), std::greater<>());
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  // From the last run of neighbouring lines to the first, so that each
  // run's indexes still hold when it is removed.
  for (std::size_t i = 0; i < lines.size();) {
    std::size_t j = i;
    while (j + 1 < lines.size() && lines[j + 1] + 1 == lines[j]) ++j;
    const std::size_t first = lines[j];
    const std::size_t last = lines[i];
    emit lines_about_to_be_removed(static_cast<int>(set), static_cast<int>(first),
                                   static_cast<int>(last));
    std::vector<std::uint64_t> numbers;
    numbers.reserve(last - first + 1);
    for (std::size_t n = first; n <= last; ++n) numbers.push_back(n + 1);
    made(on_set(set, [&](manager::Sets& one, const std::string& name) {
      return manager::remove(one, name, numbers);
    }));
    emit lines_removed();
    i = j + 1;
  }
  if (first_shown(set) != shown) emit reset();
  emit set_changed(static_cast<int>(set));
  recheck();
}

lwk::Result<void, manager::Failure> Document::add_set(const std::string& name) {
  auto added = manager::add_set(sets_, name);
  if (added) {
    emit reset();
    recheck();
  }
  return added;
}

lwk::Result<void, manager::Failure> Document::rename_set(std::size_t set, const std::string& name) {
  auto renamed = manager::rename_at(sets_, set, name);
  if (renamed) {
    emit set_changed(static_cast<int>(set));
    recheck();
  }
  return renamed;
}

void Document::remove_set(std::size_t set) {
  sets_.erase(sets_.begin() + static_cast<std::ptrdiff_t>(set));
  emit reset();
  recheck();
}

void Document::move_set(std::size_t set, std::size_t to) {
  manager::move_set_at(sets_, set, to);
  emit reset();
  recheck();
}

lwk::Result<void, manager::Failure> Document::set_group(std::size_t set, const std::string& group) {
  if (group == manager::group_of(sets_[set])) return lwk::success();
  auto marked = on_set(set, [&](manager::Sets& one, const std::string& name) {
    return group.empty() ? manager::unmark_one_of(one, name)
                         : manager::mark_one_of(one, name, group);
  });
  if (marked) {
    emit reset();
    recheck();
  }
  return marked;
}

lwk::Result<void, manager::Failure> Document::add_whole_set(manager::Set set) {
  auto added = manager::add_set(sets_, set.name);
  if (added) {
    sets_.back() = std::move(set);
    emit reset();
    recheck();
  }
  return added;
}

void Document::replace_sets(manager::Sets sets) {
  sets_ = std::move(sets);
  emit reset();
  recheck();
}

std::vector<std::string> Document::keep_repeats_off() {
  auto notes = manager::keep_repeats_off(sets_);
  if (!notes.empty()) {
    emit reset();
    recheck();
  }
  return notes;
}

}  // namespace lantern_wharf::desktop
