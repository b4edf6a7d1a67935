// The commands on the backups the helper keeps: history and undo.
#include <chrono>

#include "client/diff.h"
#include "commands.h"
#include "journal/journal.h"
#include "paths/paths.h"

namespace lantern_wharf::command {
namespace {

// The current file, its sets when they read back, and the backups.
struct History {
  manager::Current now;  // its sets left empty
  lwk::Result<manager::Sets, manager::Failure> now_sets;
  std::vector<manager::Backup> kept;
};

lwk::Result<History, int> history() {
  auto now = current_file();
  if (!now) return lwk::unexpected(now.error());
  auto kept = manager::history(hosts_paths::store_directory());
  if (!kept) return lwk::unexpected(failed(kept.error()));
  auto now_sets = manager::read_sets(now->bytes);
  return History{std::move(*now), std::move(now_sets), std::move(*kept)};
}

// The index of the backup numbered `word` (1: the newest) among `kept`;
// nothing, after saying so, for a word that names none.
std::optional<std::size_t> backup_index(const std::string& command, const std::string& word,
                                        const std::vector<manager::Backup>& kept) {
  auto number = backup_number(command, word);
  if (!number) return std::nullopt;
  auto at = manager::backup_numbered(kept, *number);
  if (!at) {
    failed(at.error());
    return std::nullopt;
  }
  return *at;
}

// When `backup` was made, as the journal writes its times.
std::string made_at(const manager::Backup& backup) {
  return hosts_journal::stamp_at(std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::nanoseconds(backup.nanoseconds))));
}

// Goes to the sets of the backup at `at`, saying which it is: `how` is
// "going back" or "coming forward".
int go_to(const History& loaded, std::size_t at, const Arguments& args, const std::string& how) {
  auto sets = manager::undo(loaded.kept, at);
  if (!sets) return refuse_change(sets.error().sentence);
  note(how + " to the sets of backup " + std::to_string(at + 1) + ", made " +
       made_at(loaded.kept[at]));
  return send_change(loaded.now, std::move(*sets), args);
}

}  // namespace

int run_history(const Arguments& args) {
  if (args.positional.size() > 1) return usage_error("history", "history takes at most a number");
  auto loaded = history();
  if (!loaded) return loaded.error();
  const auto& [now, now_sets, kept] = *loaded;
  if (args.positional.size() == 1) {
    const auto at = backup_index("history", args.positional[0], kept);
    if (!at) return kUsage;
    if (!kept[*at].readable) return failed(kept[*at].sets.error());
    write_diff(unified_diff(kept[*at].bytes, now.bytes, kept[*at].path, now.path));
    return kSuccess;
  }
  if (kept.empty()) note("the helper keeps no backups yet: it makes one before each change");
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  const std::vector<manager::BackupChange> did = manager::what_each_did(kept, now_sets);
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (args.json) {
      nlohmann::ordered_json backup = {
          {"backup", i + 1},
          {"made", made_at(kept[i])},
          {"path", kept[i].path},
          {"changes", did[i].changes ? nlohmann::ordered_json(*did[i].changes)
                                     : nlohmann::ordered_json(nullptr)}};
      if (!kept[i].readable) backup["unreadable"] = kept[i].sets.error().sentence;
      list.push_back(std::move(backup));
    } else {
      print_fields({std::to_string(i + 1), made_at(kept[i]), did[i].what});
    }
  }
  if (args.json) print_json({{"backups", list}});
  return kSuccess;
}

int run_undo(const Arguments& args) {
  if (args.positional.size() > 1) return usage_error("undo", "undo takes at most a number");
  // Only the current bytes are needed: the helper replaces the block whole,
  // so a block that no longer reads back can still be undone.
  auto loaded = history();
  if (!loaded) return loaded.error();
  if (!args.positional.empty()) {
    const auto at = backup_index("undo", args.positional[0], loaded->kept);
    if (!at) return kUsage;
    return go_to(*loaded, *at, args, "going back");
  }
  auto at = manager::undo_step(loaded->kept, loaded->now_sets);
  if (!at) return refuse_change(at.error().sentence);
  return go_to(*loaded, *at, args, "going back");
}

int run_redo(const Arguments& args) {
  if (!args.positional.empty()) return usage_error("redo", "redo takes no arguments");
  auto loaded = history();
  if (!loaded) return loaded.error();
  auto at = manager::redo_step(loaded->kept, loaded->now_sets);
  if (!at) return refuse_change(at.error().sentence);
  return go_to(*loaded, *at, args, "coming forward");
}

}  // namespace lantern_wharf::command
