#include "check/check.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/text_store.h"

namespace hosts_ipc {
void PrintTo(const Issue& issue, std::ostream* os) {
  *os << "{set " << issue.set << ", line " << issue.line << ": " << issue.message << "}";
}
}  // namespace hosts_ipc

namespace {

using hosts_helper_core::check::check;
using hosts_helper_core::check::Limits;
using hosts_ipc::Issue;
using hosts_ipc::WireLine;
using hosts_ipc::WireSet;

const std::string kOpen = "# >>> lantern-wharf managed block \xE2\x80\x94 do not edit >>>";
const std::string kClose = "# <<< lantern-wharf <<<";
const std::string kMarkup = "the line repeats the managed block's own markup";
const std::string kBreak =
    "the line holds a line break, which would split it into several lines of the file";
std::string kControl(const std::string& what, const std::string& code) {
  return what + " holds the control character U+" + code + ", which the hosts file must not carry";
}

std::vector<Issue> issues_of(const std::vector<WireSet>& sets, Limits limits = Limits::service()) {
  auto r = check(sets, limits);
  EXPECT_FALSE(r.has_value());
  return r ? std::vector<Issue>{} : r.error();
}

// A text that lives as long as the test program, for the views of the sets.
std::string_view kept(std::string text) {
  static lwk_test::TextStore store;
  return store.keep(std::move(text));
}

WireSet set_of(std::string name, std::vector<WireLine> lines) {
  return WireSet{kept(std::move(name)), std::move(lines)};
}

TEST(Check, EmptyRequestPasses) {
  auto r = check({}, Limits::service());
  ASSERT_TRUE(r.has_value());
  EXPECT_TRUE(r->empty());
}

TEST(Check, SizeLimitIsAloneAndInclusive) {
  // Exactly at the limit, split over a name and a line, passes.
  std::vector<WireSet> at_limit = {set_of("n", {{kept(std::string(99, '#')), true}})};
  auto passes = check(at_limit, Limits{100, 256, 256});
  ASSERT_TRUE(passes.has_value());
  ASSERT_EQ(passes->size(), 1u);
  EXPECT_EQ((*passes)[0].lines[0].text, std::string(99, '#'));
  // One octet more gives the one issue, though the set also has bad lines.
  std::vector<WireSet> over = {set_of("nn", {{kept(std::string(99, '#')), true}, {"bad", true}})};
  EXPECT_EQ(issues_of(over, Limits{101, 256, 256}),
            (std::vector<Issue>{{"the request is 104 octets and the limit is 101", 0, 0}}));
  // The service's own limit.
  std::vector<WireSet> big = {set_of("", {{kept(std::string(1 << 20, '#')), false}})};
  EXPECT_TRUE(check(big, Limits::service()).has_value());
  big[0].name = "x";
  EXPECT_EQ(issues_of(big)[0].message, "the request is 1048577 octets and the limit is 1048576");
}

TEST(Check, SetCountLimit) {
  std::vector<WireSet> sets(256, set_of("s", {}));
  EXPECT_TRUE(check(sets, Limits::service()).has_value());
  sets.push_back(set_of(std::string(300, 'n'), {{"bad", true}}));
  EXPECT_EQ(issues_of(sets),
            (std::vector<Issue>{{"the request carries 257 sets and the limit is 256", 0, 0}}));
}

TEST(Check, EveryProblemInOrder) {
  const std::vector<WireSet> sets = {
      set_of(std::string(200, 'x') + std::string(57, 'y'),  // 257 octets
             {{"10.0.0.1 a", true}, {"bad", true}}),
      set_of(
          [] {
            std::string name;
            for (int i = 0; i < 200; ++i) name += "\xC3\xA9";  // 200 characters, 400 octets
            return name;
          }(),
          {{"not an entry at all", false},  // switched off: not examined
           {"10.0.0.01 h", true},
           {kept("x " + kClose), false},              // switched off but markup
           {"# lantern-wharf off: 1.2.3.4 a", true},  // only the markup issue
           {"1.2.3.4 ok\n5.6.7.8 smuggled", false},   // line break first
           {"1.2.3.4 b\r", true}}),
      set_of("work " + kOpen, {{"", true}}), set_of(std::string(256, 'n'), {}),  // at the limit
  };
  const std::vector<Issue> expected = {
      {"the set's name is 257 octets and the limit is 256", 0, 0},
      {"the entry has no host name, so it maps nothing", 0, 2},
      {"the set's name is 400 octets and the limit is 256", 1, 0},
      {"\"10.0.0.01\" has a leading zero in an octet, and some tools read that as an octal "
       "number \xE2\x80\x94 write it without",
       1, 2},
      {kMarkup, 1, 3},
      {kMarkup, 1, 4},
      {kBreak, 1, 5},
      {kBreak, 1, 6},
      {"the set's name repeats the managed block's own markup", 2, 0},
  };
  EXPECT_EQ(issues_of(sets), expected);
}

TEST(Check, AMarkerInANameAfterTheLengthIssue) {
  const std::vector<WireSet> sets = {set_of(std::string(300, 'a') + kClose, {{"junk", true}})};
  EXPECT_EQ(issues_of(sets), (std::vector<Issue>{
                                 {"the set's name is 323 octets and the limit is 256", 0, 0},
                                 {"the set's name repeats the managed block's own markup", 0, 0},
                                 {"the entry has no host name, so it maps nothing", 0, 1},
                             }));
}

TEST(Check, ConflictsComeLastWithEveryParty) {
  const std::vector<WireSet> sets = {
      set_of("a", {{"# off", false}, {"10.0.0.1 Shared", true}, {"bad", true}}),
      set_of("b", {{"10.0.0.2 shared", true}, {"10.0.0.1 other", true}}),
      set_of("c", {{"10.0.0.3 other", true}}),
  };
  const std::string tail = " is mapped to more than one address by the sets being applied";
  EXPECT_EQ(issues_of(sets), (std::vector<Issue>{
                                 {"the entry has no host name, so it maps nothing", 0, 3},
                                 {"Shared" + tail, 0, 2},
                                 {"Shared" + tail, 1, 1},
                                 {"other" + tail, 1, 2},
                                 {"other" + tail, 2, 1},
                             }));
}

// The two request-wide limits are judged before anything else, the size
// first: a request over both gets the size issue alone, one over either gets
// that one issue however many other problems it has, and both limits are
// inclusive. The size counts every name and every line text, switched off or
// not.
TEST(Check, WhichRequestWideLimitWins) {
  const std::string tail = " is mapped to more than one address by the sets being applied";
  // 15 octets in 3 sets, each with a line that is no entry.
  const std::vector<WireSet> three = {set_of("ab", {{"bad", true}}), set_of("cd", {{"bad", true}}),
                                      set_of("ef", {{"bad", true}})};
  // 54 octets in 2 sets: a long name, a conflict, a line of markup.
  const std::vector<WireSet> two = {
      set_of(std::string(10, 'x'), {{"10.0.0.1 h", true}}),
      set_of("y", {{"10.0.0.2 h", true}, {kept(kClose), true}}),
  };
  // 14 octets in 1 set, all of them in a name and a switched-off line.
  const std::vector<WireSet> one = {set_of("name", {{"0123456789", false}})};
  const std::string no_name = "the entry has no host name, so it maps nothing";
  struct Case {
    const char* what;
    const std::vector<WireSet>& sets;
    Limits limits;
    std::vector<Issue> expected;
  };
  const Case cases[] = {
      {"both over: the size",
       three,
       {14, 2, 256},
       {{"the request is 15 octets and the limit is 14", 0, 0}}},
      {"size over, sets at the limit",
       three,
       {14, 3, 256},
       {{"the request is 15 octets and the limit is 14", 0, 0}}},
      {"sets over, size at the limit",
       three,
       {15, 2, 256},
       {{"the request carries 3 sets and the limit is 2", 0, 0}}},
      {"both at the limit",
       three,
       {15, 3, 256},
       {{no_name, 0, 1}, {no_name, 1, 1}, {no_name, 2, 1}}},
      {"both over, with a long name, markup and a conflict",
       two,
       {53, 1, 5},
       {{"the request is 54 octets and the limit is 53", 0, 0}}},
      {"sets over, with a long name, markup and a conflict",
       two,
       {54, 1, 5},
       {{"the request carries 2 sets and the limit is 1", 0, 0}}},
      {"neither over",
       two,
       {54, 2, 5},
       {{"the set's name is 10 octets and the limit is 5", 0, 0},
        {kMarkup, 1, 2},
        {"h" + tail, 0, 1},
        {"h" + tail, 1, 1}}},
      {"a switched-off line counts",
       one,
       {13, 0, 256},
       {{"the request is 14 octets and the limit is 13", 0, 0}}},
      {"no set allowed",
       one,
       {14, 0, 256},
       {{"the request carries 1 sets and the limit is 0", 0, 0}}},
  };
  for (const Case& c : cases) EXPECT_EQ(issues_of(c.sets, c.limits), c.expected) << c.what;
  // With no sets there is nothing to limit.
  EXPECT_TRUE(check({}, Limits{0, 0, 0}).has_value());
}

// A host name that breaks several rules gives one issue on its line, with the
// sentence of the first rule it breaks; two bad names on one line give one
// issue whose sentences follow the names' order.
TEST(Check, OneIssueForANameThatBreaksSeveralRules) {
  const std::string too_long = "_-.a.." + std::string(300, 'b');  // 306 octets
  const std::string bad = " holds something other than letters, digits and hyphens";
  const std::vector<WireSet> sets = {
      set_of("s", {{"10.0.0.1 fine", true}}),
      set_of("t", {{"# note", true},
                   {kept("10.0.0.1 " + too_long), true},
                   {"10.0.0.1 a_b..c -x_", true},
                   {"10.0.0.1 ok.a_-.b", true}}),
  };
  EXPECT_EQ(
      issues_of(sets),
      (std::vector<Issue>{
          {"\"" + too_long + "\" is 306 octets long, and the limit is 253", 1, 2},
          {"the part \"a_b\"" + bad + "; the part \"-x_\" begins or ends with a hyphen", 1, 3},
          {"the part \"a_-\" begins or ends with a hyphen", 1, 4},
      }));
}

// A line break in a line's text would make it several lines of the file, so
// such a line is refused, switched on or off, with one issue and no other of
// its own. A switched-on one still maps its names for conflict detection, as
// the line breaks are white space there: its conflicts are reported too, on
// its own line number, and it shifts the numbering of no other line. A line
// whose text would not classify takes part in no conflict.
TEST(Check, LinesWithLineBreaks) {
  const std::string tail = " is mapped to more than one address by the sets being applied";
  struct Case {
    const char* what;
    std::vector<WireSet> sets;
    std::vector<Issue> expected;
  };
  const Case cases[] = {
      {"a line feed in a conflicting line",
       {set_of("a", {{"10.0.0.1 h\nother", true}}), set_of("b", {{"10.0.0.2 h", true}})},
       {{kBreak, 0, 1}, {"h" + tail, 0, 1}, {"h" + tail, 1, 1}}},
      {"a CR LF ending a conflicting line",
       {set_of("a", {{"10.0.0.1 h\r\n", true}}), set_of("b", {{"10.0.0.2 h", true}})},
       {{kBreak, 0, 1}, {"h" + tail, 0, 1}, {"h" + tail, 1, 1}}},
      {"a second entry smuggled after a break is read as names of the first",
       {set_of("a", {{"10.0.0.1 ok\r\n10.0.0.2 h", true}}), set_of("b", {{"10.0.0.2 h", true}})},
       {{kBreak, 0, 1}, {"h" + tail, 0, 1}, {"h" + tail, 1, 1}}},
      {"the break does not shift the next lines",
       {set_of("a", {{"# one\n# two\r\n# three", true}, {"10.0.0.1 h", true}}),
        set_of("b", {{"10.0.0.2 h", true}})},
       {{kBreak, 0, 1}, {"h" + tail, 0, 2}, {"h" + tail, 1, 1}}},
      {"switched off: the break only",
       {set_of("a", {{"10.0.0.1 h\n", false}}), set_of("b", {{"10.0.0.2 h", true}})},
       {{kBreak, 0, 1}}},
      {"a bad token after the break: the break only, no conflict",
       {set_of("a", {{"10.0.0.1 h\nbad_name", true}}), set_of("b", {{"10.0.0.2 h", true}})},
       {{kBreak, 0, 1}}},
      {"markup after the break: the break only, no conflict",
       {set_of("a", {{kept("10.0.0.1 h\n" + kClose), true}}), set_of("b", {{"10.0.0.2 h", true}})},
       {{kBreak, 0, 1}}},
      {"a lone carriage return",
       {set_of("a", {{"10.0.0.1\rh", true}, {"10.0.0.3 h", true}})},
       {{kBreak, 0, 1}, {"h" + tail, 0, 1}, {"h" + tail, 0, 2}}},
      // Other control characters: one issue naming the first, on or off, in
      // a name too; a tab passes; an entry still maps its names.
      {"a NUL, ESC, DEL and BEL; a tab passes",
       {set_of("a\x07z", {{kept(std::string("# x\0y", 5)), true},
                          {"\x1b[8m\x01", false},
                          {"10.0.0.1\th # \x7f", true},
                          {"10.0.0.1\th", true}})},
       {{kControl("the set's name", "0007"), 0, 0},
        {kControl("the line", "0000"), 0, 1},
        {kControl("the line", "001B"), 0, 2},
        {kControl("the line", "007F"), 0, 3}}},
      {"a line feed before a control character: the break only",
       {set_of("a", {{"# a\n\x1b", false}})},
       {{kBreak, 0, 1}}},
      {"a control character in a conflicting line",
       {set_of("a", {{"10.0.0.1 h # \x1b", true}}), set_of("b", {{"10.0.0.2 h", true}})},
       {{kControl("the line", "001B"), 0, 1}, {"h" + tail, 0, 1}, {"h" + tail, 1, 1}}},
  };
  for (const Case& c : cases) EXPECT_EQ(issues_of(c.sets), c.expected) << c.what;
}

TEST(Check, PassingSetsAreConvertedForRendering) {
  const std::vector<WireSet> sets = {
      set_of("work", {{"10.0.0.5 intranet.test", true}, {"10.0.0.6 wiki.test", false}}),
      set_of("home", {{"# just a note", true}, {"", true}}),
  };
  auto r = check(sets, Limits::service());
  ASSERT_TRUE(r.has_value());
  ASSERT_EQ(r->size(), 2u);
  EXPECT_EQ((*r)[0].name, "work");
  EXPECT_EQ((*r)[0].lines[1].text, "10.0.0.6 wiki.test");
  EXPECT_FALSE((*r)[0].lines[1].enabled);
  EXPECT_EQ((*r)[1].lines.size(), 2u);
}

}  // namespace
