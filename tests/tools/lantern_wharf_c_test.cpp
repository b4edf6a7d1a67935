// The C interface's contract where neither the helper nor a hosts file is
// needed: bad input is refused with its sentence before anything is read or
// sent, every output is NULL after a failure, whatever it held before, and
// the last error belongs to the calling thread.
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>

#include "ipc/wire.h"
#include "lantern_wharf.h"

namespace {

TEST(CInterface, RefusesBadSetsBeforeReadingOrSending) {
  const std::string huge = "{\"sets\": [], \"x\": \"" + std::string(16u << 20, 'a') + "\"}";
  // Empty lines count no octets against the check, but five each on the
  // wire: 5,500,000 of them could never be sent.
  std::string empty_lines = R"({"sets": [{"name": "a", "lines": ["")";
  for (int i = 1; i < 5'500'000; ++i) empty_lines += R"(,"")";
  empty_lines += "]}]}";
  struct Case {
    const char* json;
    const char* sentence;
  };
  const Case cases[] = {
      {nullptr, "no sets file was given"},
      {"[]", "the sets file: expected an object with \"sets\""},
      {"{\"sets\": [{\"lines\": []}]}", "the sets file: sets[0]: missing \"name\""},
      {huge.c_str(),
       "the sets file holds more than 16777216 octets, and the client reads at most 16777216"},
      {empty_lines.c_str(),
       "the sets file: the request is 27500016 octets, and a message to the helper carries at "
       "most 16777216"},
      {R"({"sets": [{"name": "a", "lines": [], "lines": ["x"]}]})",
       "the sets file: sets[0]: the key \"lines\" is given twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sentence);
    char stale = 0;
    char* response = &stale;
    EXPECT_EQ(lw_apply(c.json, &response), LW_BAD_INPUT);
    EXPECT_EQ(response, nullptr);
    EXPECT_STREQ(lw_last_error(), c.sentence);
    char* content = &stale;
    char* issues = &stale;
    size_t length = 7;
    EXPECT_EQ(lw_preview(c.json, &content, &length, &issues), LW_BAD_INPUT);
    EXPECT_EQ(content, nullptr);
    EXPECT_EQ(issues, nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_STREQ(lw_last_error(), c.sentence);
    EXPECT_EQ(lw_check(c.json, &issues), LW_BAD_INPUT);
    EXPECT_STREQ(lw_last_error(), c.sentence);
  }
  // Sets that only their names could tell apart are not sent, nor checked.
  const char* twice = R"({"sets": [{"name": "a"}, {"name": "a"}]})";
  char* response = nullptr;
  char* issues = nullptr;
  EXPECT_EQ(lw_apply(twice, &response), LW_BAD_INPUT);
  EXPECT_STREQ(lw_last_error(), "there are two sets named \"a\"");
  EXPECT_EQ(lw_check(twice, &issues), LW_BAD_INPUT);
  EXPECT_EQ(issues, nullptr);
  // Octets and counts beyond any response or set are refused before a look.
  const char octet = 0;
  EXPECT_EQ(lw_decode(&octet, (256u << 20) + 1, &response), LW_BAD_INPUT);
  EXPECT_STREQ(lw_last_error(),
               "the response is 268435457 octets, and the client decodes at most 268435456");
}

TEST(CInterface, RefusesAMissingPlaceForTheOutput) {
  char* issues = nullptr;
  char* content = nullptr;
  const std::pair<std::function<int()>, const char*> calls[] = {
      {[] { return lw_apply("{\"sets\": []}", nullptr); }, "no place was given for the response"},
      {[] { return lw_flush(nullptr); }, "no place was given for the response"},
      {[] { return lw_remove_everything(nullptr); }, "no place was given for the response"},
      {[] { return lw_read_sets(nullptr); }, "no place was given for the sets"},
      {[&] { return lw_preview("{\"sets\": []}", nullptr, nullptr, &issues); },
       "no place was given for the new file or its issues"},
      {[&] { return lw_preview("{\"sets\": []}", &content, nullptr, nullptr); },
       "no place was given for the new file or its issues"},
  };
  for (const auto& [call, sentence] : calls) {
    SCOPED_TRACE(sentence);
    EXPECT_EQ(call(), LW_BAD_INPUT);
    EXPECT_STREQ(lw_last_error(), sentence);
  }
}

TEST(CInterface, ChangesAreMadeOnTheSetsFileAloneAndRefusedWithTheirSentence) {
  const char* const work = R"({"sets": [{"name": "work", "lines": ["10.0.0.5 a.test",
      {"text": "10.0.0.6 b.test", "enabled": false}]}, {"name": "home"}]})";
  // The sets of a sets file: each line written out as text and state.
  const auto line = [](const char* text, bool on) {
    return std::string(R"({"text":")") + text + R"(","enabled":)" + (on ? "true}" : "false}");
  };
  const auto set = [](const char* name, const std::string& lines) {
    return std::string(R"({"name":")") + name + R"(","lines":[)" + lines + "]}";
  };
  const auto sets_file = [](const std::string& sets) { return R"({"sets":[)" + sets + "]}"; };
  const std::string home = set("home", "");
  const unsigned long long two[] = {2};
  const std::string many_breaks(16u << 20, '\n');
  const std::string too_long((16u << 20) + 1, '#');
  const unsigned long long one_and_three[] = {1, 3};
  struct Case {
    const char* what;
    std::function<int(char**)> call;
    std::optional<std::string> changed;  // or the sentence of the refusal
    const char* sentence;
  };
  const Case cases[] = {
      {"a whole set on switches its lines that were off on",
       [&](char** out) { return lw_switch(work, "work", nullptr, 0, 1, out); },
       sets_file(set("work", line("10.0.0.5 a.test", true) + "," + line("10.0.0.6 b.test", true)) +
                 "," + home),
       ""},
      {"a line out of range",
       [&](char** out) { return lw_switch(work, "work", one_and_three, 2, 0, out); }, std::nullopt,
       "the set \"work\" has no line 3 (it has 2)"},
      {"a set that is not there",
       [&](char** out) { return lw_remove(work, "play", nullptr, 0, out); }, std::nullopt,
       "there is no set named \"play\""},
      {"lines counted but not given",
       [&](char** out) { return lw_remove(work, "work", nullptr, 1, out); }, std::nullopt,
       "line numbers were counted but not given"},
      {"lines added to a new set, kept as written, their endings not",
       [&](char** out) {
         return lw_add_lines(work, "lab", "10.0.0.9  c.test # x\r\n10.0.0.10 d.test", 0, out);
       },
       sets_file(
           set("work", line("10.0.0.5 a.test", true) + "," + line("10.0.0.6 b.test", false)) + "," +
           home + "," +
           set("lab", line("10.0.0.9  c.test # x", false) + "," + line("10.0.0.10 d.test", false))),
       ""},
      {"a line the file would leave out is kept, switched off",
       [&](char** out) { return lw_add_lines(work, "home", "10.0.0.5  A.test", 1, out); },
       sets_file(set("work", line("10.0.0.5 a.test", true) + "," + line("10.0.0.6 b.test", false)) +
                 "," + set("home", line("10.0.0.5  A.test", false))),
       ""},
      {"a name that is not UTF-8",
       [&](char** out) { return lw_rename(work, "home", "h\xff", out); }, std::nullopt,
       "the new name is not valid UTF-8"},
      {"lines that are not UTF-8",
       [&](char** out) { return lw_add_lines(work, "work", "10.0.0.9 c.test\n\xff", 1, out); },
       std::nullopt, "line 2 is not valid UTF-8"},
      {"one line removed", [&](char** out) { return lw_remove(work, "work", two, 1, out); },
       sets_file(set("work", line("10.0.0.5 a.test", true)) + "," + home), ""},
      {"a whole set removed", [&](char** out) { return lw_remove(work, "work", nullptr, 0, out); },
       sets_file(home), ""},
      {"a rename", [&](char** out) { return lw_rename(work, "home", "house", out); },
       sets_file(set("work", line("10.0.0.5 a.test", true) + "," + line("10.0.0.6 b.test", false)) +
                 "," + set("house", "")),
       ""},
      {"a rename onto another set",
       [&](char** out) { return lw_rename(work, "home", "work", out); }, std::nullopt,
       "there is a set named \"work\" already"},
      {"no set name", [&](char** out) { return lw_switch(work, nullptr, nullptr, 0, 1, out); },
       std::nullopt, "no set name was given"},
      {"sets that do not parse",
       [&](char** out) { return lw_rename("{\"sets\": 1}", "a", "b", out); }, std::nullopt,
       "the sets file: sets: expected an array"},
      {"more lines than a message carries",
       [&](char** out) { return lw_add_lines(work, "lab", many_breaks.c_str(), 1, out); },
       std::nullopt,
       "the request is 83886095 octets, and a message to the helper carries at most 16777216"},
      {"more text than the client reads",
       [&](char** out) { return lw_add_lines(work, "lab", too_long.c_str(), 1, out); },
       std::nullopt,
       "the lines hold more than 16777216 octets, and the client reads at most 16777216"},
      {"more line numbers than a set has lines",
       [&](char** out) { return lw_switch(work, "work", two, 1u << 30, 1, out); }, std::nullopt,
       "1073741824 line numbers were given, more than a set has lines"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    char stale = 0;
    char* changed = &stale;
    const int status = c.call(&changed);
    if (c.changed) {
      ASSERT_EQ(status, LW_OK) << lw_last_error();
      ASSERT_NE(changed, nullptr);
      EXPECT_EQ(nlohmann::json::parse(changed), nlohmann::json::parse(*c.changed));
      EXPECT_STREQ(lw_last_error(), "");
    } else {
      EXPECT_EQ(status, LW_BAD_INPUT);
      EXPECT_EQ(changed, nullptr);
      EXPECT_STREQ(lw_last_error(), c.sentence);
    }
    lw_free(changed);
  }
}

// Encoding gives the request the helper decodes, and decoding turns the
// helper's octets into the JSON that lw_apply gives; the check gives every
// issue the helper would.
TEST(CInterface, EncodesChecksAndDecodesAsTheHelperDoes) {
  const char* json = R"({"sets": [{"name": "w", "lines": ["10.0.0.5 a.test", "10.0.0.6 b_c"]}]})";
  char* octets = nullptr;
  size_t length = 0;
  ASSERT_EQ(lw_encode(LW_REQUEST_APPLY, json, &octets, &length), LW_OK) << lw_last_error();
  const std::string encoded(octets, length);  // the decoded request views it
  lw_free(octets);
  auto request = hosts_ipc::decode_request(encoded);
  ASSERT_TRUE(request.has_value());
  const auto* apply = std::get_if<hosts_ipc::ApplySets>(&*request);
  ASSERT_NE(apply, nullptr);
  ASSERT_EQ(apply->sets.size(), 1u);
  EXPECT_EQ(apply->sets[0].lines.size(), 2u);
  EXPECT_EQ(apply->sets[0].lines[1].text, "10.0.0.6 b_c");
  EXPECT_EQ(lw_encode(7, json, &octets, &length), LW_BAD_INPUT);
  EXPECT_EQ(octets, nullptr);
  EXPECT_STREQ(lw_last_error(), "there is no request numbered 7");

  char* issues = nullptr;
  ASSERT_EQ(lw_check(json, &issues), LW_ISSUES);
  ASSERT_NE(issues, nullptr);
  const std::string found = issues;
  lw_free(issues);
  EXPECT_EQ(found,
            R"({"issues":[{"set":0,"line":2,"message":"the part \"b_c\" holds something other )"
            R"(than letters, digits and hyphens"}]})");
  EXPECT_STREQ(lw_last_error(),
               "set 0, line 2: the part \"b_c\" holds something other than letters, digits and "
               "hyphens");
  EXPECT_EQ(lw_check(R"({"sets": [{"name": "w", "lines": ["10.0.0.5 a.test"]}]})", &issues), LW_OK);
  EXPECT_EQ(issues, nullptr);

  const std::string reply = hosts_ipc::encode_response(hosts_ipc::Issues{{{"x", 0, 2}}});
  char* response = nullptr;
  ASSERT_EQ(lw_decode(reply.data(), reply.size(), &response), LW_OK) << lw_last_error();
  EXPECT_STREQ(response, R"({"issues":[{"set":0,"line":2,"message":"x"}]})");
  lw_free(response);
  EXPECT_EQ(lw_decode(reply.data(), reply.size() - 1, &response), LW_BAD_INPUT);
  EXPECT_EQ(response, nullptr);
  EXPECT_TRUE(std::string(lw_last_error()).starts_with("the octets are no response: "));
}

TEST(CInterface, TheLastErrorBelongsToTheCallingThread) {
  char* response = nullptr;
  ASSERT_EQ(lw_apply(nullptr, &response), LW_BAD_INPUT);
  std::string before, after;
  std::thread([&] {
    before = lw_last_error();
    (void)lw_flush(nullptr);
    after = lw_last_error();
  }).join();
  EXPECT_EQ(before, "");
  EXPECT_EQ(after, "no place was given for the response");
  EXPECT_STREQ(lw_last_error(), "no sets file was given");
}

}  // namespace
