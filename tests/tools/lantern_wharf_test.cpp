// The lantern-wharf tool end to end: the built binary, run on files the tests
// write, with its exit status, standard output and standard error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

extern "C" char** environ;

namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

// The object --json prints for a refusal said as `said` on standard error
// ("lantern-wharf: SENTENCE\n").
std::string as_json_error(const std::string& said) {
  return nlohmann::json{{"error", said.substr(15, said.size() - 16)}}.dump() + "\n";
}

// Runs the tool with `args` and the file at `in` on standard input. A tool
// that has not ended after ten seconds is killed and reads as status -1.
Outcome tool_reading(const std::vector<std::string>& args, const std::string& in) {
  lwk_test::TempDir io;
  std::vector<std::string> all = {LANTERN_WHARF};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, (io / "out").c_str(), O_WRONLY | O_CREAT, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, (io / "err").c_str(), O_WRONLY | O_CREAT, 0600);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, all[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return {-1, "", "could not start the tool"};
  int status = 0;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > give_up) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return {-1, "", "the tool did not end"};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, lwk_test::slurp(io / "out"),
          lwk_test::slurp(io / "err")};
}

// Runs the tool with `args`, feeding `input` on standard input.
Outcome tool(const std::vector<std::string>& args, const std::string& input = "") {
  lwk_test::TempDir io;
  lwk_test::spit(io / "in", input);
  return tool_reading(args, io / "in");
}

const std::string kOpen = "# >>> lantern-wharf managed block \xE2\x80\x94 do not edit >>>";
const std::string kClose = "# <<< lantern-wharf <<<";

class ToolTest : public ::testing::Test {
 protected:
  std::string file(const std::string& name, const std::string& content) {
    lwk_test::spit(dir_ / name, content);
    return dir_ / name;
  }
  lwk_test::TempDir dir_;
};

TEST_F(ToolTest, CheckPassesQuietly) {
  const auto sets = file("ok.json", R"({"sets": [{"name": "work", "lines": [
      {"text": "10.0.0.5 intranet.test", "enabled": true}, "10.0.0.6 wiki.test",
      {"text": "anything at all", "enabled": false}]}]})");
  const auto hosts = file("hosts", "10.0.0.5 intranet.test\n");  // the same: no note
  const Outcome o = tool({"check", "--hosts", hosts, sets});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(tool({"check", "--json", "--hosts", hosts, sets}).out, "{\"issues\":[]}\n");
}

TEST_F(ToolTest, CheckPrintsEveryIssue) {
  const auto sets = file("bad.json", R"({"sets": [
      {"name": "a", "lines": ["10.0.0.1 shared", "bad_line", "x\ny"]},
      {"name": "b", "lines": ["10.0.0.2 shared"]}]})");
  const auto hosts = file("hosts", "");
  const Outcome o = tool({"check", "--hosts", hosts, sets});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err,
            "set 0, line 2: the entry has no host name, so it maps nothing\n"
            "set 0, line 3: the line holds a line break, which would split it into several lines "
            "of the file\n"
            "set 0, line 1: shared is mapped to more than one address by the sets being applied\n"
            "set 1, line 1: shared is mapped to more than one address by the sets being applied\n");
  const Outcome json = tool({"check", "--json", "--hosts", hosts, sets});
  EXPECT_EQ(json.status, 1);
  EXPECT_TRUE(json.out.starts_with(
      "{\"issues\":[{\"set\":0,\"line\":2,\"message\":\"the entry has no host name, so it maps "
      "nothing\"},"))
      << json.out;
  EXPECT_TRUE(json.out.ends_with(
      "{\"set\":1,\"line\":1,\"message\":\"shared is mapped to more than one address by the "
      "sets being applied\"}]}\n"))
      << json.out;
}

TEST_F(ToolTest, InputErrorsNameWhereTheFaultIs) {
  // Empty lines count no octets against the check, but each takes five
  // octets of a message: 3,400,000 of them could never be sent.
  std::string empty_lines = R"({"sets": [{"name": "a", "lines": ["")";
  for (int i = 1; i < 3'400'000; ++i) empty_lines += R"(, "")";
  empty_lines += "]}]}";
  struct Case {
    std::string json;
    std::string error;
  };
  const Case cases[] = {
      {R"({"sets": [)", "not valid JSON: parse error at line 1, column 11"},
      {R"([])", "expected an object with \"sets\""},
      {R"({"sets": [], "extra": 1})", "the file: unknown key \"extra\""},
      {R"({})", "missing \"sets\""},
      {R"({"sets": {}})", "sets: expected an array"},
      {R"({"sets": [{"lines": []}]})", "sets[0]: missing \"name\""},
      {R"({"sets": [{"name": 5}]})", "sets[0].name: expected a string"},
      {R"({"sets": [{"name": "a", "lines": "x"}]})", "sets[0].lines: expected an array"},
      {R"({"sets": [{"name": "a", "lines": [1]}]})",
       "sets[0].lines[0]: expected a string or an object with \"text\""},
      {R"({"sets": [{"name": "a", "lines": [{"text": "x", "enabled": "yes"}]}]})",
       "sets[0].lines[0].enabled: expected true or false"},
      {R"({"sets": [{"name": "a", "lines": ["ok", {"txt": "x"}]}]})",
       "sets[0].lines[1]: unknown key \"txt\""},
      {R"({"sets": [{"name": "a", "lines": [{"enabled": true}]}]})",
       "sets[0].lines[0]: missing \"text\""},
      {"{\"sets\": [{\"name\": \"\xFF\"}]}", "not valid JSON: parse error"},
      // A key given twice would let two readers see two different files.
      {R"({"sets": [{"name": "a", "name": "b"}]})", "sets[0]: the key \"name\" is given twice"},
      {R"({"sets": [{"name": "a", "lines": [{"text": "x", "text": "y"}]}]})",
       "sets[0].lines[0]: the key \"text\" is given twice"},
      {R"({"sets": [], "sets": []})", "the file: the key \"sets\" is given twice"},
      {empty_lines,
       "the request is 17000016 octets, and a message to the helper carries at most 16777216"},
  };
  for (const Case& c : cases) {
    const auto sets = file("input.json", c.json);
    const Outcome o = tool({"check", sets});
    EXPECT_EQ(o.status, 2) << c.json;
    EXPECT_TRUE(o.err.starts_with("lantern-wharf: " + sets + ": " + c.error)) << o.err;
  }
  const Outcome missing = tool({"check", dir_ / "absent.json"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "lantern-wharf: " + dir_ / "absent.json" +
                             ": No such file or directory (os error 2)\n");
}

TEST_F(ToolTest, PreviewWritesTheWholeNewFile) {
  const auto sets =
      file("sets.json", R"({"sets": [{"name": "dev", "lines": ["10.0.0.1 dev.test"]}]})");
  const auto hosts = file("hosts", "127.0.0.1 localhost");
  const Outcome o = tool({"preview", "--hosts", hosts, sets});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, "127.0.0.1 localhost\n\n" + kOpen + "\n# >>> lantern-wharf node: dev\n" +
                       "10.0.0.1 dev.test\n" + kClose + "\n");
  EXPECT_EQ(lwk_test::slurp(hosts), "127.0.0.1 localhost");  // only read

  const Outcome diff = tool({"preview", "--diff", "--hosts=" + hosts, sets});
  EXPECT_EQ(diff.status, 0);
  EXPECT_EQ(diff.out, "--- " + hosts + "\n+++ " + hosts + " (after the apply)\n" +
                          "@@ -1 +1,6 @@\n-127.0.0.1 localhost\n\\ No newline at end of file\n" +
                          "+127.0.0.1 localhost\n+\n+" + kOpen +
                          "\n+# >>> lantern-wharf node: dev\n" + "+10.0.0.1 dev.test\n+" + kClose +
                          "\n");
  // The preview of a file that already holds the block diffs to nothing.
  const auto applied = file("applied", o.out);
  const Outcome same = tool({"preview", "--diff", "--hosts", applied, sets});
  EXPECT_EQ(same.status, 0);
  EXPECT_EQ(same.out, "");
}

TEST_F(ToolTest, PreviewRefusals) {
  const auto sets = file("sets.json", R"({"sets": [{"name": "dev", "lines": ["10.0.0.1 a"]}]})");
  const auto broken = file("broken", "a\n" + kOpen + "\nb\n");
  Outcome o = tool({"preview", "--hosts", broken, sets});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "the file's markup is broken at line 2: the block is opened and never closed\n");
  o = tool({"preview", "--json", "--hosts", broken, sets});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out,
            "{\"issues\":[{\"set\":0,\"line\":0,\"message\":\"the file's markup is broken at "
            "line 2: the block is opened and never closed\"}]}\n");
  o = tool({"preview", "--hosts", dir_ / "absent", sets});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "reading " + dir_ / "absent" + ": No such file or directory (os error 2)\n");
  const auto bad = file("bad.json", R"({"sets": [{"name": "dev", "lines": ["nope"]}]})");
  o = tool({"preview", "--hosts", broken, bad});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "set 0, line 1: the entry has no host name, so it maps nothing\n");
}

TEST_F(ToolTest, InputsAreRegularFilesWithinTheirBounds) {
  constexpr std::size_t limit = 16u << 20;  // a sets file's and a hosts file's
  const auto sets = file("sets.json", R"({"sets": [{"name": "dev", "lines": ["10.0.0.1 a"]}]})");
  const auto hosts = file("hosts", "127.0.0.1 localhost\n");
  const std::string fifo = dir_ / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = dir_ / "folder";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  // Sparse: as long as a file over the bound, with no octet written.
  const std::string big = file("big", "");
  ASSERT_EQ(truncate(big.c_str(), limit + 1), 0);
  // Exactly at the bound: a sets file padded with blanks, which JSON skips.
  const std::string empty_sets = R"({"sets": []})";
  const auto at_bound =
      file("at_bound.json", empty_sets + std::string(limit - empty_sets.size(), ' '));

  const std::string not_regular = ": not a regular file\n";
  const std::string too_big =
      ": the file is 16777217 octets, and the client reads at most 16777216\n";
  struct Case {
    std::vector<std::string> args;
    std::string in;  // standard input
    int status;
    std::string err;
  };
  const Case cases[] = {
      {{"check", "/dev/zero"}, "/dev/null", 2, "lantern-wharf: /dev/zero" + not_regular},
      {{"check", fifo}, "/dev/null", 2, "lantern-wharf: " + fifo + not_regular},
      {{"check", folder}, "/dev/null", 2, "lantern-wharf: " + folder + not_regular},
      {{"check", big}, "/dev/null", 2, "lantern-wharf: " + big + too_big},
      {{"apply", fifo}, "/dev/null", 2, "lantern-wharf: " + fifo + not_regular},
      {{"encode", "/dev/zero"}, "/dev/null", 2, "lantern-wharf: /dev/zero" + not_regular},
      {{"encode", fifo}, "/dev/null", 2, "lantern-wharf: " + fifo + not_regular},
      {{"encode", big}, "/dev/null", 2, "lantern-wharf: " + big + too_big},
      {{"preview", "--hosts", hosts, fifo}, "/dev/null", 2, "lantern-wharf: " + fifo + not_regular},
      {{"preview", "--hosts", hosts, big}, "/dev/null", 2, "lantern-wharf: " + big + too_big},
      {{"preview", "--hosts", "/dev/zero", sets},
       "/dev/null",
       2,
       "lantern-wharf: /dev/zero" + not_regular},
      {{"preview", "--hosts", fifo, sets}, "/dev/null", 2, "lantern-wharf: " + fifo + not_regular},
      {{"preview", "--json", "--hosts", folder, sets},
       "/dev/null",
       2,
       "lantern-wharf: " + folder + not_regular},
      {{"preview", "--hosts", big, sets}, "/dev/null", 2, "lantern-wharf: " + big + too_big},
      {{"send"},
       "/dev/zero",
       2,
       "lantern-wharf: the request is more than 16777217 octets, and a message to the helper "
       "carries at most 16777216\n"},
      {{"decode"},
       "/dev/zero",
       2,
       "lantern-wharf: the response is more than 268435456 octets, and the client decodes at "
       "most 268435456\n"},
      // What is within the bounds is read as before.
      {{"check", sets}, "/dev/null", 0, ""},
      {{"check", at_bound}, "/dev/null", 0, ""},
      {{"encode", at_bound}, "/dev/null", 0, ""},
      {{"preview", "--hosts", hosts, sets}, "/dev/null", 0, ""},
  };
  for (const Case& c : cases) {
    const Outcome o = tool_reading(c.args, c.in);
    EXPECT_EQ(o.status, c.status) << testing::PrintToString(c.args);
    EXPECT_EQ(o.err, c.err) << testing::PrintToString(c.args);
    // Under --json the refusal is the one JSON object; else nothing is printed.
    const bool json = std::find(c.args.begin(), c.args.end(), "--json") != c.args.end();
    if (c.status != 0) {
      EXPECT_EQ(o.out, json ? as_json_error(c.err) : "") << testing::PrintToString(c.args);
    }
  }
}

TEST_F(ToolTest, EncodeAndDecode) {
  const auto sets = file("sets.json", R"({"sets": [{"name": "a", "lines": ["x"]}]})");
  EXPECT_EQ(tool({"encode", sets}).out, std::string("\x00\x01\x01\x00\x00\x00\x01\x00\x00\x00\x01"
                                                    "a"
                                                    "\x00\x00\x00\x01\x01\x00\x00\x00\x01"
                                                    "x",
                                                    22));
  EXPECT_EQ(tool({"encode", "flush"}).out, std::string("\x00\x01\x02", 3));
  EXPECT_EQ(tool({"encode", "remove-everything"}).out, std::string("\x00\x01\x03", 3));

  struct Case {
    std::string bytes;
    std::vector<std::string> options;
    int status;
    std::string out;
  };
  const std::string issues(
      "\x00\x01\x03\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x02\x00\x00\x00\x03"
      "abc",
      22);
  const Case cases[] = {
      {std::string("\x00\x01\x01", 3), {}, 0, "done\n"},
      {std::string("\x00\x01\x02", 3), {}, 0, "unchanged\n"},
      {std::string("\x00\x01\x04", 3), {}, 1, "not understood\n"},
      {issues, {}, 1, "set 0, line 2: abc\n"},
      {std::string("\x00\x01\x01", 3), {"--json"}, 0, "{\"response\":\"done\"}\n"},
      {std::string("\x00\x01\x04", 3), {"--json"}, 1, "{\"response\":\"not understood\"}\n"},
      {issues, {"--json"}, 1, "{\"issues\":[{\"set\":0,\"line\":2,\"message\":\"abc\"}]}\n"},
      {"", {}, 2, ""},
      {std::string("\x00\x01\x01\x00", 4), {}, 2, ""},
      {std::string("\x00\x02\x01", 3), {}, 2, ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"decode"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome o = tool(args, c.bytes);
    EXPECT_EQ(o.status, c.status) << testing::PrintToString(c.bytes);
    EXPECT_EQ(o.out, c.out) << testing::PrintToString(c.bytes);
    if (c.status == 2) {
      EXPECT_TRUE(o.err.starts_with("lantern-wharf: ")) << o.err;
    }
  }
}

TEST_F(ToolTest, HelpVersionAndUsage) {
  for (const char* command : {"check", "preview", "encode", "decode", "find", "redo"}) {
    for (const Outcome& o : {tool({command, "--help"}), tool({"help", command})}) {
      EXPECT_EQ(o.status, 0) << command;
      EXPECT_TRUE(o.out.starts_with(std::string("usage: lantern-wharf ") + command)) << o.out;
    }
  }
  // Alone, or asked for help, the tool says what it is.
  for (const Outcome& o : {tool({}), tool({"help"}), tool({"--help"})}) {
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(o.out.starts_with("usage: lantern-wharf COMMAND [OPTIONS]\n\nManages the sets"));
  }
  const Outcome version = tool({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(version.out.starts_with("lantern-wharf 0.")) << version.out;
  struct Case {
    std::vector<std::string> args;
    std::string first_line;
  };
  const Case cases[] = {
      {{"frobnicate"}, "lantern-wharf: unknown command frobnicate"},
      {{"help", "frobnicate"}, "lantern-wharf: help takes one command's name"},
      {{"check", "--color=sometimes", "a"}, "lantern-wharf: --color takes auto, always or never"},
      {{"check"}, "lantern-wharf: check takes one sets file"},
      {{"check", "a", "b"}, "lantern-wharf: check takes one sets file"},
      {{"check", "--diff", "a"}, "lantern-wharf: unknown option --diff"},
      {{"preview", "a", "--hosts"}, "lantern-wharf: --hosts needs a file"},
      {{"decode", "file"}, "lantern-wharf: decode reads standard input only"},
      {{"encode"}, "lantern-wharf: encode takes a sets file, flush or remove-everything"},
  };
  for (const Case& c : cases) {
    const Outcome o = tool(c.args);
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(o.err.starts_with(c.first_line + "\n")) << o.err;
  }
}

// Every command that takes --json prints exactly one JSON object, whatever
// the outcome: issues, notes, refusals before sending, usage errors.
TEST_F(ToolTest, JsonIsOneObjectWhateverTheOutcome) {
  const auto hosts = file("hosts", "127.0.1.1 kestrel.lan\n");
  const auto sets = file("sets.json", R"({"sets": [{"name": "dev", "lines": ["10.0.0.1 a"]}]})");
  const auto shadowed =
      file("shadowed.json", R"({"sets": [{"name": "lab", "lines": ["10.9.9.9 Kestrel.lan"]}]})");
  const auto twice = file("twice.json", R"({"sets": [{"name": "a"}, {"name": "a"}]})");
  const auto list = file("list.txt", "0.0.0.0 ads.test\n0.0.0.0 bad_name.test\n");
  const auto blank = file("blank.txt", " \n\t\n");
  const std::string note = "set 0, line 1: Kestrel.lan is mapped by line 1 of " + hosts +
                           ", outside the block; that line wins";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
  };
  const Case cases[] = {
      {{"check", "--json", "--hosts", hosts, shadowed},
       0,
       nlohmann::json{{"issues", nlohmann::json::array()}, {"notes", {note}}}.dump()},
      {{"preview", "--json", "--hosts", hosts, sets},
       0,
       nlohmann::json{{"content",
                       "127.0.1.1 kestrel.lan\n\n# >>> lantern-wharf managed block "
                       "\u2014 do not edit >>>\n# >>> lantern-wharf node: dev\n10.0.0.1 "
                       "a\n# <<< lantern-wharf <<<\n"}}
           .dump()},
      {{"preview", "--json", "--diff", sets},
       2,
       R"({"error":"--json and --diff do not go together: a diff is no JSON"})"},
      {{"import", "--json", "ads", list},
       1,
       nlohmann::json{{"issues",
                       {{{"file", list},
                         {"line", 2},
                         {"message",
                          "the part \"bad_name\" holds something other than "
                          "letters, digits and hyphens"}}}}}
           .dump()},
      {{"import", "--json", "ads", blank},
       2,
       nlohmann::json{{"error", blank + " holds nothing but white space, and importing it would "
                                        "empty the set \"ads\" (--allow-empty imports it all the "
                                        "same); nothing was sent"}}
           .dump()},
      {{"apply", "--json", twice}, 2, R"({"error":"there are two sets named \"a\""})"},
      {{"show", "--json"}, 2, R"({"error":"show takes one set's name"})"},
  };
  for (const Case& c : cases) {
    const Outcome o = tool(c.args);
    EXPECT_EQ(o.status, c.status) << testing::PrintToString(c.args) << o.err;
    EXPECT_EQ(o.out, c.out + "\n") << testing::PrintToString(c.args);
  }
  // The same, told to a person: the note on standard error, the rest as before.
  const Outcome told = tool({"check", "--hosts", hosts, shadowed});
  EXPECT_EQ(told.status, 0);
  EXPECT_EQ(told.err, "lantern-wharf: " + note + "\n");
}

// Sets the helper would refuse whatever the file holds are refused before
// anything is sent, named, and their control characters escaped when said.
TEST_F(ToolTest, RefusedBeforeSending) {
  const std::string control = "the control character U+001B, which the hosts file must not carry";
  struct Case {
    std::string json;
    std::string said;
  };
  const Case cases[] = {
      {R"({"sets": [{"name": "a"}, {"name": "b"}, {"name": "a"}]})",
       "there are two sets named \"a\""},
      {R"({"sets": [{"name": "a"}, {"name": ""}]})", "set 1 has no name (sets count from 0)"},
      {R"({"sets": [{"name": "a\u001b]0;x\u0007", "lines": ["# x"]}]})",
       "set \"a\\u{1b}]0;x\\u{7}\": the set's name holds " + control},
      {R"({"sets": [{"name": "a", "lines": ["# ok", {"text": "\u001b[8m", "enabled": false}]}]})",
       "set \"a\", line 2: the line holds " + control},
  };
  for (const Case& c : cases) {
    const Outcome o = tool({"apply", file("sets.json", c.json)});
    EXPECT_EQ(o.status, 2) << c.json;
    EXPECT_EQ(o.err, "lantern-wharf: " + c.said + "\n") << c.json;
  }
}

TEST_F(ToolTest, ColorWhereAsked) {
  const auto bad = file("bad.json", R"({"sets": [{"name": "dev", "lines": ["nope"]}]})");
  const auto sets = file("sets.json", R"({"sets": [{"name": "dev", "lines": ["10.0.0.1 a"]}]})");
  const auto hosts = file("hosts", "");
  const Outcome issues = tool({"check", "--color=always", "--hosts", hosts, bad});
  EXPECT_EQ(issues.err,
            "\x1b[31mset 0, line 1\x1b[m: the entry has no host name, so it maps nothing\n");
  const Outcome diff = tool({"preview", "--diff", "--color", "--hosts", hosts, sets});
  EXPECT_TRUE(diff.out.starts_with("\x1b[1m--- " + hosts + "\x1b[m\n")) << diff.out;
  EXPECT_NE(diff.out.find("\n\x1b[36m@@ -0,0 +1,4 @@\x1b[m\n\x1b[32m+# >>> "), std::string::npos)
      << diff.out;
  const Outcome never = tool({"check", "--color=never", "--hosts", hosts, bad});
  EXPECT_EQ(never.err, "set 0, line 1: the entry has no host name, so it maps nothing\n");
}

}  // namespace
