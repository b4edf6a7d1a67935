// Every state a power cut may leave while the helper changes the hosts file,
// built from what MemoryFiles recorded, and the helper's promises checked on
// each.
//
// The persistence model:
//   - a file's data is durable only once the file is flushed; a directory
//     entry (create, rename, unlink, mkdir, rmdir) only once its directory is
//     flushed;
//   - between two flushes any subset of the pending operations may have
//     reached the disk. A file's data keeps its own order: what reached the
//     disk is a prefix of what is pending on it, the last append of it cut
//     at any octet. A directory's entry changes keep none: any subset of
//     them may have reached it (applied in the order made);
//   - a rename is atomic: the old entry or the new one, never neither.
// A crash point is the moment before any operation that changes the disk, or
// after the last. At each, every state the model allows is built when there
// are at most Bounds::per_point of them; beyond that, that many are drawn
// with a fixed seed (Figures::sampled_points counts where).
#ifndef LWK_TESTS_HELPER_CORE_CRASH_EXPLORER_H_
#define LWK_TESTS_HELPER_CORE_CRASH_EXPLORER_H_

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "helper_core/memory_files.h"
#include "helper_core/write.h"
#include "ipc/wire.h"

namespace lwk_test::crash {

// Where the explored helper works.
hosts_helper_core::write::Paths explored_paths();

// What one run of the helper is to be explored, and what it promises.
struct Workload {
  std::string name;
  Disk before;                    // durable when the run starts
  std::string original;           // what a remove-everything must give back
  std::set<std::string> target;   // what the target may hold: the old and the new content
  std::set<std::string> earlier;  // complete earlier states: what a backup may hold
  std::string final_target;       // what the target holds once the run has answered
  bool store_gone = false;        // whether the run ends with the store removed
  // The run, on a platform over `before`. Answers what went otherwise than
  // planned, or nothing.
  std::function<std::string(MemoryPlatform&)> run;
};

// The workloads: a first apply on a file with no block; an apply with a
// snapshot and ten backups (pruning); an apply that changes nothing; an apply
// on a CRLF file without a final line break; an apply after a removal that
// put the original back and removed the snapshot, then stopped at the
// backups directory; an apply asked again after its first attempt failed to
// flush the new store into its parent; a remove-everything; a removal whose
// restore fails at a directory flush, asked again.
std::vector<Workload> workloads();

struct Bounds {
  std::size_t per_point = 4096;
  std::uint64_t seed = 17;
};

struct Figures {
  std::size_t operations = 0;  // recorded by the run, reads included
  std::size_t crash_points = 0;
  std::size_t states = 0;          // built, at all crash points
  std::size_t distinct = 0;        // of those, different disks, each checked
  std::size_t sampled_points = 0;  // crash points with more states than the bound
  std::size_t broken = 0;          // distinct states that break an invariant
  std::string first_broken;        // how the first of them was made, and what broke
  std::string run_error;           // the run itself went otherwise than planned
  // Whether what the run answered survives a power cut right after it: the
  // target holds final_target (and the store is gone, where it should be)
  // even when nothing that was not flushed reached the disk.
  bool durable = false;
};

// Runs `workload` once with `mutation`, then builds and checks its crash states.
Figures explore(const Workload& workload, const Mutation& mutation, const Bounds& bounds);

// What a state breaks, after the helper's start-up recovery on it, and again
// after one more apply and a remove-everything; empty when nothing.
std::vector<std::string> broken_invariants(const Workload& workload, const Disk& state);

// The run's record of `workload`, with `mutation`.
std::vector<Operation> record(const Workload& workload, const Mutation& mutation = {});

// One crash state, for a test to keep: the operations before `point` were
// made; of those not yet flushed, every one reaches the disk except those
// `lost` picks and, as a file's own order requires, those after them on the
// same file.
Disk crash_state(const Disk& before, const std::vector<Operation>& log, std::size_t point,
                 const std::function<bool(const Operation&)>& lost);

// The apply the handler makes of `sets`: the target read once through the
// platform's files, the new content rendered from it, then written. Answers
// the content written, or why it could not be.
lwk::Result<std::string, std::string> apply_sets(const std::vector<hosts_ipc::WireSet>& sets,
                                                 hosts_helper_core::write::Platform& platform,
                                                 std::uint64_t& counter);

}  // namespace lwk_test::crash

#endif  // LWK_TESTS_HELPER_CORE_CRASH_EXPLORER_H_
