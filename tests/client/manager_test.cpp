// The client's layer as the command, the C interface and a window use it:
// changes in memory, the sendable check, import, preview, and the helper's
// backups read as history.
#include "client/manager.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "helper_core/write.h"
#include "hosts_core/block.h"
#include "support/temp_dir.h"

namespace {

using lantern_wharf::manager::Failure;
using lantern_wharf::manager::Line;
using lantern_wharf::manager::Set;
using lantern_wharf::manager::Sets;
namespace manager = lantern_wharf::manager;

const std::string kOpen(hosts_core::block::OPENING_MARKER);
const std::string kClose(hosts_core::block::CLOSING_MARKER);

// The sets as a person reads them: "name:+on,-off;..." for short expectations.
std::string told(const Sets& sets) {
  std::string out;
  for (const Set& set : sets) {
    out += (out.empty() ? "" : ";") + set.name + ":";
    for (const Line& line : set.lines) out += (line.enabled ? "+" : "-") + line.text + ",";
  }
  return out;
}

// The file's sets after an apply of `sets`, as the next read gives them back.
lwk::Result<Sets, Failure> read_back(const Sets& sets, const std::string& file) {
  auto after = manager::preview(sets, file);
  if (!after) return lwk::unexpected(after.error());
  return manager::read_sets(*after);
}

// The file leaves out an entry an earlier line writes; keep_repeats_off()
// switches off exactly those lines (rendering's rule, shared), so that the
// sets read back as they were sent, and without it they would not.
TEST(Manager, RepeatsKeptOffReadBackAsSent) {
  const std::vector<std::string> texts = {"10.0.0.1 a.test",
                                          "10.0.0.1 A.TEST",
                                          "10.0.0.1\ta.test",
                                          "10.0.0.2 b.test",
                                          "10.0.0.2 b.test c.test",
                                          "10.0.0.2 c.test b.test",
                                          "::1 a.test",
                                          "0:0::1 A.test",
                                          "# a comment \"quoted\" \\ caf\xC3\xA9",
                                          ""};
  std::mt19937 rng(23);
  for (int round = 0; round < 400; ++round) {
    Sets sets(1 + rng() % 3);
    for (std::size_t s = 0; s < sets.size(); ++s) {
      sets[s].name = "set " + std::to_string(s);
      for (std::size_t n = rng() % 6; n > 0; --n) {
        sets[s].lines.push_back({texts[rng() % texts.size()], rng() % 4 != 0});
      }
    }
    const std::string file = round % 2 ? "127.0.0.1 localhost\n" : "";
    auto unkept = read_back(sets, file);
    ASSERT_TRUE(unkept) << unkept.error().sentence;
    Sets kept = sets;
    const auto notes = manager::keep_repeats_off(kept);
    auto back = read_back(kept, file);
    ASSERT_TRUE(back) << back.error().sentence;
    EXPECT_EQ(told(*back), told(kept));
    EXPECT_EQ(notes.empty(), *unkept == sets) << told(sets);
    std::size_t switched = 0;
    for (std::size_t s = 0; s < sets.size(); ++s) {
      for (std::size_t l = 0; l < sets[s].lines.size(); ++l) {
        switched += sets[s].lines[l].enabled != kept[s].lines[l].enabled;
      }
    }
    EXPECT_EQ(switched, notes.size());
    // And the sets file of the sets reads back as them.
    EXPECT_EQ(*manager::parse_sets_file(*manager::to_sets_file(kept)), kept);
  }
  Sets two = {{"work", {{"10.0.0.1 a.test"}}}, {"home", {{"# x"}, {"10.0.0.1 A.test"}}}};
  EXPECT_EQ(manager::keep_repeats_off(two),
            std::vector<std::string>{"set \"home\", line 2 is kept switched off: set \"work\", "
                                     "line 1 already writes that entry"});
}

TEST(Manager, ChangesAndTheirRefusals) {
  const Sets base = {{"work", {{"a"}, {"b", false}, {"c"}}}, {"home", {}}, {"play", {{"d"}}}};
  using Change = std::function<lwk::Result<void, Failure>(Sets&)>;
  struct Case {
    const char* what;
    Change change;
    std::string after;  // told(), or the refusal's sentence
  };
  const Case cases[] = {
      {"switch all on", [](Sets& s) { return manager::switch_lines(s, "work", {}, true); },
       "work:+a,+b,+c,;home:;play:+d,"},
      {"switch some off",
       [](Sets& s) {
         return manager::switch_lines(s, "work", {3, 1}, false);
       },
       "work:-a,-b,-c,;home:;play:+d,"},
      {"switch out of range", [](Sets& s) { return manager::switch_lines(s, "work", {4}, true); },
       "the set \"work\" has no line 4 (it has 3)"},
      {"switch unknown", [](Sets& s) { return manager::switch_lines(s, "x", {}, true); },
       "there is no set named \"x\""},
      {"remove lines",
       [](Sets& s) {
         return manager::remove(s, "work", {1, 3, 1});
       },
       "work:-b,;home:;play:+d,"},
      {"remove a set", [](Sets& s) { return manager::remove(s, "home", {}); },
       "work:+a,-b,+c,;play:+d,"},
      {"remove line 0", [](Sets& s) { return manager::remove(s, "play", {0}); },
       "the set \"play\" has no line 0 (it has 1)"},
      {"rename", [](Sets& s) { return manager::rename(s, "home", "house"); },
       "work:+a,-b,+c,;house:;play:+d,"},
      {"rename to itself", [](Sets& s) { return manager::rename(s, "home", "home"); },
       "work:+a,-b,+c,;home:;play:+d,"},
      {"rename onto another", [](Sets& s) { return manager::rename(s, "home", "play"); },
       "there is a set named \"play\" already"},
      {"move last to first", [](Sets& s) { return manager::move_set(s, "play", 0); },
       "play:+d,;work:+a,-b,+c,;home:"},
      {"move first to last", [](Sets& s) { return manager::move_set(s, "work", 2); },
       "home:;play:+d,;work:+a,-b,+c,"},
      {"move in place", [](Sets& s) { return manager::move_set(s, "home", 1); },
       "work:+a,-b,+c,;home:;play:+d,"},
      {"move past the end", [](Sets& s) { return manager::move_set(s, "home", 3); },
       "there is no position 3 for a set (there are 3 sets)"},
      {"add to a new set",
       [](Sets& s) {
         manager::add_lines(s, "new", {"e", "f"}, false);
         return lwk::Result<void, Failure>(lwk::success());
       },
       "work:+a,-b,+c,;home:;play:+d,;new:-e,-f,"},
      {"put a set in place",
       [](Sets& s) {
         manager::put_set(s, {"home", {{"g"}}});
         return lwk::Result<void, Failure>(lwk::success());
       },
       "work:+a,-b,+c,;home:+g,;play:+d,"},
  };
  for (const Case& c : cases) {
    Sets sets = base;
    const auto made = c.change(sets);
    if (made) {
      EXPECT_EQ(told(sets), c.after) << c.what;
    } else {
      EXPECT_EQ(made.error().kind, Failure::Kind::BadInput) << c.what;
      EXPECT_EQ(made.error().sentence, c.after) << c.what;
      EXPECT_EQ(sets, base) << c.what << ": a refused change changes nothing";
    }
  }
}

// The sendable check and the helper's check count the same octets, so that
// they part at the same octet.
TEST(Manager, SendableAndTheCheckShareTheSizeRule) {
  const std::string line = "# " + std::string(998, 'x');
  Sets sets = {{"n", std::vector<Line>(1048, Line{line})}};
  sets[0].lines.push_back({std::string((1u << 20) - 1 - 1048 * 1000, '#')});
  EXPECT_TRUE(manager::sendable(sets));
  EXPECT_EQ(manager::check(sets)->size(), 0u);
  sets[0].lines.back().text += "#";
  const auto refused = manager::sendable(sets);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().sentence,
            "the sets would hold 1048577 octets of names and lines, and the helper takes at most "
            "1048576");
  EXPECT_EQ(*manager::check(sets), std::vector{hosts_ipc::request_issue(
                                       "the request is 1048577 octets and the limit is 1048576")});
  sets = {{"w", {{"a"}, {"10.0.0.1 \xff"}}}};
  EXPECT_EQ(manager::sendable(sets).error().sentence, "set \"w\", line 2 is not valid UTF-8");
  EXPECT_EQ(manager::check(sets).error().kind, Failure::Kind::BadInput);
}

TEST(Manager, LinesArePickedByNumberOrHostName) {
  const Sets sets = {
      {"ads", {{"0.0.0.0 a.test b.test"}, {"# b.test"}, {"0.0.0.0 B.TEST", false}, {"::1 c"}}},
      {"home", {{"10.0.0.1 b.test"}}}};
  struct Case {
    std::vector<std::string> words;
    std::string picked;  // the numbers, or the refusal
  };
  const Case cases[] = {
      {{"b.test"}, "1,3,"},
      {{"4", "a.test", "1"}, "1,4,"},
      {{"C"}, "4,"},
      {{"0"}, "the set \"ads\" has no line 0 (it has 4)"},
      {{"d.test"}, "no line of the set \"ads\" maps d.test"},
  };
  for (const Case& c : cases) {
    const auto picked = manager::lines_picked(sets, "ads", c.words);
    std::string got = picked ? "" : picked.error().sentence;
    for (const std::uint64_t n : picked ? *picked : std::vector<std::uint64_t>{}) {
      got += std::to_string(n) + ",";
    }
    EXPECT_EQ(got, c.picked) << c.words[0];
  }
  EXPECT_EQ(manager::find_host(sets, "B.test"),
            (std::vector<manager::Found>{{0, 1}, {0, 3}, {1, 1}}));
  // A list imported again keeps the lines that were off, the k-th of a text
  // as the k-th was.
  Set again = {"ads", {{"x"}, {"x"}, {"x"}, {"z"}, {"y"}}};
  EXPECT_EQ(manager::keep_switched_off(again, {"ads", {{"x", false}, {"y"}, {"x"}, {"x", false}}}),
            2u);
  EXPECT_EQ(told({again}), "ads:-x,+x,-x,+z,+y,");
}

TEST(Manager, ImportJudgesTheLinesAsASetOfTheirOwn) {
  auto imported = manager::import("ads",
                                  "# list\r\n0.0.0.0 ads.test\nbad_line\n10.0.0.1 x.test\n"
                                  "10.0.0.2 x.test\n");
  ASSERT_TRUE(imported);
  std::vector<std::uint64_t> lines;
  for (const auto& issue : imported->refused) lines.push_back(issue.line);
  EXPECT_EQ(lines, (std::vector<std::uint64_t>{3, 4, 5}));
  EXPECT_EQ(manager::leave_out_refused(*imported), 3u);
  EXPECT_EQ(told({imported->set}), "ads:+# list,+0.0.0.0 ads.test,");
  EXPECT_EQ(manager::import("ads", "a\n\xff\n").error().sentence, "line 2 is not valid UTF-8");
  EXPECT_EQ(manager::import(std::string(257, 'n'), "a").error().sentence,
            "the set's name is 257 octets and the limit is 256");
  EXPECT_EQ(manager::import("big", std::string(1u << 20, '#')).error().sentence,
            "the set would hold 1048579 octets of name and lines, and the helper takes at most "
            "1048576 in all");
  // Line breaks alone are counted before a line is built: no message could
  // carry so many lines.
  EXPECT_EQ(manager::import("x", std::string(16u << 20, '\n')).error().sentence,
            "the request is 83886095 octets, and a message to the helper carries at most 16777216");
  EXPECT_TRUE(manager::import("x", " \n\t\n")->empty);
  EXPECT_FALSE(manager::import("x", " \n#\n")->empty);
}

// A preview's failure tells the check's issues from the file's fault, which
// stands alone; the file is read only once the sets pass the check.
TEST(Manager, PreviewTellsTheCheckFromTheFile) {
  lwk_test::TempDir dir;
  const Sets good = {{"dev", {{"10.0.0.1 dev.test"}}}};
  const Sets bad = {{"dev", {{"nope"}, {"bad_one"}}}};
  const std::string broken = "a\n" + kOpen + "\n";
  EXPECT_EQ(
      *manager::preview(good, "x"),
      "x\n\n" + kOpen + "\n# >>> lantern-wharf node: dev\n10.0.0.1 dev.test\n" + kClose + "\n");
  const auto issues = manager::preview(bad, broken).error();
  EXPECT_EQ(issues.kind, Failure::Kind::Refused);
  EXPECT_EQ(issues.issues.size(), 2u);
  EXPECT_EQ(issues.sentence,
            "set 0, line 1: the entry has no host name, so it maps nothing (and 1 more issue)");
  const auto file = manager::preview(good, broken).error();
  EXPECT_EQ(file.sentence,
            "the file's markup is broken at line 2: the block is opened and never "
            "closed");
  EXPECT_TRUE(file.issues.empty());
  EXPECT_EQ(manager::preview_file(bad, dir.path()).error().issues.size(), 2u);
  EXPECT_EQ(manager::preview_file(good, dir.path()).error().sentence,
            dir.path() + ": not a regular file");
  const auto absent = manager::preview_file(good, dir / "absent").error();
  EXPECT_EQ(absent.kind, Failure::Kind::Refused);
  EXPECT_EQ(absent.sentence,
            "reading " + dir / "absent" + ": No such file or directory (os error 2)");
}

// The backups are found by the names the helper's write path gives them,
// newest first; what is not named so is passed over.
TEST(Manager, HistoryReadsTheHelpersBackupsNewestFirst) {
  using hosts_helper_core::write::backup_name;
  lwk_test::TempDir store;
  EXPECT_EQ(manager::history(store.path())->size(), 0u);  // no backups directory yet
  const std::string backups = hosts_helper_core::write::Paths::backups_in(store.path());
  ASSERT_EQ(mkdir(backups.c_str(), 0700), 0);
  const std::string good =
      kOpen + "\n# >>> lantern-wharf node: w\n10.0.0.1 a.test\n" + kClose + "\n";
  lwk_test::spit(backups + "/" + backup_name(200, 1), good);
  lwk_test::spit(backups + "/" + backup_name(100, 9), "x\n" + kClose + "\n");
  lwk_test::spit(backups + "/" + backup_name(200, 2), "");
  lwk_test::spit(backups + "/." + backup_name(300, 3) + ".partial", good);
  lwk_test::spit(backups + "/notes", good);
  auto kept = manager::history(store.path());
  ASSERT_TRUE(kept) << kept.error().sentence;
  std::vector<std::uint64_t> counters;
  for (const auto& backup : *kept) counters.push_back(backup.counter);
  EXPECT_EQ(counters, (std::vector<std::uint64_t>{2, 1, 9}));
  EXPECT_EQ(told(*manager::undo(*kept, 1)), "w:+10.0.0.1 a.test,");
  EXPECT_EQ(manager::undo(*kept, 2).error().sentence,
            (*kept)[2].path +
                ": the file's markup is broken at line 2: a closing marker with no "
                "opening one");
  EXPECT_EQ(*manager::backup_numbered(*kept, 3), 2u);
  EXPECT_EQ(manager::backup_numbered(*kept, 4).error().sentence,
            "there is no backup 4 (there are 3)");

  // What cannot be read is marked so and the rest are read: a FIFO, a link
  // (to a good backup, even: the helper writes none), a file over the bound;
  // and a block of more lines than a message carries does not read back.
  const auto named = [&](std::uint64_t n) { return backups + "/" + backup_name(n * 100, n); };
  ASSERT_EQ(mkfifo(named(4).c_str(), 0600), 0);
  ASSERT_EQ(symlink(named(2).c_str(), named(5).c_str()), 0);
  lwk_test::spit(named(6), "");
  ASSERT_EQ(truncate(named(6).c_str(), (16 << 20) + 1), 0);
  lwk_test::spit(named(7), kOpen + "\n# >>> lantern-wharf node: w\n" +
                               std::string(3'400'000, '\n') + kClose + "\n");
  kept = manager::history(store.path());
  ASSERT_TRUE(kept) << kept.error().sentence;
  std::vector<std::string> read;
  for (const auto& backup : *kept) {
    read.push_back(backup.sets
                       ? "read"
                       : (backup.readable ? "" : "unreadable: ") + backup.sets.error().sentence);
  }
  EXPECT_EQ(read, (std::vector<std::string>{
                      named(7) + ": the managed block holds 3400001 lines, more than a message "
                                 "to the helper carries",
                      "unreadable: " + named(6) +
                          ": the file is 16777217 octets, and the client reads at most 16777216",
                      "unreadable: " + named(5) + ": not a regular file",
                      "unreadable: " + named(4) + ": not a regular file", "read", "read",
                      (*kept)[6].path + ": the file's markup is broken at line 2: a closing "
                                        "marker with no opening one"}));
}

// The sets of state `n`, one of a walk of changes.
Sets state(int n) { return {{"s", {{"# " + std::to_string(n)}}}}; }

// Undo walks back and redo comes forward, found from the backups alone: the
// same as an editor's undo stack over random changes, undos and redos (few
// enough that the helper keeps every backup).
TEST(Manager, UndoAndRedoWalkTheBackups) {
  std::mt19937 rng(5);
  for (int round = 0; round < 300; ++round) {
    std::vector<Sets> timeline = {state(0)};
    std::size_t at = 0;
    std::vector<manager::Backup> backups;  // newest first, as the helper keeps them
    const auto go = [&](std::size_t to) {
      backups.insert(backups.begin(), manager::Backup{"", 0, 0, "", timeline[at]});
      at = to;
    };
    for (int step = 0; step < 10; ++step) {
      const auto undo = manager::undo_step(backups, timeline[at]);
      const auto redo = manager::redo_step(backups, timeline[at]);
      ASSERT_EQ(undo.has_value(), at > 0) << round;
      ASSERT_EQ(redo.has_value(), at + 1 < timeline.size()) << round;
      const unsigned action = rng() % 3;
      if (action == 0) {
        timeline.resize(at + 1);
        timeline.push_back(state(step + 1));
        go(at + 1);
      } else if (action == 1 && undo) {
        ASSERT_EQ(*manager::undo(backups, *undo), timeline[at - 1]) << round;
        go(at - 1);
      } else if (action == 2 && redo) {
        ASSERT_EQ(*manager::undo(backups, *redo), timeline[at + 1]) << round;
        go(at + 1);
      }
    }
  }
  // Each undo is a change that takes a backup: of ten changes, kept in ten
  // backups, undo reaches five back, and then says so.
  std::vector<manager::Backup> backups;
  Sets now = state(0);
  const auto apply = [&](Sets to) {
    backups.insert(backups.begin(), manager::Backup{"", 0, 0, "", now});
    if (backups.size() > 10) backups.pop_back();
    now = std::move(to);
  };
  for (int n = 1; n <= 10; ++n) apply(state(n));
  int undone = 0;
  while (auto back = manager::undo_step(backups, now)) {
    apply(*manager::undo(backups, *back));
    ++undone;
  }
  EXPECT_EQ(undone, 5);
  EXPECT_EQ(now, state(5));
  EXPECT_EQ(manager::undo_step(backups, now).error().sentence,
            "there is nothing older to go back to: the sets are as the oldest of the 10 backups "
            "the helper keeps holds them");
}

// A lookup finds the first line of a name in its family: a line before the
// block that maps a name of a switched-on entry elsewhere wins, and is noted.
TEST(Manager, EntriesTheFileAnswersOtherwiseAreNoted) {
  const Sets sets = {{"lab",
                      {{"10.9.9.9 kestrel.lan www"},
                       {"10.0.0.1 a.test", false},
                       {"::2 v6.test"},
                       {"127.0.0.1 same.test"}}}};
  const auto wins = [](const std::string& name, int line) {
    return name + " is mapped by line " + std::to_string(line) +
           " of /etc/hosts, outside the block; that line wins";
  };
  struct Case {
    std::string file;
    std::vector<hosts_ipc::Issue> notes;
  };
  const Case cases[] = {
      {"# head\n127.0.1.1 Kestrel.LAN\n127.0.1.2 www\n",
       {{wins("kestrel.lan", 2), 0, 1}, {wins("www", 3), 0, 1}}},
      {"127.0.1.1 kestrel.lan\n\n" + kOpen + "\n" + kClose + "\n",
       {{wins("kestrel.lan", 1), 0, 1}}},
      {"10.9.9.9 kestrel.lan\n127.0.1.1 kestrel.lan\n", {}},  // the first line agrees
      {"127.0.0.1 same.test\n10.0.0.2 a.test\n::1 kestrel.lan\n", {}},
      {"::1 v6.test\n", {{wins("v6.test", 1), 0, 3}}},
      {kOpen + "\n" + kClose + "\n127.0.1.1 kestrel.lan\n", {}},  // after the block
      {"127.0.1.1 kestrel.lan\n" + kOpen + "\n", {}},             // markup broken
  };
  for (const Case& c : cases)
    EXPECT_EQ(manager::shadowed(sets, c.file, "/etc/hosts"), c.notes) << c.file;
}

}  // namespace
