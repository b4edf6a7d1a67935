// A power cut at any moment of a change leaves the hosts file old or new,
// the snapshot the original, every backup whole and no debris, and the next
// apply and remove-everything work: checked on every crash state of each
// workload (crash_explorer.h). Each flush of the write path is shown to be
// needed by dropping or moving it and finding a state that breaks a promise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "helper/handler.h"
#include "helper_core/crash_explorer.h"
#include "identity/caller_platform.h"
#include "support/temp_dir.h"

namespace {

using lwk_test::crash::Bounds;
using lwk_test::crash::broken_invariants;
using lwk_test::crash::crash_state;
using lwk_test::crash::Disk;
using lwk_test::crash::disk_with;
using lwk_test::crash::explore;
using lwk_test::crash::Figures;
using lwk_test::crash::MemoryPlatform;
using lwk_test::crash::Mutation;
using lwk_test::crash::Operation;
using lwk_test::crash::OpKind;
using lwk_test::crash::record;
using lwk_test::crash::Workload;
using lwk_test::crash::workloads;

bool full_load() {
  const char* full = std::getenv("LWK_FULL_LOAD");
  return full != nullptr && std::string(full) == "1";
}

// Every state at every crash point when LWK_FULL_LOAD=1; else at most 2048
// per crash point, drawn with a fixed seed where there are more.
Bounds bounds() { return full_load() ? Bounds{std::size_t{1} << 24, 17} : Bounds{2048, 17}; }

void print(const std::string& name, const Figures& f) {
  std::printf(
      "%-40s %4zu operations %4zu crash points %8zu states (%6zu distinct, %2zu points "
      "sampled) %zu broken%s\n",
      name.c_str(), f.operations, f.crash_points, f.states, f.distinct, f.sampled_points, f.broken,
      f.durable ? "" : ", not durable");
}

TEST(CrashStates, EveryWorkloadKeepsEveryPromise) {
  for (const Workload& w : workloads()) {
    const Figures f = explore(w, {}, bounds());
    print(w.name, f);
    EXPECT_EQ(f.run_error, "") << w.name;
    EXPECT_GT(f.crash_points, w.name == "unchanged apply" ? 0u : 10u) << w.name;
    EXPECT_EQ(f.broken, 0u) << w.name << ": " << f.first_broken;
    EXPECT_TRUE(f.durable) << w.name;
  }
}

}  // namespace

// Each flush of the write path dropped, or moved across its rename, in turn.
// A row that must not break anything says why the flush is not needed for
// the promises; what it is for instead is the newest change's durability.
TEST(CrashStates, EachFlushIsNeededOrSaysWhyNot) {
  const std::string store = "/var/db/lantern-wharf-kit";
  const std::string backups = store + "/backups";
  struct Row {
    Mutation mutation;
    const char* not_needed;  // nullptr: some state must break a promise
  };
  const Row rows[] = {
      {{Mutation::DropFileFlush, "snapshot", "", "snapshot's file flush"}, nullptr},
      {{Mutation::DropFileFlush, "backup", "", "backup's file flush"}, nullptr},
      {{Mutation::DropFileFlush, "temporary", "", "temporary file's flush"}, nullptr},
      {{Mutation::DropDirectoryFlush, "", store, "store flush after the snapshot's rename"},
       "the store is flushed again as the backups directory is made or found in it, before the "
       "replace"},
      {{Mutation::DropDirectoryFlush, "", backups, "backups flush after the backup's rename"},
       "a lost backup entry breaks no promise: it makes the newest backup durable"},
      {{Mutation::DropDirectoryFlush, "", "/etc", "target's directory flush after the replace"},
       nullptr},
      {{Mutation::DropDirectoryFlush, "", "/var/db", "store's removal flushed into its parent"},
       "a store that comes back holds the original snapshot: it makes the removal durable"},
      {{Mutation::DropMadeDirectoryFlush, "", "/var/db", "store's mkdir flushed into its parent"},
       nullptr},
      {{Mutation::DropExistingDirectoryFlush, "", "/var/db",
        "existing store flushed into its parent"},
       nullptr},
      {{Mutation::DropMadeDirectoryFlush, "", store, "backups' mkdir flushed into the store"},
       "a lost backups directory breaks no promise: it makes the newest backup durable"},
      {{Mutation::FlushFileAfterRename, "snapshot", "", "snapshot flushed after its rename"},
       nullptr},
      {{Mutation::FlushFileAfterRename, "backup", "", "backup flushed after its rename"}, nullptr},
      {{Mutation::FlushFileAfterRename, "temporary", "", "temporary flushed after the replace"},
       nullptr},
      {{Mutation::FlushDirectoryBeforeRename, "", store, "store flushed before snapshot's rename"},
       "the store is flushed again as the backups directory is made or found in it, before the "
       "replace"},
      {{Mutation::FlushDirectoryBeforeRename, "", "/etc", "/etc flushed before the replace"},
       nullptr},
  };
  const Bounds quick{full_load() ? std::size_t{1} << 24 : 256, 17};
  for (const Row& row : rows) {
    std::size_t broken = 0;
    std::string example;
    std::string not_durable;
    for (const Workload& w : workloads()) {
      const Figures f = explore(w, row.mutation, quick);
      EXPECT_EQ(f.run_error, "") << row.mutation.name << ", " << w.name;
      if (f.broken > 0 && example.empty()) example = w.name + ": " + f.first_broken;
      if (!f.durable) not_durable += (not_durable.empty() ? "" : ", ") + w.name;
      broken += f.broken;
    }
    std::printf("%-42s %5zu broken states; not durable: %s%s%s\n", row.mutation.name.c_str(),
                broken, not_durable.empty() ? "-" : not_durable.c_str(), row.not_needed ? "; " : "",
                row.not_needed ? row.not_needed : "");
    if (row.not_needed) {
      EXPECT_EQ(broken, 0u) << row.mutation.name << ": " << example;
    } else {
      EXPECT_GT(broken, 0u) << row.mutation.name;
    }
  }
}

// The states that showed a fault, kept: each breaks a promise again when its
// mend is undone (the mutation), and none with the mend.
TEST(CrashStates, StatesThatShowedAFault) {
  struct Kept {
    std::string workload;
    Mutation unmended;
    std::function<bool(const Operation&)> lost;  // of the operations not yet flushed
    std::vector<std::string> broke;
  };
  const std::string store = "/var/db/lantern-wharf-kit";
  const std::string after_apply = "after the next apply: the snapshot is not the original file";
  const Kept kept[] = {
      // The first apply made the store but did not flush its entry: after the
      // target was replaced, a power cut lost the store with the snapshot,
      // and the next apply took the new content for the original.
      {"first apply",
       {Mutation::DropMadeDirectoryFlush, "", "/var/db", "unmended"},
       [&](const Operation& op) { return op.kind == OpKind::MakeDirectory && op.path == store; },
       {after_apply, "after remove-everything: the target holds 166 octets, not what it should"}},
      // The same when the first attempt made the store but failed to flush
      // it: the apply asked again found the store there and did not flush it.
      {"apply after a failed store flush, again",
       {Mutation::DropExistingDirectoryFlush, "", "/var/db", "unmended"},
       [&](const Operation& op) { return op.kind == OpKind::MakeDirectory && op.path == store; },
       {after_apply, "after remove-everything: the target holds 166 octets, not what it should"}},
      // On a store whose snapshot a stopped removal took, the store's own
      // flush after the snapshot's rename was once the only one to keep the
      // new snapshot; the flush of the store as the backups directory is
      // found in it keeps it too, so that losing the renames breaks nothing.
      {"apply after a half-done removal",
       {Mutation::DropDirectoryFlush, "", store, "unmended"},
       [](const Operation& op) { return op.kind == OpKind::Rename; },
       {}},
  };
  const std::vector<Workload> all = workloads();
  for (const Kept& k : kept) {
    auto found = std::find_if(all.begin(), all.end(),
                              [&](const Workload& w) { return w.name == k.workload; });
    ASSERT_NE(found, all.end()) << k.workload;
    const Workload& w = *found;
    for (const bool mended : {true, false}) {
      SCOPED_TRACE(w.name + (mended ? ", mended" : ", unmended"));
      const std::vector<Operation> log = record(w, mended ? Mutation{} : k.unmended);
      // Just after the target's directory was flushed: the change is done.
      std::size_t point = log.size();
      while (point > 0 &&
             !(log[point - 1].kind == OpKind::FlushDirectory && log[point - 1].path == "/etc")) {
        --point;
      }
      ASSERT_GT(point, 0u);
      const std::vector<std::string> broken =
          broken_invariants(w, crash_state(w.before, log, point, k.lost));
      if (mended) {
        EXPECT_TRUE(broken.empty()) << broken.front();
      } else {
        EXPECT_EQ(broken, k.broke);
      }
    }
  }
}

class ApplyMessage final : public hosts_transport::Message {
 public:
  explicit ApplyMessage(std::string payload) : payload_(std::move(payload)) {}
  bool is_error() const override { return false; }
  const identity::Caller* caller() const override { return &caller_; }
  std::optional<std::string> payload() const override { return payload_; }
  bool wants_reply() const override { return true; }
  void send_reply(std::string_view body) override { reply = std::string(body); }
  void send_not_now() override { lwk::fatal("a served caller was told to ask again"); }
  std::string reply;

 private:
  std::string payload_;
  identity::Caller caller_{};
};

// The handler's apply reads the target through the platform's files, once:
// the target here exists only in the in-memory file system.
TEST(CrashStates, TheHandlerReadsTheTargetOnceThroughTheFiles) {
  const std::string target = "/lwk-nowhere/hosts";
  auto owned = std::make_unique<MemoryPlatform>(
      disk_with({"/lwk-nowhere"}, {{target, "127.0.0.1\tlocalhost\n"}}));
  MemoryPlatform& platform = *owned;
  lwk_test::TempDir dir;
  hosts_helper::ServiceState state(
      {target, "/lwk-nowhere/store"}, dir / "helper.log", std::move(owned),
      [](const identity::Caller&) { return identity::Verdict::serve(); });
  const std::string line = "10.0.0.1 once.test";
  ApplyMessage message(hosts_ipc::encode_request(hosts_ipc::ApplySets{{{"once", {{line, true}}}}}));
  hosts_helper::handle(message, state);
  EXPECT_EQ(message.reply, hosts_ipc::encode_response(hosts_ipc::Done{}));
  std::size_t reads = 0;
  for (const Operation& op : platform.files().log()) {
    reads += op.kind == OpKind::Read && op.path == target ? 1 : 0;
  }
  EXPECT_EQ(reads, 1u);
  EXPECT_NE(platform.files().content_of(target)->find(line), std::string::npos);
}
