#include "helper_core/crash_explorer.h"

#include <map>
#include <random>
#include <unordered_set>

#include "check/check.h"
#include "check/pipeline.h"

namespace lwk_test::crash {
namespace {

namespace write = hosts_helper_core::write;

using hosts_ipc::WireSet;

// The clocks of the runs: set-up, explored run, and the restart after the
// crash, each later than the one before, so that backup names sort in time.
constexpr std::uint64_t kSetUpClock = 1'000'000'000;
constexpr std::uint64_t kRunClock = 2'000'000'000;
constexpr std::uint64_t kRestartClock = 3'000'000'000;

const std::string kPlain = "127.0.0.1\tlocalhost\n::1\tlocalhost\n";
const std::string kCrlf = "127.0.0.1 localhost\r\n::1 localhost";

// One set of one line, that differs with `tag`.
struct Sets {
  explicit Sets(std::string tag)
      : name("set-" + tag), line("10.0.0.1 host-" + tag + ".test"), sets{{name, {{line, true}}}} {}
  Sets(const Sets&) = delete;
  Sets& operator=(const Sets&) = delete;
  std::string name;
  std::string line;
  std::vector<WireSet> sets;
};

// A workload's starting point: `original` at the target, and `applies`
// changes already made and flushed. Records each content the target held.
struct Start {
  Disk disk;
  std::vector<std::string> held;
};

Start start_with(const std::string& original, int applies) {
  MemoryPlatform platform(disk_with({"/etc", "/var/db"}, {{"/etc/hosts", original}}), kSetUpClock);
  Start start{{}, {original}};
  std::uint64_t counter = 0;
  for (int i = 1; i <= applies; ++i) {
    Sets sets(std::string("s").append(std::to_string(i)));
    auto written = apply_sets(sets.sets, platform, counter);
    if (written) start.held.push_back(*written);
  }
  start.disk = platform.files().disk();
  return start;
}

// What the target holds once `sets` is applied over `current`.
std::string rendered(const std::string& current, const std::vector<WireSet>& sets) {
  MemoryPlatform platform(disk_with({"/etc"}, {{"/etc/hosts", current}}));
  std::uint64_t counter = 0;
  auto written = apply_sets(sets, platform, counter);
  return written ? *written : current;
}

// The apply of a workload: `sets` over what `start` left.
Workload apply_on(std::string name, Start start, const std::string& original,
                  const std::string& tag) {
  const std::string old = start.held.back();
  auto sets = std::make_shared<Sets>(tag);
  const std::string next = rendered(old, sets->sets);
  return Workload{std::move(name),
                  start.disk,
                  original,
                  {old, next},
                  {start.held.begin(), start.held.end()},
                  next,
                  false,
                  [sets, next](MemoryPlatform& platform) -> std::string {
                    std::uint64_t counter = 0;
                    auto written = apply_sets(sets->sets, platform, counter);
                    if (!written) return written.error();
                    if (*written != next) return "the apply wrote something else";
                    return "";
                  }};
}

Workload apply_workload(std::string name, const std::string& original, int applies,
                        const std::string& tag) {
  return apply_on(std::move(name), start_with(original, applies), original, tag);
}

std::string removal_error(MemoryPlatform& platform, std::uint64_t& counter) {
  auto removed = write::remove_everything(explored_paths(), platform, counter);
  return removed
             ? ""
             : std::string(write::text_of(removed.error().step)) + ": " + removed.error().message;
}

// An apply after a removal that stopped half-way: it put the original back,
// removed the snapshot and the backups in it, then failed to remove the
// backups directory. A removal takes the entries in the order the directory
// lists them, which real directories do not keep sorted; here the snapshot
// comes first. What it left is taken as durable.
Workload apply_after_partial_removal() {
  Start start = start_with(kPlain, 2);
  MemoryPlatform platform(start.disk, kSetUpClock + 500'000'000);
  platform.files().list_reversed();
  platform.files().fail_once(OpKind::RemoveDirectory, explored_paths().backups());
  std::uint64_t counter = 0;
  if (removal_error(platform, counter).empty()) lwk::fatal("the stopped removal went through");
  start.disk = platform.files().disk();
  start.held.push_back(*platform.files().content_of(explored_paths().target));
  return apply_on("apply after a half-done removal", std::move(start), kPlain, "h");
}

// An apply whose first attempt made the store but failed to flush it into
// its parent, asked again: the store is there, its entry not durable.
Workload apply_after_failed_store_flush() {
  Workload w = apply_workload("apply after a failed store flush, again", kPlain, 0, "f");
  w.run = [inner = w.run](MemoryPlatform& platform) -> std::string {
    platform.files().fail_once(OpKind::FlushDirectory, "/var/db");
    if (inner(platform).empty()) return "the first apply went";
    return inner(platform);
  };
  return w;
}

// How the first of two removals fails, if it does.
enum class FirstRemoval { Succeeds, BackupsFlushFails, TargetFlushFails };

Workload removal_workload(std::string name, FirstRemoval first) {
  Start start = start_with(kPlain, 2);
  const std::string old = start.held.back();
  return Workload{std::move(name),
                  start.disk,
                  kPlain,
                  {old, kPlain},
                  {start.held.begin(), start.held.end()},
                  kPlain,
                  true,
                  [first](MemoryPlatform& platform) -> std::string {
                    std::uint64_t counter = 0;
                    if (first == FirstRemoval::TargetFlushFails) {
                      // The flush of /etc after the target is put back
                      // fails: the snapshot must stay until the restored
                      // file is durable, or a power cut could leave neither.
                      platform.files().fail_once(OpKind::FlushDirectory, "/etc");
                      (void)removal_error(platform, counter);
                    }
                    if (first == FirstRemoval::BackupsFlushFails) {
                      // The restore's backup is renamed into place, but the
                      // flush of its directory fails: the removal stops
                      // before the target is put back, that backup's entry
                      // not durable; the second one makes another and
                      // flushes both. It lists the store snapshot first, so
                      // that the two removals take the store in both orders.
                      platform.files().list_reversed();
                      platform.files().fail_once(OpKind::FlushDirectory,
                                                 explored_paths().backups());
                      if (removal_error(platform, counter).empty()) return "the first removal went";
                    }
                    return removal_error(platform, counter);
                  }};
}

// A stream: the operations on one file's data, or on one directory's entries.
struct StreamKey {
  bool entries;
  std::uint64_t node;
  auto operator<=>(const StreamKey&) const = default;
};

StreamKey stream_of(const Operation& op) {
  if (op.kind == OpKind::Append || op.kind == OpKind::FlushFile) return {false, op.node};
  return {true, op.directory};
}

// One way for a stream to have reached the disk. For a file's data: how
// many of its pending operations, and how many octets of the last of them
// when it is an append cut short. For a directory's entries: which of its
// pending changes, bit i standing for the i-th.
struct Choice {
  std::size_t persisted = 0;
  std::size_t cut = std::string::npos;
  std::uint64_t reached = 0;
};

struct Pending {
  // Per stream: the log positions of its pending operations, in order.
  std::map<StreamKey, std::vector<std::size_t>> streams;
};

Pending pending_at(const std::vector<Operation>& log, std::size_t point) {
  std::map<StreamKey, std::vector<std::size_t>> issued;
  std::map<StreamKey, std::size_t> flushed;  // how many of issued[key] are flushed
  for (std::size_t i = 0; i < point; ++i) {
    const Operation& op = log[i];
    if (op.kind == OpKind::FlushFile || op.kind == OpKind::FlushDirectory) {
      const StreamKey key = stream_of(op);
      flushed[key] = issued[key].size();
    } else if (op.changes()) {
      issued[stream_of(op)].push_back(i);
    }
  }
  Pending pending;
  for (auto& [key, positions] : issued) {
    const std::size_t done = flushed[key];
    if (done < positions.size()) {
      pending.streams[key].assign(positions.begin() + static_cast<std::ptrdiff_t>(done),
                                  positions.end());
    }
  }
  return pending;
}

// The ways one stream may have reached the disk: a file's data as any
// prefix of what is pending on it (listed), a directory's entry changes as
// any subset of them (2^pending, not listed).
struct Ways {
  bool entries = false;
  std::size_t pending = 0;
  std::vector<Choice> prefixes;

  // How many, saturating at `cap` + 1.
  std::size_t count(std::size_t cap) const {
    if (!entries) return prefixes.size();
    return pending < 63 && (std::size_t{1} << pending) <= cap ? std::size_t{1} << pending : cap + 1;
  }
  Choice way(std::uint64_t index) const {
    return entries ? Choice{0, std::string::npos, index} : prefixes[index];
  }
  // One of them, drawn.
  Choice drawn(std::mt19937_64& random) const {
    if (!entries) return prefixes[random() % prefixes.size()];
    const std::uint64_t all = pending >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << pending) - 1;
    return Choice{0, std::string::npos, random() & all};
  }
};

std::vector<Ways> ways_of(const std::vector<Operation>& log, const Pending& pending) {
  std::vector<Ways> out;
  for (const auto& [key, positions] : pending.streams) {
    Ways ways{key.entries, positions.size(), {}};
    if (key.entries) {
      // A subset is picked by a 64-bit mask; no run changes one directory
      // more than 63 times between two of its flushes.
      if (positions.size() > 63) lwk::fatal("too many pending entry changes in one directory");
      out.push_back(std::move(ways));
      continue;
    }
    ways.prefixes.push_back({0, std::string::npos, 0});
    for (std::size_t n = 1; n <= positions.size(); ++n) {
      const Operation& last = log[positions[n - 1]];
      if (last.kind == OpKind::Append) {
        for (std::size_t octets = 1; octets < last.bytes.size(); ++octets) {
          ways.prefixes.push_back({n, octets, 0});
        }
      }
      ways.prefixes.push_back({n, std::string::npos, 0});
    }
    out.push_back(std::move(ways));
  }
  return out;
}

// Whether the p-th pending operation of a stream reached the disk in `c`.
bool reached(const StreamKey& key, const Choice& c, std::size_t p) {
  return key.entries ? ((c.reached >> p) & 1U) != 0 : p < c.persisted;
}

void make_entry(Disk& disk, const Operation& op, const std::string& name) {
  if (auto it = disk.find(op.directory); it != disk.end()) it->second.entries[name] = op.node;
}

void drop_entry(Disk& disk, const Operation& op, const std::string& name) {
  auto it = disk.find(op.directory);
  if (it == disk.end()) return;
  auto entry = it->second.entries.find(name);
  if (entry != it->second.entries.end() && entry->second == op.node)
    it->second.entries.erase(entry);
}

std::string last_name(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// Makes `op` reach `disk`, cut to `cut` octets when it is an append.
void persist(Disk& disk, const Operation& op, std::size_t cut) {
  switch (op.kind) {
    case OpKind::MakeDirectory:
      disk[op.node].directory = true;
      make_entry(disk, op, last_name(op.path));
      break;
    case OpKind::Create:
      (void)disk[op.node];
      make_entry(disk, op, last_name(op.path));
      break;
    case OpKind::Append: disk[op.node].data += std::string_view(op.bytes).substr(0, cut); break;
    case OpKind::Rename:
      (void)disk[op.node];  // where the create of the file did not reach the disk
      drop_entry(disk, op, last_name(op.path));
      make_entry(disk, op, last_name(op.to));
      break;
    case OpKind::Unlink:
    case OpKind::RemoveDirectory: drop_entry(disk, op, last_name(op.path)); break;
    default: break;
  }
}

// The disk after a crash at `point` where stream i reached it as chosen[i].
Disk build(const Disk& before, const std::vector<Operation>& log, std::size_t point,
           const Pending& pending, const std::vector<Choice>& chosen) {
  // Log position -> octets, for each pending operation that reached it.
  std::map<std::size_t, std::size_t> how;
  std::size_t i = 0;
  for (const auto& [key, positions] : pending.streams) {
    for (std::size_t p = 0; p < positions.size(); ++p) {
      if (!reached(key, chosen[i], p)) continue;
      const bool cut_here = !key.entries && p + 1 == chosen[i].persisted;
      how[positions[p]] = cut_here ? chosen[i].cut : std::string::npos;
    }
    ++i;
  }
  std::set<std::size_t> pending_positions;
  for (const auto& [key, positions] : pending.streams) {
    pending_positions.insert(positions.begin(), positions.end());
  }
  Disk disk = before;
  for (std::size_t at = 0; at < point; ++at) {
    const Operation& op = log[at];
    if (!op.changes()) continue;
    if (!pending_positions.contains(at)) {
      persist(disk, op, std::string::npos);
    } else if (auto it = how.find(at); it != how.end()) {
      persist(disk, op, it->second);
    }
  }
  return disk;
}

// The files and directories reachable from the root, as text: two disks
// that give the same text hold the same tree.
void describe_tree(const Disk& disk, std::uint64_t node, std::string& out) {
  const Node& n = disk.at(node);
  if (!n.directory) {
    out += '=' + std::to_string(n.data.size()) + ':' + n.data;
    return;
  }
  out += '{';
  for (const auto& [name, child] : n.entries) {
    out += name;
    describe_tree(disk, child, out);
    out += ';';
  }
  out += '}';
}

std::string tree_of(const Disk& disk) {
  std::string out;
  describe_tree(disk, 0, out);
  return out;
}

std::string shown(const std::string& content) { return std::to_string(content.size()) + " octets"; }

// The invariants that hold whenever the helper is not changing anything:
// the target holds one of `targets`, a snapshot is `original`, a backup one
// of `earlier`, and no debris is left.
void check_at_rest(const std::string& original, const std::set<std::string>& targets,
                   const std::set<std::string>& earlier, const MemoryFiles& files,
                   const std::string& when, std::vector<std::string>& broken) {
  const write::Paths paths = explored_paths();
  auto target = files.content_of(paths.target);
  if (!target) {
    broken.push_back(when + ": the target is missing");
  } else if (!targets.contains(*target)) {
    broken.push_back(when + ": the target holds " + shown(*target) + ", not what it should");
  }
  if (files.find(paths.snapshot())) {
    auto snapshot = files.content_of(paths.snapshot());
    if (!snapshot || *snapshot != original) {
      broken.push_back(when + ": the snapshot is not the original file");
    }
  }
  if (auto backups = files.find(paths.backups()); backups && files.disk().at(*backups).directory) {
    for (const auto& [name, node] : files.disk().at(*backups).entries) {
      if (!name.starts_with("hosts-")) continue;
      if (!earlier.contains(files.disk().at(node).data)) {
        broken.push_back(when + ": the backup " + name + " is not a complete earlier state");
      }
    }
  }
  auto debris = [&](const std::string& directory, auto is_debris) {
    auto node = files.find(directory);
    if (!node || !files.disk().at(*node).directory) return;
    for (const auto& [name, _] : files.disk().at(*node).entries) {
      if (is_debris(name)) broken.push_back(when + ": debris is left: " + directory + "/" + name);
    }
  };
  debris("/etc", [](const std::string& n) { return n.starts_with("hosts.lantern-wharf-"); });
  auto partial = [](const std::string& n) { return n.ends_with(".partial"); };
  debris(paths.store, partial);
  debris(paths.backups(), partial);
}

}  // namespace

write::Paths explored_paths() { return {"/etc/hosts", "/var/db/lantern-wharf-kit"}; }

lwk::Result<std::string, std::string> apply_sets(const std::vector<WireSet>& sets,
                                                 write::Platform& platform,
                                                 std::uint64_t& counter) {
  const write::Paths paths = explored_paths();
  std::string current;
  auto content =
      hosts_helper_core::pipeline::new_content(sets, hosts_helper_core::check::Limits::service(),
                                               [&]() -> lwk::Result<std::string, std::string> {
                                                 auto read = write::read_current(paths, platform);
                                                 if (!read)
                                                   return lwk::unexpected(read.error().message);
                                                 current = *read;
                                                 return std::move(*read);
                                               });
  if (!content) return lwk::unexpected(content.error().front().message);
  auto changed = write::write_over(paths, current, *content, platform, counter);
  if (!changed) {
    return lwk::unexpected(std::string(write::text_of(changed.error().step)) + ": " +
                           changed.error().message);
  }
  return *content;
}

std::vector<Workload> workloads() {
  std::vector<Workload> out;
  out.push_back(apply_workload("first apply", kPlain, 0, "a"));
  out.push_back(apply_workload("apply with ten backups", kPlain, 10, "k"));
  out.push_back(apply_workload("unchanged apply", kPlain, 1, "s1"));  // the sets of the one before
  out.push_back(apply_workload("apply on CRLF without final break", kCrlf, 0, "c"));
  out.push_back(apply_after_partial_removal());
  out.push_back(apply_after_failed_store_flush());
  out.push_back(removal_workload("remove-everything", FirstRemoval::Succeeds));
  out.push_back(
      removal_workload("removal failing half-way, asked again", FirstRemoval::BackupsFlushFails));
  out.push_back(removal_workload("removal whose /etc flush fails, asked again",
                                 FirstRemoval::TargetFlushFails));
  return out;
}

std::vector<Operation> record(const Workload& workload, const Mutation& mutation) {
  MemoryPlatform platform(workload.before, kRunClock);
  platform.files().set_mutation(mutation);
  (void)workload.run(platform);
  return platform.files().log();
}

std::vector<std::string> broken_invariants(const Workload& w, const Disk& state) {
  std::vector<std::string> broken;
  MemoryPlatform platform(state, kRestartClock);
  const MemoryFiles& files = platform.files();
  const write::Paths paths = explored_paths();
  (void)write::clear_debris(paths, platform);
  check_at_rest(w.original, w.target, w.earlier, files, "after recovery", broken);
  if (!broken.empty()) return broken;

  std::uint64_t counter = 0;
  Sets later("after-the-crash");
  auto applied = apply_sets(later.sets, platform, counter);
  if (!applied) {
    broken.push_back("the next apply failed: " + applied.error());
    return broken;
  }
  // Its backup holds what the target held after recovery.
  std::set<std::string> earlier = w.earlier;
  earlier.insert(w.target.begin(), w.target.end());
  check_at_rest(w.original, {*applied}, earlier, files, "after the next apply", broken);
  if (!files.find(paths.snapshot())) broken.push_back("after the next apply: no snapshot");
  auto removed = write::remove_everything(paths, platform, counter);
  if (!removed) {
    broken.push_back("remove-everything failed: " + removed.error().message);
    return broken;
  }
  check_at_rest(w.original, {w.original}, {}, files, "after remove-everything", broken);
  if (files.find(paths.store)) broken.push_back("remove-everything left the store");
  return broken;
}

Disk crash_state(const Disk& before, const std::vector<Operation>& log, std::size_t point,
                 const std::function<bool(const Operation&)>& lost) {
  const Pending pending = pending_at(log, point);
  std::vector<Choice> chosen;
  for (const auto& [key, positions] : pending.streams) {
    Choice c;
    while (c.persisted < positions.size() && !lost(log[positions[c.persisted]])) ++c.persisted;
    for (std::size_t p = 0; p < positions.size(); ++p) {
      if (!lost(log[positions[p]])) c.reached |= std::uint64_t{1} << p;
    }
    chosen.push_back(c);
  }
  return build(before, log, point, pending, chosen);
}

Figures explore(const Workload& workload, const Mutation& mutation, const Bounds& bounds) {
  Figures figures;
  MemoryPlatform platform(workload.before, kRunClock);
  platform.files().set_mutation(mutation);
  figures.run_error = workload.run(platform);
  const std::vector<Operation>& log = platform.files().log();
  figures.operations = log.size();

  std::vector<std::size_t> points{0};
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (log[i].changes()) points.push_back(i + 1);
  }
  figures.crash_points = points.size();

  std::unordered_set<std::string> seen;
  for (const std::size_t point : points) {
    const Pending pending = pending_at(log, point);
    const std::vector<Ways> ways = ways_of(log, pending);
    // How many states the model allows here, saturating at the bound.
    std::size_t total = 1;
    for (const Ways& w : ways) {
      const std::size_t n = w.count(bounds.per_point);
      total = total > bounds.per_point / n ? bounds.per_point + 1 : total * n;
    }
    const bool sampled = total > bounds.per_point;
    if (sampled) ++figures.sampled_points;
    std::mt19937_64 random(bounds.seed ^ (point * 0x9E3779B97F4A7C15ULL));
    const std::size_t count = sampled ? bounds.per_point : total;
    std::vector<Choice> chosen(ways.size());
    for (std::size_t n = 0; n < count; ++n) {
      std::size_t index = n;
      for (std::size_t s = 0; s < ways.size(); ++s) {
        if (sampled) {
          chosen[s] = ways[s].drawn(random);
        } else {
          const std::size_t n = ways[s].count(bounds.per_point);
          chosen[s] = ways[s].way(index % n);
          index /= n;
        }
      }
      ++figures.states;
      const Disk state = build(workload.before, log, point, pending, chosen);
      if (!seen.insert(tree_of(state)).second) continue;
      ++figures.distinct;
      const std::vector<std::string> broken = broken_invariants(workload, state);
      if (broken.empty()) continue;
      if (++figures.broken == 1) {
        figures.first_broken = "crash " +
                               (point == 0 ? std::string("before the first operation")
                                           : "after \"" + describe(log[point - 1]) + "\"") +
                               ", with";
        std::size_t s = 0;
        for (const auto& [key, positions] : pending.streams) {
          for (std::size_t p = 0; p < positions.size(); ++p) {
            figures.first_broken += (reached(key, chosen[s], p) ? " [reached] " : " [lost] ") +
                                    describe(log[positions[p]]);
          }
          ++s;
        }
        figures.first_broken += ": " + broken.front();
      }
    }
  }
  MemoryFiles least(
      crash_state(workload.before, log, log.size(), [](const Operation&) { return true; }));
  figures.durable = least.content_of(explored_paths().target) == workload.final_target &&
                    (!workload.store_gone || !least.find(explored_paths().store));
  return figures;
}

}  // namespace lwk_test::crash
