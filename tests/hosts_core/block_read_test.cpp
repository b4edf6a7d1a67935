#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "hosts_core/block.h"
#include "hosts_core/scanner.h"

namespace {

using hosts_core::block::ManagedFile;
using hosts_core::block::MarkupError;
using namespace hosts_core::markup;

const std::string kOpen(OPENING_MARKER);
const std::string kClose(CLOSING_MARKER);

TEST(Scan, CutsAtLineFeedsAndKeepsEndings) {
  struct Case {
    std::string text;
    std::vector<std::pair<std::string, std::string>> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"a", {{"a", ""}}},
      {"a\n", {{"a", "\n"}}},
      {"a\r\nb\n", {{"a", "\r\n"}, {"b", "\n"}}},
      {"\n\n", {{"", "\n"}, {"", "\n"}}},
      {"a\rb\r", {{"a\rb\r", ""}}},
      {"\r\n", {{"", "\r\n"}}},
      {"x\r\r\ny", {{"x\r", "\r\n"}, {"y", ""}}},
  };
  for (const Case& c : cases) {
    auto lines = hosts_core::scanner::scan(c.text);
    ASSERT_EQ(lines.size(), c.lines.size()) << c.text;
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].text, c.lines[i].first);
      EXPECT_EQ(lines[i].ending, c.lines[i].second);
      joined.append(lines[i].text).append(lines[i].ending);
    }
    EXPECT_EQ(joined, c.text);
  }
}

TEST(ManagedFileRead, Failures) {
  std::string hundred;
  for (int i = 0; i < 100; ++i) hundred += "10.0.0." + std::to_string(i % 250) + " n\n";
  struct Case {
    std::string bytes;
    MarkupError error;
  };
  const Case cases[] = {
      {"a\nb\n\xFF\n", {3, "the file is not valid UTF-8, so its bytes cannot be read as lines"}},
      {"\xC3", {1, "the file is not valid UTF-8, so its bytes cannot be read as lines"}},
      {"ok\n" + kOpen + "\n\xED\xA0\x80\n" + kClose + "\n",
       {3, "the file is not valid UTF-8, so its bytes cannot be read as lines"}},
      {"a\n" + kClose + "\nb\nc\n" + kOpen + "\n", {2, "a closing marker with no opening one"}},
      {kOpen + "\n" + kClose + "\n" + kClose + "\n", {3, "a second closing marker"}},
      {kOpen + "\n" + kClose + "\n" + kOpen + "\n" + kClose + "\n", {3, "a second opening marker"}},
      {kOpen + "\n" + kOpen + "\n" + kClose + "\n", {2, "a second opening marker"}},
      {"a\n#" + kOpen + "\n", {2, "the opening marker's text sits inside a line"}},
      {kOpen + " \n" + kClose + "\n", {1, "the opening marker's text sits inside a line"}},
      {"\xEF\xBB\xBF" + kOpen + "\n" + kClose + "\n",
       {1, "the opening marker's text sits inside a line"}},
      {kOpen + "\n" + kClose + " \n", {2, "the closing marker's text sits inside a line"}},
      {kOpen + "\nx " + kClose + "\n" + kClose,
       {2, "the closing marker's text sits inside a line"}},
      {kOpen + "\n" + kClose + "\r", {2, "the closing marker's text sits inside a line"}},
      {"a\n" + kClose + kOpen + "\n", {2, "the opening marker's text sits inside a line"}},
      {"1\n2\n3\n" + kOpen + "\n" + hundred, {4, "the block is opened and never closed"}},
  };
  for (const Case& c : cases) {
    auto r = ManagedFile::read(c.bytes);
    ASSERT_FALSE(r.has_value()) << c.bytes;
    EXPECT_EQ(r.error(), c.error) << c.bytes;
  }
}

TEST(ManagedFileRead, FilesWithoutBlock) {
  for (std::string bytes : {"", "127.0.0.1 localhost\n", "no terminator", "# >>> almost\n"}) {
    auto r = ManagedFile::read(bytes);
    ASSERT_TRUE(r.has_value()) << bytes;
    EXPECT_EQ(r->head, bytes);
    EXPECT_FALSE(r->body.has_value());
    EXPECT_TRUE(r->tail.empty());
    EXPECT_EQ(r->newline, "\n");
  }
}

TEST(ManagedFileRead, CutsAtTheBlock) {
  const std::string head = "127.0.0.1 localhost\r\n\n";
  const std::string body = "# >>> lantern-wharf node: x\n10.0.0.1 a\n\n# comment\n";
  const std::string tail = kClose + "\r\n::1 after\n";
  const std::string bytes = head + kOpen + "\n" + body + tail;
  auto r = ManagedFile::read(bytes);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->head, head);
  ASSERT_TRUE(r->body.has_value());
  EXPECT_EQ(*r->body, body);
  EXPECT_EQ(r->tail, tail);
  EXPECT_EQ(r->newline, "\r\n");  // the first terminator decides
  // The views point into the caller's bytes: nothing is copied.
  EXPECT_EQ(r->head.data(), bytes.data());
}

TEST(ManagedFileRead, MarkersOnTheLastTwoLines) {
  const std::string bytes = "x\n" + kOpen + "\n" + kClose;
  auto r = ManagedFile::read(bytes);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->head, "x\n");
  ASSERT_TRUE(r->body.has_value());
  EXPECT_TRUE(r->body->empty());
  EXPECT_EQ(r->tail, kClose);
  EXPECT_EQ(r->tail.size(), 23u);
}

TEST(ManagedFileRead, CrLfEndingBelongsToTheMarker) {
  const std::string bytes = kOpen + "\r\n" + kClose + "\r\n";
  auto r = ManagedFile::read(bytes);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->tail, kClose + "\r\n");
  EXPECT_EQ(r->newline, "\r\n");
}

}  // namespace

namespace {

using hosts_core::block::BlockLine;
using hosts_core::block::ReadSet;

// What a hand-edited block reads back as, and the line of the file that
// keeps it from reading.
TEST(ReadSets, TheBlocksSetsOrTheLineThatKeepsThemFromReading) {
  const std::string node(NODE_PREFIX);
  const std::string off(OFF_PREFIX);
  const std::string spaced = " " + off + "x";  // the lines below view it
  struct Case {
    std::string file;
    std::vector<ReadSet> sets;
    std::optional<MarkupError> error;
  };
  const Case cases[] = {
      {"127.0.0.1 a\n", {}, std::nullopt},
      {kOpen + "\n" + kClose + "\n", {}, std::nullopt},
      {"h1\r\nh2\r\n" + kOpen + "\r\n" + node + "w\\\\ork\\n2\r\n10.0.0.5 a.test\r\n" + off +
           "10.0.0.6 b.test\r\n\r\n# note\r\n" + node + "\r\n" + kClose + "\r\n",
       {{"w\\ork\n2",
         {{"10.0.0.5 a.test", true}, {"10.0.0.6 b.test", false}, {"", true}, {"# note", true}}},
        {"", {}}},
       std::nullopt},
      // In a file of line feeds, a carriage return before one is the text's.
      {kOpen + "\n" + node + "s\n10.0.0.5 a.test\r\n" + kClose + "\n",
       {{"s", {{"10.0.0.5 a.test\r", true}}}},
       std::nullopt},
      // The prefixes count at the first octet only.
      {kOpen + "\n" + node + "s\n " + off + "x\n" + off + "\n" + kClose + "\n",
       {{"s", {{spaced, true}, {"", false}}}},
       std::nullopt},
      {"h\n\n" + kOpen + "\n10.0.0.5 a.test\n" + node + "s\n" + kClose + "\n",
       {},
       MarkupError{4, "a line of the block stands before any set's heading"}},
      {kOpen + "\n" + node + "ok\n" + node + "bad\\t\n" + kClose + "\n",
       {},
       MarkupError{3, "a set's heading holds a backslash that is no escape"}},
      {kOpen + "\n" + node + "trailing\\\n" + kClose + "\n",
       {},
       MarkupError{2, "a set's heading holds a backslash that is no escape"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    auto file = ManagedFile::read(c.file);
    ASSERT_TRUE(file.has_value());
    auto sets = file->read_sets();
    if (c.error) {
      ASSERT_FALSE(sets.has_value());
      EXPECT_EQ(sets.error(), *c.error);
    } else {
      ASSERT_TRUE(sets.has_value()) << sets.error().message;
      EXPECT_EQ(*sets, c.sets);
    }
  }
}

}  // namespace
