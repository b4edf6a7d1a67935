// The commands on the backups the helper keeps: history and undo.
#include <chrono>
#include <iostream>

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
std::optional<std::size_t> backup_number(const std::string& command, const std::string& word,
                                         const std::vector<manager::Backup>& kept) {
  auto numbers = line_numbers(command, {word});
  if (!numbers) return std::nullopt;
  auto at = manager::backup_numbered(kept, numbers->front());
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

}  // namespace

int run_history(const Arguments& args) {
  if (args.positional.size() > 1) return usage_error("history", "history takes at most a number");
  auto loaded = history();
  if (!loaded) return loaded.error();
  const auto& [now, now_sets, kept] = *loaded;
  if (args.positional.size() == 1) {
    const auto at = backup_number("history", args.positional[0], kept);
    if (!at) return kUsage;
    return write_out(unified_diff(kept[*at].bytes, now.bytes, kept[*at].path, now.path)) ? kSuccess
                                                                                         : kRefused;
  }
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (std::size_t i = 0; i < kept.size(); ++i) {
    // What the change it was made before did: from it to the next state.
    const auto& after = i == 0 ? now_sets : kept[i - 1].sets;
    std::string what = "a block that does not read back";
    std::vector<std::string> phrases;
    if (kept[i].sets && after) {
      phrases = manager::changes(*kept[i].sets, *after);
      what.clear();
      for (const std::string& phrase : phrases) what += (what.empty() ? "" : ", ") + phrase;
      if (what.empty()) what = "no change to the sets";
    }
    if (args.json) {
      list.push_back({{"backup", i + 1},
                      {"made", made_at(kept[i])},
                      {"path", kept[i].path},
                      {"changes", kept[i].sets && after ? nlohmann::ordered_json(phrases)
                                                        : nlohmann::ordered_json(nullptr)}});
    } else {
      std::cout << (i + 1) << "\t" << made_at(kept[i]) << "\t" << what << "\n";
    }
  }
  if (args.json) print_json(nlohmann::ordered_json{{"backups", list}});
  return kSuccess;
}

int run_undo(const Arguments& args) {
  if (args.positional.size() > 1) return usage_error("undo", "undo takes at most a number");
  // Only the current bytes are needed: the helper replaces the block whole,
  // so a block that no longer reads back can still be undone.
  auto loaded = history();
  if (!loaded) return loaded.error();
  if (loaded->kept.empty()) return refuse_change("the helper keeps no backup to go back to");
  const auto at = args.positional.empty() ? std::optional<std::size_t>(0)
                                          : backup_number("undo", args.positional[0], loaded->kept);
  if (!at) return kUsage;
  auto sets = manager::undo(loaded->kept, *at);
  if (!sets) return refuse_change(sets.error().sentence);
  return send_change(loaded->now, std::move(*sets), args);
}

}  // namespace lantern_wharf::command
