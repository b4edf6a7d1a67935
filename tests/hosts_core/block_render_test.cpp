#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hosts_core/block.h"
#include "hosts_core/escaping.h"
#include "hosts_core/markup.h"

namespace {

using hosts_core::block::BlockLine;
using hosts_core::block::BlockSet;
using hosts_core::block::ManagedFile;
using namespace hosts_core::markup;

const std::string kOpen(OPENING_MARKER);
const std::string kClose(CLOSING_MARKER);
const std::string kNode(NODE_PREFIX);
const std::string kOff(OFF_PREFIX);

std::string render(const std::string& file, const std::vector<BlockSet>& sets) {
  auto read = ManagedFile::read(file);
  EXPECT_TRUE(read.has_value()) << file;
  if (!read) return "<unreadable>";
  return read->render(sets);
}

TEST(Render, WorkedExample) {
  const std::vector<BlockSet> sets = {
      {"work", {{"10.0.0.5 intranet.test", true}, {"10.0.0.6 wiki.test", false}}},
      {"home", {{"10.0.0.5 INTRANET.test", true}}},
  };
  const std::string expected = "127.0.0.1 localhost\n\n" + kOpen + "\n" + kNode + "work\n" +
                               "10.0.0.5 intranet.test\n" + kOff + "10.0.0.6 wiki.test\n" + kNode +
                               "home\n" + kClose + "\n";
  const std::string once = render("127.0.0.1 localhost\n", sets);
  EXPECT_EQ(once, expected);
  EXPECT_EQ(render(once, sets), once);
}

TEST(Render, WithoutBlock) {
  const std::vector<BlockSet> dev = {{"dev", {{"10.0.0.1 dev.test", true}}}};
  const std::string block = kOpen + "\n" + kNode + "dev\n10.0.0.1 dev.test\n" + kClose + "\n";
  struct Case {
    std::string file;
    std::vector<BlockSet> sets;
    std::string expected;
  };
  const Case cases[] = {
      {"127.0.0.1 localhost\n", {}, "127.0.0.1 localhost\n"},
      {"no terminator", {}, "no terminator"},
      {"", {}, ""},
      {"", dev, block},
      {"one line", dev, "one line\n\n" + block},
      {"a\r\nb\n", dev,
       "a\r\nb\n\r\n" + kOpen + "\r\n" + kNode + "dev\r\n10.0.0.1 dev.test\r\n" + kClose + "\r\n"},
      {"x\n\n", dev, "x\n\n\n" + block},
  };
  for (const Case& c : cases) EXPECT_EQ(render(c.file, c.sets), c.expected) << c.file;
}

TEST(Render, WithBlockKeepsHeadAndTail) {
  const std::string file =
      "head\r\n" + kOpen + "\n" + kNode + "old\nold lines\n" + kClose + "\nafter\r\nend";
  EXPECT_EQ(render(file, {}), "head\r\n" + kOpen + "\r\n" + kClose + "\nafter\r\nend");
  EXPECT_EQ(render(file, {{"n", {{"::1 x", true}}}}),
            "head\r\n" + kOpen + "\r\n" + kNode + "n\r\n::1 x\r\n" + kClose + "\nafter\r\nend");
}

TEST(Render, RepeatedEntriesLeftOutByKey) {
  const std::vector<BlockSet> sets = {
      {"a",
       {{"10.0.0.1 x y", true},
        {"10.0.0.1 y x", true},         // other order: another key
        {"10.0.0.1 X Y # note", true},  // case only: same key, left out
        {"10.0.0.2 x y", true},         // other address: written
        {"10.0.0.1 x y", false},        // switched off: always written
        {"", true},
        {"", true},          // blank lines are never compared
        {"bad line", true},  // fails classification: written as it stands
        {"bad line", true}}},
      {"b", {{"10.0.0.1   x\ty", true}, {"::1 v6", true}}},
      {"c", {{"0:0::1 V6", true}}},
  };
  const std::string expected = kOpen + "\n" + kNode + "a\n10.0.0.1 x y\n10.0.0.1 y x\n" +
                               "10.0.0.2 x y\n" + kOff + "10.0.0.1 x y\n\n\nbad line\nbad line\n" +
                               kNode + "b\n::1 v6\n" + kNode + "c\n" + kClose + "\n";
  EXPECT_EQ(render("", sets), expected);
}

TEST(Render, SwitchedOffLineDoesNotHideAnEntry) {
  const std::vector<BlockSet> sets = {{"s", {{"10.0.0.1 a", false}, {"10.0.0.1 a", true}}}};
  EXPECT_EQ(render("", sets),
            kOpen + "\n" + kNode + "s\n" + kOff + "10.0.0.1 a\n10.0.0.1 a\n" + kClose + "\n");
}

TEST(Render, NameIsEscapedOntoOneLine) {
  const std::vector<BlockSet> sets = {{"a\nb\rc\\d", {}}, {"a\nb\rc\\d", {}}};
  EXPECT_EQ(render("", sets),
            kOpen + "\n" + kNode + "a\\nb\\rc\\\\d\n" + kNode + "a\\nb\\rc\\\\d\n" + kClose + "\n");
}

TEST(Escaping, Escape) {
  EXPECT_EQ(hosts_core::escaping::escape("plain \t\x01 \xE2\x80\x94"), "plain \t\x01 \xE2\x80\x94");
  EXPECT_EQ(hosts_core::escaping::escape("\\n\n\r"), "\\\\n\\n\\r");
}

TEST(Markup, Guard) {
  struct Case {
    std::string text;
    bool impersonates;
  };
  const Case cases[] = {
      {"x " + kClose, true},
      {"x" + kOpen + "y", true},
      {kOff, true},
      {kOff + "10.0.0.1 a", true},
      {" " + kOff, false},
      {kNode + "n", true},
      {" " + kNode + "n", false},
      {kOff.substr(0, 20), false},
      {"# lantern-wharf", false},
      {"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(impersonates_markup(c.text), c.impersonates) << c.text;
  }
}

}  // namespace
