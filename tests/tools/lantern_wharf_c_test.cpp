// The C interface's contract where neither the helper nor a hosts file is
// needed: bad input is refused with its sentence before anything is read or
// sent, every output is NULL after a failure, whatever it held before, and
// the last error belongs to the calling thread.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "lantern_wharf.h"

namespace {

TEST(CInterface, RefusesBadSetsBeforeReadingOrSending) {
  const std::string huge = "{\"sets\": [], \"x\": \"" + std::string(16u << 20, 'a') + "\"}";
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
  }
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
