// What the client's layer gained for the window: sets of which one at a time
// is on, edits carried onto a file changed elsewhere, and where the block
// stands in the file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/manager.h"
#include "hosts_core/block.h"

namespace {

using lantern_wharf::manager::Line;
using lantern_wharf::manager::Set;
using lantern_wharf::manager::Sets;
namespace manager = lantern_wharf::manager;

// Sets from "name:+on,-off;..." and back, for short tables.
Sets sets_of(std::string_view text) {
  Sets sets;
  while (!text.empty()) {
    const auto end = std::min(text.find(';'), text.size());
    const std::string_view one = text.substr(0, end);
    const auto colon = one.find(':');
    Set set{std::string(one.substr(0, colon)), {}};
    for (std::string_view rest = one.substr(colon + 1); !rest.empty();) {
      const auto comma = std::min(rest.find(','), rest.size());
      set.lines.push_back({std::string(rest.substr(1, comma - 1)), rest[0] == '+'});
      rest.remove_prefix(std::min(comma + 1, rest.size()));
    }
    sets.push_back(std::move(set));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return sets;
}

std::string told(const Sets& sets) {
  std::string out;
  for (const Set& set : sets) {
    if (!out.empty()) out += ';';
    out.append(set.name).append(":");
    for (std::size_t i = 0; i < set.lines.size(); ++i) {
      if (i != 0) out += ',';
      out += set.lines[i].enabled ? '+' : '-';
      out += set.lines[i].text;
    }
  }
  return out;
}

// Marking, switching and the round trip through the file: the mark reads
// back with its set whether it is on or off, and enabling one set of a group
// leaves the others off, their marks untouched, and the sets of other groups
// as they were.
TEST(WindowLayer, OneOfSeveral) {
  Sets sets = sets_of(
      "dev:+10.0.0.1 app.test;staging:+10.0.0.2 app.test;prod:-10.0.0.3 app.test;"
      "other:+10.0.0.9 x.test");
  for (const char* name : {"dev", "staging", "prod"}) {
    ASSERT_TRUE(manager::mark_one_of(sets, name, "env"));
  }
  ASSERT_TRUE(manager::mark_one_of(sets, "other", "lab"));
  ASSERT_TRUE(manager::mark_one_of(sets, "other", "lab two"));  // in place of the old mark
  EXPECT_EQ(manager::group_of(sets[3]), "lab two");
  EXPECT_EQ(sets[3].lines.size(), 2u);

  ASSERT_TRUE(manager::switch_lines(sets, "prod", {}, true));
  EXPECT_EQ(
      manager::switch_off_others(sets, "prod"),
      (std::vector<std::string>{"switched off \"dev\": only one of \"env\" is on at a time",
                                "switched off \"staging\": only one of \"env\" is on at a time"}));
  EXPECT_EQ(told(sets),
            "dev:+# one of: env,-10.0.0.1 app.test;staging:+# one of: env,-10.0.0.2 app.test;"
            "prod:+# one of: env,+10.0.0.3 app.test;other:+# one of: lab two,+10.0.0.9 x.test");
  EXPECT_EQ(manager::summed_up(sets[0]), "0 on, 1 off, one of \"env\"");  // the mark uncounted
  EXPECT_TRUE(manager::switch_off_others(sets, "prod").empty());          // nothing else is on
  EXPECT_TRUE(manager::switch_off_others(sets, "other").empty());         // alone in its group

  // Through the file and back, with a mark switched off as `disable` leaves it.
  ASSERT_TRUE(manager::switch_lines(sets, "dev", {1}, false));
  auto file = manager::preview(sets, "127.0.0.1 localhost\n");
  ASSERT_TRUE(file) << file.error().sentence;
  auto back = manager::read_sets(*file);
  ASSERT_TRUE(back) << back.error().sentence;
  EXPECT_EQ(*back, sets);
  EXPECT_EQ(manager::group_of((*back)[0]), "env");

  // The switch of a whole set, as the window and the tray flip it: the mark
  // stays as it was, and the group's other sets go off.
  auto notes = manager::switch_set(sets, "dev", true);
  ASSERT_TRUE(notes);
  EXPECT_EQ(notes->size(), 1u);
  EXPECT_EQ(told({sets[0], sets[2]}),
            "dev:-# one of: env,+10.0.0.1 app.test;prod:+# one of: env,-10.0.0.3 app.test");

  ASSERT_TRUE(manager::unmark_one_of(sets, "other"));
  EXPECT_EQ(told({sets[3]}), "other:+10.0.0.9 x.test");

  struct Refusal {
    const char* set;
    const char* group;
    const char* sentence;
  };
  const char* const kNotAGroup =
      " cannot name a group: a group's name is not empty, holds no control character, and "
      "neither begins nor ends with a space";
  for (const Refusal& r : {Refusal{"dev", "", kNotAGroup}, Refusal{"dev", " env", kNotAGroup},
                           Refusal{"dev", "env ", kNotAGroup}, Refusal{"dev", "e\nv", kNotAGroup},
                           Refusal{"dev", "e\x7fv", kNotAGroup},
                           Refusal{"nope", "env", "there is no set named \"nope\""}}) {
    Sets copy = sets;
    auto marked = manager::mark_one_of(copy, r.set, r.group);
    ASSERT_FALSE(marked) << r.group;
    const std::string expected = r.sentence == kNotAGroup
                                     ? "\"" + std::string(r.group) + "\"" + kNotAGroup
                                     : std::string(r.sentence);
    EXPECT_EQ(marked.error().sentence, expected);
    EXPECT_EQ(copy, sets);
  }
  EXPECT_EQ(manager::unmark_one_of(sets, "other").error().sentence,
            "the set \"other\" is one of no group");
  // A comment that only looks like a mark is none: it would not read back as one.
  EXPECT_EQ(manager::group_of(sets_of("x:+# one of: ,+a")[0]), "");
  EXPECT_EQ(manager::group_of(sets_of("x:+a,+# one of: env")[0]), "");

  // Two sets of one name, which a file written before that was refused still
  // holds: a change by place reaches the set chosen, not the first of its name.
  Sets twins = sets_of("a:+1;a:+2;b:+3");
  EXPECT_TRUE(manager::switch_set_at(twins, 1, false).empty());
  ASSERT_TRUE(manager::rename_at(twins, 1, "c"));
  manager::move_set_at(twins, 1, 2);
  EXPECT_EQ(told(twins), "a:+1;b:+3;c:-2");
  EXPECT_EQ(manager::rename_at(twins, 2, "a").error().sentence,
            "there is a set named \"a\" already");
}

// Edits carried onto a file changed elsewhere, set by set: one table of
// base, mine, theirs and what comes of them.
TEST(WindowLayer, EditsCarriedOntoAFileChangedElsewhere) {
  struct Case {
    const char* what;
    const char* base;
    const char* mine;
    const char* theirs;
    const char* merged;
    std::vector<std::string> notes;
  };
  const Case cases[] = {
      {"no edits: theirs", "a:+1;b:+2", "a:+1;b:+2", "b:-2;c:+3", "b:-2;c:+3", {}},
      {"edit here, another elsewhere",
       "a:+1;b:+2",
       "a:-1;b:+2",
       "a:+1;b:+2,+5",
       "a:-1;b:+2,+5",
       {}},
      {"one set changed on both sides",
       "a:+1",
       "a:-1",
       "a:+1,+4",
       "a:-1",
       {"the set \"a\" was changed here and elsewhere: the change made here is kept"}},
      {"the same change on both sides", "a:+1", "a:-1", "a:-1", "a:-1", {}},
      {"added here and elsewhere", "a:+1", "a:+1;n:+7", "a:+1;m:+8", "a:+1;m:+8;n:+7", {}},
      {"one name added on both sides",
       "",
       "n:+7",
       "n:+8",
       "n:+7",
       {"the set \"n\" was added here and elsewhere: the one made here is kept"}},
      {"removed elsewhere, untouched here", "a:+1;b:+2", "a:-1;b:+2", "a:+1", "a:-1", {}},
      {"removed here, untouched elsewhere", "a:+1;b:+2", "a:+1", "a:+1;b:+2;c:+3", "a:+1;c:+3", {}},
      {"changed here, removed elsewhere",
       "a:+1;b:+2",
       "a:+1;b:-2",
       "a:+1",
       "a:+1;b:-2",
       {"the set \"b\" was changed here and removed elsewhere: it is kept as changed here"}},
      {"removed here, changed elsewhere",
       "a:+1;b:+2",
       "a:+1",
       "a:+1;b:-2",
       "a:+1;b:-2",
       {"the set \"b\" was removed here and changed elsewhere: it is kept as changed elsewhere"}},
      {"renamed here", "a:+1;b:+2", "z:+1;b:+2", "a:+1;b:+2;c:+3", "b:+2;c:+3;z:+1", {}},
      {"reordered here: my order",
       "a:+1;b:+2;c:+3",
       "c:+3;a:+1;b:+2",
       "a:+1;b:-2;c:+3;d:+4",
       "c:+3;a:+1;b:-2;d:+4",
       {}},
      {"reordered elsewhere: their order", "a:+1;b:+2", "a:-1;b:+2", "b:+2;a:+1", "b:+2;a:-1", {}},
      {"two sets of one name: mine whole",
       "a:+1;a:+2",
       "a:-1;a:+2",
       "a:+1",
       "a:-1;a:+2",
       {"the sets hold two sets of one name, so the edits made here are kept whole"}},
  };
  for (const Case& c : cases) {
    const auto merged = manager::merge(sets_of(c.base), sets_of(c.mine), sets_of(c.theirs));
    EXPECT_EQ(told(merged.sets), c.merged) << c.what;
    EXPECT_EQ(merged.notes, c.notes) << c.what;
  }
}

TEST(WindowLayer, BlockSpanCountsTheScannersLines) {
  const std::string open(hosts_core::block::OPENING_MARKER);
  const std::string close(hosts_core::block::CLOSING_MARKER);
  struct Case {
    std::string file;
    std::uint64_t first, last;
  };
  const Case cases[] = {
      {"127.0.0.1 localhost\n", 0, 0},
      {"a\n\n" + open + "\n# >>> lantern-wharf node: x\n10.0.0.1 a\n" + close + "\n", 3, 6},
      {"a\r\n" + open + "\r\n" + close, 2, 3},
      {open + "\n" + close + "\nafter\n", 1, 2},
      {open + "\nnever closed\n", 0, 0},
  };
  for (const Case& c : cases) {
    const auto span = manager::block_span(c.file);
    EXPECT_EQ(span.first, c.first) << c.file;
    EXPECT_EQ(span.last, c.last) << c.file;
  }
}

}  // namespace
